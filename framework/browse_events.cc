// The browse's events: the window-component interface, the list's own
// events and keys, the buttons, the popup, query by example, and the update
// procedure with the navigation requests a form leaves.
#include <algorithm>

#include "framework/browse_manager.h"
#include "framework/edit_in_place.h"
#include "framework/entry_locator.h"
#include "framework/error_manager.h"
#include "framework/file_manager.h"
#include "framework/popup_manager.h"
#include "framework/query_manager.h"
#include "framework/relation_manager.h"
#include "framework/toolbar.h"
#include "framework/window_manager.h"
#include "runtime/error_state.h"
#include "runtime/view/view.h"
#include "storage/codes.h"
#include "storage/records.h"
#include "ui/window.h"

namespace ck {

// --- The window-component interface ------------------------------------------

void BrowseManager::ComponentKill() { Kill(); }

void BrowseManager::ComponentReset(bool force) {
  if (killed_) return;
  if (!ResetSortIfNeeded() && (force || LOADPENDING)) RefillList(refill::Page);
  UpdateListWindow();
}

void BrowseManager::ComponentSetAlerts() {
  SetListAlerts();
  if (const BrowseSortOrder* s = CurrentSort(); s != nullptr && s->LOCATOR != nullptr) s->LOCATOR->SetAlerts();
}

Level BrowseManager::ComponentTakeEvent(const ComponentEvent& event) {
  if (killed_) return level::Benign;
  return TakeListEvent(event);
}

void BrowseManager::ComponentTakeNewSelection() {
  if (!killed_ && WINDOW->Field() == listControl_) TakeNewSelection(WINDOW->Keycode());
}

void BrowseManager::ComponentUpdate() {
  if (!killed_) UpdateRecordBuffer();
}

void BrowseManager::ComponentUpdateWindow() {
  if (killed_) return;
  // The page follows the list's size; a changed range or reset field
  // starts the list again.
  if (TakePageSize()) {
    LOADPENDING = 1;
  } else if (LOADED && RangeChanged()) {
    ApplyRangeAndFilter();
    limitsStale_ = true;
    restartPending_ = true;
  }
  if (ResetSortIfNeeded()) {
    // started again in the new order
  } else if (restartPending_ && (ACTIVEINVISIBLE || ILC->GetVisible())) {
    restartPending_ = false;
    RestartList();
  } else if ((LOADPENDING || NEEDREFRESH) && (ACTIVEINVISIBLE || ILC->GetVisible())) {
    RefillList(refill::Page);
  }
  NEEDREFRESH = 0;
  UpdateListWindow();
}

bool BrowseManager::TakePageSize() {
  const int items = ILC->Items();
  if (items == LASTITEMS || items <= 0 || FILELOADED) return false;
  LASTITEMS = items;
  while (CURRENTCHOICE > items && LISTQUEUE->Records() > 0) {
    DropRow(1);
    --CURRENTCHOICE;
    atStart_ = false;
  }
  return true;
}

// --- Events ---------------------------------------------------------------------

Level BrowseManager::TakeListEvent(const ComponentEvent& event) {
  if (event.Field == listControl_) {
    switch (event.Event) {
      case ui::event::ScrollUp:
      case ui::event::ScrollDown:
      case ui::event::PageUp:
      case ui::event::PageDown:
      case ui::event::ScrollTop:
      case ui::event::ScrollBottom:
        TakeScrollEvent(event.Event);
        return level::Benign;
      case ui::event::ScrollDrag:
        TakeThumbDrag();
        return level::Benign;
      case ui::event::RowsChanged:
        // The window was resized: the page follows at once.
        if (TakePageSize() && (LOADED || LOADPENDING)) RefillList(refill::Page);
        return level::Benign;
      case ui::event::Locate:
        if (const BrowseSortOrder* s = CurrentSort(); s != nullptr && s->LOCATOR != nullptr && s->LOCATOR->CONTROL)
          win_->Select(s->LOCATOR->CONTROL);
        return level::Benign;
      case ui::event::AlertKey:
        return TakeListKey(event.Keycode);
      case ui::event::Accepted:
        if (SELECTING) TakeSelect();
        return level::Benign;
      default:
        return level::Benign;
    }
  }
  if (event.Event == ui::event::Accepted && event.Field > 0) return TakeAccepted(event.Field);
  return level::Benign;
}

bool BrowseManager::Usable(int control) const {
  if (control == 0) return false;
  const ui::ControlModel c = win_->State(control);
  return c.feq == control && c.enabled && c.visible;
}

bool BrowseManager::Press(int control) {
  if (!Usable(control)) return false;
  win_->Post(ui::event::Accepted, control);
  return true;
}

Level BrowseManager::TakeListKey(int keycode) {
  const bool rows = LISTQUEUE->Records() > 0;
  if (keycode == ui::key::MouseRight) {
    const int row = win_->MouseRow(listControl_);
    if (row >= 1 && row <= LISTQUEUE->Records()) {
      CURRENTCHOICE = LASTCHOICE = row;
      UpdateRecordBuffer();
      ShowRows();
    }
    return level::Benign;
  }
  EntryLocator* locator = CurrentSort() != nullptr ? CurrentSort()->LOCATOR : nullptr;
  auto toLocator = [&] {
    if (locator != nullptr && locator->TakeLocatorKey(keycode)) LocateOnFreeField();
  };
  if (!rows) {
    toLocator();
    if (keycode == ui::key::Insert) Press(INSERTCONTROL);
    return level::Benign;
  }
  switch (keycode) {
    case ui::key::Insert:
      Press(INSERTCONTROL);
      break;
    case ui::key::Delete:
      Press(DELETECONTROL);
      break;
    case ui::key::CtrlEnter:
      Press(CHANGECONTROL);
      break;
    case ui::key::ShiftEnter:
      Press(VIEWCONTROL);
      break;
    case ui::key::MouseLeft2:
      if (SELECTING) {
        if (!Press(SELECTCONTROL)) TakeSelect();
      } else if (win_->MouseRow(listControl_) > 0) {
        Press(CHANGECONTROL);
      }
      break;
    default:
      toLocator();
      break;
  }
  return level::Benign;
}

void BrowseManager::TakeNewSelection(int keycode) {
  const int choice = ILC->Choice();
  if (choice >= 1 && choice <= LISTQUEUE->Records()) CURRENTCHOICE = choice;
  PREVCHOICE = LASTCHOICE;
  LASTCHOICE = CURRENTCHOICE;
  shownChoice_ = CURRENTCHOICE;
  thumbDownward_ = false;
  UpdateRecordBuffer();
  if (keycode != ui::key::MouseRight || POPUP == nullptr) return;
  if (QUERY != nullptr) QUERY->AddQueryMenuItems(*POPUP, QUERYCONTROL);
  const std::string chosen = POPUP->AskMenu();
  if (!chosen.empty()) TakeQueryItem(chosen);
}

void BrowseManager::SetListAlerts() {
  // The list's own keys: they do nothing while the user types into an entry.
  if (INSERTCONTROL) win_->ControlAlert(listControl_, ui::key::Insert);
  for (int keycode : {ui::key::CtrlEnter, ui::key::Delete, ui::key::ShiftEnter, ui::key::MouseLeft2,
                      ui::key::MouseRight})
    win_->ControlAlert(listControl_, keycode);
  // Characters typed on the list go to the locator.
  const bool locators = std::any_of(SORT.items.begin(), SORT.items.end(), [](const auto& order) {
    return static_cast<const BrowseSortOrder&>(*order).LOCATOR != nullptr;
  });
  win_->ReportChars(listControl_, locators);
  if (POPUP == nullptr || !POPUP->POPUPITEMS.empty()) return;
  const std::pair<const char*, int32_t> actions[] = {{"&Insert", INSERTCONTROL},
                                                     {"&Change", CHANGECONTROL},
                                                     {"&Delete", DELETECONTROL},
                                                     {"&View", VIEWCONTROL},
                                                     {"&Print", PRINTCONTROL}};
  for (const auto& [text, control] : actions)
    if (control != 0) POPUP->AddMenuItemMimic(text, std::string("!") + text, control);
  POPUP->AddMenuSeparator();
  if (QUERY != nullptr && QUERYCONTROL != 0) POPUP->AddMenuItemMimic("&Query", "!&Query", QUERYCONTROL);
  if (SELECTING && SELECTCONTROL != 0) POPUP->AddMenuItemMimic("&Select", "!&Select", SELECTCONTROL);
  if (TOOLCONTROL != 0) {
    POPUP->AddMenuSeparator();
    const std::string toolbox = POPUP->AddMenuItemMimic("&Toolbox", "!&Toolbox", TOOLCONTROL);
    POPUP->Find(toolbox)->ONTOOLBOX = 0;  // the toolbox does not offer itself
  }
}

// --- Buttons ----------------------------------------------------------------------

void BrowseManager::TakeSelect() {
  if (LISTQUEUE->Records() == 0) return;
  if (SELECTWHOLERECORD) {
    if (RereadHighlighted(false) != level::Benign) UpdateRecordBuffer();
  } else {
    UpdateRecordBuffer();
  }
  WINDOW->SetResponse(response::Completed);
}

Level BrowseManager::TakeAccepted(int control) {
  if (control == 0) return level::Benign;
  int request = 0;
  if (control == INSERTCONTROL) request = request::Insert;
  else if (control == CHANGECONTROL) request = request::Change;
  else if (control == DELETECONTROL) request = request::Delete;
  else if (control == VIEWCONTROL) request = request::View;
  if (request != 0) {
    NEEDREFRESH = 1;
    AskRecord(request);
  } else if (control == SELECTCONTROL) {
    TakeSelect();
  } else if (control == PRINTCONTROL) {
    WINDOW->Run(PRINTPROCEDURE, 0);
    NEEDREFRESH = 1;
  } else if (control == QUERYCONTROL) {
    ApplyQuery();
  } else if (control == TOOLCONTROL) {
    if (POPUP != nullptr) POPUP->Toolbox("Browse Actions");
  } else if (const BrowseSortOrder* s = CurrentSort();
             s != nullptr && s->LOCATOR != nullptr && control == s->LOCATOR->CONTROL) {
    if (s->LOCATOR->TakeLocatorEntry()) {
      LocateOnFreeField();
      win_->Select(listControl_);
      UpdateListWindow();
    }
  }
  if (NEEDREFRESH) {
    RefillList(refill::Page);
    NEEDREFRESH = 0;
  }
  return level::Benign;
}

// --- The update procedure --------------------------------------------------------

Level BrowseManager::RereadHighlighted(bool watch) {
  if (!LISTQUEUE->Fetch(CURRENTCHOICE)) return level::Notify;
  const std::string position = LISTQUEUE->Row().VIEWPOSITION;
  if (!VIEW->IsOpen() || VIEW->Reset(position) != 0) return level::Notify;
  if (watch && PRIMARY != nullptr && PRIMARY->Me != nullptr && PRIMARY->Me->File != nullptr)
    storage::Watch(*PRIMARY->Me->File);
  std::string now;
  if (VIEW->Next() != 0 || VIEW->Position(&now) != 0 || now != position) return level::Notify;
  return level::Benign;
}

Level BrowseManager::EditInPlaceRequest(int request) {
  if (EIP == nullptr) {
    ownEip_ = std::make_unique<EditInPlace>();
    ownEip_->Init(*this);
    EIP = ownEip_.get();
    FREEEIP = 1;
  }
  return EIP->TakeRequest(request);
}

Level BrowseManager::AskRecord(int request) {
  Level answer = response::Cancelled;
  for (int current = request;;) {
    if (WINDOW->VCRRequest != nullptr) *WINDOW->VCRRequest = 0;
    if (current != request::Insert) {
      if (LISTQUEUE->Records() == 0) return answer;
      // The form works on the record as it is now, watched, so a change
      // made elsewhere while it is open is reported instead of overwritten.
      if (RereadHighlighted(true) != level::Benign) {
        PostError(storage::RecordNotFoundErr, std::string(storage::ErrorText(storage::RecordNotFoundErr)));
        if (PRIMARY != nullptr && PRIMARY->Me != nullptr) PRIMARY->Me->Throw(msg::ChangedOrDeleted);
        RefillList(refill::Page);
        NEEDREFRESH = 0;
        return answer;
      }
    }
    answer = ASKPROCEDURE != 0 ? WINDOW->Run(ASKPROCEDURE, current) : EditInPlaceRequest(current);
    ResyncAfterAsk(current, answer);
    const long navigation = WINDOW->VCRRequest != nullptr ? *WINDOW->VCRRequest : 0;
    if (navigation == 0 || answer != response::Completed) break;
    *WINDOW->VCRRequest = 0;
    if (navigation == toolbar::Insert || current == request::Insert) {
      current = request::Insert;
      continue;
    }
    // Next, previous, page or end: move there and open the form again.
    LISTQUEUE->Fetch(CURRENTCHOICE);
    const std::string before = LISTQUEUE->Row().VIEWPOSITION;
    TakeToolbarScroll(static_cast<int>(navigation));
    if (!LISTQUEUE->Fetch(CURRENTCHOICE) || LISTQUEUE->Row().VIEWPOSITION == before) break;
  }
  return answer;
}

void BrowseManager::ResyncAfterAsk(int request, int response) {
  NEEDREFRESH = 0;
  if (response == response::Completed) limitsStale_ = true;
  if (response == response::Completed && (request == request::Insert || request == request::Change)) {
    // Show the record as written, wherever it now stands: the form has put
    // back the buffer it saved, so what it wrote is read again first.
    if (VIEW->IsOpen()) VIEW->RereadCurrent();
    RefreshFromBuffer();
    return;
  }
  if (response == response::Completed && request == request::Delete) {
    // The highlight goes to the row after the deleted one (before it at the end).
    const int rows = LISTQUEUE->Records();
    if (CURRENTCHOICE < rows) ++CURRENTCHOICE;
    else if (CURRENTCHOICE > 1) --CURRENTCHOICE;
    RefillList(refill::Page);
    return;
  }
  RefillList(refill::Page);
}

// --- Query by example -------------------------------------------------------------

void BrowseManager::InstallQuery(const std::string& text) {
  if (QUERYSHARED) {
    const size_t current = SORT.current;
    for (size_t i = 0; i < SORT.items.size(); ++i) {
      SORT.current = i;
      SetFilterGroup(text, QueryFilterId);
    }
    SORT.current = current;
  } else {
    SetFilterGroup(text, QueryFilterId);
  }
  if (QUERYRESULT != 0) win_->SetText(QUERYRESULT, text);
  ApplyRangeAndFilter();
  limitsStale_ = true;
  RestartList();
  UpdateListWindow();
}

void BrowseManager::ApplyQuery() {
  if (QUERY == nullptr || !QUERY->AskQuery()) return;
  InstallQuery(QUERY->QueryFilterText());
}

void BrowseManager::TakeQueryItem(const std::string& item) {
  if (QUERY == nullptr) return;
  if (item == "tsQBEEmpty") {
    QUERY->ClearQuery();
    ApplyQuery();
  } else if (item == "tsQBEClear") {
    QUERY->ClearQuery();
    InstallQuery("");
  } else if (const std::string saved = QUERY->QueryOfMenuItem(item); !saved.empty()) {
    if (QUERY->RestoreQuery(saved) == level::Benign) InstallQuery(QUERY->QueryFilterText());
  }
}

}  // namespace ck
