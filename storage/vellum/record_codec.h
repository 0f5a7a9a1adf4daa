// Record and memo coding: the stored image of a record (text fields in the
// OEM code page for tables flagged OEM) and the chunks a memo or blob value
// is cut into.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "storage/file_control_block.h"
#include "storage/vellum/entry_store.h"
#include "storage/vellum/tree_entry.h"

namespace ck::vellum {

// Content bytes per memo chunk; the first chunk also carries a 4-byte length.
constexpr uint32_t kMemoChunk = 256;
constexpr uint32_t kBlobChunk = 0x2800;

// The record image as stored: text fields (not declared OVER another)
// converted to OEM when oem is set. REQUIRES: record holds fcb.recordLength bytes.
std::string StoredImage(const storage::FileControlBlock& fcb, const char* record, bool oem);
// The record buffer's image of a stored one: the inverse conversion.
std::string BufferImage(const storage::FileControlBlock& fcb, std::string_view stored, bool oem);

// The chunk entries of one memo or blob value (none for an empty value).
std::vector<TreeEntry> MemoChunks(uint32_t table, uint32_t record, uint8_t memo,
                                  const storage::MemoDescriptor& decl, std::string_view value,
                                  bool oem);
// Reads a memo or blob value back from its chunks ("" when it has none).
// Returns 0 or a store error; a chunk chain that contradicts its length is
// the consistency check 1163.
int ReadMemo(EntryStore& store, uint32_t table, uint32_t record, uint8_t memo,
             const storage::MemoDescriptor& decl, bool oem, std::string* value);
// Removes every memo chunk of a record.
int EraseMemos(EntryStore& store, uint32_t table, uint32_t record);

}  // namespace ck::vellum
