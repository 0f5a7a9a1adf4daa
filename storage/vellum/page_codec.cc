// Page blocks: run-length packing, entry packing and the block header.
#include "storage/vellum/page_codec.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "storage/vellum/bytes.h"
#include "storage/vellum/consistency.h"
#include "storage/vellum/run_reader.h"

namespace ck::vellum {
namespace {

constexpr uint32_t kRoundUnit = 256;
uint32_t RoundUp(uint32_t n) { return (n + kRoundUnit - 1) / kRoundUnit * kRoundUnit; }

uint64_t Load64(const char* p) {
  uint64_t v = 0;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// 0x80 in each byte of x that is zero, 0 in every other byte.
uint64_t ZeroBytes(uint64_t x) {
  constexpr uint64_t k7F = 0x7F7F7F7F7F7F7F7FULL;
  return ~(((x & k7F) + k7F) | x | k7F);
}

// The first position p >= from where four equal bytes start, or in.size().
// The bytes are compared with their neighbours eight at a time: byte k of
// x is zero where in[p + k] equals in[p + k + 1].
size_t FindRun(std::string_view in, size_t from) {
  const char* d = in.data();
  const size_t n = in.size();
  size_t p = from;
  if constexpr (std::endian::native == std::endian::little) {
    for (; p + 9 <= n; p += 6) {
      const uint64_t z = ZeroBytes(Load64(d + p) ^ Load64(d + p + 1));
      const uint64_t starts = z & (z >> 8) & (z >> 16);  // bytes k, k+1, k+2 of x zero
      if (starts != 0) return p + static_cast<size_t>(std::countr_zero(starts)) / 8;
    }
  }
  for (; p + 4 <= n; ++p) {
    if (d[p] == d[p + 1] && d[p] == d[p + 2] && d[p] == d[p + 3]) return p;
  }
  return n;
}

// The end of the run of bytes equal to in[p].
size_t RunEnd(std::string_view in, size_t p) {
  const char* d = in.data();
  const size_t n = in.size();
  const char c = d[p];
  const uint64_t all = 0x0101010101010101ULL * static_cast<uint8_t>(c);
  size_t e = p + 1;
  while (e + 8 <= n && Load64(d + e) == all) e += 8;
  while (e < n && d[e] == c) ++e;
  return e;
}

uint32_t HeaderSize(const PageImage& page) {
  return kPageHeaderSize + (page.isIndex() ? 4 * static_cast<uint32_t>(page.entries.size()) : 0);
}

// The bytes AppendCount writes for count.
size_t CountLength(uint64_t count) {
  size_t n = 1;
  while (count >= 0x80) {
    count >>= 7;
    ++n;
  }
  return n;
}

// The run-length packing of in into o, which has room for room bytes; the
// packed length, or 0 when in has no run or its packing is longer than
// room. Every maximal run of four or more equal bytes is packed: emitting
// runs in the order FindRun finds them is the scan the format describes.
size_t PackRunsWithin(std::string_view in, char* o, size_t room) {
  char* const begin = o;
  char* const end = o + room;
  auto put = [&o](uint64_t count) {
    while (count >= 0x80) {
      *o++ = static_cast<char>(0x80 | (count & 0x7F));
      count >>= 7;
    }
    *o++ = static_cast<char>(count);
  };
  size_t q = 0;
  bool anyRun = false;
  for (size_t p = FindRun(in, 0); p < in.size(); p = FindRun(in, q)) {
    const size_t literal = (p + 1) - q;
    const size_t runEnd = RunEnd(in, p);
    const size_t need = CountLength(literal) + literal + CountLength(runEnd - p - 1);
    if (static_cast<size_t>(end - o) < need) return 0;
    put(literal);
    std::memcpy(o, in.data() + q, literal);
    o += literal;
    put(runEnd - p - 1);
    q = runEnd;
    anyRun = true;
  }
  const size_t literal = in.size() - q;
  if (!anyRun || static_cast<size_t>(end - o) < CountLength(literal) + literal) return 0;
  put(literal);
  std::memcpy(o, in.data() + q, literal);
  o += literal;
  return static_cast<size_t>(o - begin);
}

}  // namespace

uint32_t SizeEstimate(const PageImage& page) {
  const auto n = static_cast<uint32_t>(page.entries.size());
  return kPageHeaderSize + page.entries.TotalBytes() + 5 * n + (page.isIndex() ? 4 * n : 0);
}

void AppendCount(std::string* out, uint64_t count) {
  char bytes[10];
  size_t n = 0;
  while (count >= 0x80) {
    bytes[n++] = static_cast<char>(0x80 | (count & 0x7F));
    count >>= 7;
  }
  bytes[n++] = static_cast<char>(count);
  out->append(bytes, n);
}

bool PackRuns(std::string_view in, std::string* out) {
  // Room for the worst case: the input, and two counts per run (a run takes
  // four bytes at least).
  const size_t room = in.size() + (in.size() / 4 + 2) * 2 * CountLength(in.size());
  out->resize(room);
  const size_t packed = PackRunsWithin(in, out->data(), room);
  out->resize(packed);
  return packed != 0;
}

std::string UnpackRuns(std::string_view in, size_t n) {
  std::string out(n, '\0');
  if (n == 0) {
    // Even a stretch for no bytes holds its one (zero) literal count.
    size_t pos = 0;
    uint64_t literal = 0;
    if (!ReadRunCount(in, &pos, &literal) || literal > 0) ConsistencyStop(522);
  } else {
    RunReader(in, n, true).Read(out.data(), n);
  }
  return out;
}

std::string PackEntries(const PageEntries& entries) {
  std::string out;
  PackEntriesInto(entries, &out);
  return out;
}

void PackEntriesInto(const PageEntries& entries, std::string* packed) {
  // Written through a pointer into room for the worst case (every entry
  // with its flag and both lengths), then cut to what was written.
  std::string& out = *packed;
  out.resize(entries.TotalBytes() + 5 * entries.size());
  char* o = out.data();
  auto put16 = [&o](uint32_t v) {
    o[0] = static_cast<char>(v & 0xFF);
    o[1] = static_cast<char>((v >> 8) & 0xFF);
    o += 2;
  };
  EntryView prev;
  for (size_t i = 0; i < entries.size(); ++i) {
    const EntryView e = entries[i];
    char* flagAt = o++;
    uint8_t flag = 0;
    size_t shared = 0;
    if (i == 0) {
      flag = 0xC0;
      put16(e.totalLength());
      put16(e.keyLength);
    } else {
      if (e.totalLength() != prev.totalLength()) {
        flag |= 0x80;
        put16(e.totalLength());
      }
      if (e.keyLength != prev.keyLength) {
        flag |= 0x40;
        put16(e.keyLength);
      }
      // The bytes shared with the previous entry, at most 63: eight at a time, then one by one.
      const size_t limit = std::min<size_t>({63, e.bytes.size(), prev.bytes.size()});
      while (shared + 8 <= limit && Load64(e.bytes.data() + shared) == Load64(prev.bytes.data() + shared)) {
        shared += 8;
      }
      while (shared < limit && e.bytes[shared] == prev.bytes[shared]) ++shared;
      flag |= static_cast<uint8_t>(shared);
    }
    *flagAt = static_cast<char>(flag);
    std::memcpy(o, e.bytes.data() + shared, e.bytes.size() - shared);
    o += e.bytes.size() - shared;
    prev = e;
  }
  out.resize(static_cast<size_t>(o - out.data()));
}

PageEntries UnpackEntries(std::string_view bytes, uint32_t count) {
  return PageEntries::FromStored(bytes, 0, bytes.size(), count);
}

namespace {

// The block of page with its own offset field 0, built into *out. Changed
// entries are put together in a buffer kept for the thread and packed
// straight into the block; entries unchanged since they were read keep their
// stored bytes. The block has the capacity of its padded size.
void BuildBlock(const PageImage& page, std::string* out) {
  const uint32_t header = HeaderSize(page);
  size_t plainLength = 0;
  if (page.entries.IsStoredForm()) {
    // Entries unchanged since they were read (a page moved, or an index
    // page whose children changed): their stored bytes are what packing
    // them again would give, as the encoding depends on the entries alone.
    const std::string_view stored = page.entries.StoredBytes();
    out->reserve(RoundUp(header + static_cast<uint32_t>(stored.size())));  // room for the padding
    out->resize(header + stored.size());
    std::memcpy(out->data() + header, stored.data(), stored.size());
    plainLength = page.entries.PlainLength();
  } else {
    thread_local std::string plain;
    PackEntriesInto(page.entries, &plain);
    plainLength = plain.size();
    // Packed entries are used when they take fewer 256-byte units than
    // plain ones: packing that does not end below the plain length is
    // abandoned.
    const uint32_t plainBlock = RoundUp(header + static_cast<uint32_t>(plain.size()));
    out->resize(plainBlock);
    const size_t packed = PackRunsWithin(plain, out->data() + header, plain.size());
    if (packed != 0 && RoundUp(header + static_cast<uint32_t>(packed)) < plainBlock) {
      out->resize(header + packed);
    } else {
      std::memcpy(out->data() + header, plain.data(), plain.size());
      out->resize(header + plain.size());
    }
  }
  std::memset(out->data(), 0, header);
  PutLe16(out, 4, static_cast<uint32_t>(out->size()));
  PutLe16(out, 6, header + static_cast<uint32_t>(plainLength));
  PutLe16(out, 8, SizeEstimate(page));
  PutLe16(out, 10, static_cast<uint32_t>(page.entries.size()));
  (*out)[12] = static_cast<char>(page.level);
  for (size_t i = 0; page.isIndex() && i < page.entries.size(); ++i) {
    PutLe32(out, kPageHeaderSize + 4 * i, i < page.children.size() ? page.children[i] : 0);
  }
}

}  // namespace

std::string EncodePage(const PageImage& page, uint64_t offset) {
  std::string out;
  if (const std::string* memo = page.encoded.Find()) {
    out = *memo;
  } else {
    BuildBlock(page, &out);
    page.encoded.Keep(out);
  }
  PutLe32(&out, 0, static_cast<uint32_t>(offset));
  return out;
}

uint32_t EncodedLength(const PageImage& page) {
  if (const std::string* memo = page.encoded.Find()) return static_cast<uint32_t>(memo->size());
  std::string out;
  BuildBlock(page, &out);
  const auto length = static_cast<uint32_t>(out.size());
  page.encoded.Keep(std::move(out));
  return length;
}

std::string TakeEncodedBlock(const PageImage& page, uint64_t offset) {
  std::string out;
  if (!page.encoded.Take(&out)) BuildBlock(page, &out);
  PutLe32(&out, 0, static_cast<uint32_t>(offset));
  out.resize(RoundUp(static_cast<uint32_t>(out.size())), static_cast<char>(0xB0));
  return out;
}

std::string PadToClass(std::string block) {
  block.resize(RoundUp(static_cast<uint32_t>(block.size())), static_cast<char>(0xB0));
  return block;
}

PageImage DecodePage(std::string block, int sizeClass, PageBlockInfo* info) {
  return DecodePage(ByteBuffer(block), sizeClass, info);
}

PageImage DecodePage(ByteBuffer block, int sizeClass, PageBlockInfo* info, bool forChange) {
  const std::string_view bytes = block.view();
  if (bytes.size() < kPageHeaderSize) ConsistencyStop(1477);
  PageBlockInfo facts;
  facts.storedLength = GetLe16(bytes, 4);
  facts.unpackedLength = GetLe16(bytes, 6);
  facts.sizeEstimate = GetLe16(bytes, 8);
  facts.entries = GetLe16(bytes, 10);
  facts.level = static_cast<uint8_t>(bytes[12]);
  if (info != nullptr) *info = facts;
  if (facts.storedLength > kMaxStoredPage) ConsistencyStop(1678);
  if (ClassOfLength(facts.storedLength) != sizeClass || facts.storedLength > bytes.size()) {
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
  const size_t storedBytes = facts.storedLength - header;
  const uint32_t plainLength = facts.unpackedLength - header;
  const bool packed = facts.storedLength < facts.unpackedLength;
  if (page.isIndex()) {
    page.children.resize(facts.entries);
    for (uint32_t i = 0; i < facts.entries; ++i) {
      page.children[i] = GetLe32(bytes, kPageHeaderSize + 4 * i);
    }
  }
  if (forChange) {
    page.entries = PageEntries::Owned(bytes.substr(header, storedBytes), plainLength, packed,
                                      facts.entries);
  } else if (packed) {
    page.entries =
        PageEntries::FromPacked(std::move(block), header, storedBytes, plainLength, facts.entries);
  } else {
    page.entries = PageEntries::FromStored(std::move(block), header, storedBytes, facts.entries);
  }
  return page;
}

}  // namespace ck::vellum
