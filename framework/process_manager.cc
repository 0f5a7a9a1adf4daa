#include "framework/process_manager.h"

#include <algorithm>

#include "framework/file_manager.h"
#include "framework/query_manager.h"
#include "framework/relation_manager.h"
#include "framework/string_step.h"
#include "runtime/code_page.h"
#include "runtime/view/view.h"
#include "storage/records.h"
#include "ui/window.h"

namespace ck {

std::string PercentCompleteText(int percent) { return std::to_string(percent) + "% Complete"; }

ProcessManager::ProcessManager() = default;
ProcessManager::~ProcessManager() = default;

void ProcessManager::Init(view::View& view, RelationManager& primary, int ptext,
                          FieldRef percentile, StringStep* step, FieldRef valueField) {
  ViewManager::Init(view, primary);
  PTEXT = ptext;
  PERCENTILE = percentile;
  STEPMGR = step;
  VALUEFIELD = valueField;
  givenRecordsToProcess_ = 0;
}

void ProcessManager::Init(view::View& view, RelationManager& primary, int ptext,
                          FieldRef percentile, long recordsToProcess) {
  Init(view, primary, ptext, percentile, nullptr, FieldRef());
  givenRecordsToProcess_ = recordsToProcess;
}

void ProcessManager::Kill() {
  CHILDREN.clear();
  ViewManager::Kill();
}

void ProcessManager::AddChild(ViewManager& child) { CHILDREN.push_back(&child); }

Level ProcessManager::ResetView() {
  RECORDSPROCESSED = 0;
  BYTESREAD = 0;
  CHILDREAD = 0;
  shownPercent_ = -1;
  RECORDSTOPROCESS = givenRecordsToProcess_;
  FileManager* file = PRIMARY != nullptr ? PRIMARY->Me : nullptr;
  if (RECORDSTOPROCESS <= 0 && file != nullptr && file->File != nullptr &&
      file->UseFile() == level::Benign) {
    int64_t count = 0;
    if (storage::Records(*file->File, &count) == 0) RECORDSTOPROCESS = static_cast<long>(count);
  }
  const Level reset = ViewManager::ResetView(0);
  if (reset != level::Benign) return reset;
  if (STEPMGR != nullptr && STEPMGR->IsRunTime() && VALUEFIELD.IsValid()) {
    SetStepLimits();
    return ViewManager::ResetView(0);
  }
  return level::Benign;
}

void ProcessManager::SetStepLimits() {
  auto value = [this] {
    std::string v(ClipTrailing(VALUEFIELD.Text()));
    return CASESENSITIVEVALUE ? v : Upper1252(v);
  };
  std::string low, high;
  if (ReadNext() == level::Benign) low = value();
  if (ViewManager::ResetView(0) == level::Benign && ReadPrevious() == level::Benign)
    high = value();
  STEPMGR->StepSetLimits(low, high);
}

Level ProcessManager::Next() {
  const Level read = ReadNext();
  if (read != level::Benign) return read;
  CHILDREAD = 0;
  Level taken = TakeRecord();
  if (taken == level::Fatal) return taken;
  for (ViewManager* child : CHILDREN) {
    if (child->ResetView() != level::Benign) continue;
    CHILDREAD = 1;
    while (child->ReadNext() == level::Benign) {
      taken = TakeRecord();
      if (taken == level::Fatal) break;
    }
    CHILDREAD = 0;
    if (taken == level::Fatal) return taken;
  }
  return level::Benign;
}

Level ProcessManager::TakeRecord() {
  if (CHILDREAD) return level::Benign;
  FileManager* file = PRIMARY != nullptr ? PRIMARY->Me : nullptr;
  if (FILESIZE > 0 && file != nullptr && file->File != nullptr)
    BYTESREAD += static_cast<long>(file->File->recordLength);
  ++RECORDSPROCESSED;
  SetProgress();
  return level::Benign;
}

int ProcessManager::Percentage() const {
  long percent = 0;
  if (STEPMGR != nullptr && VALUEFIELD.IsValid()) {
    std::string value(VALUEFIELD.Text());
    if (!CASESENSITIVEVALUE) value = Upper1252(value);
    percent = STEPMGR->StepPercentOf(value);
  } else if (FILESIZE > 0) {
    percent = static_cast<long>(static_cast<int64_t>(BYTESREAD) * 100 / FILESIZE);
  } else if (RECORDSTOPROCESS > 0) {
    // Nothing to count against (an empty or uncounted table) stays at 0.
    percent = static_cast<long>(static_cast<int64_t>(RECORDSPROCESSED) * 100 / RECORDSTOPROCESS);
  }
  return static_cast<int>(std::clamp(percent, 0L, 100L));
}

void ProcessManager::SetProgress() {
  if (!PERCENTILE.IsValid()) return;
  const int percent = Percentage();
  PERCENTILE.AssignInteger(percent);
  if (percent == shownPercent_) return;
  shownPercent_ = percent;
  if (PTEXT != 0 && Win != nullptr) Win->SetText(PTEXT, PercentCompleteText(percent));
}

bool ProcessManager::AskQuery() {
  if (QUERY == nullptr || !QUERY->AskQuery()) return false;
  SetFilterGroup(QUERY->QueryFilterText(), QueryFilterId);
  if (VIEW != nullptr && VIEW->IsOpen()) ApplyRangeAndFilter();
  return true;
}

}  // namespace ck
