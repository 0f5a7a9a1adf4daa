// Page blocks: run-length packing, entry packing and the block header.
#include "storage/vellum/page_codec.h"

#include <algorithm>

#include "storage/vellum/bytes.h"
#include "storage/vellum/consistency.h"

namespace ck::vellum {
namespace {

constexpr uint32_t kRoundUnit = 256;
uint32_t RoundUp(uint32_t n) { return (n + kRoundUnit - 1) / kRoundUnit * kRoundUnit; }

// Reads a base-128 count; false when the input ends or the count is absurd.
bool ReadCount(std::string_view in, size_t* pos, uint64_t* value) {
  uint64_t v = 0;
  for (int shift = 0; shift < 35; shift += 7) {
    if (*pos >= in.size()) return false;
    const auto b = static_cast<uint8_t>(in[(*pos)++]);
    v |= uint64_t{b & 0x7Fu} << shift;
    if ((b & 0x80) == 0) {
      *value = v;
      return true;
    }
  }
  return false;
}

uint32_t HeaderSize(const PageImage& page) {
  return kPageHeaderSize + (page.isIndex() ? 4 * static_cast<uint32_t>(page.entries.size()) : 0);
}

}  // namespace

uint32_t SizeEstimate(const PageImage& page) {
  uint32_t estimate = kPageHeaderSize;
  for (const TreeEntry& e : page.entries) estimate += e.totalLength() + 5;
  if (page.isIndex()) estimate += 4 * static_cast<uint32_t>(page.entries.size());
  return estimate;
}

void AppendCount(std::string* out, uint64_t count) {
  while (count >= 0x80) {
    out->push_back(static_cast<char>(0x80 | (count & 0x7F)));
    count >>= 7;
  }
  out->push_back(static_cast<char>(count));
}

bool PackRuns(std::string_view in, std::string* out) {
  out->clear();
  size_t q = 0;  // first input byte not yet emitted
  bool anyRun = false;
  size_t p = 0;
  while (p < in.size()) {
    size_t r = 1;
    while (p + r < in.size() && in[p + r] == in[p]) ++r;
    if (r >= 4) {
      AppendCount(out, (p + 1) - q);
      out->append(in.substr(q, (p + 1) - q));
      AppendCount(out, r - 1);
      q = p + r;
      anyRun = true;
    }
    p += r;
  }
  if (!anyRun) {
    out->clear();
    return false;
  }
  AppendCount(out, in.size() - q);
  out->append(in.substr(q));
  return true;
}

std::string UnpackRuns(std::string_view in, size_t n) {
  std::string out;
  out.reserve(n);
  size_t pos = 0;
  while (true) {
    uint64_t literal = 0;
    if (!ReadCount(in, &pos, &literal) || literal > n - out.size() || literal > in.size() - pos) {
      ConsistencyStop(522);
    }
    out.append(in.substr(pos, literal));
    pos += literal;
    if (out.size() == n) break;
    uint64_t repeat = 0;
    if (!ReadCount(in, &pos, &repeat) || repeat > n - out.size() ||
        (repeat > 0 && out.empty())) {
      ConsistencyStop(530);
    }
    if (repeat > 0) out.append(repeat, out.back());
    if (out.size() == n) break;
  }
  return out;
}

std::string PackEntries(const std::vector<TreeEntry>& entries) {
  std::string out;
  const TreeEntry* prev = nullptr;
  for (const TreeEntry& e : entries) {
    const size_t flagAt = out.size();
    uint8_t flag = 0;
    out.push_back('\0');
    if (prev == nullptr || e.totalLength() != prev->totalLength()) {
      flag |= 0x80;
      AppendLe16(&out, e.totalLength());
    }
    if (prev == nullptr || e.keyLength != prev->keyLength) {
      flag |= 0x40;
      AppendLe16(&out, e.keyLength);
    }
    size_t shared = 0;
    if (prev != nullptr) {
      const size_t limit = std::min<size_t>({63, e.bytes.size(), prev->bytes.size()});
      while (shared < limit && e.bytes[shared] == prev->bytes[shared]) ++shared;
      flag |= static_cast<uint8_t>(shared);
    }
    out[flagAt] = static_cast<char>(flag);
    out.append(e.bytes, shared, std::string::npos);
    prev = &e;
  }
  return out;
}

std::vector<TreeEntry> UnpackEntries(std::string_view bytes, uint32_t count) {
  std::vector<TreeEntry> entries;
  entries.reserve(count);
  size_t pos = 0;
  uint32_t total = 0;
  uint32_t keyLength = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (pos >= bytes.size()) ConsistencyStop(1602);
    const auto flag = static_cast<uint8_t>(bytes[pos++]);
    const uint32_t shared = flag & 0x3F;
    if (i == 0 && (flag & 0xC0) != 0xC0) ConsistencyStop(1602);
    if (flag & 0x80) {
      if (pos + 2 > bytes.size()) ConsistencyStop(1602);
      total = GetLe16(bytes, pos);
      pos += 2;
    }
    if (flag & 0x40) {
      if (pos + 2 > bytes.size()) ConsistencyStop(1602);
      keyLength = GetLe16(bytes, pos);
      pos += 2;
    }
    const uint32_t prevTotal = i == 0 ? 0 : entries.back().totalLength();
    if (keyLength > total || shared > std::min(total, prevTotal) ||
        total - shared > bytes.size() - pos) {
      ConsistencyStop(1602);
    }
    TreeEntry e;
    e.keyLength = static_cast<uint16_t>(keyLength);
    e.bytes.reserve(total);
    if (shared > 0) e.bytes.assign(entries.back().bytes, 0, shared);
    e.bytes.append(bytes.substr(pos, total - shared));
    pos += total - shared;
    if (i > 0 && CompareKeys(entries.back().key(), e.key()) >= 0) ConsistencyStop(1602);
    entries.push_back(std::move(e));
  }
  if (pos != bytes.size()) ConsistencyStop(1602);
  return entries;
}

std::string EncodePage(const PageImage& page, uint64_t offset) {
  if (const std::string* memo = page.encoded.Find()) {
    std::string out = *memo;
    PutLe32(&out, 0, static_cast<uint32_t>(offset));
    return out;
  }
  const uint32_t header = HeaderSize(page);
  const std::string plain = PackEntries(page.entries);
  std::string packed;
  const bool usePacked = PackRuns(plain, &packed) &&
                         RoundUp(header + static_cast<uint32_t>(packed.size())) <
                             RoundUp(header + static_cast<uint32_t>(plain.size()));
  const std::string& body = usePacked ? packed : plain;
  std::string out(header, '\0');
  PutLe32(&out, 0, static_cast<uint32_t>(offset));
  PutLe16(&out, 4, header + static_cast<uint32_t>(body.size()));
  PutLe16(&out, 6, header + static_cast<uint32_t>(plain.size()));
  PutLe16(&out, 8, SizeEstimate(page));
  PutLe16(&out, 10, static_cast<uint32_t>(page.entries.size()));
  out[12] = static_cast<char>(page.level);
  for (size_t i = 0; page.isIndex() && i < page.entries.size(); ++i) {
    PutLe32(&out, kPageHeaderSize + 4 * i, i < page.children.size() ? page.children[i] : 0);
  }
  out += body;
  if (offset == 0) {
    page.encoded.Keep(out);
  } else if (page.encoded.tracked()) {
    std::string plainOffset = out;
    PutLe32(&plainOffset, 0, 0);
    page.encoded.Keep(plainOffset);
  }
  return out;
}

std::string PadToClass(std::string block) {
  block.resize(RoundUp(static_cast<uint32_t>(block.size())), static_cast<char>(0xB0));
  return block;
}

PageImage DecodePage(std::string_view block, int sizeClass, PageBlockInfo* info) {
  if (block.size() < kPageHeaderSize) ConsistencyStop(1477);
  PageBlockInfo facts;
  facts.storedLength = GetLe16(block, 4);
  facts.unpackedLength = GetLe16(block, 6);
  facts.sizeEstimate = GetLe16(block, 8);
  facts.entries = GetLe16(block, 10);
  facts.level = static_cast<uint8_t>(block[12]);
  if (info != nullptr) *info = facts;
  if (facts.storedLength > kMaxStoredPage) ConsistencyStop(1678);
  if (ClassOfLength(facts.storedLength) != sizeClass || facts.storedLength > block.size()) {
    ConsistencyStop(1477);
  }
  if (facts.unpackedLength > facts.sizeEstimate) ConsistencyStop(1659);
  PageImage page;
  page.level = facts.level;
  const uint32_t header = kPageHeaderSize + (page.isIndex() ? 4 * facts.entries : 0);
  if (header > facts.storedLength || header > facts.unpackedLength ||
      facts.storedLength > facts.unpackedLength) {
    ConsistencyStop(1602);
  }
  const std::string_view stored = block.substr(header, facts.storedLength - header);
  const size_t plainLength = facts.unpackedLength - header;
  if (facts.storedLength < facts.unpackedLength) {
    page.entries = UnpackEntries(UnpackRuns(stored, plainLength), facts.entries);
  } else {
    page.entries = UnpackEntries(stored, facts.entries);
  }
  if (page.isIndex()) {
    page.children.reserve(facts.entries);
    for (uint32_t i = 0; i < facts.entries; ++i) {
      page.children.push_back(GetLe32(block, kPageHeaderSize + 4 * i));
    }
  }
  return page;
}

}  // namespace ck::vellum
