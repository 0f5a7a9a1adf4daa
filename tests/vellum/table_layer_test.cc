// The table layer on an in-memory entry store: which entries a table and
// its records become, key order, duplicates, memos, several tables in one
// file, and opening against a stored definition.
#include <gtest/gtest.h>

#include "storage/vellum/entry_keys.h"
#include "storage/vellum/key_codec.h"
#include "storage/vellum/table.h"
#include "tests/vellum/table_memory_store.h"

namespace ck::vellum {
namespace {

using storage::FileControlBlock;
using testing::MemoryStore;
using testing::SetText;

class TableLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    decl = testing::PasswordsDeclaration();
    ASSERT_EQ(Table::Create(store, take, "UNNAMED", decl, &table), 0);
  }

  uint32_t AddDomain(const std::string& domain, const std::string& login = "me") {
    std::string rec(475, ' ');
    SetText(rec, 0, 100, domain);
    SetText(rec, 100, 100, login);
    uint32_t n = 0;
    EXPECT_EQ(table.Add(store, take, decl, rec.data(), {}, true, &n), 0);
    return n;
  }

  // Record numbers of key k's entries in key order.
  std::vector<uint32_t> KeyOrder(int k) {
    std::vector<uint32_t> out;
    const std::string prefix = table.OrderPrefix(k);
    TreeEntry e;
    int rc = store.SeekGE(prefix, &e);
    while (rc == 0 && e.key().substr(0, prefix.size()) == prefix) {
      out.push_back(KeyEntryRecord(e, decl.keys[k].duplicates));
      const std::string key(e.key());
      rc = store.SeekGT(key, &e);
    }
    return out;
  }

  uint32_t Count(uint8_t selector) {
    uint32_t n = 99;
    EXPECT_EQ(table.Count(store, selector, &n), 0);
    return n;
  }

  MemoryStore store;
  NumberSource take = [this](uint32_t* n) { return store.Take(n); };
  FileControlBlock decl;
  Table table;
};

TEST_F(TableLayer, CreateWritesNameDefinitionCollationAndCounters) {
  EXPECT_EQ(table.number(), 1u);  // the first number the file hands out
  TreeEntry e;
  ASSERT_EQ(store.Get(std::string("\xFE" "UNNAMED"), &e), 0);
  EXPECT_EQ(std::string(e.data()), std::string("\0\0\0\1", 4));
  ASSERT_EQ(store.Get(std::string("\0\0\0\1\xFB\x01", 6), &e), 0);
  EXPECT_EQ(e.data().size(), 1153u);
  EXPECT_EQ(e.data()[0], '\0');  // not OEM
  ASSERT_EQ(store.Get(std::string("\0\0\0\1\xFA\0\0", 7), &e), 0);
  EXPECT_EQ(e.data().substr(0, 2), std::string("\x01\x00", 2));
  ASSERT_EQ(store.Get(std::string("\0\0\0\1\xF6\xF3", 6), &e), 0);
  EXPECT_EQ(std::string(e.data()), std::string(8, '\0'));
  EXPECT_EQ(store.Get(std::string("\0\0\0\1\xF6\x00", 6), &e), 0);
}

TEST_F(TableLayer, RecordsAndDuplicateKeysKeepKeyThenRecordNumberOrder) {
  const uint32_t b = AddDomain("bank.example");
  const uint32_t e1 = AddDomain("ebay", "first");
  const uint32_t a = AddDomain("Amazon");
  const uint32_t e2 = AddDomain("ebay", "second");
  const uint32_t E = AddDomain("Ebay");
  EXPECT_EQ(b, 2u);  // record numbers follow the table's own number
  EXPECT_EQ(KeyOrder(0), (std::vector<uint32_t>{a, b, e1, e2, E}));
  EXPECT_EQ(Count(kTableCounter), 5u);
  EXPECT_EQ(Count(0), 5u);
  // The data entry of record 2: key 00 00 00 01 F3 00 00 00 02, the record image.
  TreeEntry d;
  ASSERT_EQ(store.Get(std::string("\0\0\0\1\xF3\0\0\0\2", 9), &d), 0);
  EXPECT_EQ(d.data().substr(0, 12), "bank.example");
  EXPECT_EQ(d.data().size(), 475u);
}

TEST_F(TableLayer, UniqueKeyRefusesDuplicatesAndStoresNothing) {
  decl.keys[0].duplicates = false;
  ASSERT_EQ(Table::Create(store, take, "UNIQUE", decl, &table), 0);
  AddDomain("x");
  const size_t before = store.entries.size();
  std::string rec(475, ' ');
  SetText(rec, 0, 100, "x");
  uint32_t n = 0;
  EXPECT_EQ(table.Add(store, take, decl, rec.data(), {}, true, &n), storage::DupKeyErr);
  EXPECT_EQ(store.entries.size(), before);
  EXPECT_EQ(Count(kTableCounter), 1u);
  // Changing another record onto the taken value fails the same way.
  const uint32_t y = AddDomain("y");
  EXPECT_EQ(table.Update(store, decl, y, rec.data(), {}, true), storage::DupKeyErr);
  RecordImage img;
  ASSERT_EQ(table.Read(store, decl, y, &img, true), 0);
  EXPECT_EQ(img.record[0], 'y');
  bool dup = false;
  ASSERT_EQ(table.IsDuplicate(store, decl, 0, rec.data(), y, &dup), 0);
  EXPECT_TRUE(dup);
}

TEST_F(TableLayer, UpdateAndRemoveKeepKeysAndCountersInStep) {
  const uint32_t a = AddDomain("alpha");
  const uint32_t b = AddDomain("beta");
  std::string rec(475, ' ');
  SetText(rec, 0, 100, "zulu");
  ASSERT_EQ(table.Update(store, decl, a, rec.data(), {}, true), 0);
  EXPECT_EQ(KeyOrder(0), (std::vector<uint32_t>{b, a}));
  ASSERT_EQ(table.Remove(store, decl, b), 0);
  EXPECT_EQ(KeyOrder(0), (std::vector<uint32_t>{a}));
  EXPECT_EQ(Count(kTableCounter), 1u);
  EXPECT_EQ(Count(0), 1u);
  RecordImage img;
  EXPECT_EQ(table.Read(store, decl, b, &img, true), storage::RecordNotFoundErr);
  EXPECT_EQ(table.Remove(store, decl, b), storage::RecordNotFoundErr);
}

TEST_F(TableLayer, MemosAreChunkedAndReadBack) {
  storage::MemoDescriptor memo;
  memo.name = "NOTES";
  memo.size = 2000;
  decl.memos.push_back(memo);
  storage::MemoDescriptor blob;
  blob.name = "DATA";
  blob.blob = true;
  decl.memos.push_back(blob);
  ASSERT_EQ(Table::Create(store, take, "MEMOS", decl, &table), 0);
  std::string text(600, 'x');
  text[599] = 'y';
  std::string data(25000, '\xAB');
  std::string rec(475, ' ');
  uint32_t n = 0;
  ASSERT_EQ(table.Add(store, take, decl, rec.data(), {text, data}, true, &n), 0);
  TreeEntry c;
  // memo 0: 4 + 256, 256, 88 bytes; blob: 4 + 10240, 10240, 4520.
  ASSERT_EQ(store.Get(MemoKey(table.number(), n, 0, 0), &c), 0);
  EXPECT_EQ(c.data().size(), 260u);
  EXPECT_EQ(std::string(c.data().substr(0, 4)), std::string("\x58\x02\0\0", 4));
  ASSERT_EQ(store.Get(MemoKey(table.number(), n, 0, 2), &c), 0);
  EXPECT_EQ(c.data().size(), 88u);
  ASSERT_EQ(store.Get(MemoKey(table.number(), n, 1, 2), &c), 0);
  EXPECT_EQ(c.data().size(), 4520u);
  RecordImage img;
  ASSERT_EQ(table.Read(store, decl, n, &img, true), 0);
  EXPECT_EQ(img.memos, (std::vector<std::string>{text, data}));
  // A shorter value leaves no stale chunk behind; removal takes them all.
  ASSERT_EQ(table.Update(store, decl, n, rec.data(), {"short", ""}, true), 0);
  ASSERT_EQ(table.Read(store, decl, n, &img, true), 0);
  EXPECT_EQ(img.memos, (std::vector<std::string>{"short", ""}));
  EXPECT_EQ(store.Get(MemoKey(table.number(), n, 0, 1), &c), kNotFound);
  ASSERT_EQ(table.Remove(store, decl, n), 0);
  const std::string memoPrefix = KindPrefix(table.number(), kMemoEntry);
  ASSERT_EQ(store.SeekGE(memoPrefix, &c), 0);
  EXPECT_NE(c.key().substr(0, memoPrefix.size()), memoPrefix);
}

TEST_F(TableLayer, TwoTablesShareOneFileApart) {
  FileControlBlock other = testing::PasswordsDeclaration();
  other.recordLength = 100;
  other.fields.resize(1);
  Table second;
  ASSERT_EQ(Table::Create(store, take, "Second", other, &second), 0);
  AddDomain("one");
  std::string rec(100, ' ');
  SetText(rec, 0, 100, "two");
  uint32_t n = 0;
  ASSERT_EQ(second.Add(store, take, other, rec.data(), {}, true, &n), 0);
  EXPECT_NE(second.number(), table.number());
  std::vector<std::string> names;
  ASSERT_EQ(Table::Names(store, &names), 0);
  EXPECT_EQ(names, (std::vector<std::string>{"Second", "UNNAMED"}));
  uint32_t count = 0;
  ASSERT_EQ(second.Count(store, kTableCounter, &count), 0);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(Count(kTableCounter), 1u);
  // Names are found without regard to case; dropping one leaves the other whole.
  Table found;
  ASSERT_EQ(Table::Open(store, "SECOND", other, true, nullptr, &found), 0);
  EXPECT_EQ(found.number(), second.number());
  ASSERT_EQ(Table::Drop(store, "second"), 0);
  EXPECT_EQ(Table::Open(store, "Second", other, true, nullptr, &found), storage::FileNotFoundErr);
  EXPECT_EQ(Count(kTableCounter), 1u);
  EXPECT_EQ(KeyOrder(0).size(), 1u);
}

TEST_F(TableLayer, OpenVerifiesOrTakesTheStoredDeclaration) {
  Table opened;
  FileControlBlock same = testing::PasswordsDeclaration();
  EXPECT_EQ(Table::Open(store, "UNNAMED", same, true, nullptr, &opened), 0);
  FileControlBlock changed = testing::PasswordsDeclaration();
  changed.fields[2].length = 30;
  EXPECT_EQ(Table::Open(store, "UNNAMED", changed, true, nullptr, &opened), storage::BadRecErr);
  FileControlBlock bare;
  ASSERT_EQ(Table::Open(store, "UNNAMED", bare, true, nullptr, &opened), 0);
  EXPECT_EQ(bare.recordLength, 475u);
  EXPECT_EQ(bare.fields.size(), 4u);
  EXPECT_TRUE(bare.keys[0].duplicates);
}

TEST_F(TableLayer, BuildAndEmpty) {
  AddDomain("b");
  AddDomain("a");
  ASSERT_EQ(EraseRange(store, table.OrderPrefix(0)), 0);
  EXPECT_TRUE(KeyOrder(0).empty());
  ASSERT_EQ(table.BuildKeys(store, decl, -1), 0);
  EXPECT_EQ(KeyOrder(0), (std::vector<uint32_t>{3, 2}));
  EXPECT_EQ(Count(0), 2u);
  ASSERT_EQ(table.Empty(store, decl), 0);
  EXPECT_TRUE(KeyOrder(0).empty());
  EXPECT_EQ(Count(kTableCounter), 0u);
  EXPECT_EQ(AddDomain("c"), 4u);  // record numbers are never reused
}

TEST_F(TableLayer, OemTablesStoreTextInCodePage437AndKeyWhatTheyStore) {
  decl.oem = true;
  ASSERT_EQ(Table::Create(store, take, "OEM", decl, &table), 0);
  const uint32_t n = AddDomain("caf\xE9");  // é in 1252 is 0x82 in 437
  TreeEntry d;
  ASSERT_EQ(store.Get(DataKey(table.number(), n), &d), 0);
  EXPECT_EQ(d.data().substr(0, 4), "caf\x82");
  RecordImage img;
  ASSERT_EQ(table.Read(store, decl, n, &img, true), 0);
  EXPECT_EQ(img.record.substr(0, 4), "caf\xE9");

  // 437 has no \x8A (S with caron): the record keeps S, and so must its key,
  // whether it is built from the text given or from the record read back.
  std::string given(475, ' ');
  SetText(given, 0, 100, "\x8A" "b");
  uint32_t s = 0;
  ASSERT_EQ(table.Add(store, take, decl, given.data(), {}, true, &s), 0);
  ASSERT_EQ(table.Read(store, decl, s, &img, true), 0);
  EXPECT_EQ(img.record.substr(0, 2), "Sb");
  EXPECT_EQ(table.KeyPart(decl, 0, given.data(), s), table.KeyPart(decl, 0, img.record.data(), s));
  TreeEntry key;
  EXPECT_EQ(store.Get(table.KeyPart(decl, 0, img.record.data(), s), &key), 0);
  // A change and a removal leave no stale key entry behind.
  SetText(img.record, 0, 100, "\x8C" "x");  // OE ligature, not in 437 either
  ASSERT_EQ(table.Update(store, decl, s, img.record.data(), {}, false), 0);
  ASSERT_EQ(table.Remove(store, decl, s), 0);
  EXPECT_EQ(KeyOrder(0), (std::vector<uint32_t>{n}));
  EXPECT_EQ(Count(0), 1u);
}

TEST_F(TableLayer, OptKeysLeaveBlankValuesOut) {
  decl.keys[0].opt = true;
  ASSERT_EQ(Table::Create(store, take, "OPT", decl, &table), 0);
  AddDomain("");
  const uint32_t x = AddDomain("x");
  EXPECT_EQ(KeyOrder(0), (std::vector<uint32_t>{x}));
  EXPECT_EQ(Count(0), 1u);
  EXPECT_EQ(Count(kTableCounter), 2u);
}

}  // namespace
}  // namespace ck::vellum
