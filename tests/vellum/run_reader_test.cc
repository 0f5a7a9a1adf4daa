// Reading packed entry bytes in place: the run reader against the bytes it
// stands for, and packed pages decoded without unpacking them against the
// same pages unpacked first (entries, and the check a damaged one stops at).
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "storage/vellum/consistency.h"
#include "storage/vellum/page_codec.h"
#include "storage/vellum/run_reader.h"
#include "tests/vellum/stop_of.h"

namespace ck::vellum {
namespace {

// Text with runs of every length, as padded fields make them.
std::string Stretch(std::mt19937& rng, size_t n) {
  std::string s;
  while (s.size() < n) {
    const char c = static_cast<char>("a b\0\xFF"[rng() % 5]);
    s.append(rng() % 3 == 0 ? 1 + rng() % 300 : 1 + rng() % 3, c);
  }
  s.resize(n);
  return s;
}

TEST(RunReader, ReadsAndSkipsFromAnySavedPosition) {
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    const std::string plain = Stretch(rng, 1 + rng() % 3000);
    std::string packed;
    const bool isPacked = PackRuns(plain, &packed);
    const std::string_view in = isPacked ? std::string_view(packed) : std::string_view(plain);
    RunReader reader(in, plain.size(), isPacked);
    std::vector<std::pair<size_t, RunPosition>> saved;
    size_t at = 0;
    while (at < plain.size()) {
      const size_t step = std::min<size_t>(plain.size() - at, rng() % 400);
      saved.emplace_back(at, reader.position());
      if (rng() % 2) {
        std::string got(step, '?');
        reader.Read(got.data(), step);
        ASSERT_EQ(got, plain.substr(at, step)) << round << " at " << at;
      } else {
        reader.Skip(step);
      }
      at += step;
      ASSERT_EQ(reader.remaining(), plain.size() - at);
    }
    // Every saved position reads on to the end exactly.
    for (const auto& [from, position] : saved) {
      RunReader again(in, plain.size(), position);
      std::string rest(plain.size() - from, '?');
      again.Read(rest.data(), rest.size());
      ASSERT_EQ(rest, plain.substr(from)) << round << " from " << from;
    }
  }
}

TEST(RunReader, StopsOnDamageOnlyWhenItIsReached) {
  // Literal 2 "ab", repeat 3, then a literal count past the end.
  const std::string packed = {2, 'a', 'b', 3, 9, 'x'};
  RunReader reader(packed, 6, true);
  std::string got(5, '?');
  reader.Read(got.data(), 5);
  EXPECT_EQ(got, "abbbb");
  EXPECT_EQ(StopOf([&] { reader.ReadByte(); }), 522);
  EXPECT_EQ(StopOf([&] { RunReader(packed, 6, true).Finish(); }), 522);
  // A repeat with nothing before it, and one past the end.
  EXPECT_EQ(StopOf([] { RunReader(std::string{0, 2}, 2, true).Finish(); }), 530);
  EXPECT_EQ(StopOf([] { RunReader(std::string{1, 'a', 5}, 3, true).Finish(); }), 530);
  // Input that ends inside a literal.
  EXPECT_EQ(StopOf([] { RunReader(std::string{4, 'a'}, 4, true).Finish(); }), 522);
}

// A leaf of entries shaped like the program's records (a short key, then
// text fields padded with blanks), so that the page is stored packed.
std::string PackedLeaf(std::mt19937& rng, int entries) {
  std::vector<TreeEntry> leaf;
  for (int i = 0; i < entries; ++i) {
    std::string key("\x00\x00\x00\x01\xF3\x00", 6);
    key += static_cast<char>(i / 256);
    key += static_cast<char>(i % 256);
    std::string data;
    for (int field = 0; field < 4; ++field) {
      std::string text = "www." + std::to_string(rng() % 100000);
      text.resize(40 + rng() % 80, ' ');
      data += text;
    }
    leaf.emplace_back(key, data);
  }
  PageImage page;
  page.entries = leaf;
  return EncodePage(page, 0);
}

// What the page decoded to, as a stop code and its entries.
struct Decoded {
  int stop = 0;
  std::vector<TreeEntry> entries;
};

Decoded DecodeInPlace(const std::string& block) {
  Decoded d;
  d.stop = StopOf([&] {
    const PageImage page = DecodePage(block, ClassOfLength(static_cast<uint32_t>(block.size())));
    for (size_t i = 0; i < page.entries.size(); ++i) {
      TreeEntry e;
      page.entries.CopyTo(i, &e);
      d.entries.push_back(e);
    }
  });
  return d;
}

// The same block unpacked whole first, then its entries read.
Decoded DecodeUnpackedFirst(const std::string& block) {
  Decoded d;
  const uint32_t stored = static_cast<uint8_t>(block[4]) | static_cast<uint8_t>(block[5]) << 8;
  const uint32_t plain = static_cast<uint8_t>(block[6]) | static_cast<uint8_t>(block[7]) << 8;
  const uint32_t count = static_cast<uint8_t>(block[10]) | static_cast<uint8_t>(block[11]) << 8;
  d.stop = StopOf([&] {
    const std::string bytes = UnpackRuns(std::string_view(block).substr(13, stored - 13), plain - 13);
    const PageEntries entries = UnpackEntries(bytes, count);
    for (size_t i = 0; i < entries.size(); ++i) d.entries.push_back(entries[i].ToEntry());
  });
  return d;
}

TEST(PackedPages, DecodeInPlaceAsWhenUnpackedFirstEvenWhenDamaged) {
  std::mt19937 rng(11);
  std::set<int> stops;
  for (int round = 0; round < 400; ++round) {
    const std::string good = PackedLeaf(rng, 2 + static_cast<int>(rng() % 20));
    const uint32_t stored = static_cast<uint8_t>(good[4]) | static_cast<uint8_t>(good[5]) << 8;
    ASSERT_LT(stored, static_cast<uint8_t>(good[6]) | static_cast<uint8_t>(good[7]) << 8);
    // Bytes of the packed stretch changed; the header stays, so both ways
    // read the same lengths.
    std::string block = good;
    for (int k = 0, changes = 1 + static_cast<int>(rng() % 3); k < changes && round > 0; ++k) {
      block[13 + rng() % (stored - 13)] = static_cast<char>(rng());
    }
    block = PadToClass(block);
    const Decoded inPlace = DecodeInPlace(block);
    const Decoded reference = DecodeUnpackedFirst(block);
    ASSERT_EQ(inPlace.stop, reference.stop) << round;
    stops.insert(inPlace.stop);
    if (inPlace.stop != 0) continue;
    ASSERT_EQ(inPlace.entries.size(), reference.entries.size()) << round;
    for (size_t i = 0; i < inPlace.entries.size(); ++i) {
      ASSERT_EQ(inPlace.entries[i].bytes, reference.entries[i].bytes) << round << " entry " << i;
      ASSERT_EQ(inPlace.entries[i].keyLength, reference.entries[i].keyLength) << round;
    }
  }
  EXPECT_EQ(stops, (std::set<int>{0, 522, 530, 1602}));  // every kind of damage was met
}

}  // namespace
}  // namespace ck::vellum
