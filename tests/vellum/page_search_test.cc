// Searching the entries of a stored page (with the search index it builds
// when it is searched again) against a plain search of the same keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "storage/vellum/page_codec.h"

namespace ck::vellum {
namespace {

// Bytes from a small alphabet with zeros and 0xFF, so that keys share long
// starts, end where others go on with zeros, and differ at every position.
std::string Key(std::mt19937& rng, const std::string& start) {
  static const char kBytes[] = {'\0', '\x01', 'a', 'b', '\xFF'};
  std::string k = start.substr(0, rng() % (start.size() + 1));
  for (size_t n = rng() % 14; n > 0; --n) k += kBytes[rng() % sizeof kBytes];
  return k;
}

bool Less(const std::string& a, const std::string& b) { return CompareKeys(a, b) < 0; }

TEST(PageSearch, BoundsAgreeWithAPlainSearchOnceTheIndexIsBuilt) {
  std::mt19937 rng(5);
  for (int round = 0; round < 300; ++round) {
    const std::string start = Key(rng, "") + Key(rng, "");
    std::vector<std::string> keys;
    for (int i = 0, n = 1 + static_cast<int>(rng() % 60); i < n; ++i) keys.push_back(start + Key(rng, ""));
    std::sort(keys.begin(), keys.end(), Less);
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    std::vector<TreeEntry> entries;
    for (const std::string& k : keys) entries.emplace_back(k, std::string(rng() % 40, ' '));
    PageImage page;
    page.entries = entries;
    const std::string block = PadToClass(EncodePage(page, 0));
    const PageImage stored = DecodePage(block, ClassOfLength(static_cast<uint32_t>(block.size())));
    for (int q = 0; q < 60; ++q) {
      std::string wanted;
      switch (rng() % 4) {
        case 0: wanted = keys[rng() % keys.size()]; break;  // a key of the page
        case 1: wanted = keys[rng() % keys.size()].substr(0, rng() % 12); break;  // a start of one
        case 2: wanted = start + Key(rng, ""); break;
        default: wanted = Key(rng, start); break;
      }
      const size_t lower = std::lower_bound(keys.begin(), keys.end(), wanted, Less) - keys.begin();
      const size_t upper = std::upper_bound(keys.begin(), keys.end(), wanted, Less) - keys.begin();
      ASSERT_EQ(stored.entries.LowerBound(wanted), lower) << round << " query " << q;
      ASSERT_EQ(stored.entries.UpperBound(wanted), upper) << round << " query " << q;
    }
  }
}

}  // namespace
}  // namespace ck::vellum
