#include "storage/vellum/key_codec.h"

#include <algorithm>

#include "storage/vellum/entry_keys.h"
#include "storage/vellum/page_codec.h"

namespace ck::vellum {

using storage::FieldDescriptor;
using storage::FileControlBlock;

namespace {

void ReverseInto(const char* src, uint32_t length, std::string& out) {
  for (uint32_t i = length; i > 0; --i) out.push_back(src[i - 1]);
}

bool IsText(uint8_t type) {
  return type == storage::STRING || type == storage::CSTRING || type == storage::PSTRING;
}

}  // namespace

void EncodeComponent(const FieldDescriptor& field, const char* record, bool nocase,
                     bool descending, const Collation& collation, std::string& out) {
  const char* src = record + field.offset;
  const uint32_t length = field.length;
  const size_t start = out.size();
  switch (field.type) {
    case storage::STRING:
    case storage::CSTRING:
    case storage::PSTRING: {
      uint32_t from = 0, count = length;
      if (field.type == storage::CSTRING) {
        count = static_cast<uint32_t>(std::find(src, src + length, '\0') - src);
      } else if (field.type == storage::PSTRING && length > 0) {
        from = 1;
        count = std::min<uint32_t>(static_cast<uint8_t>(src[0]), length - 1);
      }
      out.append(src + from, count);
      out.append(length - count, '\0');
      for (size_t i = start; i < out.size(); ++i) {
        uint8_t c = static_cast<uint8_t>(out[i]);
        if (nocase) c = Collation::Upper(c);
        out[i] = static_cast<char>(collation.Map(c));
      }
      break;
    }
    case storage::USHORT:
    case storage::ULONG:
    case storage::DATE:
    case storage::TIME:
      ReverseInto(src, length, out);
      break;
    case storage::SHORT:
    case storage::LONG:
      ReverseInto(src, length, out);
      if (length > 0) out[start] = static_cast<char>(out[start] ^ 0x80);
      break;
    case storage::SREAL:
    case storage::REAL:
      ReverseInto(src, length, out);
      if (length > 0) {
        if (out[start] & 0x80) {
          for (size_t i = start; i < out.size(); ++i) out[i] = static_cast<char>(~out[i]);
        } else {
          out[start] = static_cast<char>(out[start] | 0x80);
        }
      }
      break;
    case storage::DECIMAL:
      out.append(src, length);
      if (length > 0) {
        const bool negative = (out[start] & 0xF0) != 0;
        if (negative) out[start] = static_cast<char>(out[start] & 0x0F);
        out[start] = static_cast<char>(out[start] ^ 0x80);
        if (negative)
          for (size_t i = start; i < out.size(); ++i) out[i] = static_cast<char>(~out[i]);
      }
      break;
    default:  // BYTE, GROUP and every other type: the bytes as stored
      out.append(src, length);
      break;
  }
  if (descending)
    for (size_t i = start; i < out.size(); ++i) out[i] = static_cast<char>(~out[i]);
}

std::string EncodeKeyValue(const FileControlBlock& fcb, int keyNumber, const char* record,
                           const Collation& collation) {
  const auto& key = fcb.keys[keyNumber];
  std::string out;
  for (const auto& comp : key.components)
    EncodeComponent(fcb.fields[comp.field], record, key.nocase, comp.descending, collation, out);
  return out;
}

bool IsNullKey(const FileControlBlock& fcb, int keyNumber, const char* record) {
  for (const auto& comp : fcb.keys[keyNumber].components) {
    const FieldDescriptor& f = fcb.fields[comp.field];
    const char* src = record + f.offset;
    uint32_t from = 0, count = f.length;
    if (f.type == storage::CSTRING) {
      count = static_cast<uint32_t>(std::find(src, src + f.length, '\0') - src);
    } else if (f.type == storage::PSTRING && f.length > 0) {
      from = 1;
      count = std::min<uint32_t>(static_cast<uint8_t>(src[0]), f.length - 1);
    }
    const bool text = IsText(f.type);
    for (uint32_t i = from; i < from + count; ++i)
      if (src[i] != '\0' && !(text && src[i] == ' ')) return false;
  }
  return true;
}

std::string KeyEntryKey(uint32_t table, int keyNumber, bool duplicates, std::string_view value,
                        uint32_t record) {
  std::string k = KindPrefix(table, static_cast<uint8_t>(keyNumber));
  k.append(value);
  if (duplicates) AppendBE32(k, record);
  return k;
}

TreeEntry MakeKeyEntry(uint32_t table, int keyNumber, bool duplicates, std::string_view value,
                       uint32_t record) {
  // The record number ends the key part of a duplicate key, else it is the data part.
  TreeEntry e;
  e.bytes.reserve(5 + value.size() + 4);
  e.bytes.append(KindPrefix(table, static_cast<uint8_t>(keyNumber)));
  e.bytes.append(value);
  if (duplicates) AppendBE32(e.bytes, record);
  e.keyLength = static_cast<uint16_t>(e.bytes.size());
  if (!duplicates) AppendBE32(e.bytes, record);
  return e;
}

uint32_t KeyEntryRecord(const TreeEntry& entry, bool duplicates) {
  if (duplicates) {
    const auto key = entry.key();
    return key.size() >= 9 ? ReadBE32(key, key.size() - 4) : 0;
  }
  const auto data = entry.data();
  return data.size() >= 4 ? ReadBE32(data, 0) : 0;
}

int ValidateDeclaration(const FileControlBlock& fcb) {
  // The definition keeps names as zero-ended texts: a zero byte inside one
  // would store a different declaration than the one given.
  auto zero = [](const std::string& text) { return text.find('\0') != std::string::npos; };
  for (const auto& f : fcb.fields) {
    if (uint64_t{f.offset} + f.length > fcb.recordLength) return storage::BadFieldTypeErr;
    if (zero(f.name) || zero(f.externalName) || zero(f.picture)) return storage::BadRecErr;
  }
  for (const auto& m : fcb.memos)
    if (zero(m.name) || zero(m.externalName)) return storage::BadRecErr;
  for (const auto& k : fcb.keys)
    if (zero(k.name) || zero(k.externalName)) return storage::BadRecErr;
  // A record is one entry: its 9-byte key part and the image must fit the pages.
  if (fcb.keys.size() > static_cast<size_t>(kMaxKeys) || fcb.memos.size() > 255 ||
      !FitsThePages(9, uint64_t{fcb.recordLength} + 9))
    return storage::BadRecErr;
  for (const auto& m : fcb.memos)
    if (m.size > 0xFFFF) return storage::BadRecErr;
  for (const auto& k : fcb.keys) {
    if (k.components.empty()) return storage::BadIndexStringErr;
    uint64_t value = 0;
    for (const auto& c : k.components) {
      if (c.field < 0 || static_cast<size_t>(c.field) >= fcb.fields.size())
        return storage::BadIndexStringErr;
      value += fcb.fields[c.field].length;
    }
    // Table and key number, the value, and the record number: in the key
    // part of a duplicates key, in the data part of a unique one.
    if (!FitsThePages(5 + value + (k.duplicates ? 4 : 0), 5 + value + 4))
      return storage::BadKeyLengthErr;
  }
  return 0;
}

}  // namespace ck::vellum
