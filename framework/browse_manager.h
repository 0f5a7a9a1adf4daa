// The browse manager: shows a page of the records of a view in a list and
// lets the user move through the whole filtered, ordered set while only
// about one page of rows is held. It is a view manager with the list's row
// queue, the list control, the buttons that insert, change, delete, view,
// select, print and query, sort orders with their locators and thumb steps,
// a popup menu of the same actions and an optional query by example.
//
// Reading costs what the page costs: every move re-positions the view on a
// row it holds (a row keeps its record's view position) and reads only the
// rows it needs. Before the update procedure runs, the highlighted record is
// read again with the driver's watch armed, so a change made meanwhile
// elsewhere is shown (or, when made while the form is open, reported instead
// of overwritten).
//
// The window manager drives it through its window-component interface
// (WINDOWCOMPONENT). Belongs to the procedure's thread; not copyable.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/browse_queue.h"
#include "framework/toolbar_target.h"
#include "framework/view_manager.h"
#include "framework/window_component.h"

namespace ck {

namespace ui {
class Window;
}
class EditInPlace;
class EntryLocator;
class PopupManager;
class QueryManager;
class StringStep;
class ToolbarDispatcher;
class WindowManager;

// A record field shown (or carried) as one field of the rows.
struct BrowseField {
  FieldRef FIELD;  // in the record buffer
  int COLUMN = 0;  // the row field's number, from 1
};

// A field whose change forces the browse to start its list again.
struct ResetField {
  FieldRef FIELD;
  std::string LAST;  // its value when last looked at
};

struct BrowseSortOrder : SortOrder {
  EntryLocator* LOCATOR = nullptr;
  std::vector<ResetField> RESETS;
  StringStep* THUMB = nullptr;
};

// A column that edit in place edits: the record field, its title, its picture.
struct EditColumn {
  FieldRef FIELD;
  std::string TITLE;
  std::string PICTURE;
};

// Refill modes.
namespace refill {
inline constexpr int Page = 1;        // the page again from its first row
inline constexpr int Positioned = 2;  // the view is on the record to show
}  // namespace refill

class BrowseManager : public ViewManager, public ToolbarBrowse {
 public:
  BrowseManager();
  ~BrowseManager() override;

  // Takes the list control (its window and number), the view, the primary
  // table's relation manager and the window manager, and registers itself
  // with the window manager. Rows are kept by behavior, or by a behaviour of
  // the browse's own when none is given. The list becomes one fed page by
  // page (its navigation keys and scroll bar raise scroll events).
  // REQUIRES: all of them outlive the browse; listWindow is not open yet.
  void Init(ui::Window& listWindow, int listControl, view::View& view, RelationManager& primary,
            WindowManager& window, StandardBehavior* behavior = nullptr);

  // --- View manager operations the browse replaces ---
  // Also true when a reset field of the current order changed.
  bool RangeChanged() override;
  void Kill() override;

  // --- The window-component interface, passed on to the browse ---
  virtual void ComponentKill();
  virtual void ComponentReset(bool force);
  virtual void ComponentSetAlerts();
  virtual Level ComponentTakeEvent(const ComponentEvent& event);
  virtual void ComponentTakeNewSelection();
  virtual void ComponentUpdate();
  virtual void ComponentUpdateWindow();

  // --- The browse's own operations, in slot order ---
  // Runs the update procedure (or edit in place) for request and follows
  // the navigation requests the form leaves. Returns the last response.
  virtual Level AskRecord(int request);
  virtual Level EditInPlaceRequest(int request);
  // Reads up to ITEMSTOFILL rows forwards (or backwards) from the page's edge.
  virtual void FetchRows(bool forward);
  // Makes order n current, resets its locator and starts the list again.
  virtual void SelectSortOrder(int n);
  // The procedure's filter ("5 Standard") of the current order.
  virtual void SetFilter(std::string_view text);
  // Brings the list up to date after the update procedure answered.
  virtual void ResyncAfterAsk(int request, int response);
  // Positions on the free field's value and refills there.
  virtual void LocateOnFreeField();
  // The page again where it stands; the list from the record in the buffer.
  virtual void RefreshPage();
  virtual void RefreshFromBuffer();
  virtual void RefillList(int mode);
  // Applies the current order and starts the list from its start (or from
  // the record in the buffer with STARTATCURRENT).
  virtual void ResetSort(bool force);
  virtual void ScrollEnd(int event);
  virtual void ScrollOne(int event);
  virtual void ScrollPage(int event);
  // Registers the list's alert keys and builds the popup menu.
  virtual void SetListAlerts();
  virtual void FillRowFromRecord(BrowseRow& row);
  // Starts the list again when the order or its reset fields changed.
  virtual bool ResetSortIfNeeded();
  virtual Level TakeAccepted(int control);
  virtual Level TakeListEvent(const ComponentEvent& event);
  virtual Level TakeListKey(int keycode);
  virtual void ApplyQuery();
  virtual void TakeNewSelection(int keycode);
  virtual void TakeScrollEvent(int event);
  virtual void TakeToolbarScroll(int code);
  // Copies the highlighted row's fields into the record (clears them when
  // the list is empty).
  virtual void UpdateRecordBuffer();
  // Reads the highlighted record again (arming the watch first); Notify
  // when it is gone or no longer in the view.
  virtual Level RereadHighlighted(bool watch);
  // Enables the buttons by the rows, shows the locator and the thumb, and
  // shows the page in the list control.
  virtual void UpdateListWindow();

  // ToolbarBrowse.
  void MarkForSelection() override;

  // --- Setting up (after Init, before the window's first refresh) ---
  // An order following key, with its thumb step (may be null); its number.
  int AddSortOrder(StringStep* thumb, int key);
  // The current order's locator. REQUIRES: it outlives the browse.
  void AddLocator(EntryLocator* locator);
  // A record field as the next row field.
  void AddField(FieldRef field);
  void AddResetField(FieldRef field);
  // Lets the toolbar's list target act on this browse.
  void AddToolbarTarget(ToolbarDispatcher& toolbar);
  // Query by example for this browse (queryControl: its button).
  void AddQuery(QueryManager& query, int queryControl = 0, bool shared = false);
  // Edit in place for a browse without an update procedure.
  void AddEditColumn(FieldRef field, std::string title, std::string picture);

  BrowseSortOrder* CurrentSort() const;
  ui::Window* Win() const;

  // --- Members, in declaration order ---
  std::unique_ptr<WindowComponent> WINDOWCOMPONENT;
  uint8_t ACTIVEINVISIBLE = 0;
  uint8_t ALLOWUNFILLED = 0;
  uint8_t ARROWACTION = 0;
  uint8_t ENTERACTION = 0;
  uint8_t FOCUSLOSSACTION = 0;
  uint8_t TABACTION = 0;
  uint8_t DELETEACTION = 0;
  int32_t ASKPROCEDURE = 0;
  StandardBehavior* BEHAVIOR = nullptr;
  int32_t CHANGECONTROL = 0;
  int32_t DELETECONTROL = 0;
  int32_t INSERTCONTROL = 0;
  int32_t PRINTCONTROL = 0;
  int32_t QUERYCONTROL = 0;
  int32_t SELECTCONTROL = 0;
  int32_t TOOLCONTROL = 0;
  int32_t VIEWCONTROL = 0;
  int32_t CURRENTCHOICE = 0;
  int32_t CURRENTEVENT = 0;
  EditInPlace* EIP = nullptr;
  std::vector<EditColumn> EDITLIST;
  uint8_t FREEEIP = 0;
  std::vector<BrowseField> FIELDS;
  uint8_t FILELOADED = 0;
  uint8_t HASTHUMB = 1;
  ListControl* ILC = nullptr;
  int32_t ITEMSTOFILL = 0;
  int32_t LASTCHOICE = 0;
  int32_t PREVCHOICE = 0;
  int32_t LASTITEMS = 0;
  RowQueue* LISTQUEUE = nullptr;
  uint8_t LOADPENDING = 0;
  uint8_t LOADED = 0;
  uint8_t NEEDREFRESH = 0;
  std::unique_ptr<PopupManager> POPUP;
  uint16_t PRINTPROCEDURE = 0;
  std::vector<ViewManager*> PROCESSORS;
  QueryManager* QUERY = nullptr;
  int32_t QUERYRESULT = 0;
  uint8_t QUERYSHARED = 0;
  uint8_t QUICKSCAN = 0;
  uint8_t RETAINROW = 0;
  uint8_t SAVEDSORT = 0;
  std::string SAVEDSORTSTRING;
  EntryLocator* SAVEDLOCATOR = nullptr;
  StringStep* SAVEDTHUMB = nullptr;
  FieldRef SAVEDLOCATORFIELD;
  uint8_t SELECTWHOLERECORD = 0;
  uint8_t SELECTING = 0;
  SortOrderList SORT;
  uint8_t STARTATCURRENT = 0;
  ToolbarDispatcher* TOOLBAR = nullptr;
  std::unique_ptr<ListToolbarTarget> TOOLBARITEM;
  WindowManager* WINDOW = nullptr;

 private:
  // Refill: where the remembered row is now (0 none); offset follows it
  // with RETAINROW.
  int FindRow(const std::string& position);
  // Deletes the row at n.
  void DropRow(int n);
  // Starts the list from the start of the order (nothing held).
  void RestartList();
  // Sets the thumb after a move (downward: the move went down).
  void SetThumb(bool downward);
  // The first and last values of the free field, for a thumb table built at run time.
  void ResetThumbLimits();
  // Shows the rows and the highlight in the list control when they changed.
  void ShowRows();
  // Presses a button of the window: posts its accepted event (when it exists and is enabled).
  bool Press(int control);
  bool Usable(int control) const;
  // Takes the popup's choice of a query entry.
  void TakeQueryItem(const std::string& item);
  // The row texts as the list shows them.
  std::vector<std::vector<std::string>> RowTexts() const;

  // The page size the queue holds: LASTITEMS, or everything when FILELOADED.
  int Capacity() const;
  // Sets the filter group of the query in the current (or every) order.
  void InstallQuery(const std::string& text);
  void TakeThumbDrag();
  // Takes the list's new row count as the page size (true: the page must be
  // filled again); rows above the highlight leave first, so it stays shown.
  bool TakePageSize();
  // The highlighted row is chosen: ends a selecting window.
  void TakeSelect();
  // Remembers the order's state (to see it change) and its reset fields.
  void NoteSortState();

  ui::Window* win_ = nullptr;
  std::unique_ptr<StandardBehavior> ownBehavior_;
  std::unique_ptr<EditInPlace> ownEip_;
  bool killed_ = false;
  bool atStart_ = false;   // the page's first row is the first record
  bool atEnd_ = false;     // the page's last row is the last record
  bool restartPending_ = false;
  bool limitsStale_ = true;
  bool thumbDownward_ = false;
  int listControl_ = 0;
  std::vector<std::vector<std::string>> shownRows_;
  int shownChoice_ = -1;
  int shownThumb_ = -1;
};

}  // namespace ck
