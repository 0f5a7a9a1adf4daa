// Key encoding: byte-exact components, and that byte order of encoded keys
// is the value order for every type, ascending and descending.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "storage/vellum/collation.h"
#include "storage/vellum/key_codec.h"

namespace ck::vellum {
namespace {

using storage::FieldDescriptor;

std::string Hex(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (unsigned char c : bytes) {
    snprintf(buf, sizeof buf, "%02X ", c);
    out += buf;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

Collation Identity() {
  std::string map(256, '\0');
  for (int i = 0; i < 256; ++i) map[i] = static_cast<char>(i);
  return Collation::FromStored(map);
}

template <typename T>
std::string Encode(uint8_t type, T value, bool descending = false) {
  FieldDescriptor f;
  f.type = type;
  f.length = sizeof(T);
  char record[sizeof(T)];
  std::memcpy(record, &value, sizeof(T));
  std::string out;
  EncodeComponent(f, record, false, descending, Collation(), out);
  return out;
}

std::string EncodeText(uint8_t type, const std::string& field, bool nocase = false,
                       const Collation& c = Collation()) {
  FieldDescriptor f;
  f.type = type;
  f.length = static_cast<uint32_t>(field.size());
  std::string out;
  EncodeComponent(f, field.data(), nocase, false, c, out);
  return out;
}

TEST(KeyCodec, IntegersAreBigEndianWithSignFlipped) {
  EXPECT_EQ(Hex(Encode<int32_t>(storage::LONG, -1)), "7F FF FF FF");
  EXPECT_EQ(Hex(Encode<int32_t>(storage::LONG, 0)), "80 00 00 00");
  EXPECT_EQ(Hex(Encode<int32_t>(storage::LONG, 0x01020304)), "81 02 03 04");
  EXPECT_EQ(Hex(Encode<int16_t>(storage::SHORT, -2)), "7F FE");
  EXPECT_EQ(Hex(Encode<uint32_t>(storage::ULONG, 0x01020304)), "01 02 03 04");
  EXPECT_EQ(Hex(Encode<uint32_t>(storage::DATE, 80000)), "00 01 38 80");
  EXPECT_EQ(Hex(Encode<uint16_t>(storage::USHORT, 0xFF00)), "FF 00");
  EXPECT_EQ(Hex(Encode<uint8_t>(storage::BYTE, 0xAB)), "AB");
  // Descending complements the whole component.
  EXPECT_EQ(Hex(Encode<int32_t>(storage::LONG, -1, true)), "80 00 00 00");
  EXPECT_EQ(Hex(Encode<int32_t>(storage::LONG, 0, true)), "7F FF FF FF");
}

// Byte order of the encodings must equal the numeric order of the values.
template <typename T>
void ExpectOrdered(uint8_t type, std::vector<T> ascending) {
  for (bool desc : {false, true}) {
    for (size_t i = 1; i < ascending.size(); ++i) {
      const std::string a = Encode<T>(type, ascending[i - 1], desc);
      const std::string b = Encode<T>(type, ascending[i], desc);
      if (desc)
        EXPECT_GT(CompareKeys(a, b), 0) << i << " desc";
      else
        EXPECT_LT(CompareKeys(a, b), 0) << i;
    }
  }
}

TEST(KeyCodec, NumericOrderHoldsAcrossSignsAscendingAndDescending) {
  ExpectOrdered<int32_t>(storage::LONG, {INT32_MIN, -70000, -1, 0, 1, 255, 256, INT32_MAX});
  ExpectOrdered<int16_t>(storage::SHORT, {INT16_MIN, -1, 0, 1, INT16_MAX});
  ExpectOrdered<uint32_t>(storage::ULONG, {0, 1, 256, 0x80000000u, 0xFFFFFFFFu});
  ExpectOrdered<double>(storage::REAL, {-1e300, -2.5, -1.0, -1e-300, -0.0, 0.0, 1e-300, 0.5, 3.0, 1e300});
  ExpectOrdered<float>(storage::SREAL, {-3.5f, -1.0f, -0.0f, 0.0f, 2.0f});
}

TEST(KeyCodec, RealEncodingBytes) {
  // +0.0 only gains the sign bit; -0.0 is complemented and sorts below it.
  EXPECT_EQ(Hex(Encode<double>(storage::REAL, 0.0)), "80 00 00 00 00 00 00 00");
  EXPECT_EQ(Hex(Encode<double>(storage::REAL, -0.0)), "7F FF FF FF FF FF FF FF");
  // Descending complements only the non-negative values (the two complements cancel).
  EXPECT_EQ(Hex(Encode<double>(storage::REAL, -0.0, true)), "80 00 00 00 00 00 00 00");
  EXPECT_EQ(Hex(Encode<double>(storage::REAL, 1.0)), "BF F0 00 00 00 00 00 00");
}

TEST(KeyCodec, DecimalSignNibbleAndOrder) {
  FieldDescriptor f;
  f.type = storage::DECIMAL;
  f.length = 3;
  auto enc = [&](std::initializer_list<uint8_t> bytes, bool desc = false) {
    std::string rec(bytes.begin(), bytes.end());
    std::string out;
    EncodeComponent(f, rec.data(), false, desc, Collation(), out);
    return out;
  };
  // 123.45 as 0x01 0x23 0x45; -123.45 carries a sign nibble in the first byte.
  EXPECT_EQ(Hex(enc({0x01, 0x23, 0x45})), "81 23 45");
  EXPECT_EQ(Hex(enc({0xF1, 0x23, 0x45})), "7E DC BA");
  EXPECT_EQ(Hex(enc({0xF1, 0x23, 0x45}, true)), "81 23 45");
  EXPECT_LT(CompareKeys(enc({0xF1, 0x23, 0x45}), enc({0xF0, 0x00, 0x01})), 0);  // -12345 < -1
  EXPECT_LT(CompareKeys(enc({0xF0, 0x00, 0x01}), enc({0x00, 0x00, 0x00})), 0);  // -1 < 0
  EXPECT_LT(CompareKeys(enc({0x00, 0x00, 0x00}), enc({0x00, 0x00, 0x01})), 0);
}

TEST(KeyCodec, TextFieldsPadToTheirDeclaredLength) {
  const Collation id = Identity();
  EXPECT_EQ(Hex(EncodeText(storage::CSTRING, std::string("AB\0xy", 5), false, id)),
            "41 42 00 00 00");
  EXPECT_EQ(Hex(EncodeText(storage::PSTRING, std::string("\x02" "ABz", 4), false, id)),
            "41 42 00 00");
  EXPECT_EQ(Hex(EncodeText(storage::STRING, "Ab  ", false, id)), "41 62 20 20");
  EXPECT_EQ(Hex(EncodeText(storage::STRING, "Ab  ", true, id)), "41 42 20 20");
  // With our collating table the same bytes go through the map.
  const Collation ours;
  const std::string c = EncodeText(storage::CSTRING, std::string("AB\0\0\0", 5));
  ASSERT_EQ(c.size(), 5u);
  EXPECT_EQ(static_cast<uint8_t>(c[0]), ours.Map('A'));
  EXPECT_EQ(static_cast<uint8_t>(c[1]), ours.Map('B'));
  EXPECT_EQ(c.substr(2), std::string(3, '\0'));
}

TEST(Collation, IsAPermutationAndSerializesItsInverseAndUpperTable) {
  const Collation c;
  EXPECT_TRUE(c.IsInjective());
  const std::string bytes = c.Serialize();
  ASSERT_EQ(bytes.size(), kCollationBytes);
  for (int b = 0; b < 256; ++b) {
    const auto rank = static_cast<uint8_t>(bytes[b]);
    EXPECT_EQ(static_cast<uint8_t>(bytes[256 + rank]), b);
  }
  EXPECT_EQ(static_cast<uint8_t>(bytes[512 + 0xE9]), 0xC9);  // é -> É
  EXPECT_EQ(bytes.substr(768), std::string(384, '\0'));
  // A stored table is used as it stands.
  std::string reversed(256, '\0');
  for (int i = 0; i < 256; ++i) reversed[i] = static_cast<char>(255 - i);
  EXPECT_EQ(Collation::FromStored(reversed).Map('a'), 255 - 'a');
}

TEST(Collation, SortsAListAsAPersonExpects) {
  // Windows-1252 text, padded to one field length as keys are.
  std::vector<std::string> words = {"Zeta", "ebay", "Ebay", "eBay", "\xE9" "clair", "alpha",
                                    "Alpha", "1st", "_x", "b", "10", "\xC9" "clair", "zeta",
                                    "e", "E", "f", " "};
  const std::vector<std::string> expected = {
      " ", "_x", "10", "1st", "alpha", "Alpha", "b", "e", "ebay", "eBay", "E", "Ebay",
      "\xE9" "clair", "\xC9" "clair", "f", "zeta", "Zeta"};
  auto key = [](const std::string& w) {
    std::string field = w + std::string(8 - w.size(), ' ');
    return EncodeText(storage::STRING, field);
  };
  std::sort(words.begin(), words.end(),
            [&](const std::string& a, const std::string& b) { return CompareKeys(key(a), key(b)) < 0; });
  EXPECT_EQ(words, expected);
  // Different case stays distinct unless the key is NOCASE.
  EXPECT_NE(key("ebay"), key("Ebay"));
  EXPECT_EQ(EncodeText(storage::STRING, "ebay", true), EncodeText(storage::STRING, "EBAY", true));
}

TEST(KeyCodec, KeyEntriesCarryRecordNumbersBigEndian) {
  const TreeEntry dup = MakeKeyEntry(2, 0, true, "v", 1);
  EXPECT_EQ(Hex(std::string(dup.key())), "00 00 00 02 00 76 00 00 00 01");
  EXPECT_TRUE(dup.data().empty());
  EXPECT_EQ(KeyEntryRecord(dup, true), 1u);
  const TreeEntry unique = MakeKeyEntry(2, 1, false, "v", 0x01020304);
  EXPECT_EQ(Hex(std::string(unique.key())), "00 00 00 02 01 76");
  EXPECT_EQ(Hex(std::string(unique.data())), "01 02 03 04");
  EXPECT_EQ(KeyEntryRecord(unique, false), 0x01020304u);
}

}  // namespace
}  // namespace ck::vellum
