#include "storage/vellum/record_codec.h"

#include <algorithm>

#include "runtime/code_page.h"
#include "storage/vellum/consistency.h"
#include "storage/vellum/entry_keys.h"

namespace ck::vellum {

using storage::FileControlBlock;

namespace {

// Converts the text part of each text field not declared OVER another.
void ConvertTextFields(const FileControlBlock& fcb, std::string& image, bool toOem) {
  for (const auto& f : fcb.fields) {
    if (f.over >= 0 || uint64_t{f.offset} + f.length > image.size() || f.length == 0) continue;
    char* p = image.data() + f.offset;
    uint32_t from = 0, count = 0;
    if (f.type == storage::STRING) {
      count = f.length;
    } else if (f.type == storage::CSTRING) {
      count = static_cast<uint32_t>(std::find(p, p + f.length, '\0') - p);
    } else if (f.type == storage::PSTRING) {
      from = 1;
      count = std::min<uint32_t>(static_cast<uint8_t>(p[0]), f.length - 1);
    } else {
      continue;
    }
    if (toOem)
      AnsiToOem(p + from, count);
    else
      OemToAnsi(p + from, count);
  }
}

uint32_t ChunkLimit(const storage::MemoDescriptor& decl) {
  return decl.blob ? kBlobChunk : kMemoChunk;
}

}  // namespace

std::string StoredImage(const FileControlBlock& fcb, const char* record, bool oem) {
  std::string image(record, fcb.recordLength);
  if (oem) ConvertTextFields(fcb, image, true);
  return image;
}

std::string BufferImage(const FileControlBlock& fcb, std::string_view stored, bool oem) {
  std::string image(stored);
  image.resize(fcb.recordLength, '\0');
  if (oem) ConvertTextFields(fcb, image, false);
  return image;
}

std::vector<TreeEntry> MemoChunks(uint32_t table, uint32_t record, uint8_t memo,
                                  const storage::MemoDescriptor& decl, std::string_view value,
                                  bool oem) {
  std::string text(value);
  if (!decl.blob && decl.size > 0 && text.size() > decl.size) text.resize(decl.size);
  if (oem && !decl.binary) AnsiToOem(text.data(), text.size());
  std::vector<TreeEntry> chunks;
  const uint32_t limit = ChunkLimit(decl);
  size_t at = 0;
  for (uint16_t n = 0; at < text.size(); ++n) {
    std::string data;
    if (n == 0) AppendLE32(data, static_cast<uint32_t>(text.size()));
    const size_t take = std::min<size_t>(limit, text.size() - at);
    data.append(text, at, take);
    at += take;
    chunks.emplace_back(MemoKey(table, record, memo, n), data);
  }
  return chunks;
}

int ReadMemo(EntryStore& store, uint32_t table, uint32_t record, uint8_t memo,
             const storage::MemoDescriptor& decl, bool oem, std::string* value) {
  value->clear();
  TreeEntry chunk;
  int rc = store.Get(MemoKey(table, record, memo, 0), &chunk);
  if (rc == kNotFound) return 0;
  if (rc != 0) return rc;
  if (chunk.data().size() < 4) ConsistencyStop(1163);
  const uint32_t total = ReadLE32(chunk.data(), 0);
  value->append(chunk.data().substr(4));
  for (uint16_t n = 1; value->size() < total; ++n) {
    if (n == 0) ConsistencyStop(1163);  // wrapped: more chunks than a value can have
    rc = store.Get(MemoKey(table, record, memo, n), &chunk);
    if (rc == kNotFound) ConsistencyStop(1163);
    if (rc != 0) return rc;
    value->append(chunk.data());
  }
  if (value->size() != total) ConsistencyStop(1163);
  if (oem && !decl.binary) OemToAnsi(value->data(), value->size());
  return 0;
}

int EraseMemos(EntryStore& store, uint32_t table, uint32_t record) {
  std::string prefix = KindPrefix(table, kMemoEntry);
  AppendBE32(prefix, record);
  for (;;) {
    TreeEntry e;
    const int rc = store.SeekGE(prefix, &e);
    if (rc == kNotFound) return 0;
    if (rc != 0) return rc;
    if (e.key().substr(0, prefix.size()) != prefix) return 0;
    const int erc = store.Erase(e.key());
    if (erc != 0) return erc;
  }
}

}  // namespace ck::vellum
