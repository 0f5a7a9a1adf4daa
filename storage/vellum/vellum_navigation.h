// Reading through the Vellum driver: sequence positions (the SET and RESET
// forms), sequential reads (NEXT, PREVIOUS, SKIP), direct reads (GET and
// REGET forms) and positions (POSITION). Each runs inside an access of the
// table's physical file. REQUIRES: fcb is open with state s.
#pragma once

#include "storage/driver.h"
#include "storage/vellum/vellum_state.h"

namespace ck::vellum {

int SetSequence(int op, storage::FileControlBlock& fcb, VellumState& s, storage::DriverArgs& args);
int ReadSequence(int op, storage::FileControlBlock& fcb, VellumState& s, storage::DriverArgs& args);
int ReadDirect(int op, storage::FileControlBlock& fcb, VellumState& s, storage::DriverArgs& args);
int PositionOf(int op, storage::FileControlBlock& fcb, VellumState& s, storage::DriverArgs& args);

// BUFFER's reading ahead. ReadAhead serves a NEXT (forward) or PREVIOUS
// from the batch fetched before; false when it cannot (none fetched, or the
// batch is stale: another direction or position, the file changed here, too
// old). FetchAhead fetches the batch that follows the cursor, leaving the
// cursor where it was. REQUIRES: no hold or watch asked for the read;
// FetchAhead inside a read access.
bool ReadAhead(storage::FileControlBlock& fcb, VellumState& s, bool forward);
void FetchAhead(storage::FileControlBlock& fcb, VellumState& s, bool forward);

// Reads record n into the buffer and makes it current, consuming the
// one-shot flags (watch, no-memo, hold).
int LoadRecord(storage::FileControlBlock& fcb, VellumState& s, uint32_t n);

// The cursor at the start of an order (NEXT reads its first entry,
// PREVIOUS its last).
Cursor StartOf(const VellumState& s, int order);

}  // namespace ck::vellum
