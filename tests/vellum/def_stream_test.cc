// The definition stream: its byte layout, the round trip through write and
// read, and which differences verify treats as hard (47) or soft.
#include <gtest/gtest.h>

#include "storage/vellum/definition_stream.h"
#include "tests/vellum/table_memory_store.h"

namespace ck::vellum {
namespace {

using storage::FileControlBlock;

// A declaration using most kinds of item: text, decimal, number, memo,
// blob, a two-component key with a descending part.
FileControlBlock Rich() {
  FileControlBlock fcb = testing::PasswordsDeclaration();
  fcb.recordLength = 490;
  storage::FieldDescriptor amount;
  amount.type = storage::DECIMAL;
  amount.offset = 475;
  amount.length = 6;
  amount.digits = 11;
  amount.places = 2;
  amount.name = "PAS:AMOUNT";
  fcb.fields.push_back(amount);
  storage::FieldDescriptor stamp;
  stamp.type = storage::LONG;
  stamp.offset = 481;
  stamp.length = 4;
  stamp.name = "PAS:STAMP";
  fcb.fields.push_back(stamp);
  storage::FieldDescriptor over;
  over.type = storage::CSTRING;
  over.offset = 481;
  over.length = 4;
  over.name = "PAS:STAMPTEXT";
  over.over = 5;
  fcb.fields.push_back(over);
  storage::MemoDescriptor notes;
  notes.name = "PAS:NOTES";
  notes.size = 1000;
  fcb.memos.push_back(notes);
  storage::MemoDescriptor photo;
  photo.name = "PAS:PHOTO";
  photo.externalName = "Photo";
  photo.blob = true;
  photo.binary = true;
  fcb.memos.push_back(photo);
  storage::KeyDescriptor k;
  k.name = "PAS:KeyStamp";
  k.nocase = true;
  k.opt = true;
  k.components = {{5, true}, {1, false}};
  fcb.keys.push_back(k);
  return fcb;
}

TEST(DefinitionStream, LayoutStartsWithVersionAndCounts) {
  const FileControlBlock fcb = testing::PasswordsDeclaration();
  const std::string s = WriteDefinition(fcb);
  // version 1, record length 475, 4 fields, 0 memos, 1 key
  EXPECT_EQ(s.substr(0, 10), std::string("\x01\x00\xDB\x01\x04\x00\x00\x00\x01\x00", 10));
  // first field: STRING at offset 0, its name with a terminating zero
  EXPECT_EQ(s.substr(10, 3), std::string("\x12\x00\x00", 3));
  EXPECT_EQ(s.substr(13, 17), std::string("PAS:CLIENTDOMAIN\0", 17));
  // four declaration words: no DIM, length 100, not OVER, reserved
  EXPECT_EQ(s.substr(30, 8), std::string("\x00\x00\x64\x00\x00\x00\x00\x00", 8));
  // The key ends the stream: name, external name, flags (duplicates), one component:
  // field 1, ascending.
  const std::string tail = std::string("PAS:KeyClientDomain\0PAS:KEYCLIENTDOMAIN\0", 40) +
                           std::string("\x01\x01\x00\x01\x00\x00\x00", 7);
  EXPECT_EQ(s.substr(s.size() - tail.size()), tail);
  // A blob makes it version 2; an absent external name is 00 01.
  const std::string rich = WriteDefinition(Rich());
  EXPECT_EQ(rich.substr(0, 2), std::string("\x02\x00", 2));
  EXPECT_NE(rich.find(std::string("PAS:NOTES\0\x00\x01\xE8\x03\x00\x00", 15)), std::string::npos);
}

TEST(DefinitionStream, ReadGivesBackTheDeclaration) {
  const FileControlBlock decl = Rich();
  FileControlBlock read;
  ASSERT_EQ(ReadDefinition(WriteDefinition(decl), read), 0);
  EXPECT_EQ(read.recordLength, decl.recordLength);
  ASSERT_EQ(read.fields.size(), decl.fields.size());
  for (size_t i = 0; i < decl.fields.size(); ++i) {
    EXPECT_EQ(read.fields[i].type, decl.fields[i].type) << i;
    EXPECT_EQ(read.fields[i].offset, decl.fields[i].offset) << i;
    EXPECT_EQ(read.fields[i].length, decl.fields[i].length) << i;
    EXPECT_EQ(read.fields[i].name, decl.fields[i].name) << i;
    EXPECT_EQ(read.fields[i].over, decl.fields[i].over) << i;
    EXPECT_EQ(read.fields[i].picture, decl.fields[i].picture) << i;
  }
  EXPECT_EQ(read.fields[4].digits, 11);
  EXPECT_EQ(read.fields[4].places, 2);
  ASSERT_EQ(read.memos.size(), 2u);
  EXPECT_EQ(read.memos[0].size, 1000u);
  EXPECT_TRUE(read.memos[1].blob && read.memos[1].binary);
  EXPECT_EQ(read.memos[1].externalName, "Photo");
  ASSERT_EQ(read.keys.size(), 2u);
  EXPECT_TRUE(read.keys[0].duplicates);
  EXPECT_EQ(read.keys[0].externalName, "PAS:KEYCLIENTDOMAIN");
  EXPECT_TRUE(read.keys[1].nocase && read.keys[1].opt && !read.keys[1].duplicates);
  ASSERT_EQ(read.keys[1].components.size(), 2u);
  EXPECT_EQ(read.keys[1].components[0].field, 5);
  EXPECT_TRUE(read.keys[1].components[0].descending);
  EXPECT_FALSE(read.keys[1].components[1].descending);
  // A stream cut anywhere is refused, never misread.
  const std::string s = WriteDefinition(decl);
  for (size_t cut : {size_t{1}, size_t{9}, size_t{40}, s.size() - 1}) {
    FileControlBlock partial;
    EXPECT_EQ(ReadDefinition(s.substr(0, cut), partial), storage::BadRecErr) << cut;
  }
}

TEST(DefinitionStream, VerifyFailsOnHardAndGoesOnOverSoftDifferences) {
  const std::string stored = WriteDefinition(Rich());
  std::vector<std::string> soft;
  EXPECT_EQ(VerifyDefinition(stored, Rich(), true, &soft), 0);
  EXPECT_TRUE(soft.empty());

  struct Case {
    const char* what;
    void (*change)(FileControlBlock&);
    int expected;
  };
  const Case cases[] = {
      {"field name", [](FileControlBlock& f) { f.fields[1].name = "PAS:USER"; }, 0},
      {"key name", [](FileControlBlock& f) { f.keys[0].name = "Other"; }, 0},
      {"memo external name", [](FileControlBlock& f) { f.memos[1].externalName = ""; }, 0},
      {"picture", [](FileControlBlock& f) { f.fields[0].picture = "s50"; }, 0},
      {"INDEX for KEY", [](FileControlBlock& f) { f.keys[1].isIndex = true; }, 0},
      {"DIM word", [](FileControlBlock& f) { f.fields[6].dim = 3; }, 0},
      {"field type", [](FileControlBlock& f) { f.fields[5].type = storage::ULONG; }, 47},
      {"field offset", [](FileControlBlock& f) { f.fields[3].offset = 221; }, 47},
      {"field length", [](FileControlBlock& f) { f.fields[3].length = 254; }, 47},
      {"record length", [](FileControlBlock& f) { f.recordLength = 491; }, 47},
      {"field count", [](FileControlBlock& f) { f.fields.pop_back(); }, 47},
      {"OVER", [](FileControlBlock& f) { f.fields[6].over = -1; }, 47},
      {"memo size", [](FileControlBlock& f) { f.memos[0].size = 999; }, 47},
      {"memo binary", [](FileControlBlock& f) { f.memos[1].binary = false; }, 47},
      {"NOCASE", [](FileControlBlock& f) { f.keys[0].nocase = true; }, 47},
      {"duplicates", [](FileControlBlock& f) { f.keys[1].duplicates = true; }, 47},
      {"component field", [](FileControlBlock& f) { f.keys[1].components[1].field = 2; }, 47},
      {"descending", [](FileControlBlock& f) { f.keys[1].components[0].descending = false; }, 47},
      {"decimal places", [](FileControlBlock& f) { f.fields[4].places = 3; }, 47},
  };
  for (const Case& c : cases) {
    FileControlBlock decl = Rich();
    c.change(decl);
    soft.clear();
    EXPECT_EQ(VerifyDefinition(stored, decl, true, &soft), c.expected) << c.what;
  }
  // With the decimal check off, decimal digits and places are soft.
  FileControlBlock decl = Rich();
  decl.fields[4].places = 3;
  decl.fields[4].digits = 12;
  soft.clear();
  EXPECT_EQ(VerifyDefinition(stored, decl, false, &soft), 0);
  EXPECT_EQ(soft.size(), 2u);
}

}  // namespace
}  // namespace ck::vellum
