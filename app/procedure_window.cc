#include "app/procedure_window.h"

#include <atomic>

#include "app/globals.h"
#include "app/passwords_table.h"
#include "framework/error_manager.h"
#include "framework/relation_manager.h"
#include "framework/settings_manager.h"
#include "ui/dialogs.h"
#include "ui/window.h"

namespace ck::app {

template <class Manager>
Level ProcedureWindowOf<Manager>::Init() {
  GlobalErrors().RegisterProcedure(name_);
  registered_ = true;
  this->Request = GlobalRequest;
  const Level base = Manager::Init();
  if (base != level::Benign) return base;
  this->FirstField = 1;
  this->VCRRequest = &app::VCRRequest;
  this->Errors = &GlobalErrors();
  GlobalRequest = 0;
  GlobalResponse = 0;
  if (withToolbar_) {
    toolbar_.Init();
    this->Toolbar = &toolbar_;
  }
  return level::Benign;
}

template <class Manager>
void ProcedureWindowOf<Manager>::OpenRestored(ui::Window& window) {
  this->Open(window);
  INIMgr().FetchWindow(name_, window);
}

template <class Manager>
void ProcedureWindowOf<Manager>::RestoreWindow() {
  if (this->Win == nullptr) return;
  INIMgr().FetchWindow(name_, *this->Win);
  if (this->Resize == &resizer_) resizer_.Resize();
}

template <class Manager>
void ProcedureWindowOf<Manager>::AddResizer() {
  if (this->Win == nullptr) return;
  resizer_.Init(*this->Win, 2, true, false);
  this->Resize = &resizer_;
  this->AddItem(resizer_);
}

template <class Manager>
void ProcedureWindowOf<Manager>::OpenPasswords() {
  Relate_PASSWORDS()->Open();
  this->FilesOpened = 1;
}

namespace {
std::atomic<bool> gSettingsFailureShown{false};
}  // namespace

template <class Manager>
Level ProcedureWindowOf<Manager>::TakeCloseEvent() {
  const Level base = Manager::TakeCloseEvent();
  if (base == level::Benign && this->Opened && !saved_ && this->Win != nullptr &&
      this->Win->IsOpen()) {
    saved_ = true;
    // Said once a run: nothing but window places is lost, and the program goes on.
    if (INIMgr().UpdateWindow(name_, *this->Win) != level::Benign &&
        !gSettingsFailureShown.exchange(true)) {
      ui::Message("The settings file " + INIMgr().FileName +
                      " cannot be written, so window places and sizes are not kept for the "
                      "next start.|Your entries are not affected.",
                  "Cellarkey", ui::MessageIcon::Exclamation);
    }
  }
  return base;
}

template <class Manager>
Level ProcedureWindowOf<Manager>::KillBase() {
  return Manager::Kill();
}

template <class Manager>
void ProcedureWindowOf<Manager>::Unregister() {
  if (!registered_) return;
  GlobalErrors().UnregisterProcedure();
  registered_ = false;
}

template <class Manager>
Level ProcedureWindowOf<Manager>::Kill() {
  const Level base = KillBase();
  if (this->FilesOpened) {
    if (RelationManager* relate = Relate_PASSWORDS()) relate->Close();
    this->FilesOpened = 0;
  }
  Unregister();
  return base;
}

template class ProcedureWindowOf<WindowManager>;
template class ProcedureWindowOf<ReportManager>;

}  // namespace ck::app
