// The per-thread error manager: every framework manager and procedure reports
// a failure or asks a standard question by message identifier. The manager
// looks the identifier up in its message table, fills the text's % tokens
// from the names set beforehand and from the runtime error state captured at
// Raise, then acts by the message's level: returns quietly, shows a message,
// asks Yes/No, or shows the message and ends the program. It can append each
// shown message to a log and keep a bounded history shown in a window.
//
// One ErrorManager per thread; it is not locked. Not copyable.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/levels.h"

namespace ck {

class ErrorLog;
class StdErrorLog;

// Message identifiers of the built-in table.
namespace msg {
inline constexpr int RetrievalError = 1;
inline constexpr int AccessDenied = 2;
inline constexpr int AddAnother = 3;
inline constexpr int InsertError = 4;
inline constexpr int AddNewRecord = 5;
inline constexpr int CloseFailed = 6;
inline constexpr int ChangedByOther = 7;
inline constexpr int ChangedByOtherShown = 8;
inline constexpr int ChangedOrDeleted = 9;
inline constexpr int ConfirmCancel = 10;
inline constexpr int ConfirmDelete = 11;
inline constexpr int CreateError = 12;
inline constexpr int DeleteError = 13;
inline constexpr int DeleteIllegal = 14;
inline constexpr int DuplicateKey = 15;
inline constexpr int NotInFile = 16;
inline constexpr int NotInList = 17;
inline constexpr int OutOfRange = 18;
inline constexpr int AboveRange = 19;
inline constexpr int BelowRange = 20;
inline constexpr int FileLoadError = 21;
inline constexpr int WmfGetNext = 22;
inline constexpr int InsertIllegal = 23;
inline constexpr int TransactionFailed = 24;
inline constexpr int NoRecords = 25;
inline constexpr int OpenFailed = 26;
inline constexpr int ProcedureNotDefined = 27;
inline constexpr int PutFailed = 28;
inline constexpr int RebuildKeyFailed = 29;
inline constexpr int InvalidKey = 30;
inline constexpr int RecordHeld = 31;
inline constexpr int RestrictDelete = 33;
inline constexpr int RestrictUpdate = 34;
inline constexpr int AutoIncrementError = 35;
inline constexpr int RetryDelete = 36;
inline constexpr int RetrySave = 37;
inline constexpr int SaveRecord = 38;
inline constexpr int BeginningOfFile = 39;
inline constexpr int EndOfFile = 40;
inline constexpr int UpdateIllegal = 41;
inline constexpr int UseClosedFile = 42;
inline constexpr int ViewOpenFailed = 43;
inline constexpr int QbeColumnDropped = 44;
inline constexpr int SmtpError = 45;
inline constexpr int NntpError = 46;
inline constexpr int SocketError = 47;
inline constexpr int WmfQueueAdd = 48;
inline constexpr int WmfInvalidFile = 49;
inline constexpr int WmfInvalidControl = 50;
inline constexpr int WmfMissingId = 51;
inline constexpr int ReportBadComment = 52;
inline constexpr int ReportUnknownProperty = 53;
}  // namespace msg

// System icon numbers used by the manager.
inline constexpr int IconInformation = 32516;  // 0x7F04
inline constexpr int IconExclamation = 32515;  // 0x7F03

// The four-byte icon string of a system icon: 255, 1, then the number, low
// byte first. IconNumber reads it back (0 when the text is no such string).
std::string SystemIcon(int number);
int IconNumber(std::string_view icon);

// The built-in message table as a packed byte block: a little-endian 16-bit
// count, then per entry a 16-bit ID, a level byte, a title length byte, the
// title, a text length byte, the text.
std::string_view BuiltInMessages();

// Where a failure of the error log is reported: the step's text ("Unable to
// Open error log; " ...) and the reason. Default: a line on stderr. The
// handler must return; a log failure never stops the message.
using LogFaultHandler = std::function<void(std::string_view text, std::string_view reason)>;
// An empty handler restores the default.
void SetLogFaultHandler(LogFaultHandler handler);

// Exit code of the program after a fatal message. Not 0: whatever started
// the program must be able to tell a fatal stop from a normal end.
inline constexpr int FatalExitCode = 3;

// Longest text Substitute produces; longer results are cut.
inline constexpr size_t SubstituteBufferSize = 2000;
// Longest text kept in a history record.
inline constexpr size_t HistoryTextSize = 1024;

// One message of the table. MESSAGE and TITLE point into the packed block
// the entry came from.
struct ErrorEntry {
  long ID = 0;
  std::string_view MESSAGE;
  std::string_view TITLE;
  uint8_t FATALITY = 0;
  std::string CATEGORY;
};

struct HistoryEntry {
  std::string CATEGORY;
  std::string TXT;
  int16_t ID = 0;
};

struct ProcedureNameEntry {
  long THREAD = 0;
  std::string NAME;
};

class ErrorManager {
 public:
  // Clears the saved error state, creates StdErrorLog, sets the defaults
  // and calls Init(StdErrorLog).
  ErrorManager();
  virtual ~ErrorManager();
  ErrorManager(const ErrorManager&) = delete;
  ErrorManager& operator=(const ErrorManager&) = delete;

  // --- Virtual operations, in slot order ---
  // Disposes the tables and the standard log.
  virtual void Kill();
  // Appends every entry of a packed block; later entries win for equal IDs.
  // A malformed block adds nothing and returns Program.
  // REQUIRES: block outlives the manager (entries point into it).
  virtual Level AddMessages(std::string_view block);
  // Adds a history record for the current entry (text cut at 1024).
  virtual void AppendHistory(std::string_view text);
  // Runs the history window modally; returns the button that closed it.
  virtual int ShowHistoryWindow(std::string_view title, std::string_view text,
                                std::string_view icon, int buttons, int defaultButton);
  // Logs, records history and shows a message; returns the pressed button
  // (the default when nothing is shown).
  virtual int Present(std::string_view text, std::string_view title, std::string_view icon,
                      int buttons, int defaultButton, int style = 0);
  // The window layer's message box; returns the pressed button's bit.
  virtual int ShowStandardMessage(std::string_view text, std::string_view title,
                                  std::string_view icon, int buttons, int defaultButton,
                                  int style = 0);
  // Uses log; creates missing tables; loads the built-in messages.
  virtual void Init(ck::ErrorLog* log);
  virtual Level HandleBenign(int id);
  virtual Level HandleFatal(int id);  // ends the program
  virtual Level HandleNotify(int id);
  virtual Level HandleOther(int id);
  virtual Level HandleProgram(int id);
  virtual Level HandleUser(int id);
  // The history window captioned "Errors History" with OK and Help.
  virtual int ShowHistory();

  // --- Other operations ---
  void SetFileName(std::string_view text);
  void SetFieldName(std::string_view text);
  void SetKeyName(std::string_view text);
  // id -1 (or 65535) sets DefaultCategory; otherwise the winning entry's.
  void SetCategory(int id, std::string_view category);
  std::string CategoryOf(int id) const;
  void RegisterProcedure(std::string_view name);
  void UnregisterProcedure();
  // The newest name registered by the calling thread; "" when none.
  std::string CurrentProcedureName() const;
  Level Raise(int id);
  Level RaiseWithMessage(int id, std::string_view text);
  // Shows the message with the given buttons; returns the pressed one, or
  // defaultButton at once when Silent. Neither logs nor records history.
  int Ask(int id, int defaultButton, int buttons);
  void ClearHistory();
  // Selects the entry and calls the handler of its level.
  Level Dispatch(int id);
  // The current entry's text with its tokens replaced.
  std::string Substitute();
  // Copies the calling thread's runtime error state into the Save* members.
  void CaptureErrorState();
  // Makes the newest entry with this id current; false when there is none
  // (the first entry is then current, when the table holds any).
  bool SelectEntry(int id);
  // The current entry; null when the table is empty.
  const ErrorEntry* CurrentEntry() const;

  // --- Members ---
  std::string DefaultCategory;
  std::unique_ptr<std::vector<ErrorEntry>> Errors;
  ck::ErrorLog* ErrorLog = nullptr;
  std::string FieldName;
  std::string FileName;
  std::string KeyName;
  std::unique_ptr<std::vector<HistoryEntry>> History;
  std::string MessageText;
  std::unique_ptr<std::vector<ProcedureNameEntry>> ProcNames;
  std::string SaveError;
  long SaveErrorCode = 0;
  std::string SaveFileError;
  std::string SaveFileErrorCode;
  uint8_t Silent = 0;
  std::unique_ptr<ck::StdErrorLog> StdErrorLog;
  uint8_t LogErrors = 0;
  long HistoryThreshold = 0;
  long HistoryViewLevel = level::Fatal;
  uint8_t HistoryResetOnView = 0;

 private:
  size_t current_ = 0;  // index of the current entry in Errors
};

}  // namespace ck
