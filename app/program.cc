#include "app/program.h"

#include "app/globals.h"
#include "app/main_frame.h"
#include "app/thread_hooks.h"
#include "framework/fuzzy_matcher.h"
#include "framework/settings_manager.h"
#include "runtime/thread.h"
#include "storage/vellum/vellum_driver.h"
#include "ui/desktop_settings.h"
#include "ui/engine.h"

namespace ck::app {

void PrepareProcess() {
  vellum::RegisterVellumDriver();
  SetThreadHooks(ThreadStartHook, ThreadEndHook);
}

int ProgramProcedure() {
  FuzzyMatcher& fuzzy = FuzzyMatcherObject();
  fuzzy.Init();
  fuzzy.SetOption(fuzzy::NoCase, 1);
  fuzzy.SetOption(fuzzy::WordOnly, 0);
  INIMgr().Init(kSettingsFile);

  int dragFullWindows = 0;
  ui::SystemParametersInfo(ui::kGetDragFullWindows, 0, &dragFullWindows, 0);
  if (dragFullWindows == 1) {
    ui::SystemParametersInfo(ui::kSetDragFullWindows, 0, nullptr,
                             ui::kUpdateIniFile | ui::kSendChange);
  }

  Main();
  // Windows still open on other threads end with the frame; their
  // procedures save their windows through the settings manager, so they
  // finish before it is torn down.
  ui::Engine::Get().CloseAll();
  WaitForThreads();

  if (dragFullWindows == 1) {
    ui::SystemParametersInfo(ui::kSetDragFullWindows, 1, nullptr,
                             ui::kUpdateIniFile | ui::kSendChange);
  }
  INIMgr().Kill();
  fuzzy.Kill();
  return 0;
}

}  // namespace ck::app
