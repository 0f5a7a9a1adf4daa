#include "storage/vellum/entry_keys.h"

namespace ck::vellum {

void AppendBE32(std::string& out, uint32_t v) {
  out.push_back(static_cast<char>(v >> 24));
  out.push_back(static_cast<char>(v >> 16));
  out.push_back(static_cast<char>(v >> 8));
  out.push_back(static_cast<char>(v));
}

uint32_t ReadBE32(std::string_view b, size_t at) {
  return (uint32_t{static_cast<uint8_t>(b[at])} << 24) |
         (uint32_t{static_cast<uint8_t>(b[at + 1])} << 16) |
         (uint32_t{static_cast<uint8_t>(b[at + 2])} << 8) | uint32_t{static_cast<uint8_t>(b[at + 3])};
}

void AppendLE16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v));
  out.push_back(static_cast<char>(v >> 8));
}

void AppendLE32(std::string& out, uint32_t v) {
  AppendLE16(out, static_cast<uint16_t>(v));
  AppendLE16(out, static_cast<uint16_t>(v >> 16));
}

uint32_t ReadLE32(std::string_view b, size_t at) {
  return uint32_t{static_cast<uint8_t>(b[at])} | (uint32_t{static_cast<uint8_t>(b[at + 1])} << 8) |
         (uint32_t{static_cast<uint8_t>(b[at + 2])} << 16) |
         (uint32_t{static_cast<uint8_t>(b[at + 3])} << 24);
}

std::string TablePrefix(uint32_t table) {
  std::string k;
  AppendBE32(k, table);
  return k;
}

std::string KindPrefix(uint32_t table, uint8_t kind) {
  std::string k = TablePrefix(table);
  k.push_back(static_cast<char>(kind));
  return k;
}

std::string DataKey(uint32_t table, uint32_t record) {
  std::string k = KindPrefix(table, kDataEntry);
  AppendBE32(k, record);
  return k;
}

std::string MemoKey(uint32_t table, uint32_t record, uint8_t memo, uint16_t chunk) {
  std::string k = KindPrefix(table, kMemoEntry);
  AppendBE32(k, record);
  k.push_back(static_cast<char>(memo));
  k.push_back(static_cast<char>(chunk >> 8));
  k.push_back(static_cast<char>(chunk));
  return k;
}

std::string DefinitionKey(uint32_t table, uint16_t chunk) {
  std::string k = KindPrefix(table, kDefinitionEntry);
  AppendLE16(k, chunk);
  return k;
}

std::string CounterKey(uint32_t table, uint8_t selector) {
  std::string k = KindPrefix(table, kCounterEntry);
  k.push_back(static_cast<char>(selector));
  return k;
}

std::string CollationKey(uint32_t table) {
  std::string k = KindPrefix(table, kCollationEntry);
  k.push_back('\x01');
  return k;
}

std::string NameKey(std::string_view tableName) {
  std::string k(1, static_cast<char>(kNameEntry));
  k.append(tableName);
  return k;
}

}  // namespace ck::vellum
