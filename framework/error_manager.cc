#include "framework/error_manager.h"

#include <cstdio>
#include <mutex>
#include <utility>

#include "framework/history_window.h"
#include "framework/std_error_log.h"
#include "runtime/date_time.h"
#include "runtime/error_state.h"
#include "runtime/picture.h"
#include "runtime/thread.h"
#include "ui/dialogs.h"

namespace ck {

namespace {

struct BuiltIn {
  int id;
  int level;
  const char* title;
  const char* text;
};

// The built-in messages in table order.
constexpr BuiltIn kBuiltIn[] = {
    {30, 5, "Invalid Key", "%File key file is invalid. Key must be rebuilt."},
    {29, 3, "Key was not built", "Error: (%ErrorText) repairing key for %File."},
    {12, 3, "File Creation Error", "Error: (%ErrorText) creating %File."},
    {27, 5, "Procedure not defined", "The Procedure %Message has not been defined."},
    {19, 5, "Range Error", "The value of %Field must be lower than %Message."},
    {20, 5, "Range Error", "The value of %Field must be higher than %Message."},
    {18, 5, "Range Error", "The value of %Field must be in range %Message."},
    {16, 5, "Field contents error", "The value of %Field must be found in the %Message file."},
    {34, 5, "Referential Integrity Update Error",
     "This record is referenced from the file %File. Linking field(s) have been restricted "
     "from change and have been reset to original values."},
    {33, 5, "Referential Integrity Delete Error",
     "This record is referenced from the file %File. This record cannot be deleted while "
     "these references exist."},
    {4, 5, "Record Insert Error",
     "An error was experienced during the creation of a record.|File: %File|Error: "
     "%ErrorText."},
    {7, 5, "Record Was Not Updated", "This record was changed by another station."},
    {8, 5, "Record Was Not Updated",
     "This record was changed by another station. Those changes will now be displayed. Use "
     "the Ditto Button or Ctrl+H to recall your changes."},
    {37, 1, "Record Update Error",
     "An error was experienced changing this record. Do you want to try to save again?"},
    {36, 1, "Record Delete Error",
     "An error was experienced deleting this record. Do you want to try to delete it again?"},
    {23, 5, "Invalid Request", "This form cannot be used to insert a record"},
    {41, 5, "Invalid Request", "This form cannot be used to update a record"},
    {14, 5, "Invalid Request", "This form cannot be used to delete a record"},
    {10, 1, "Changes will be lost!", "Are you sure you want to cancel?"},
    {15, 5, "Duplicate Key Error",
     "Adding this record creates a duplicate entry for the key: %Message"},
    {35, 1, "Auto Increment Error",
     "Attempts to automatically number this record have failed.|File: %File|Key: "
     "%Key|Error: %ErrorText.|Try Again?"},
    {21, 5, "File Load Error", "%File File Load Error.  Error: %ErrorText."},
    {39, 1, "Beginning of File Error",
     "The beginning of the file %File was encountered. Do you want to start again from the "
     "end of the file?"},
    {40, 1, "End of File Error",
     "The end of the file %File was encountered. Do you want to start again from the "
     "beginning?"},
    {6, 5, "File Access Error", "File %File could not be closed.  Error: %ErrorText."},
    {26, 3, "File Access Error", "File %File could not be opened.  Error: %ErrorText."},
    {28, 5, "Record was not updated",
     "An error (%ErrorText) was experienced when making changes to the %File file."},
    {13, 5, "Record was not deleted",
     "An error (%ErrorText) was experienced when deleting a record from the %File file."},
    {11, 1, "Confirm Delete", "Are you sure you want to delete the highlighted record?"},
    {38, 1, "Save Record", "Do you want to save the changes to this record?"},
    {24, 5, "Transaction cancelled",
     "Error: (%ErrorText) attempting to frame the transaction on %File."},
    {1, 5, "Record Retrieval Error",
     "Error: (%ErrorText) attempting to access a record from the %File file.  Returning to "
     "previous window."},
    {43, 5, "View Open Error",
     "Error: (%ErrorText) attempting to open the current VIEW. Filter and Range Limits "
     "ignored."},
    {3, 1, "Record Added",
     "This record has been added to the file. Do you want to add another record?"},
    {31, 5, "Record not read",
     "A record held by another station was encountered reading from the %File file."},
    {5, 5, "Add New Record?", "Record match not found, do you wish to add a new one?"},
    {17, 5, "Value Error", "The value of %Field must be in the list : %Message."},
    {25, 5, "No Records", "There are no records available to process."},
    {2, 5, "Access Denied", "Could not get write access to %File so trying read-only."},
    {42, 2, "File Usage Error", "Attempt to use file (%File) before it was opened"},
    {44, 5, "Unsupported QBE Column",
     "The saved QBE column, %Field is not supported. It will be dropped from the query."},
    {45, 5, "SMTP Error", "The following SMTP Error occurred: %Message "},
    {46, 5, "NNTP Error", "%Message "},
    {47, 5, "Winsock Error", "%Message "},
    {49, 3, "WMF Parser Error", "The File %File is not a valid WMF file."},
    {22, 3, "WMF Parser Error", "Get next record from file %File failed."},
    {51, 3, "WMF Parser Error", "Cannot find %Field id. Parsing %File."},
    {50, 3, "WMF Parser Error", "Invalid %Field control found. Parsing %File."},
    {48, 3, "WMF Parser Error", "Adding record to queue failed. Parsing %File."},
    {52, 5, "Report Writer Error", "Poorly Formed Comment String \"%Message\" at Position %Field."},
    {53, 5, "Report Writer Error", "Unknown Property %Message."},
    {9, 5, "Record Retrieval Error",
     "This record was changed or deleted by another station.|Error: (%ErrorText) attempting "
     "to access a record from the %File file."},
};

void PutWord(std::string& out, unsigned value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

std::string PackBuiltIn() {
  std::string block;
  PutWord(block, static_cast<unsigned>(std::size(kBuiltIn)));
  for (const BuiltIn& m : kBuiltIn) {
    const std::string_view title(m.title), text(m.text);
    PutWord(block, static_cast<unsigned>(m.id));
    block += static_cast<char>(m.level);
    block += static_cast<char>(title.size());
    block += title;
    block += static_cast<char>(text.size());
    block += text;
  }
  return block;
}

std::mutex& FaultMutex() {
  static std::mutex mu;
  return mu;
}
LogFaultHandler& FaultHandlerSlot() {
  static LogFaultHandler handler;
  return handler;
}

void ReportLogFault(std::string_view text, std::string_view logReason) {
  // The log's own reason when it has one, else the runtime's error text.
  const std::string reason(logReason.empty() ? std::string_view(ThreadErrorState().text)
                                             : logReason);
  LogFaultHandler handler;
  {
    std::lock_guard<std::mutex> lock(FaultMutex());
    handler = FaultHandlerSlot();
  }
  if (handler) {
    handler(text, reason);
  } else {
    std::fprintf(stderr, "%.*s%.*s\n", static_cast<int>(text.size()), text.data(),
                 static_cast<int>(reason.size()), reason.data());
  }
}

std::string Cut(std::string_view text, size_t size) { return std::string(text.substr(0, size)); }

// One part of the text being substituted: original message text, in which
// tokens are still looked for, or an inserted value, which is left alone.
struct Piece {
  std::string text;
  bool inserted = false;
};

// Replaces every occurrence of token in the original pieces by value.
void ReplaceToken(std::vector<Piece>& pieces, std::string_view token, std::string_view value) {
  if (value == token) return;
  std::vector<Piece> out;
  for (Piece& piece : pieces) {
    if (piece.inserted) {
      out.push_back(std::move(piece));
      continue;
    }
    size_t from = 0;
    for (;;) {
      const size_t at = piece.text.find(token, from);
      if (at == std::string::npos) break;
      if (at > from) out.push_back({piece.text.substr(from, at - from), false});
      out.push_back({std::string(value), true});
      from = at + token.size();
    }
    if (from < piece.text.size()) out.push_back({piece.text.substr(from), false});
  }
  pieces = std::move(out);
}

long ThisThreadTag() { return ThreadNumber(); }

}  // namespace

void SetLogFaultHandler(LogFaultHandler handler) {
  std::lock_guard<std::mutex> lock(FaultMutex());
  FaultHandlerSlot() = std::move(handler);
}

std::string SystemIcon(int number) {
  std::string icon;
  icon += static_cast<char>(255);
  icon += static_cast<char>(1);
  PutWord(icon, static_cast<unsigned>(number));
  return icon;
}

int IconNumber(std::string_view icon) {
  if (icon.size() != 4 || static_cast<unsigned char>(icon[0]) != 255 ||
      static_cast<unsigned char>(icon[1]) != 1) {
    return 0;
  }
  return static_cast<unsigned char>(icon[2]) | (static_cast<unsigned char>(icon[3]) << 8);
}

std::string_view BuiltInMessages() {
  static const std::string block = PackBuiltIn();
  return block;
}

ErrorManager::ErrorManager() {
  SaveErrorCode = 0;
  SaveError.clear();
  SaveFileErrorCode.clear();
  SaveFileError.clear();
  StdErrorLog = std::make_unique<ck::StdErrorLog>();
  DefaultCategory = "Oak";
  HistoryThreshold = 0;
  HistoryViewLevel = level::Fatal;
  HistoryResetOnView = 0;
  // Called from the constructor, so this is always the base Init.
  ErrorManager::Init(StdErrorLog.get());
}

ErrorManager::~ErrorManager() = default;

void ErrorManager::Init(ck::ErrorLog* log) {
  ErrorLog = log;
  if (!ProcNames) ProcNames = std::make_unique<std::vector<ProcedureNameEntry>>();
  if (!History) History = std::make_unique<std::vector<HistoryEntry>>();
  // The built-in table is loaded with a new table only: loading it twice
  // would let %Previous find the built-in text under itself.
  if (!Errors) {
    Errors = std::make_unique<std::vector<ErrorEntry>>();
    AddMessages(BuiltInMessages());
  }
}

void ErrorManager::Kill() {
  Errors.reset();
  History.reset();
  ProcNames.reset();
  if (ErrorLog == StdErrorLog.get()) ErrorLog = nullptr;
  StdErrorLog.reset();
  current_ = 0;
}

Level ErrorManager::AddMessages(std::string_view block) {
  if (!Errors) return level::Program;
  auto byte = [&](size_t at) { return static_cast<unsigned char>(block[at]); };
  if (block.size() < 2) return level::Program;
  const size_t count = byte(0) | (byte(1) << 8);
  std::vector<ErrorEntry> entries;
  entries.reserve(count);
  size_t at = 2;
  for (size_t i = 0; i < count; ++i) {
    if (at + 4 > block.size()) return level::Program;
    ErrorEntry e;
    e.ID = byte(at) | (byte(at + 1) << 8);
    e.FATALITY = byte(at + 2);
    const size_t titleLength = byte(at + 3);
    at += 4;
    if (at + titleLength + 1 > block.size()) return level::Program;
    e.TITLE = block.substr(at, titleLength);
    at += titleLength;
    const size_t textLength = byte(at);
    ++at;
    if (at + textLength > block.size()) return level::Program;
    e.MESSAGE = block.substr(at, textLength);
    at += textLength;
    entries.push_back(std::move(e));
  }
  for (ErrorEntry& e : entries) Errors->push_back(std::move(e));
  return level::Benign;
}

void ErrorManager::SetFileName(std::string_view text) { FileName = Cut(text, 255); }
void ErrorManager::SetFieldName(std::string_view text) { FieldName = Cut(text, 255); }
void ErrorManager::SetKeyName(std::string_view text) { KeyName = Cut(text, 255); }

bool ErrorManager::SelectEntry(int id) {
  current_ = 0;
  if (!Errors) return false;
  for (size_t i = Errors->size(); i-- > 0;) {
    if ((*Errors)[i].ID == id) {
      current_ = i;
      return true;
    }
  }
  return false;
}

const ErrorEntry* ErrorManager::CurrentEntry() const {
  if (!Errors || current_ >= Errors->size()) return nullptr;
  return &(*Errors)[current_];
}

void ErrorManager::SetCategory(int id, std::string_view category) {
  if (id == -1 || id == 65535) {
    DefaultCategory = std::string(category);
    return;
  }
  if (!Errors) return;
  for (size_t i = Errors->size(); i-- > 0;) {
    if ((*Errors)[i].ID == id) {
      (*Errors)[i].CATEGORY = std::string(category);
      return;
    }
  }
}

std::string ErrorManager::CategoryOf(int id) const {
  if (id == -1 || id == 65535 || !Errors) return DefaultCategory;
  for (size_t i = Errors->size(); i-- > 0;) {
    if ((*Errors)[i].ID == id) {
      return (*Errors)[i].CATEGORY.empty() ? DefaultCategory : (*Errors)[i].CATEGORY;
    }
  }
  return DefaultCategory;
}

void ErrorManager::RegisterProcedure(std::string_view name) {
  if (!ProcNames) return;
  ProcNames->push_back({ThisThreadTag(), std::string(name)});
}

void ErrorManager::UnregisterProcedure() {
  if (!ProcNames) return;
  const long thread = ThisThreadTag();
  for (size_t i = ProcNames->size(); i-- > 0;) {
    if ((*ProcNames)[i].THREAD == thread) {
      ProcNames->erase(ProcNames->begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

std::string ErrorManager::CurrentProcedureName() const {
  if (!ProcNames) return {};
  const long thread = ThisThreadTag();
  for (size_t i = ProcNames->size(); i-- > 0;) {
    if ((*ProcNames)[i].THREAD == thread) return (*ProcNames)[i].NAME;
  }
  return {};
}

void ErrorManager::CaptureErrorState() {
  const ErrorState& state = ThreadErrorState();
  SaveErrorCode = state.code;
  SaveError = Cut(state.text, 255);
  SaveFileErrorCode = Cut(state.fileErrorCode, 255);
  SaveFileError = Cut(state.fileErrorText, 255);
}

Level ErrorManager::Raise(int id) {
  CaptureErrorState();
  return Dispatch(id);
}

Level ErrorManager::RaiseWithMessage(int id, std::string_view text) {
  MessageText = Cut(text, 255);
  return Raise(id);
}

Level ErrorManager::Dispatch(int id) {
  SelectEntry(id);
  const ErrorEntry* entry = CurrentEntry();
  // An empty table (after Kill) has nothing to show; that is the caller's fault.
  if (entry == nullptr) return level::Program;
  switch (entry->FATALITY) {
    case level::Benign:
      return HandleBenign(id);
    case level::User:
    case level::Cancel:
      return HandleUser(id);
    case level::Program:
      return HandleProgram(id);
    case level::Fatal:
      return HandleFatal(id);
    case level::Notify:
      return HandleNotify(id);
    default:
      return HandleOther(id);
  }
}

std::string ErrorManager::Substitute() {
  const ErrorEntry* entry = CurrentEntry();
  if (entry == nullptr) return {};
  std::vector<Piece> pieces{{Cut(entry->MESSAGE, SubstituteBufferSize), false}};

  ReplaceToken(pieces, "%File", FileName);
  ReplaceToken(pieces, "%Key", KeyName);
  ReplaceToken(pieces, "%ErrorCode", std::to_string(SaveErrorCode));
  // 90 and 100 are the runtime's codes for a failure the driver reported.
  if (SaveErrorCode == 90 || SaveErrorCode == 100) {
    ReplaceToken(pieces, "%ErrorText", SaveFileError + " (" + SaveFileErrorCode + ")");
  } else {
    ReplaceToken(pieces, "%ErrorText", SaveError + " (" + std::to_string(SaveErrorCode) + ")");
  }
  ReplaceToken(pieces, "%Error", SaveError);
  ReplaceToken(pieces, "%FileErrorCode", SaveFileErrorCode);
  ReplaceToken(pieces, "%FileError", SaveFileError);
  ReplaceToken(pieces, "%Message", MessageText);
  ReplaceToken(pieces, "%Field", FieldName);
  const std::string procedure = CurrentProcedureName();
  if (!procedure.empty()) ReplaceToken(pieces, "%Procedure", procedure);
  ReplaceToken(pieces, "%Category", entry->CATEGORY);

  std::string_view previous;
  for (size_t i = current_; i-- > 0;) {
    if ((*Errors)[i].ID == entry->ID) {
      previous = (*Errors)[i].MESSAGE;
      break;
    }
  }
  ReplaceToken(pieces, "%Previous", previous);

  std::string text;
  for (const Piece& piece : pieces) {
    text += piece.text;
    if (text.size() >= SubstituteBufferSize) break;
  }
  if (text.size() > SubstituteBufferSize) text.resize(SubstituteBufferSize);
  return text;
}

Level ErrorManager::HandleBenign(int id) {
  (void)id;
  Substitute();
  return level::Benign;
}

Level ErrorManager::HandleNotify(int id) {
  (void)id;
  const std::string text = Substitute();
  const ErrorEntry* entry = CurrentEntry();
  Present(text, entry->TITLE, SystemIcon(IconInformation), button::Ok, button::Ok);
  return level::Notify;
}

Level ErrorManager::HandleUser(int id) {
  (void)id;
  const std::string text = Substitute();
  const ErrorEntry* entry = CurrentEntry();
  const int pressed = Present(text, entry->TITLE, SystemIcon(IconExclamation),
                              button::Yes | button::No, button::Yes);
  return pressed == button::Yes ? level::Benign : level::Cancel;
}

Level ErrorManager::HandleFatal(int id) {
  (void)id;
  const std::string text = Substitute() + "  Press OK to end this application";
  const ErrorEntry* entry = CurrentEntry();
  const std::string title(entry->TITLE);
  Present(text, title, SystemIcon(IconInformation), button::Ok, button::Ok);
  Halt(title, FatalExitCode);
}

Level ErrorManager::HandleProgram(int id) { return HandleFatal(id); }

Level ErrorManager::HandleOther(int id) { return HandleProgram(id); }

int ErrorManager::Present(std::string_view text, std::string_view title, std::string_view icon,
                          int buttons, int defaultButton, int style) {
  const ErrorEntry* entry = CurrentEntry();
  if (LogErrors && ErrorLog != nullptr) {
    if (ErrorLog->Open() != level::Benign) {
      ReportLogFault("Unable to Open error log; ", ErrorLog->LastError());
    }
    Picture date, time;
    std::string reason;
    Picture::Parse("@d17", &date, &reason);
    Picture::Parse("@t8", &time, &reason);
    const std::string line =
        date.Format(Today()) + "@" + time.Format(Clock()) + " --> " + std::string(text);
    if (ErrorLog->Append(line) != level::Benign) {
      ReportLogFault("Unable to update error log; ", ErrorLog->LastError());
    }
    if (ErrorLog->Close() != level::Benign) {
      ReportLogFault("Unable to close error log; ", ErrorLog->LastError());
    }
  }
  if (HistoryThreshold != 0 && History) {
    if (HistoryThreshold > 0) {
      while (History->size() >= static_cast<size_t>(HistoryThreshold))
        History->erase(History->begin());
    }
    AppendHistory(text);
  }
  if (Silent) return defaultButton;
  if (HistoryThreshold == 0) {
    return ShowStandardMessage(text, title, icon, buttons, defaultButton,
                               entry != nullptr ? entry->FATALITY : style);
  }
  if (entry != nullptr && entry->FATALITY == HistoryViewLevel) {
    const int pressed = ShowHistoryWindow(title, text, icon, buttons, defaultButton);
    if (HistoryResetOnView) ClearHistory();
    return pressed;
  }
  return defaultButton;
}

void ErrorManager::AppendHistory(std::string_view text) {
  if (!History) return;
  const ErrorEntry* entry = CurrentEntry();
  HistoryEntry h;
  h.TXT = Cut(text, HistoryTextSize);
  h.ID = entry != nullptr ? static_cast<int16_t>(entry->ID) : 0;
  h.CATEGORY = CategoryOf(entry != nullptr ? static_cast<int>(entry->ID) : -1);
  History->push_back(std::move(h));
}

void ErrorManager::ClearHistory() {
  if (History) History->clear();
}

int ErrorManager::ShowStandardMessage(std::string_view text, std::string_view title,
                                      std::string_view icon, int buttons, int defaultButton,
                                      int style) {
  (void)style;
  return ui::Message(text, title, ui::MessageIconFromNumber(IconNumber(icon)), buttons,
                     defaultButton);
}

int ErrorManager::ShowHistoryWindow(std::string_view title, std::string_view text,
                                    std::string_view icon, int buttons, int defaultButton) {
  HistoryWindow window;
  window.Init(this, History.get());
  return window.Run(title, text, icon, buttons, defaultButton);
}

int ErrorManager::ShowHistory() {
  return ShowHistoryWindow("Errors History", {}, {}, button::Ok | button::Help, button::Ok);
}

int ErrorManager::Ask(int id, int defaultButton, int buttons) {
  if (Silent) return defaultButton;
  SelectEntry(id);
  const ErrorEntry* entry = CurrentEntry();
  if (entry == nullptr) return defaultButton;
  return ShowStandardMessage(Substitute(), entry->TITLE, SystemIcon(IconExclamation), buttons,
                             defaultButton);
}

}  // namespace ck
