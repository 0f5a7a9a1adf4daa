// Entry kinds of a Vellum file and the key parts that name them. Apart from
// name and transaction entries, every key part starts with the 4-byte
// big-endian table number and a kind byte, so one table's entries are
// contiguous: its key entries (kind = key number), then records, counters,
// definition chunks, collating table and memo chunks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ck::vellum {

enum EntryKind : uint8_t {
  kDataEntry = 0xF3,
  kCounterEntry = 0xF6,
  kDefinitionEntry = 0xFA,
  kCollationEntry = 0xFB,
  kMemoEntry = 0xFC,
  kNameEntry = 0xFE,
  kTransactionEntry = 0xFF,
};

// Counter selector of the table's record counter (a key's counter uses the key number).
constexpr uint8_t kTableCounter = 0xF3;
// Key numbers must stay below the first non-key kind.
constexpr int kMaxKeys = kDataEntry;

void AppendBE32(std::string& out, uint32_t v);
uint32_t ReadBE32(std::string_view bytes, size_t at);  // REQUIRES: at + 4 <= size
void AppendLE16(std::string& out, uint16_t v);
void AppendLE32(std::string& out, uint32_t v);
uint32_t ReadLE32(std::string_view bytes, size_t at);  // REQUIRES: at + 4 <= size

// Table number followed by the kind byte: the prefix every entry of that kind shares.
std::string KindPrefix(uint32_t table, uint8_t kind);
// Table number alone: the prefix of every entry of the table.
std::string TablePrefix(uint32_t table);

std::string DataKey(uint32_t table, uint32_t record);
std::string MemoKey(uint32_t table, uint32_t record, uint8_t memo, uint16_t chunk);
// Chunk numbers of definition entries are little-endian words.
std::string DefinitionKey(uint32_t table, uint16_t chunk);
std::string CounterKey(uint32_t table, uint8_t selector);
std::string CollationKey(uint32_t table);
std::string NameKey(std::string_view tableName);

// Highest record number a file may hand out: the counter's first byte must stay below 0xFE.
constexpr uint32_t kLastRecordNumber = 0xFDFFFFFF;

}  // namespace ck::vellum
