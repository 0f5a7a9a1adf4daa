#include "app/procedure_window.h"

#include "app/globals.h"
#include "framework/error_manager.h"
#include "framework/settings_manager.h"
#include "ui/window.h"

namespace ck::app {

Level ProcedureWindow::Init() {
  GlobalErrors().RegisterProcedure(name_);
  registered_ = true;
  Request = GlobalRequest;
  const Level base = WindowManager::Init();
  if (base != level::Benign) return base;
  FirstField = 1;
  VCRRequest = &app::VCRRequest;
  Errors = &GlobalErrors();
  GlobalRequest = 0;
  GlobalResponse = 0;
  toolbar_.Init();
  Toolbar = &toolbar_;
  return level::Benign;
}

void ProcedureWindow::OpenRestored(ui::Window& window) {
  Open(window);
  INIMgr().FetchWindow(name_, window);
}

void ProcedureWindow::AddResizer() {
  if (Win == nullptr) return;
  resizer_.Init(*Win, 2, true, false);
  Resize = &resizer_;
  AddItem(resizer_);
}

Level ProcedureWindow::TakeCloseEvent() {
  const Level base = WindowManager::TakeCloseEvent();
  if (base == level::Benign && Opened && !saved_ && Win != nullptr && Win->IsOpen()) {
    INIMgr().UpdateWindow(name_, *Win);
    saved_ = true;
  }
  return base;
}

Level ProcedureWindow::KillBase() { return WindowManager::Kill(); }

void ProcedureWindow::Unregister() {
  if (!registered_) return;
  GlobalErrors().UnregisterProcedure();
  registered_ = false;
}

Level ProcedureWindow::Kill() {
  const Level base = KillBase();
  Unregister();
  return base;
}

}  // namespace ck::app
