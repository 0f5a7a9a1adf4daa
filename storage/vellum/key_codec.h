// Key encoding: turns the values of a key's components in a record buffer
// into bytes whose plain unsigned order is the key's order, and builds the
// key entries that a table keeps for each record.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "storage/file_control_block.h"
#include "storage/vellum/collation.h"
#include "storage/vellum/tree_entry.h"

namespace ck::vellum {

// Appends one component at its field's declared length.
// REQUIRES: field.offset + field.length <= the record's length.
void EncodeComponent(const storage::FieldDescriptor& field, const char* record, bool nocase,
                     bool descending, const Collation& collation, std::string& out);

// The encoded value of key number keyNumber: all its components in order.
// REQUIRES: ValidateDeclaration(fcb) == 0.
std::string EncodeKeyValue(const storage::FileControlBlock& fcb, int keyNumber,
                           const char* record, const Collation& collation);

// True when an OPT key leaves this record out: every component is blank
// (text of spaces or zeros) or zero.
bool IsNullKey(const storage::FileControlBlock& fcb, int keyNumber, const char* record);

// The key part of a key entry: table, key number, value, and for a
// duplicates key the record number, which orders equal values.
std::string KeyEntryKey(uint32_t table, int keyNumber, bool duplicates, std::string_view value,
                        uint32_t record);
// The whole key entry; a unique key carries the record number as its data.
TreeEntry MakeKeyEntry(uint32_t table, int keyNumber, bool duplicates, std::string_view value,
                       uint32_t record);
// The record number a key entry points at. REQUIRES: a key entry of that key kind.
uint32_t KeyEntryRecord(const TreeEntry& entry, bool duplicates);

// Checks the declaration: fields inside the record (75), keys with
// components naming declared fields (76) and fitting an entry (88), a record
// that fits an entry, at most kMaxKeys keys and 255 memos, memo sizes that
// the definition stream can hold (47).
int ValidateDeclaration(const storage::FileControlBlock& fcb);

}  // namespace ck::vellum
