// Byte-exact checks of the page layer against blocks built by hand: file
// header, run-length packing, entry packing, page blocks, and the checks that
// stop on damaged blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "storage/vellum/consistency.h"
#include "storage/vellum/file_header.h"
#include "storage/vellum/page_codec.h"
#include "tests/vellum/stop_of.h"

namespace ck::vellum {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

TEST(PageHeader, EncodesEveryFieldAtItsOffset) {
  FileHeader h = FileHeader::Fresh();
  h.journalStart = 0x1234;
  h.journalEnd = 0x5678;
  h.lastRecord = {0, 0, 1, 2};
  h.changeCounter = 7;
  h.rootPage = 3;
  h.regionStart[1] = 0;
  h.regionEnd[1] = 4;
  h.regionStart[59] = 0x10;
  h.regionEnd[59] = 0x10;
  const std::string b = h.Encode();
  ASSERT_EQ(b.size(), 512u);
  EXPECT_EQ(b.substr(0, 6), Bytes({0, 0, 0, 0, 0x00, 0x02}));
  EXPECT_EQ(b.substr(6, 8), Bytes({0x34, 0x12, 0, 0, 0x78, 0x56, 0, 0}));
  EXPECT_EQ(b.substr(14, 4), "vElM");
  EXPECT_EQ(b.substr(18, 2), Bytes({0, 0}));
  EXPECT_EQ(b.substr(20, 4), Bytes({0, 0, 1, 2}));  // big-endian counter
  EXPECT_EQ(b.substr(24, 8), Bytes({7, 0, 0, 0, 3, 0, 0, 0}));
  EXPECT_EQ(b.substr(32 + 4, 4), Bytes({0, 0, 0, 0}));
  EXPECT_EQ(b.substr(272 + 4, 4), Bytes({4, 0, 0, 0}));
  EXPECT_EQ(b.substr(32 + 4 * 59, 4), Bytes({0x10, 0, 0, 0}));
  EXPECT_EQ(h.LastRecordNumber(), 0x102u);

  FileHeader back;
  ASSERT_TRUE(FileHeader::Decode(b, &back));
  EXPECT_EQ(back.Encode(), b);
  EXPECT_FALSE(FileHeader::Decode(b.substr(0, 511), &back));
  std::string foreign = b;
  foreign[14] = 'V';
  EXPECT_FALSE(FileHeader::Decode(foreign, &back));
}

TEST(PageHeader, EndOfDataFollowsTheHighestNonEmptyRegion) {
  FileHeader h = FileHeader::Fresh();
  EXPECT_EQ(h.EndOfData(), 0x200u);
  h.regionStart[0] = h.regionEnd[0] = 3;
  EXPECT_EQ(h.EndOfData(), 0x200u + 256 * 3);  // every region empty: RegionEnd[0]
  h.regionStart[1] = 3;
  h.regionEnd[1] = 5;
  for (int c = 2; c <= 59; ++c) h.regionStart[c] = h.regionEnd[c] = 9;
  EXPECT_EQ(h.EndOfData(), 0x200u + 256 * 5);
  h.regionStart[7] = 9;
  h.regionEnd[7] = 16;
  EXPECT_EQ(h.EndOfData(), 0x200u + 256 * 16);
  EXPECT_EQ(h.ClassOfUnit(4), 1);
  EXPECT_EQ(h.ClassOfUnit(15), 7);
  EXPECT_EQ(h.ClassOfUnit(6), 0);
}

TEST(PageRuns, PacksRunsAndCountsAsSpecified) {
  std::string out;
  // No run of four: not packed at all.
  EXPECT_FALSE(PackRuns("abcaaabbbccc", &out));
  EXPECT_TRUE(out.empty());

  // "xy" then six 'a' then "z": literal 3 (x y a), repeat 5, final literal 1.
  ASSERT_TRUE(PackRuns("xyaaaaaaz", &out));
  EXPECT_EQ(out, Bytes({3, 'x', 'y', 'a', 5, 1, 'z'}));
  EXPECT_EQ(UnpackRuns(out, 9), "xyaaaaaaz");

  // Ending in a run: the final literal count is 0.
  ASSERT_TRUE(PackRuns(std::string(4, 'q'), &out));
  EXPECT_EQ(out, Bytes({1, 'q', 3, 0}));
  EXPECT_EQ(UnpackRuns(out, 4), "qqqq");

  // Counts of 128 and more take two bytes; 0x7F takes one.
  std::string longRun = "k" + std::string(201, 'b');
  ASSERT_TRUE(PackRuns(longRun, &out));
  EXPECT_EQ(out, Bytes({2, 'k', 'b', 0xC8, 0x01, 0}));  // repeat 200
  EXPECT_EQ(UnpackRuns(out, longRun.size()), longRun);
  std::string literal;
  for (int i = 0; i < 130; ++i) literal.push_back(static_cast<char>(i % 2 ? 'm' : 'n'));
  literal += "zzzz";
  ASSERT_TRUE(PackRuns(literal, &out));
  EXPECT_EQ(out.substr(0, 2), Bytes({0x83, 0x01}));  // 131 literal bytes
  EXPECT_EQ(UnpackRuns(out, literal.size()), literal);
  std::string count;
  AppendCount(&count, 0x7F);
  EXPECT_EQ(count, Bytes({0x7F}));
  count.clear();
  AppendCount(&count, 0x80);
  EXPECT_EQ(count, Bytes({0x80, 0x01}));
}

// The packing scan step by step as the format describes it: the fast scan
// that compares eight bytes at a time must give the same bytes, wherever a
// run starts or ends relative to its words.
std::string ReferencePack(std::string_view in) {
  std::string out;
  size_t q = 0, p = 0;
  bool anyRun = false;
  while (p < in.size()) {
    size_t r = 1;
    while (p + r < in.size() && in[p + r] == in[p]) ++r;
    if (r >= 4) {
      AppendCount(&out, p + 1 - q);
      out.append(in.substr(q, p + 1 - q));
      AppendCount(&out, r - 1);
      q = p + r;
      anyRun = true;
    }
    p += r;
  }
  if (!anyRun) return "";
  AppendCount(&out, in.size() - q);
  out.append(in.substr(q));
  return out;
}

TEST(PageRuns, FastScanPacksExactlyAsTheStepByStepScan) {
  std::string in;
  std::string out;
  std::mt19937 next(12345);
  for (int round = 0; round < 3000; ++round) {
    in.clear();
    const size_t length = next() % 90;
    while (in.size() < length) {
      // Runs of 1 to 12 of few letters, so runs of 3, 4 and 5 meet every offset.
      in.append(1 + next() % 12, static_cast<char>("ab \xFF"[next() % 4]));
    }
    const std::string expected = ReferencePack(in);
    ASSERT_EQ(PackRuns(in, &out), !expected.empty()) << round;
    ASSERT_EQ(out, expected) << round;
    if (!expected.empty()) {
      ASSERT_EQ(UnpackRuns(out, in.size()), in) << round;
    }
  }
}

TEST(PageRuns, DamagedRunsStop) {
  // Literal count beyond the expected length.
  EXPECT_EQ(StopOf([] { UnpackRuns(Bytes({5, 'a', 'b'}), 2); }), 522);
  // Input cut short inside a literal.
  EXPECT_EQ(StopOf([] { UnpackRuns(Bytes({3, 'a'}), 3); }), 522);
  // Repeat count beyond what remains.
  EXPECT_EQ(StopOf([] { UnpackRuns(Bytes({1, 'a', 9}), 4); }), 530);
  // A repeat with nothing written before it.
  EXPECT_EQ(StopOf([] { UnpackRuns(Bytes({0, 3}), 3); }), 530);
}

TEST(PageEntries, PacksLengthsAndSharedPrefixes) {
  std::vector<TreeEntry> entries = {TreeEntry("abc", "12"), TreeEntry("abd", "12"),
                                    TreeEntry("abdz", "1")};
  const std::string packed = PackEntries(entries);
  EXPECT_EQ(packed, Bytes({0xC0, 5, 0, 3, 0, 'a', 'b', 'c', '1', '2',  // first: both lengths
                           0x02, 'd', '1', '2',                        // same lengths, 2 shared
                           0x43, 4, 0, 'z', '1'}));                    // same total, new key length, 3 shared
  const auto back = UnpackEntries(packed, 3);
  ASSERT_EQ(back.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(back[i].bytes, entries[i].bytes);
    EXPECT_EQ(back[i].keyLength, entries[i].keyLength);
  }
  // Sharing is capped at 63 bytes.
  std::string longKey(70, 'k');
  std::vector<TreeEntry> longOnes = {TreeEntry(longKey + "a", ""), TreeEntry(longKey + "b", "")};
  const std::string p2 = PackEntries(longOnes);
  EXPECT_EQ(static_cast<uint8_t>(p2[5 + 71]), 63);
  EXPECT_EQ(UnpackEntries(p2, 2)[1].bytes, longKey + "b");
}

TEST(PageEntries, DamagedEntriesStop) {
  // The first entry must carry both lengths.
  EXPECT_EQ(StopOf([] { UnpackEntries(Bytes({0x80, 1, 0, 'a'}), 1); }), 1602);
  // Key length above the total.
  EXPECT_EQ(StopOf([] { UnpackEntries(Bytes({0xC0, 1, 0, 2, 0, 'a'}), 1); }), 1602);
  // Bytes left over after the last entry.
  EXPECT_EQ(StopOf([] { UnpackEntries(Bytes({0xC0, 1, 0, 1, 0, 'a', 'x'}), 1); }), 1602);
  // Fewer entries than counted.
  EXPECT_EQ(StopOf([] { UnpackEntries(Bytes({0xC0, 1, 0, 1, 0, 'a'}), 2); }), 1602);
  // Entries out of order.
  EXPECT_EQ(StopOf([] { UnpackEntries(Bytes({0xC0, 1, 0, 1, 0, 'b', 0x00, 'a'}), 2); }), 1602);
}

TEST(PageBlock, LeafAndIndexBlocksByHand) {
  PageImage leaf;
  leaf.entries = {TreeEntry("k1", "v"), TreeEntry("k2", "v")};
  const std::string block = EncodePage(leaf, 0x300);
  // Plain: 13-byte header, then 0xC0 3 0 2 0 "k1v", 0x01 "2v".
  EXPECT_EQ(block, Bytes({0x00, 0x03, 0, 0, 24, 0, 24, 0, 29, 0, 2, 0, 0,
                          0xC0, 3, 0, 2, 0, 'k', '1', 'v', 0x01, '2', 'v'}));
  const std::string padded = PadToClass(block);
  ASSERT_EQ(padded.size(), 256u);
  EXPECT_EQ(static_cast<uint8_t>(padded[24]), 0xB0);
  EXPECT_EQ(static_cast<uint8_t>(padded[255]), 0xB0);
  PageBlockInfo info;
  const PageImage back = DecodePage(padded, 1, &info);
  EXPECT_EQ(info.storedLength, 24u);
  EXPECT_EQ(back.entries.size(), 2u);
  EXPECT_EQ(back.entries[1].bytes, "k2v");

  PageImage index;
  index.level = 1;
  index.entries = {TreeEntry("a", ""), TreeEntry("m", "")};
  index.children = {7, 0x0102};
  const std::string ib = EncodePage(index, 0);
  EXPECT_EQ(ib.substr(10, 11), Bytes({2, 0, 1, 7, 0, 0, 0, 2, 1, 0, 0}));
  const PageImage ib2 = DecodePage(PadToClass(ib), 1);
  EXPECT_EQ(ib2.children, (std::vector<uint32_t>{7, 0x0102}));
  EXPECT_EQ(ib2.level, 1);
}

TEST(PageBlock, PacksOnlyWhenAUnitIsSaved) {
  // 300 zero bytes of data pack into far less than one unit: packed.
  PageImage big;
  big.entries = {TreeEntry("key", std::string(300, '\0'))};
  const std::string packed = EncodePage(big, 0);
  EXPECT_LT(packed.size(), 256u);
  const uint32_t stored = static_cast<uint8_t>(packed[4]) | static_cast<uint8_t>(packed[5]) << 8;
  const uint32_t unpacked = static_cast<uint8_t>(packed[6]) | static_cast<uint8_t>(packed[7]) << 8;
  EXPECT_EQ(stored, packed.size());
  EXPECT_EQ(unpacked, 13u + 5 + 303);
  EXPECT_EQ(DecodePage(PadToClass(packed), 1).entries[0].bytes, big.entries[0].bytes);
  // A short run that saves no unit: stored plain even though a run exists.
  PageImage small;
  small.entries = {TreeEntry("key", "aaaaa")};
  const std::string plain = EncodePage(small, 0);
  EXPECT_EQ(plain.size(), 13u + 5 + 8);
  EXPECT_EQ(plain[4], plain[6]);
}

// The packing a block uses is decided at the unit boundary: entry bytes
// whose packing ends a few bytes below the plain length are stored packed
// exactly when that saves a unit. Random pages of every size around the
// boundaries against the rule applied to the packing PackRuns gives.
TEST(PageBlock, PackedOrPlainAsTheUnitRuleSaysAtEveryLength) {
  std::mt19937 rng(31);
  int packedPages = 0, plainWithRuns = 0;
  for (int round = 0; round < 3000; ++round) {
    PageImage page;
    std::vector<TreeEntry> entries;
    const int n = 1 + static_cast<int>(rng() % 6);
    for (int i = 0; i < n; ++i) {
      std::string data;
      const size_t pieces = rng() % 6;
      for (size_t k = 0; k < pieces; ++k) {
        // Literal stretches and runs of 3 to 9 equal bytes: packing that
        // saves only a little.
        for (size_t m = rng() % 90; m > 0; --m) data.push_back(static_cast<char>('a' + rng() % 26));
        data.append(3 + rng() % 7, static_cast<char>('A' + rng() % 3));
      }
      entries.emplace_back("k" + std::to_string(10 + i), data);
    }
    page.entries = entries;
    const std::string plain = PackEntries(page.entries);
    std::string packed;
    const bool anyRun = PackRuns(plain, &packed);
    const size_t header = 13;
    auto units = [](size_t n) { return (n + 255) / 256; };
    const bool usePacked = anyRun && units(header + packed.size()) < units(header + plain.size());
    const std::string block = EncodePage(page, 0);
    ASSERT_EQ(block.substr(header), usePacked ? packed : plain) << round;
    if (usePacked) ++packedPages;
    else if (anyRun) ++plainWithRuns;
  }
  EXPECT_GT(packedPages, 100);
  EXPECT_GT(plainWithRuns, 100);
  // Entries of every length from 200 to 1,300 bytes with two short runs
  // inside and one at the very end: packing saves a few bytes, so some of
  // these cross a unit boundary by a byte or two.
  int crossings = 0;
  for (size_t length = 200; length <= 1300; ++length) {
    for (size_t run = 4; run <= 12; ++run) {
      std::string data;
      for (size_t i = 0; data.size() < length - run - 10; ++i) data.push_back(static_cast<char>('a' + i % 26));
      data.insert(data.size() / 3, 5, '#');
      data.insert(2 * data.size() / 3, 5, '$');
      data.append(run, '%');
      PageImage page;
      page.entries = {TreeEntry("key", data)};
      const std::string plain = PackEntries(page.entries);
      std::string packed;
      ASSERT_TRUE(PackRuns(plain, &packed));
      auto units = [](size_t n) { return (n + 255) / 256; };
      const bool usePacked = units(13 + packed.size()) < units(13 + plain.size());
      if (usePacked && packed.size() + 8 > plain.size()) ++crossings;
      ASSERT_EQ(EncodePage(page, 0).substr(13), usePacked ? packed : plain) << length << " " << run;
    }
  }
  EXPECT_GT(crossings, 10);
}

TEST(PageBlock, DamagedBlocksStop) {
  PageImage leaf;
  leaf.entries = {TreeEntry("k", std::string(40, 'x'))};
  const std::string good = PadToClass(EncodePage(leaf, 0));
  // Stored length whose class is not the slot's.
  EXPECT_EQ(StopOf([&] { DecodePage(good + std::string(256, '\xB0'), 2); }), 1477);
  // Stored length beyond 59 units.
  std::string b = good;
  b[4] = 0x01;
  b[5] = 0x3B;
  EXPECT_EQ(StopOf([&] { DecodePage(b, 1); }), 1678);
  // Unpacked length above the size estimate.
  b = good;
  b[8] = 1;
  b[9] = 0;
  EXPECT_EQ(StopOf([&] { DecodePage(b, 1); }), 1659);
  // A wrong entry count.
  b = good;
  b[10] = 2;
  EXPECT_EQ(StopOf([&] { DecodePage(b, 1); }), 1602);
}

// Leaf entries in key order whose bytes share long prefixes: runs of blanks
// in the data (so the page packs), keys that extend the previous entry's
// key with its first data bytes (so an entry shares more than its key, and
// more than the previous key), and keys that share nothing.
std::vector<TreeEntry> SharingEntries(std::mt19937& rng, size_t count) {
  std::vector<TreeEntry> entries;
  std::string key = "k";
  for (size_t i = 0; i < count; ++i) {
    std::string data;
    while (data.size() < rng() % 200) {
      data.append(1 + rng() % 30, static_cast<char>(" ab"[rng() % 3]));
    }
    if (i > 0) {
      const TreeEntry& prev = entries.back();
      const std::string_view prevData = prev.data();
      if (rng() % 3 == 0 && !prevData.empty() && key.size() < 80) {
        // The previous key and the start of its data; this data goes on like that one.
        const size_t take = 1 + rng() % std::min<size_t>(prevData.size(), 40);
        key += prevData.substr(0, take);
        data = std::string(prevData.substr(take)) + data.substr(0, 20);
      } else {
        key.resize(1 + rng() % key.size());
        while (key.size() > 1 && static_cast<uint8_t>(key.back()) == 0xFF) key.pop_back();
        key.back() = static_cast<char>(static_cast<uint8_t>(key.back()) + 1 + rng() % 3);
        if (static_cast<uint8_t>(key.back()) < 0x20) key.back() = '\xFF';
      }
    }
    entries.emplace_back(key, data);
  }
  return entries;
}

TEST(PageEntriesLazy, EveryEntryReadsBackInAnyOrderFromPackedAndPlainBlocks) {
  ScopedThrowOnCorruption guard;
  std::mt19937 rng(99);
  int packedPages = 0;
  for (int round = 0; round < 300; ++round) {
    PageImage page;
    const std::vector<TreeEntry> original = SharingEntries(rng, 1 + rng() % 40);
    page.entries = original;
    if (round % 3 == 0) {  // an index page: a child id per entry, in its header
      page.level = 1;
      for (size_t i = 0; i < original.size(); ++i) page.children.push_back(100 + static_cast<uint32_t>(i));
    }
    // Every key strictly above the one before: the decoder checks the order.
    for (size_t i = 1; i < original.size(); ++i) {
      ASSERT_LT(CompareKeys(original[i - 1].key(), original[i].key()), 0) << round << " " << i;
    }
    const std::string block = PadToClass(EncodePage(page, 0));
    PageBlockInfo info;
    const PageImage back = DecodePage(block, ClassOfLength(static_cast<uint32_t>(block.size())), &info);
    if (info.storedLength < info.unpackedLength) ++packedPages;
    ASSERT_EQ(back.entries.size(), original.size());
    ASSERT_EQ(back.entries.TotalBytes(), page.entries.TotalBytes());
    // Keys first, then whole entries in a shuffled order, then copies.
    std::vector<size_t> order(original.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), rng);
    for (size_t i : order) ASSERT_EQ(back.entries.key(i), original[i].key()) << round << " " << i;
    for (size_t i : order) {
      ASSERT_EQ(back.entries[i].bytes, original[i].bytes) << round << " " << i;
      ASSERT_EQ(back.entries[i].keyLength, original[i].keyLength);
    }
    std::shuffle(order.begin(), order.end(), rng);
    for (size_t i : order) {
      TreeEntry copy;
      back.entries.CopyTo(i, &copy);
      ASSERT_EQ(copy.bytes, original[i].bytes) << round << " " << i;
    }
    // Encoded again unchanged (as a moved page is), with other children on
    // an index page, the page gives the bytes a fresh encoding gives.
    PageImage moved = back;
    if (moved.isIndex()) {
      for (uint32_t& child : moved.children) child += 7;
      PageImage fresh = page;
      fresh.children = moved.children;
      ASSERT_EQ(PadToClass(EncodePage(moved, 0)), PadToClass(EncodePage(fresh, 0))) << round;
    } else {
      ASSERT_EQ(PadToClass(EncodePage(moved, 0)), block) << round;
    }
    // Changing the page keeps every entry; the changed page encodes the same.
    PageImage changed = back;
    changed.entries.MakeOwned();
    ASSERT_EQ(changed.entries.size(), original.size());
    for (size_t i = 0; i < original.size(); ++i) ASSERT_EQ(changed.entries[i].bytes, original[i].bytes);
    ASSERT_EQ(PadToClass(EncodePage(changed, 0)), block) << round;
  }
  EXPECT_GT(packedPages, 100);
  EXPECT_LT(packedPages, 300);
}

// A page read to be changed is decoded straight into entries of its own.
// Whatever the block holds, that must end as the walk does: the same
// entries, or the same stop. Blocks are damaged at random: in the packing,
// the entry lengths and flags, and the header's lengths.
TEST(PageEntriesLazy, DecodingForAChangeAgreesWithTheWalkOnDamagedBlocks) {
  std::mt19937 rng(7);
  int stops = 0, decoded = 0;
  auto outcome = [](const std::string& block, int sizeClass, bool forChange,
                    std::vector<TreeEntry>* out) {
    return StopOf([&] {
      const PageImage page = DecodePage(ByteBuffer(block), sizeClass, nullptr, forChange);
      for (size_t i = 0; i < page.entries.size(); ++i) out->push_back(page.entries[i].ToEntry());
    });
  };
  for (int round = 0; round < 3000; ++round) {
    PageImage page;
    page.entries = SharingEntries(rng, 1 + rng() % 30);
    std::string block = PadToClass(EncodePage(page, 0));
    const int sizeClass = ClassOfLength(static_cast<uint32_t>(block.size()));
    const uint32_t stored = static_cast<uint8_t>(block[4]) | static_cast<uint8_t>(block[5]) << 8;
    for (int k = 1 + static_cast<int>(rng() % 3); k > 0; --k) {
      const size_t at = rng() % 4 == 0 ? 4 + rng() % 8 : kPageHeaderSize + rng() % (stored - kPageHeaderSize);
      block[at] = static_cast<char>(rng() % 3 == 0 ? block[at] ^ (1 << (rng() % 8)) : rng());
    }
    std::vector<TreeEntry> walked, owned;
    const int walkStop = outcome(block, sizeClass, false, &walked);
    const int ownedStop = outcome(block, sizeClass, true, &owned);
    ASSERT_EQ(ownedStop, walkStop) << round;
    ASSERT_EQ(owned.size(), walked.size()) << round;
    for (size_t i = 0; i < walked.size(); ++i) {
      ASSERT_EQ(owned[i].bytes, walked[i].bytes) << round << " " << i;
      ASSERT_EQ(owned[i].keyLength, walked[i].keyLength) << round << " " << i;
    }
    (walkStop == 0 ? decoded : stops)++;
  }
  // Both ends are reached often: damage that still decodes, and stops.
  EXPECT_GT(decoded, 300);
  EXPECT_GT(stops, 300);
}

TEST(PageEntriesLazy, ARunGoingOnIntoTheNextEntryReadsBack) {
  // The first entry's data ends in 300 bytes 0x04; the second entry shares
  // four bytes with it and keeps its lengths, so its flag byte is 0x04 too:
  // one packed run covers the end of one entry and the start of the next.
  ScopedThrowOnCorruption guard;
  PageImage page;
  page.entries = {TreeEntry("abcde", "XYZ" + std::string(300, '\x04')),
                  TreeEntry("abcdf", "Q" + std::string(302, 'r'))};
  const std::string block = PadToClass(EncodePage(page, 0));
  ASSERT_LT(static_cast<uint8_t>(block[4]) | static_cast<uint8_t>(block[5]) << 8,
            static_cast<uint8_t>(block[6]) | static_cast<uint8_t>(block[7]) << 8);  // packed
  const PageImage back = DecodePage(block, ClassOfLength(static_cast<uint32_t>(block.size())));
  ASSERT_EQ(back.entries.size(), 2u);
  EXPECT_EQ(back.entries.key(1), "abcdf");
  EXPECT_EQ(back.entries[1].bytes, page.entries[1].bytes);
  EXPECT_EQ(back.entries[0].bytes, page.entries[0].bytes);
}

TEST(PageEntriesLazy, KeysNotAscendingAfterSharedBytesStop) {
  // Plain leaf blocks built by hand: entry 2 shares bytes with entry 1, so
  // the order check starts where the copied bytes end.
  auto block = [](const std::string& entries, uint8_t count) {
    std::string b(kPageHeaderSize, '\0');
    const auto length = static_cast<uint32_t>(kPageHeaderSize + entries.size());
    b[4] = b[6] = static_cast<char>(length & 0xFF);
    b[5] = b[7] = static_cast<char>(length >> 8);
    b[8] = static_cast<char>(0xFF);
    b[9] = 0x3A;
    b[10] = static_cast<char>(count);
    return PadToClass(b + entries);
  };
  // "abcd" then a key sharing "abc" and going on with 'e': ascending.
  const std::string first = Bytes({0xC0, 4, 0, 4, 0}) + "abcd";
  EXPECT_EQ(DecodePage(block(first + Bytes({0x03}) + "e", 2), 1).entries.key(1), "abce");
  // The same with 'c': "abcc" is below "abcd".
  EXPECT_EQ(StopOf([&] { DecodePage(block(first + Bytes({0x03}) + "c", 2), 1); }), 1602);
  // Sharing every byte: an equal key.
  EXPECT_EQ(StopOf([&] { DecodePage(block(first + Bytes({0x04}), 2), 1); }), 1602);
  // A shorter key made only of shared bytes ("abc", a prefix of "abcd").
  EXPECT_EQ(StopOf([&] { DecodePage(block(first + Bytes({0xC3, 3, 0, 3, 0}), 2), 1); }), 1602);
  // A longer key that shares into the data of the one before it.
  const std::string withData = Bytes({0xC0, 6, 0, 2, 0}) + "abXYZW";
  const PageImage back = DecodePage(block(withData + Bytes({0x45, 5, 0}) + "W", 2), 1);
  EXPECT_EQ(back.entries.key(1), "abXYZ");
  EXPECT_EQ(back.entries[1].data(), "W");
}

TEST(PageEntriesLazy, ACopyKeepsEveryEntryWhileBothAreRead) {
  ScopedThrowOnCorruption guard;
  PageImage page;
  for (int i = 0; i < 30; ++i) {
    page.entries.Insert(page.entries.size(),
                        TreeEntry("key" + std::to_string(100 + i), std::string(200, ' ') + "d"));
  }
  const std::string block = PadToClass(EncodePage(page, 0));
  const PageImage stored = DecodePage(block, ClassOfLength(static_cast<uint32_t>(block.size())));
  // Some entries put together before the copy, more after it, in both.
  std::vector<EntryView> views;
  for (size_t i = 0; i < 10; ++i) views.push_back(stored.entries[i]);
  const PageImage copy = stored;
  std::vector<EntryView> copyViews;
  for (size_t i = 0; i < 30; ++i) copyViews.push_back(copy.entries[i]);
  for (size_t i = 10; i < 30; ++i) views.push_back(stored.entries[i]);
  for (size_t i = 0; i < 30; ++i) {
    EXPECT_EQ(views[i].bytes, page.entries[i].bytes) << i;
    EXPECT_EQ(copyViews[i].bytes, page.entries[i].bytes) << i;
  }
}

TEST(PageEntriesLazy, ADamagedPackingStopsWhenThePageIsRead) {
  PageImage page;
  page.entries = {TreeEntry("key", std::string(300, ' ')), TreeEntry("kez", std::string(300, ' '))};
  const std::string good = PadToClass(EncodePage(page, 0));
  ASSERT_LT(static_cast<uint8_t>(good[4]), static_cast<uint8_t>(good[6]));  // packed
  // The first literal count made to run past the unpacked length.
  std::string b = good;
  b[13] = 0x7F;
  EXPECT_EQ(StopOf([&] { DecodePage(b, 1); }), 522);
  // One entry fewer counted than the bytes hold.
  b = good;
  b[10] = 1;
  EXPECT_EQ(StopOf([&] { DecodePage(b, 1); }), 1602);
}

}  // namespace
}  // namespace ck::vellum
