#include "framework/window_manager.h"

#include <algorithm>

#include "framework/error_manager.h"
#include "framework/file_manager.h"
#include "framework/relation_manager.h"
#include "framework/toolbar.h"
#include "framework/toolbar_target.h"
#include "framework/window_resizer.h"
#include "storage/file_control_block.h"
#include "ui/dialogs.h"
#include "ui/window.h"

namespace ck {
namespace {

// Drops a kept copy of a record buffer without putting it back.
void DropBuffer(FileManager* file, long id) {
  auto& buffers = file->Buffers;
  buffers.erase(std::remove_if(buffers.begin(), buffers.end(),
                               [id](const FileBufferEntry& e) { return e.ID == id; }),
                buffers.end());
}

}  // namespace

WindowManager::WindowManager() = default;
WindowManager::~WindowManager() = default;

// --- Registration ----------------------------------------------------------

void WindowManager::Open(ui::Window& window) {
  Win = &window;
  if (!window.IsOpen()) window.Open();
  Opened = 1;
}

void WindowManager::AddItem(WindowComponent& component) { CL.push_back(&component); }

void WindowManager::AddItem(int control, uint8_t code) { Buttons.push_back({control, code}); }

void WindowManager::AddHistoryField(int control, FieldRef field, FieldRef slot) {
  History.push_back({control, field, slot});
}

void WindowManager::AddHistoryFile(const storage::FileControlBlock& file, char* copy) {
  historyFile_ = &file;
  historyCopy_ = copy;
}

void WindowManager::AddHistoryField(int control, int fieldNumber) {
  if (historyFile_ == nullptr || historyFile_->record == nullptr || fieldNumber < 1 ||
      static_cast<size_t>(fieldNumber) > historyFile_->fields.size()) {
    return;
  }
  const storage::FieldDescriptor& f = historyFile_->fields[fieldNumber - 1];
  AddHistoryField(control, FieldRef(historyFile_->record + f.offset, f.length, f.type, f.places),
                  FieldRef(historyCopy_ + f.offset, f.length, f.type, f.places));
}

void WindowManager::AddUpdateFile(FileManager& file) { Files.push_back({&file, 0}); }

int WindowManager::Event() const { return Win != nullptr ? Win->Event() : 0; }
int WindowManager::Field() const { return Win != nullptr ? Win->Field() : 0; }
int WindowManager::Keycode() const { return Win != nullptr ? Win->Keycode() : 0; }

ComponentEvent WindowManager::CurrentEvent() const {
  return {Event(), Field(), Keycode(), Win != nullptr ? Win->KeyChar() : '\0'};
}

void WindowManager::SelectFirstField() {
  if (Win != nullptr && FirstField != 0) Win->Select(FirstField);
}

// --- Run -------------------------------------------------------------------

Level WindowManager::Init() {
  OriginalRequest = Request;
  CL.clear();
  Buttons.clear();
  InsertAction = 2;
  DeleteAction = 2;
  ChangeAction = 2;
  CancelAction = 3;
  AutoToolbar = 1;
  AutoRefresh = 1;
  Dead = 0;
  return level::Benign;
}

Level WindowManager::Run() {
  if (Init() == level::Benign) Ask();
  Kill();
  return Response == response::None ? response::Cancelled : Response;
}

Level WindowManager::Run(int procedure, int code) {
  (void)procedure;
  (void)code;
  return response::Cancelled;
}

Level WindowManager::Ask() {
  if (Dead || Win == nullptr) return level::Benign;
  while (Win->Accept()) {
    const Level handled = TakeEvent();
    if (handled == level::Fatal) break;
    if (handled == level::Notify) Win->Skip();
  }
  return level::Benign;
}

Level WindowManager::Kill() {
  if (Dead) return level::Benign;
  for (const FileBufferEntryRef& f : Files) f.Manager->RestoreBuffer(f.ID);
  if (Primary != nullptr && Primary->Me != nullptr && Saved != 0) DropBuffer(Primary->Me, Saved);
  Saved = 0;
  for (WindowComponent* c : CL) c->Kill();
  if (Resize != nullptr && std::find(CL.begin(), CL.end(), Resize) == CL.end()) Resize->Kill();
  if (Toolbar != nullptr) Toolbar->Kill();
  Buttons.clear();
  CL.clear();
  History.clear();
  Files.clear();
  Dead = 1;
  return level::Benign;
}

// --- Preparing the record --------------------------------------------------

Level WindowManager::PrimeFields() { return level::Benign; }

Level WindowManager::PrimeUpdate() {
  FileManager* me = Primary != nullptr ? Primary->Me : nullptr;
  if (me != nullptr) {
    const Level usable = me->UseFile();
    if (usable != level::Benign) return usable;
  }
  for (FileBufferEntryRef& f : Files) f.ID = f.Manager->SaveBuffer();

  if (Request == request::Insert && InsertAction != 0) {
    if (me != nullptr && me->PrimeRecord(me->HasAutoInc != 0) != level::Benign) {
      Response = response::Cancelled;
      return level::Notify;
    }
    Response = response::Completed;
    PrimeFields();
    // PrimeFields refuses the insert by setting the response to cancelled.
    if (Response == response::Cancelled) return level::Notify;
    Response = response::Cancelled;
  } else if (Request == request::Delete && (DeleteAction == 2 || DeleteAction == 4)) {
    const Level deleted = Primary != nullptr ? Primary->Delete(DeleteAction == 2) : level::Program;
    Response = deleted == level::Benign ? response::Completed : response::Cancelled;
    return level::Notify;
  }
  if (me != nullptr) Saved = me->SaveBuffer();
  return level::Benign;
}

// --- Events ----------------------------------------------------------------

Level WindowManager::TakeEvent() {
  const int e = Event();
  Level result = level::Benign;
  if (ui::event::IsWindowEvent(e)) {
    result = TakeWindowEvent();
    if (result != level::Benign) return result;
  } else {
    switch (e) {
      case ui::event::Accepted:
        result = TakeAccepted();
        break;
      case ui::event::NewSelection:
        result = TakeNewSelection();
        break;
      case ui::event::Selected:
        // The toolbar follows the focus: its presses act on the focused part.
        if (AutoToolbar && Toolbar != nullptr) Toolbar->SetTarget();
        result = TakeSelected();
        break;
      case ui::event::Rejected:
        result = TakeRejected();
        break;
      case ui::event::AlertKey:
        if (HistoryKey != 0 && Keycode() == HistoryKey) {
          result = TakeHistory(Field() != 0 ? Field() : Win->Focus());
        }
        break;
      default:
        break;
    }
    if (result != level::Benign) return result;
    result = TakeFieldEvent();
    if (result != level::Benign) return result;
  }
  if (Dead) return level::Benign;
  const ComponentEvent event = CurrentEvent();
  for (WindowComponent* c : CL) {
    result = c->TakeEvent(event);
    if (result != level::Benign) break;
  }
  if (AutoRefresh) {
    for (WindowComponent* c : CL) c->UpdateWindow();
    if (ForcedReset) Reset(true);
  }
  return result;
}

Level WindowManager::TakeWindowEvent() {
  switch (Event()) {
    case ui::event::OpenWindow:
      if (!(Inited & 1)) {
        Inited |= 1;
        return TakeOpenWindow();
      }
      return level::Benign;
    case ui::event::GainFocus:
      if (ResetOnGainFocus) ForcedReset = 1;
      return level::Benign;
    case ui::event::Completed:
      return TakeCompleted();
    case ui::event::CloseWindow:
    case ui::event::CloseDown:
      return TakeCloseEvent();
    default:
      return level::Benign;
  }
}

Level WindowManager::TakeOpenWindow() {
  if (Win == nullptr) return level::Benign;
  if (Translator != nullptr) {
    const ui::WindowModel model = Win->Snapshot();
    Win->SetTitle(Translator->Translate(model.title));
    for (const ui::ControlModel& c : model.controls) {
      if (!c.text.empty()) Win->SetText(c.feq, Translator->Translate(c.text));
      if (!c.tip.empty() || !c.msg.empty()) {
        const std::string tip = c.tip.empty() ? std::string() : Translator->Translate(c.tip);
        const std::string msg = c.msg.empty() ? std::string() : Translator->Translate(c.msg);
        Win->Modify(c.feq, [&](ui::ControlModel& m) {
          m.tip = tip;
          m.msg = msg;
        });
      }
    }
  }
  if (FormVCR != nullptr && !FormVCR->TakeOk) FormVCR->TakeOk = [this] { TakeOK(); };
  // Gaining the focus refreshes the window: it has to hear of it.
  if (ResetOnGainFocus) Win->ReportFocus(true);
  Reset(true);
  SelectFirstField();
  return level::Benign;
}

void WindowManager::Reset(bool force) {
  for (WindowComponent* c : CL) c->Reset(force || ForcedReset);
  ForcedReset = 0;
  if (Toolbar != nullptr && AutoToolbar) {
    Toolbar->SetTarget();
    Toolbar->DisplayButtons();
  }
}

void WindowManager::SetAlerts() {
  for (WindowComponent* c : CL) c->SetAlerts();
  if (Win != nullptr && HistoryKey != 0) Win->Alert(HistoryKey);
}

Level WindowManager::TakeNewSelection() {
  for (WindowComponent* c : CL) c->TakeNewSelection();
  return level::Benign;
}

Level WindowManager::TakeFieldEvent() { return level::Benign; }
Level WindowManager::TakeSelected() { return level::Benign; }

Level WindowManager::TakeRejected() {
  if (Win == nullptr) return level::Benign;
  // The alert sounds; the refused text goes back to the variable's value and
  // the user tries again.
  ui::Beep();
  Win->Display(Field());
  Win->Select(Field());
  return level::Benign;
}

void WindowManager::Update() {
  if (Win != nullptr) Win->Update(0);
  for (WindowComponent* c : CL) c->Update();
}

void WindowManager::SetEnabled(int control, bool on) {
  if (Win != nullptr) Win->Enable(control, on);
}

Level WindowManager::TakeHistory(int control) {
  for (const HistoryField& h : History) {
    if (h.Control != control) continue;
    h.Field.Assign(h.Slot);
    if (Win != nullptr) Win->Display(control);
    return level::Benign;
  }
  return level::Benign;
}

void WindowManager::SetResponse(int code) {
  Response = static_cast<uint8_t>(code);
  if (code == response::Cancelled && VCRRequest != nullptr) *VCRRequest = 0;
  if (Win != nullptr) Win->Post(ui::event::CloseWindow);
}

Level WindowManager::TakeOK() {
  Update();
  if (BatchProcessing) return TakeCompleted();
  if (Win != nullptr) Win->Post(ui::event::Completed);
  return level::Benign;
}

Level WindowManager::TakeAccepted() {
  const int control = Field();
  if (control >= ToolbarFirst && control <= ToolbarLast) {
    const Level handled =
        Toolbar != nullptr ? Toolbar->TakeEvent(CurrentEvent()) : level::Benign;
    if (handled != level::Benign) return handled;
    if (control == ToolbarHistory && Win != nullptr) return TakeHistory(Win->Focus());
    return level::Benign;
  }
  for (const ButtonResponse& b : Buttons) {
    if (b.Control == control) {
      SetResponse(b.Response);
      return level::Benign;
    }
  }
  if (OKControl != 0 && control == OKControl) return TakeOK();
  if (SaveControl != 0 && control == SaveControl && Request != request::View) {
    BeforeSaveRequest = Request;
    Request = request::Save;
    return TakeOK();
  }
  return level::Benign;
}

// --- Completion ------------------------------------------------------------

Level WindowManager::TakeCompleted() {
  for (const HistoryField& h : History) h.Slot.Assign(h.Field);
  switch (Request) {
    case request::Insert:
      return InsertCompleted();
    case request::Change:
      return ChangeCompleted();
    case request::Delete:
      return DeleteCompleted();
    case request::Save:
      return OriginalRequest == request::Insert ? SaveInsertCompleted() : SaveChangeCompleted();
    case request::View:
      if (!BatchProcessing && Win != nullptr) Win->Post(ui::event::CloseWindow);
      return level::Benign;
    default:
      return level::Benign;
  }
}

void WindowManager::RenewSaved() {
  if (Primary == nullptr || Primary->Me == nullptr) return;
  if (Saved != 0) DropBuffer(Primary->Me, Saved);
  Saved = Primary->Me->SaveBuffer();
}

Level WindowManager::PrepareAnother() {
  FileManager* me = Primary->Me;
  me->TakePosition(&LastInsertedPosition);
  for (FileBufferEntryRef& f : Files) {
    DropBuffer(f.Manager, f.ID);
    f.ID = f.Manager->SaveBuffer();
  }
  // The new record starts from the defaults the form was prepared with.
  if (Saved != 0) me->RestoreBuffer(Saved);
  Saved = 0;
  if (me->HasAutoInc && me->PrimeAutoInc() != level::Benign) {
    SetResponse(response::Completed);
    return level::Benign;
  }
  PrimeFields();
  Response = response::Cancelled;
  Saved = me->SaveBuffer();
  if (Win != nullptr) Win->Display();
  SelectFirstField();
  return level::Benign;
}

Level WindowManager::InsertCompleted() {
  if (Primary == nullptr || Primary->Me == nullptr) return level::Benign;
  if (Primary->Me->Insert() != level::Benign) {
    SelectFirstField();
    return level::Benign;
  }
  if (!BatchProcessing) {
    if (InsertAction == 4) {
      if (Errors == nullptr || Errors->Raise(msg::AddAnother) != level::Benign) {
        SetResponse(response::Completed);
        return level::Benign;
      }
    } else if (InsertAction != 3) {
      SetResponse(response::Completed);
      return level::Benign;
    }
  }
  return PrepareAnother();
}

bool WindowManager::WriteChange(bool deleting) {
  for (;;) {
    Level written;
    {
      ui::BusyCursor busy;  // while the record is written
      written = deleting ? Primary->Delete(false) : Primary->Update(HistoryKey != 0);
    }
    if (written == level::Benign) return true;
    if (written == level::User && Errors != nullptr) {
      const int answer = Errors->Ask(deleting ? msg::RetryDelete : msg::RetrySave, button::Cancel,
                                     button::Yes | button::No | button::Cancel);
      if (answer == button::Yes) continue;
      if (answer == button::No) {
        closeWithoutAsking_ = true;
        SetResponse(response::Cancelled);
        return false;
      }
    }
    // The record may have been read again (changed elsewhere): show it.
    if (Win != nullptr) Win->Display();
    SelectFirstField();
    return false;
  }
}

Level WindowManager::ChangeCompleted() {
  if (Primary == nullptr || Primary->Me == nullptr) return level::Benign;
  Response = response::Cancelled;
  // An unchanged record is not written.
  if (Primary->Me->EqualBuffer(Saved) != 0 && !WriteChange(false)) return level::Benign;
  Response = response::Completed;
  if (!BatchProcessing) {
    if (ChangeAction == 2) {
      SetResponse(response::Completed);
    } else {
      RenewSaved();
    }
    return level::Benign;
  }
  // A form that walks through the records in place stays open.
  if (FormVCR != nullptr) FormVCR->DisplayButtons();
  RenewSaved();
  if (Win != nullptr) Win->Display();
  SelectFirstField();
  return level::Benign;
}

Level WindowManager::DeleteCompleted() {
  if (Primary == nullptr || Primary->Me == nullptr) return level::Benign;
  Response = response::Cancelled;
  if (!WriteChange(true)) return level::Benign;
  Response = response::Completed;
  if (!BatchProcessing) SetResponse(response::Completed);
  return level::Benign;
}

Level WindowManager::SaveInsertCompleted() {
  Request = BeforeSaveRequest;
  if (Primary == nullptr || Primary->Me == nullptr) return level::Benign;
  if (Primary->Me->Insert() != level::Benign) {
    SelectFirstField();
    return level::Benign;
  }
  RecordSaved = 1;
  // The saved record stays in the file; the form goes on with a new one, so
  // that a second Save cannot add the same record twice.
  return PrepareAnother();
}

Level WindowManager::SaveChangeCompleted() {
  Request = BeforeSaveRequest;
  if (Primary == nullptr || Primary->Me == nullptr) return level::Benign;
  if (Primary->Me->EqualBuffer(Saved) != 0 && !WriteChange(false)) return level::Benign;
  RecordSaved = 1;
  RenewSaved();
  SelectFirstField();
  return level::Benign;
}

// --- Closing ---------------------------------------------------------------

Level WindowManager::TakeCloseEvent() {
  if (Response == response::Completed || Primary == nullptr || Primary->Me == nullptr) {
    return level::Benign;
  }
  FileManager* me = Primary->Me;
  if ((Request == request::Insert || Request == request::Change) && CancelAction != 0 &&
      !closeWithoutAsking_) {
    Update();
    if (me->EqualBuffer(Saved) != 0) {
      switch (CancelAction) {
        case 1:
          TakeOK();
          return level::Notify;
        case 2:
          if (Errors == nullptr || Errors->Raise(msg::ConfirmCancel) != level::Benign) {
            SelectFirstField();
            return level::Notify;
          }
          break;
        case 3: {
          const int answer =
              Errors == nullptr ? button::No
                                : Errors->Ask(msg::SaveRecord, button::Yes,
                                              button::Yes | button::No | button::Cancel);
          if (answer == button::Yes) {
            TakeOK();
            return level::Notify;
          }
          if (answer != button::No) {
            SelectFirstField();
            return level::Notify;
          }
          break;
        }
        default:
          break;
      }
    }
  }
  if (Request == request::Insert && Primary->CancelAutoInc() != level::Benign) {
    return level::Notify;
  }
  if (!LastInsertedPosition.empty()) {
    Response = response::Completed;
    me->ReadPosition(LastInsertedPosition);
  } else if (RecordSaved) {
    Response = response::Completed;
  }
  return level::Benign;
}

}  // namespace ck
