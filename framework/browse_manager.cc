// The browse's set-up, tear-down and paging: refill, fetch, scroll, the
// thumb and what the list control shows. Events, keys, buttons and the
// update procedure are in browse_events.cc.
#include "framework/browse_manager.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "framework/edit_in_place.h"
#include "framework/entry_locator.h"
#include "framework/file_manager.h"
#include "framework/popup_manager.h"
#include "framework/relation_manager.h"
#include "framework/string_step.h"
#include "framework/toolbar.h"
#include "framework/window_manager.h"
#include "runtime/view/view.h"
#include "ui/dialogs.h"
#include "ui/window.h"

namespace ck {
namespace {

// The browse as one of its window's components.
class BrowseComponent : public WindowComponent {
 public:
  explicit BrowseComponent(BrowseManager& browse) : browse_(browse) {}
  void Kill() override { browse_.ComponentKill(); }
  void Reset(bool force) override { browse_.ComponentReset(force); }
  void SetAlerts() override { browse_.ComponentSetAlerts(); }
  Level TakeEvent(const ComponentEvent& event) override { return browse_.ComponentTakeEvent(event); }
  void TakeNewSelection() override { browse_.ComponentTakeNewSelection(); }
  void Update() override { browse_.ComponentUpdate(); }
  void UpdateWindow() override { browse_.ComponentUpdateWindow(); }

 private:
  BrowseManager& browse_;
};

std::string Bytes(const FieldRef& f) {
  if (f.data() == nullptr) return {};
  return std::string(reinterpret_cast<const char*>(f.data()), f.length());
}

}  // namespace

BrowseManager::BrowseManager() = default;
BrowseManager::~BrowseManager() = default;

void BrowseManager::Init(ui::Window& listWindow, int listControl, view::View& view,
                         RelationManager& primary, WindowManager& window, StandardBehavior* behavior) {
  ViewManager::Init(view, primary, &SORT);
  win_ = &listWindow;
  listControl_ = listControl;
  WINDOW = &window;
  if (behavior == nullptr) {
    ownBehavior_ = std::make_unique<StandardBehavior>();
    behavior = ownBehavior_.get();
  }
  BEHAVIOR = behavior;
  ILC = behavior;
  LISTQUEUE = behavior;
  BEHAVIOR->Init(listWindow, listControl);
  // The list holds a page fed by the browse: keys and scroll bar are ours.
  listWindow.Modify(listControl, [](ui::ControlModel& c) { c.immediate = true; });
  HASTHUMB = listWindow.State(listControl).hasThumb ? 1 : 0;
  LASTITEMS = std::max(1, ILC->Items());
  SELECTING = window.Request == request::Select ? 1 : 0;
  POPUP = std::make_unique<PopupManager>();
  POPUP->Init(&listWindow);
  WINDOWCOMPONENT = std::make_unique<BrowseComponent>(*this);
  window.AddItem(*WINDOWCOMPONENT);
  killed_ = false;
  LOADED = 0;
  LOADPENDING = 0;
  CURRENTCHOICE = 0;
}

ui::Window* BrowseManager::Win() const { return win_; }

BrowseSortOrder* BrowseManager::CurrentSort() const {
  return static_cast<BrowseSortOrder*>(CurrentOrder());
}

int BrowseManager::Capacity() const { return FILELOADED ? INT_MAX / 4 : std::max(LASTITEMS, 1); }

int BrowseManager::AddSortOrder(StringStep* thumb, int key) {
  auto order = std::make_unique<BrowseSortOrder>();
  order->THUMB = thumb;
  const int n = AddOrder(std::move(order), key);
  SORT.current = static_cast<size_t>(n - 1);
  return n;
}

void BrowseManager::AddLocator(EntryLocator* locator) {
  if (BrowseSortOrder* s = CurrentSort()) s->LOCATOR = locator;
}

void BrowseManager::AddField(FieldRef field) {
  FIELDS.push_back({field, static_cast<int>(FIELDS.size()) + 1});
}

void BrowseManager::AddResetField(FieldRef field) {
  if (BrowseSortOrder* s = CurrentSort()) s->RESETS.push_back({field, Bytes(field)});
}

void BrowseManager::AddToolbarTarget(ToolbarDispatcher& toolbar) {
  TOOLBAR = &toolbar;
  TOOLBARITEM = std::make_unique<ListToolbarTarget>();
  TOOLBARITEM->Control = listControl_;
  TOOLBARITEM->Win = win_;
  TOOLBARITEM->Browse = this;
  TOOLBARITEM->InsertButton = INSERTCONTROL;
  TOOLBARITEM->ChangeButton = CHANGECONTROL;
  TOOLBARITEM->DeleteButton = DELETECONTROL;
  TOOLBARITEM->SelectButton = SELECTCONTROL;
  if (const BrowseSortOrder* s = CurrentSort(); s != nullptr && s->LOCATOR != nullptr)
    TOOLBARITEM->LocateButton = s->LOCATOR->CONTROL;
  toolbar.AddTarget(TOOLBARITEM.get(), listControl_);
}

void BrowseManager::AddQuery(QueryManager& query, int queryControl, bool shared) {
  QUERY = &query;
  QUERYCONTROL = queryControl;
  QUERYSHARED = shared ? 1 : 0;
}

void BrowseManager::AddEditColumn(FieldRef field, std::string title, std::string picture) {
  EDITLIST.push_back({field, std::move(title), std::move(picture)});
}

void BrowseManager::MarkForSelection() { SELECTING = 1; }

bool BrowseManager::RangeChanged() {
  bool changed = ViewManager::RangeChanged();
  if (BrowseSortOrder* s = CurrentSort()) {
    for (ResetField& r : s->RESETS) {
      std::string now = Bytes(r.FIELD);
      if (now != r.LAST) {
        changed = true;
        r.LAST = std::move(now);
      }
    }
  }
  return changed;
}

void BrowseManager::Kill() {
  if (killed_) return;
  killed_ = true;
  for (const auto& order : SORT.items) {
    auto* s = static_cast<BrowseSortOrder*>(order.get());
    if (s->THUMB != nullptr) s->THUMB->Kill();
    s->RESETS.clear();
    if (s->LOCATOR != nullptr) s->LOCATOR->Kill();
  }
  FIELDS.clear();
  if (POPUP != nullptr) POPUP->Kill();
  if (ownEip_ != nullptr) ownEip_->Kill();
  EDITLIST.clear();
  if (LISTQUEUE != nullptr) LISTQUEUE->Free();
  for (ViewManager* p : PROCESSORS) p->Kill();
  PROCESSORS.clear();
  ViewManager::Kill();
  SORT.items.clear();
}

// --- Rows -------------------------------------------------------------------

void BrowseManager::FillRowFromRecord(BrowseRow& row) {
  row.FIELDS.resize(FIELDS.size());
  for (const BrowseField& f : FIELDS)
    if (f.COLUMN >= 1) row.FIELDS[static_cast<size_t>(f.COLUMN - 1)] = Bytes(f.FIELD);
  row.VIEWPOSITION.clear();
  VIEW->Position(&row.VIEWPOSITION);
  if (row.VIEWPOSITION.size() > ViewPositionSize) row.VIEWPOSITION.resize(ViewPositionSize);
}

void BrowseManager::UpdateRecordBuffer() {
  if (LISTQUEUE->Records() > 0 && LISTQUEUE->Fetch(CURRENTCHOICE)) {
    const BrowseRow& row = LISTQUEUE->Row();
    for (const BrowseField& f : FIELDS) {
      const size_t i = static_cast<size_t>(f.COLUMN - 1);
      if (f.FIELD.data() != nullptr && i < row.FIELDS.size())
        std::memcpy(f.FIELD.data(), row.FIELDS[i].data(), std::min<size_t>(f.FIELD.length(), row.FIELDS[i].size()));
    }
    return;
  }
  for (const BrowseField& f : FIELDS) f.FIELD.Clear();
}

int BrowseManager::FindRow(const std::string& position) {
  for (int n = 1; n <= LISTQUEUE->Records(); ++n)
    if (LISTQUEUE->Fetch(n) && LISTQUEUE->Row().VIEWPOSITION == position) return n;
  return 0;
}

void BrowseManager::DropRow(int n) {
  if (LISTQUEUE->Fetch(n)) LISTQUEUE->Delete();
}

// --- Fetch and refill -----------------------------------------------------------

void BrowseManager::FetchRows(bool forward) {
  const bool quick = QUICKSCAN && ITEMSTOFILL > 1 && PRIMARY != nullptr;
  if (quick) PRIMARY->SetQuickScan(true);
  std::string edge;
  if (LISTQUEUE->Records() > 0) {
    // Read on from the row at the page's edge; its record comes first again.
    LISTQUEUE->Fetch(forward ? LISTQUEUE->Records() : 1);
    edge = LISTQUEUE->Row().VIEWPOSITION;
    if (VIEW->Reset(edge) != 0) edge.clear();
  }
  while (ITEMSTOFILL > 0) {
    const Level read = forward ? ReadNext() : ReadPrevious();
    if (read == level::Notify) {
      (forward ? atEnd_ : atStart_) = true;
      break;
    }
    if (read != level::Benign) break;
    BrowseRow row;
    FillRowFromRecord(row);
    if (!edge.empty() && row.VIEWPOSITION == edge) {
      edge.clear();
      continue;
    }
    edge.clear();
    if (LISTQUEUE->Records() >= Capacity()) {
      DropRow(forward ? 1 : LISTQUEUE->Records());
      (forward ? atStart_ : atEnd_) = false;
    }
    if (forward) {
      LISTQUEUE->Append(row);
    } else {
      LISTQUEUE->Insert(1, row);
    }
    --ITEMSTOFILL;
  }
  if (quick) PRIMARY->SetQuickScan(false);
}

void BrowseManager::RefillList(int mode) {
  int offset = 0, oldRow = 0;
  std::string position;
  if (!ACTIVEINVISIBLE && !ILC->GetVisible()) {
    LOADPENDING = 1;
    return;
  }
  ui::BusyCursor busy;  // the refill reads a page
  LOADED = 1;
  LOADPENDING = 0;
  if (CURRENTCHOICE == 0) CURRENTCHOICE = 1;
  bool fromStart = false;
  if (mode == refill::Positioned) {
    if (RETAINROW) offset = CURRENTCHOICE - 1;
  } else if (LISTQUEUE->Records() > 0) {
    if (!LISTQUEUE->Fetch(CURRENTCHOICE)) LISTQUEUE->Fetch(LISTQUEUE->Records());
    position = LISTQUEUE->Row().VIEWPOSITION;
    LISTQUEUE->Fetch(1);
    if (VIEW->Reset(LISTQUEUE->Row().VIEWPOSITION) != 0) {
      fromStart = true;
      ResetFromRange();
    }
  } else {
    fromStart = true;
    ResetFromRange();
  }
  if (fromStart) atStart_ = true;
  atEnd_ = false;
  if (RETAINROW) oldRow = CURRENTCHOICE;
  LISTQUEUE->Free();
  ITEMSTOFILL = Capacity() - offset;
  FetchRows(true);
  const bool shortForward = ITEMSTOFILL > 0;

  auto locate = [&] {
    CURRENTCHOICE = position.empty() ? 1 : FindRow(position);
    if (RETAINROW) offset = oldRow - CURRENTCHOICE;
  };
  if (position.empty() && LISTQUEUE->Records() > 0) {
    LISTQUEUE->Fetch(1);
    position = LISTQUEUE->Row().VIEWPOSITION;
  }
  locate();
  if (LISTQUEUE->Records() == 0) ResetFromRange();

  ITEMSTOFILL = ALLOWUNFILLED ? 0 : Capacity() - LISTQUEUE->Records();
  if (!fromStart && (ITEMSTOFILL > 0 || offset > 0)) {
    ITEMSTOFILL = std::max(ITEMSTOFILL, offset);
    atStart_ = false;
    FetchRows(false);
    if (position.empty() && LISTQUEUE->Records() > 0) {
      LISTQUEUE->Fetch(LISTQUEUE->Records());
      position = LISTQUEUE->Row().VIEWPOSITION;
    }
    locate();
  }
  if (RETAINROW && (offset < 0 || (LISTQUEUE->Records() < Capacity() && !shortForward))) {
    ITEMSTOFILL = std::max(-offset, Capacity() - LISTQUEUE->Records());
    FetchRows(true);
    locate();
  }
  while (LISTQUEUE->Records() > Capacity()) {
    if (offset < 0) {
      DropRow(1);
      atStart_ = false;
      ++offset;
      --CURRENTCHOICE;
    } else {
      DropRow(LISTQUEUE->Records());
      atEnd_ = false;
    }
  }
  if (CURRENTCHOICE <= 0) CURRENTCHOICE = 1;
  const bool rows = LISTQUEUE->Records() > 0;
  if (const BrowseSortOrder* s = CurrentSort(); s != nullptr && s->LOCATOR != nullptr && s->LOCATOR->CONTROL)
    win_->Enable(s->LOCATOR->CONTROL, rows);
  if (rows) {
    CURRENTCHOICE = std::min(CURRENTCHOICE, LISTQUEUE->Records());
    UpdateRecordBuffer();
  } else {
    CURRENTCHOICE = 0;
    if (PRIMARY != nullptr && PRIMARY->Me != nullptr) PRIMARY->Me->PrimeRecord();
  }
  LASTCHOICE = CURRENTCHOICE;
  ShowRows();
}

void BrowseManager::RestartList() {
  LISTQUEUE->Free();
  CURRENTCHOICE = 0;
  RefillList(refill::Page);
}

void BrowseManager::RefreshPage() { RefillList(refill::Page); }

void BrowseManager::RefreshFromBuffer() {
  std::string position;
  if (VIEW->IsOpen() && VIEW->CurrentPosition(&position) == 0 && VIEW->Reset(position) == 0) {
    RefillList(refill::Positioned);
  } else {
    RefillList(refill::Page);
  }
}

void BrowseManager::LocateOnFreeField() {
  PrimeRange(false);
  int n = FreeComponentIndex();
  if (n == 0) {
    const SortOrder* order = CurrentOrder();
    n = order != nullptr && order->MAINKEY < 0 ? 1 : static_cast<int>(order != nullptr ? order->RANGELIST.size() : 0);
  }
  if (ResetView(n) != level::Benign) return;
  RefillList(refill::Positioned);
}

// --- Sort orders ----------------------------------------------------------------

void BrowseManager::NoteSortState() {
  const BrowseSortOrder* s = CurrentSort();
  SAVEDSORT = static_cast<uint8_t>(SORT.current + 1);
  SAVEDSORTSTRING = s != nullptr && s->ORDER != nullptr ? *s->ORDER : "";
  SAVEDLOCATOR = s != nullptr ? s->LOCATOR : nullptr;
  SAVEDTHUMB = s != nullptr ? s->THUMB : nullptr;
  SAVEDLOCATORFIELD = s != nullptr ? s->FREEELEMENT : FieldRef();
  RangeChanged();  // remembers the range and reset values now in force
}

bool BrowseManager::ResetSortIfNeeded() {
  const BrowseSortOrder* s = CurrentSort();
  const std::string order = s != nullptr && s->ORDER != nullptr ? *s->ORDER : "";
  const bool changed = SAVEDSORT != SORT.current + 1 || SAVEDSORTSTRING != order ||
                       SAVEDLOCATOR != (s != nullptr ? s->LOCATOR : nullptr) ||
                       SAVEDTHUMB != (s != nullptr ? s->THUMB : nullptr);
  if (!changed) return false;
  ResetSort(true);
  return true;
}

void BrowseManager::ResetSort(bool force) {
  if (!force) {
    ResetSortIfNeeded();
    return;
  }
  if (OpenView() != level::Benign) return;
  NoteSortState();
  limitsStale_ = true;
  restartPending_ = false;
  BrowseSortOrder* s = CurrentSort();
  if (STARTATCURRENT && !LOADED) {
    // Start at the record in the buffer (a list called to select from a form).
    if (ResetView(std::max(ComponentCount(), 1)) == level::Benign) {
      LISTQUEUE->Free();
      CURRENTCHOICE = 1;
      RefillList(refill::Positioned);
      return;
    }
  }
  if (s != nullptr && s->LOCATOR != nullptr) s->LOCATOR->Reset();
  RestartList();
}

void BrowseManager::SelectSortOrder(int n) {
  if (!SelectOrder(n)) return;
  if (BrowseSortOrder* s = CurrentSort(); s != nullptr && s->LOCATOR != nullptr) s->LOCATOR->Reset();
  if (LOADED) ResetSort(true);
}

void BrowseManager::SetFilter(std::string_view text) {
  SetFilterGroup(text);
  ApplyRangeAndFilter();
  limitsStale_ = true;
  restartPending_ = true;
}

// --- Scrolling ----------------------------------------------------------------

void BrowseManager::ScrollOne(int event) {
  const int rows = LISTQUEUE->Records();
  if (event == ui::event::ScrollUp && CURRENTCHOICE > 1) {
    --CURRENTCHOICE;
    return;
  }
  if (event == ui::event::ScrollDown && CURRENTCHOICE < rows) {
    ++CURRENTCHOICE;
    return;
  }
  if (FILELOADED || rows == 0) return;
  ITEMSTOFILL = 1;
  FetchRows(event == ui::event::ScrollDown);
  if (ITEMSTOFILL == 0) CURRENTCHOICE = event == ui::event::ScrollDown ? LISTQUEUE->Records() : 1;
}

void BrowseManager::ScrollPage(int event) {
  int n = std::max(ILC->Items(), 1);
  if (!FILELOADED && LISTQUEUE->Records() > 0) {
    ITEMSTOFILL = n;
    FetchRows(event == ui::event::PageDown);
    n = ITEMSTOFILL;
  }
  CURRENTCHOICE += event == ui::event::PageDown ? n : -n;
  CURRENTCHOICE = std::clamp(CURRENTCHOICE, std::min(1, LISTQUEUE->Records()), LISTQUEUE->Records());
}

void BrowseManager::ScrollEnd(int event) {
  const bool top = event == ui::event::ScrollTop;
  if (!FILELOADED) {
    LISTQUEUE->Free();
    ResetFromRange(!top);
    ITEMSTOFILL = std::max(ILC->Items(), 1);
    atStart_ = atEnd_ = false;
    FetchRows(top);
    (top ? atStart_ : atEnd_) = true;
  }
  CURRENTCHOICE = top ? std::min(1, LISTQUEUE->Records()) : LISTQUEUE->Records();
}

void BrowseManager::TakeScrollEvent(int event) {
  CURRENTEVENT = event;
  switch (event) {
    case ui::event::ScrollUp:
    case ui::event::ScrollDown:
      ScrollOne(event);
      break;
    case ui::event::PageUp:
    case ui::event::PageDown:
      ScrollPage(event);
      break;
    case ui::event::ScrollTop:
    case ui::event::ScrollBottom:
      ScrollEnd(event);
      break;
    default:
      return;
  }
  thumbDownward_ = event == ui::event::ScrollDown || event == ui::event::PageDown ||
                   event == ui::event::ScrollBottom;
  if (BrowseSortOrder* s = CurrentSort(); s != nullptr && s->LOCATOR != nullptr) s->LOCATOR->Reset();
  PREVCHOICE = LASTCHOICE;
  LASTCHOICE = CURRENTCHOICE;
  UpdateRecordBuffer();
  SetThumb(thumbDownward_);
  ShowRows();
}

void BrowseManager::TakeToolbarScroll(int code) {
  int event = 0;
  switch (code) {
    case toolbar::Down: event = ui::event::ScrollDown; break;
    case toolbar::Up: event = ui::event::ScrollUp; break;
    case toolbar::PageDown: event = ui::event::PageDown; break;
    case toolbar::PageUp: event = ui::event::PageUp; break;
    case toolbar::Top: event = ui::event::ScrollTop; break;
    case toolbar::Bottom: event = ui::event::ScrollBottom; break;
    default: return;
  }
  TakeScrollEvent(event);
  UpdateListWindow();
}

// --- Thumb --------------------------------------------------------------------

void BrowseManager::ResetThumbLimits() {
  BrowseSortOrder* s = CurrentSort();
  limitsStale_ = false;
  if (s == nullptr || s->THUMB == nullptr || !s->THUMB->IsRunTime() || s->FREEELEMENT.data() == nullptr)
    return;
  // The first and last values of the order; the record buffer stays as it is.
  SaveViewBuffers();
  std::string low, high;
  if (ResetFromRange(false) == level::Benign && ReadNext() == level::Benign) low = s->FREEELEMENT.Text();
  if (ResetFromRange(true) == level::Benign && ReadPrevious() == level::Benign) high = s->FREEELEMENT.Text();
  RestoreViewBuffers();
  if (LISTQUEUE->Records() == 0) ResetFromRange();
  s->THUMB->StepSetLimits(low, high);
}

void BrowseManager::SetThumb(bool downward) {
  const int rows = LISTQUEUE->Records();
  const BrowseSortOrder* s = CurrentSort();
  int percent = 50;
  if (FILELOADED && rows > 0) {
    percent = rows <= 1 ? 0 : (CURRENTCHOICE - 1) * 100 / (rows - 1);
  } else if (s != nullptr && s->THUMB != nullptr && s->FREEELEMENT.data() != nullptr && LOADED && rows > 0) {
    if (limitsStale_) ResetThumbLimits();
    percent = s->THUMB->StepPercentOf(s->FREEELEMENT.Text());
  } else if (downward && rows > 0 && CURRENTCHOICE == rows && atEnd_) {
    percent = 100;
  } else if (rows > 0 && CURRENTCHOICE <= 1 && atStart_) {
    percent = 0;
  }
  if (HASTHUMB && percent != shownThumb_) {
    win_->SetThumb(listControl_, percent);
    shownThumb_ = percent;
  }
}

void BrowseManager::TakeThumbDrag() {
  const int p = win_->Thumb(listControl_);
  shownThumb_ = p;
  if (p <= 1) {
    win_->Post(ui::event::ScrollTop, listControl_);
    return;
  }
  if (p >= 100) {
    win_->Post(ui::event::ScrollBottom, listControl_);
    return;
  }
  const int rows = LISTQUEUE->Records();
  BrowseSortOrder* s = CurrentSort();
  if (FILELOADED) {
    if (rows > 0) CURRENTCHOICE = std::clamp(p * rows / 100, 1, rows);
    UpdateRecordBuffer();
    ShowRows();
  } else if (s != nullptr && s->THUMB != nullptr && s->FREEELEMENT.data() != nullptr) {
    if (limitsStale_) ResetThumbLimits();
    s->FREEELEMENT.Assign(s->THUMB->StepValueOf(p));
    LocateOnFreeField();
    thumbDownward_ = false;
    SetThumb(false);
  } else {
    win_->Post(p < 50 ? ui::event::PageUp : ui::event::PageDown, listControl_);
  }
}

// --- What the list shows ----------------------------------------------------------

std::vector<std::vector<std::string>> BrowseManager::RowTexts() const {
  std::vector<std::vector<std::string>> texts;
  auto* behavior = BEHAVIOR;
  for (const BrowseRow& row : behavior->Rows()) {
    std::vector<std::string> shown;
    for (const BrowseField& f : FIELDS) {
      const size_t i = static_cast<size_t>(f.COLUMN - 1);
      std::string bytes = i < row.FIELDS.size() ? row.FIELDS[i] : std::string();
      bytes.resize(f.FIELD.length(), '\0');
      shown.push_back(FieldRef(bytes.data(), f.FIELD.length(), f.FIELD.type(), f.FIELD.places()).Text());
    }
    texts.push_back(std::move(shown));
  }
  return texts;
}

void BrowseManager::ShowRows() {
  std::vector<std::vector<std::string>> texts = RowTexts();
  if (texts != shownRows_) {
    win_->SetRows(listControl_, texts);
    shownRows_ = std::move(texts);
    shownChoice_ = -1;
  }
  if (CURRENTCHOICE != shownChoice_) {
    win_->SetChoice(listControl_, CURRENTCHOICE);
    shownChoice_ = CURRENTCHOICE;
  }
}

void BrowseManager::UpdateListWindow() {
  const bool rows = LISTQUEUE->Records() > 0;
  auto enable = [&](int control, bool on) {
    if (control != 0 && win_->Enabled(control) != on) win_->Enable(control, on);
  };
  for (int control : {CHANGECONTROL, DELETECONTROL, PRINTCONTROL, VIEWCONTROL}) enable(control, rows);
  if (SELECTCONTROL != 0) {
    const bool select = SELECTING && rows && WINDOW->OriginalRequest == request::Select;
    enable(SELECTCONTROL, select);
    if (win_->State(SELECTCONTROL).isDefault != select)
      win_->Modify(SELECTCONTROL, [select](ui::ControlModel& c) { c.isDefault = select; });
  }
  if (const BrowseSortOrder* s = CurrentSort(); s != nullptr && s->LOCATOR != nullptr) s->LOCATOR->UpdateWindow();
  SetThumb(thumbDownward_);
  ShowRows();
  if (TOOLBAR != nullptr && TOOLBARITEM != nullptr && TOOLBAR->Current() == TOOLBARITEM.get())
    TOOLBARITEM->DisplayButtons();
}

}  // namespace ck
