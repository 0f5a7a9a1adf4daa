#include "app/thread_hooks.h"

#include <memory>

#include "app/globals.h"
#include "app/passwords_table.h"
#include "framework/error_manager.h"

namespace ck::app {

namespace {
thread_local std::unique_ptr<ErrorManager> tErrors;
}  // namespace

ErrorManager& GlobalErrors() { return *tErrors; }

bool ThreadReady() { return tErrors != nullptr; }

void ThreadStartHook() {
  tErrors = std::make_unique<ErrorManager>();
  GlobalRequest = 0;
  GlobalResponse = 0;
  VCRRequest = 0;
  CreatePasswordsTable(*tErrors);
}

void ThreadEndHook() {
  // The relation manager takes the file manager with it; the thread's copy
  // of the table is closed last.
  DestroyPasswordsTable();
  if (tErrors) tErrors->Kill();
  tErrors.reset();
}

}  // namespace ck::app
