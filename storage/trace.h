// The trace layer between callers and drivers: when the user's trace settings
// turn it on, every driver call is written to a log file as one line (the
// operation, its arguments, the result and the time taken), an OPEN or SHARE
// is preceded by the table's declaration, and with Details the record's
// fields follow each record operation. It never changes a result. A call
// line reads, e.g.:
//   T2 GETkeyptr(PASSWORDS) Key(PAS:KeyClientDomain) Pointer(12) Error: 35 Time Taken: 0.01 secs
// (T2: the second thread that traced; an unknown operation code has no name).
//
// Settings: section [CELLARKEY_TRACE] of $CELLARKEY_TRACE_INI, or else of
// $XDG_CONFIG_HOME/cellarkey/trace.ini (~/.config/cellarkey/trace.ini):
//   TraceFile  log file (".LOG" added when it has no extension);
//              default CellarkeyTrace.LOG in the current folder
//   Profile    1: trace every call (also on whenever TraceFile is given)
//   Details    1: also write the record's fields after record operations
//   Flush      1: flush the log after every line
// They are read once per process.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "storage/driver.h"
#include "storage/file_control_block.h"

namespace ck::storage {

struct TraceSettings {
  std::string logFile;   // empty: trace off
  bool details = false;
  bool flush = false;
};

// Reads the settings as described above (not cached).
TraceSettings ReadTraceSettings();

// True when the trace is on; the first call reads the settings.
bool TraceEnabled();
// Reads the settings again and reopens the log (for tests).
void ReloadTraceSettings();

// Writes the table's declaration; called before an OPEN or SHARE reaches
// the driver. REQUIRES: TraceEnabled().
void TraceDeclaration(const FileControlBlock& fcb);
// Writes the lines for one finished driver call.
// REQUIRES: TraceEnabled().
void TraceCall(int op, const FileControlBlock& fcb, const DriverArgs& args, int result,
               int64_t elapsedHundredths);

// Writes one line of a driver's own (such as a failed lock attempt) when
// the trace is on; nothing otherwise.
void TraceLine(std::string_view line);

// The texts the trace writes (exposed for tests).
std::string DeclarationText(const FileControlBlock& fcb);   // lines ending in '\n'
std::string CallText(int op, const FileControlBlock& fcb, const DriverArgs& args, int result,
                     int64_t elapsedHundredths);            // one line, no '\n'
std::string RecordText(const FileControlBlock& fcb);        // one line per field
std::string DateText(int32_t date);   // "04 Jan 1801 (7)", "Invalid date (0)"
std::string TimeText(int32_t time);   // "00:00:00.00 (1)", "Invalid time (0)"
std::string ElapsedText(int64_t hundredths);                // "1.05 secs"

}  // namespace ck::storage
