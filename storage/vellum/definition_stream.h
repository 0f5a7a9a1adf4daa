// The definition stream: a table's declaration (record length, fields,
// memos, keys) as the byte stream a Vellum file stores in its definition
// entries. One coder serves three modes: write (at CREATE), read (a table
// opened without a declaration takes it from the file) and verify (the
// stored declaration must match the declared one).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "storage/file_control_block.h"

namespace ck::vellum {

// The stream for a declaration. REQUIRES: ValidateDeclaration(fcb) == 0.
std::string WriteDefinition(const storage::FileControlBlock& fcb);

// Replaces fcb's record length, fields, memos and keys by the stored ones.
// Returns 0, or 47 when the stream is malformed.
int ReadDefinition(std::string_view stream, storage::FileControlBlock& fcb);

// Compares the stored declaration with fcb's. A difference in a name, an
// external name or a string field's picture text (and in decimal digits or
// places when decimalCheck is off) is soft: it is described in *soft and
// the check goes on. Any other difference in what the format defines
// returns 47 at once. Words whose meaning the format leaves open are not
// compared.
int VerifyDefinition(std::string_view stream, const storage::FileControlBlock& fcb,
                     bool decimalCheck, std::vector<std::string>* soft);

}  // namespace ck::vellum
