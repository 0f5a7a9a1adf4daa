// The record processor: a view manager that reads the records of a report
// (or any batch job) one at a time and keeps count of its progress. Each
// record read goes to TakeRecord, which a procedure overrides to print it;
// the records of child views are read under each primary record. After
// every primary record the percentage done is worked out (from a string
// step on a value field, from the bytes read, or from the records counted),
// capped at 100, stored in the percentage variable and shown as
// "45% Complete". Belongs to one thread; not copyable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/view_manager.h"

namespace ck {

namespace ui {
class Window;
}
class QueryManager;
class StringStep;

class ProcessManager : public ViewManager {
 public:
  ProcessManager();
  ~ProcessManager() override;

  // view and primary as for the view manager; ptext: the control that shows
  // the percentage (0 none); percentile: the variable that receives it
  // (invalid: no percentage is worked out); step and valueField: the string
  // step that estimates the percentage from the value field's value.
  // REQUIRES: everything given outlives the processor's use.
  void Init(view::View& view, RelationManager& primary, int ptext = 0, FieldRef percentile = {},
            StringStep* step = nullptr, FieldRef valueField = {});
  // Without a step: the percentage from the records counted against
  // recordsToProcess (0: the primary table's record count).
  void Init(view::View& view, RelationManager& primary, int ptext, FieldRef percentile,
            long recordsToProcess);

  // --- Replaced view manager operations ---
  void Kill() override;
  // Starts the run again: counters cleared, the records to process counted,
  // a run-time step table built between the first and last values, and the
  // view set to the start of its order.
  Level ResetView() override;
  using ViewManager::ResetView;

  // --- The processor's own operations ---
  // Reads the next primary record and hands it, then the records of every
  // child view under it, to TakeRecord. Benign, Notify at the end, Fatal
  // after a read error (reported) or when TakeRecord returned Fatal.
  virtual Level Next();
  // Runs once per record read; the base counts a primary record's
  // progress. A procedure prints the record after the base step.
  virtual Level TakeRecord();
  // Works out the percentage and shows it (step 2 of the progress rules).
  virtual void SetProgress();
  // Asks the query (when there is one); true when the user accepted it and
  // its filter now limits the view.
  virtual bool AskQuery();

  // A view read under each primary record (its range refers to the
  // primary record's fields). REQUIRES: child outlives the processor.
  void AddChild(ViewManager& child);
  void SetQuery(QueryManager& query) { QUERY = &query; }
  // The percentage as the processor would show it now (0 to 100).
  int Percentage() const;

  // --- Members, in declaration order ---
  long BYTESREAD = 0;
  long FILESIZE = 0;  // 0: not known
  uint8_t CHILDREAD = 0;
  std::vector<ViewManager*> CHILDREN;
  FieldRef PERCENTILE;
  int32_t PTEXT = 0;
  QueryManager* QUERY = nullptr;
  long RECORDSPROCESSED = 0;
  long RECORDSTOPROCESS = 0;
  StringStep* STEPMGR = nullptr;
  FieldRef VALUEFIELD;
  uint8_t CASESENSITIVEVALUE = 0;

  // The window that shows PTEXT (the report manager sets it).
  ui::Window* Win = nullptr;

 private:
  // The step's limits for a table built at run time: the first and last
  // values of the view's order.
  void SetStepLimits();
  long givenRecordsToProcess_ = 0;
  int shownPercent_ = -1;
};

// "45% Complete": the percentage text the processor shows.
std::string PercentCompleteText(int percent);

}  // namespace ck
