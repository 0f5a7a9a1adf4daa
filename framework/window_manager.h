// The window manager: runs one window procedure. It opens the window, runs
// its accept loop, hands each event to an overridable handler, lets the
// window's components see every event, and carries out the standard
// behaviour of a record form: called with a request (insert, change,
// delete, view) it prepares the record, saves it when the user confirms,
// asks the configured questions when the user cancels, and hands back a
// response (completed or cancelled) to its caller.
//
// A procedure derives its own manager and replaces Init, Kill and
// TakeAccepted as a rule; a derived class that overrides one of the two Run
// operations brings the other into scope with `using WindowManager::Run;`.
// Every operation returns a level (or nothing); none throws. The manager
// belongs to the thread that runs the procedure. Not copyable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/levels.h"
#include "framework/window_component.h"
#include "runtime/field_ref.h"

namespace ck {

namespace ui {
class Window;
}
namespace storage {
struct FileControlBlock;
}

class ErrorManager;
class FileManager;
class RelationManager;
class ToolbarDispatcher;
class FormToolbarTarget;
class WindowResizer;

// Requests a procedure is called with, and the responses it hands back.
namespace request {
inline constexpr uint8_t Insert = 1;
inline constexpr uint8_t Change = 2;
inline constexpr uint8_t Delete = 3;
inline constexpr uint8_t Select = 4;
inline constexpr uint8_t View = 6;
inline constexpr uint8_t Save = 7;  // only while the Save button's save runs
}  // namespace request
namespace response {
inline constexpr uint8_t None = 0;
inline constexpr uint8_t Completed = 1;
inline constexpr uint8_t Cancelled = 2;
}  // namespace response

// Control numbers of the frame toolbar's record buttons that the window
// manager handles itself.
inline constexpr int ToolbarFirst = 3000;
inline constexpr int ToolbarLast = 3019;
inline constexpr int ToolbarHistory = 3012;

// Gives every window text at the first open event and returns the text to show.
class WindowTranslator {
 public:
  virtual ~WindowTranslator() = default;
  virtual std::string Translate(std::string_view text) = 0;
};

// A button that closes the window with a response.
struct ButtonResponse {
  int Control = 0;
  uint8_t Response = 0;
};

// A field that the history key can restore: its control, the field in the
// record buffer and the slot that keeps its value from the last save.
struct HistoryField {
  int Control = 0;
  FieldRef Field;
  FieldRef Slot;
};

// Another table whose record buffer the form keeps while it runs.
struct FileBufferEntryRef {
  FileManager* Manager = nullptr;
  long ID = 0;
};

class WindowManager {
 public:
  WindowManager();
  virtual ~WindowManager();
  WindowManager(const WindowManager&) = delete;
  WindowManager& operator=(const WindowManager&) = delete;

  // --- Virtual operations, in slot order ---
  // The accept loop: every event to TakeEvent until the window closes.
  virtual Level Ask();
  // Fixes OriginalRequest, creates the tables and sets the defaults.
  virtual Level Init();
  // Disposes the tables, restores the kept record buffers, sets Dead.
  virtual Level Kill();
  virtual Level TakeOpenWindow();
  // Default field values of a new record (empty here).
  virtual Level PrimeFields();
  // Prepares the record for the request before the window is shown; a
  // non-zero level ends the procedure without showing it.
  virtual Level PrimeUpdate();
  // Refreshes the components (force: even when nothing changed).
  virtual void Reset(bool force = false);
  virtual Level TakeHistory(int control);
  // Init, Ask, Kill; the response (2 when none was given).
  virtual Level Run();
  // The run-procedure hook: runs procedure number under request; 2 here.
  virtual Level Run(int procedure, int request);
  virtual void SetAlerts();
  virtual void SetResponse(int code);
  virtual Level TakeAccepted();
  virtual Level TakeCompleted();
  virtual Level TakeCloseEvent();
  virtual Level TakeEvent();
  virtual Level TakeFieldEvent();
  virtual Level TakeNewSelection();
  virtual Level TakeRejected();
  virtual Level TakeSelected();
  virtual Level TakeWindowEvent();
  // Takes the controls' texts into their variables and tells the components.
  virtual void Update();
  virtual void SetEnabled(int control, bool on);
  virtual Level InsertCompleted();
  virtual Level ChangeCompleted();
  virtual Level DeleteCompleted();
  virtual Level SaveChangeCompleted();
  virtual Level SaveInsertCompleted();

  // --- Registration (called by a procedure's Init) ---
  // Opens the window and runs the manager on it.
  // REQUIRES: window outlives the manager's run; not opened before.
  void Open(ui::Window& window);
  void AddItem(WindowComponent& component);
  void AddItem(int control, uint8_t response);
  // REQUIRES: field and slot stay valid while the manager runs.
  void AddHistoryField(int control, FieldRef field, FieldRef slot);
  // The history file: a table's record buffer and its copy; then history
  // fields by field number (from 1) of that table.
  // REQUIRES: copy holds file.recordLength bytes and outlives the manager.
  void AddHistoryFile(const storage::FileControlBlock& file, char* copy);
  void AddHistoryField(int control, int fieldNumber);
  void AddUpdateFile(FileManager& file);

  // The event being handled.
  int Event() const;
  int Field() const;
  int Keycode() const;
  ComponentEvent CurrentEvent() const;

  // --- Members, in declaration order ---
  uint8_t AutoRefresh = 1;
  uint8_t AutoToolbar = 1;
  std::vector<ButtonResponse> Buttons;
  std::vector<WindowComponent*> CL;
  uint8_t CancelAction = 3;
  uint8_t ChangeAction = 2;
  uint8_t Dead = 0;
  uint8_t DeleteAction = 2;
  uint8_t BatchProcessing = 0;
  ErrorManager* Errors = nullptr;
  std::vector<FileBufferEntryRef> Files;
  uint8_t FilesOpened = 0;
  int32_t FirstField = 0;
  uint8_t ForcedReset = 0;
  std::vector<HistoryField> History;
  int32_t HistoryKey = 0;
  uint8_t Inited = 0;
  uint8_t InsertAction = 2;
  std::string LastInsertedPosition;
  int32_t OKControl = 0;
  int32_t SaveControl = 0;
  uint8_t DisableCancelButton = 0;
  uint8_t Opened = 0;
  uint8_t OriginalRequest = 0;
  uint8_t RecordSaved = 0;
  uint8_t BeforeSaveRequest = 0;
  RelationManager* Primary = nullptr;
  uint8_t Request = 0;
  uint8_t ResetOnGainFocus = 0;
  WindowResizer* Resize = nullptr;
  uint8_t Response = 0;
  long Saved = 0;
  FormToolbarTarget* FormVCR = nullptr;
  ToolbarDispatcher* Toolbar = nullptr;
  WindowTranslator* Translator = nullptr;
  long* VCRRequest = nullptr;

  // The window the manager runs (set by Open).
  ui::Window* Win = nullptr;

 protected:
  // The OK button's handling: the completion event, or the save at once
  // when BatchProcessing.
  Level TakeOK();
  // Writes the change or delete through the relation manager, asking
  // message 37 (36) when it may be retried; true when it succeeded.
  bool WriteChange(bool deleting);
  // After a successful insert that keeps the form open: a new record.
  Level PrepareAnother();
  // Replaces the copy of the primary buffer kept as Saved by the current one.
  void RenewSaved();
  void SelectFirstField();

 private:
  const storage::FileControlBlock* historyFile_ = nullptr;
  char* historyCopy_ = nullptr;
  // The user chose to close the form already: no cancel questions.
  bool closeWithoutAsking_ = false;
};

}  // namespace ck
