// VellumState: what the Vellum driver keeps for one open file control block:
// the shared physical file, the table in it, the current record, the
// sequence position of NEXT and PREVIOUS, and the one-shot flags (hold,
// watch, no-memo) that the next read consumes. Not copyable.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "storage/file_control_block.h"
#include "storage/vellum/driver_options.h"
#include "storage/vellum/physical_file.h"
#include "storage/vellum/table.h"

namespace ck::vellum {

// A sequence position in one order (the records, or one key). next and
// previous are tree keys: NEXT reads the first entry at or after next
// (after, when not inclusive), PREVIOUS the last one at or before previous.
struct Cursor {
  int order = -1;  // -1 record order, else a key number
  std::string next;
  bool nextInclusive = true;
  std::string previous;
  bool previousInclusive = false;
  bool operator==(const Cursor&) const = default;
};

class VellumState : public storage::DriverState {
 public:
  VellumState() = default;
  VellumState(const VellumState&) = delete;
  VellumState& operator=(const VellumState&) = delete;

  std::shared_ptr<PhysicalFile> file;
  Table table;
  std::string path;                 // the data file
  std::string tableName;            // the table inside it
  bool writable = false;
  TableOptions options;             // from the driver string, changed by SEND
  std::vector<std::string> softDifferences;  // found when the definition was verified

  // The record buffer when the caller lent none (a table opened without a declaration).
  std::string ownBuffer;

  uint32_t current = 0;             // record number of the current record; 0 when none
  bool currentWithoutMemos = false; // the current record was read under NOMEMO
  Cursor cursor;

  bool holdNext = false;            // HOLD: the next read holds its record
  bool watchArmed = false;          // WATCH: the next read keeps its image
  bool watching = false;            // a watched image is kept for the next PUT
  RecordImage watched;
  bool noMemoNext = false;          // NOMEMO: the next read skips memos

  // Read states kept by GETSTATE until FREESTATE: the sequence and the
  // current record, so that a caller can read elsewhere and come back.
  struct ReadState {
    Cursor cursor;
    uint32_t current = 0;
    bool currentWithoutMemos = false;
  };
  std::map<int64_t, ReadState> readStates;
  int64_t lastReadState = 0;

  // BUFFER: a sequence read fetches readAhead records under one access and
  // the reads that follow are served from them, while the sequence goes on
  // where the batch left it, this process changed nothing in the file, and
  // the batch is younger than aheadSeconds (when set). The next batch sees
  // what other processes committed meanwhile.
  struct AheadRecord {
    Cursor cursor;  // the sequence position once this record is read
    uint32_t record = 0;
    RecordImage image;
  };
  int32_t readAhead = 0;
  uint32_t aheadSeconds = 0;
  std::deque<AheadRecord> ahead;
  Cursor aheadFrom;  // the position the front record follows
  bool aheadForward = true;
  uint64_t aheadGeneration = 0;
  std::chrono::steady_clock::time_point aheadTaken;

  uint32_t heldRecord = 0;          // the record this block holds against other processes; 0: none
  int64_t holdWaitHundredths = 0;   // how long a sequence read retries its hold; < 0: as long as any lock wait
  bool tableLocked = false;         // LOCKfile took the table's lock byte
};

}  // namespace ck::vellum
