#include "framework/print_preview.h"

#include <algorithm>
#include <charconv>
#include <strings.h>

#include "framework/page_converter.h"
#include "framework/popup_manager.h"
#include "framework/report_messages.h"
#include "framework/report_target.h"
#include "framework/settings_manager.h"
#include "ui/dialogs.h"
#include "ui/report/page_image.h"
#include "ui/window.h"

namespace ck {

namespace {

constexpr int kBarHeight = 18;  // the strip of controls above the pages, dialog units

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

long PageNumberOf(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  long v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || v < 0) return -1;
  return v;
}

std::vector<ZoomEntry> StandardZoomList() {
  return {{ZoomTile, "Tile pages", "Zoom: Tile Pages"},
          {ZoomPageWidth, "Page Width", "Zoom: Page Width"},
          {50, "50% Zoom", "Zoom: 50%"},
          {75, "75% Zoom", "Zoom: 75%"},
          {100, "100% Zoom", "Zoom: 100%"},
          {200, "200% Zoom", "Zoom: 200%"},
          {300, "300% Zoom", "Zoom: 300%"}};
}

bool PageChosen(std::string_view text, long page) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    std::string_view item =
        text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    size_t dash = item.find('-');
    if (dash == std::string_view::npos) {
      if (PageNumberOf(item) == page) return true;
    } else {
      long low = PageNumberOf(item.substr(0, dash)), high = PageNumberOf(item.substr(dash + 1));
      if (low > 0 && high > 0 && low <= high && page >= low && page <= high) return true;
    }
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return false;
}

std::vector<long> ChosenPages(std::string_view text, long total) {
  std::vector<long> pages;
  for (long p = 1; p <= total; ++p)
    if (PageChosen(text, p)) pages.push_back(p);
  return pages;
}

PrintPreview::PrintPreview() : ZOOMQUEUE(StandardZoomList()) {
  for (const ZoomEntry& z : ZOOMQUEUE) ZOOMLIST += (ZOOMLIST.empty() ? "" : "|") + z.MENUTEXT;
}

PrintPreview::~PrintPreview() = default;

std::vector<std::string> PrintPreview::PagesToPrint() const {
  std::vector<std::string> files;
  for (long p : ChosenPages(PAGESTOPRINT, PageCount()))
    files.push_back(IMAGEQUEUE[static_cast<size_t>(p - 1)].FILENAME);
  return files;
}

int16_t PrintPreview::Zoom() const {
  if (userZoom_ != 0) return userZoom_;
  if (ZOOMINDEX >= 1 && ZOOMINDEX <= ZOOMQUEUE.size()) return ZOOMQUEUE[ZOOMINDEX - 1].PERCENTILE;
  return ZoomPageWidth;
}

long PrintPreview::ShownCount() const {
  return Zoom() == ZoomTile ? std::max<long>(1, static_cast<long>(PAGESACROSS) * PAGESDOWN) : 1;
}

std::string PrintPreview::PageStatus() const {
  const long total = PageCount();
  const long last = std::min(total, FIRSTPAGE + ShownCount() - 1);
  if (Zoom() != ZoomTile || last <= FIRSTPAGE)
    return "Page " + std::to_string(Zoom() == ZoomTile ? FIRSTPAGE : CURRENTPAGE) + " of " +
           std::to_string(total);
  return "Pages " + std::to_string(FIRSTPAGE) + "-" + std::to_string(last) + " of " +
         std::to_string(total);
}

std::string PrintPreview::ZoomStatus() const {
  if (userZoom_ != 0) return "Zoom: " + std::to_string(userZoom_) + "%";
  if (ZOOMINDEX >= 1 && ZOOMINDEX <= ZOOMQUEUE.size()) return ZOOMQUEUE[ZOOMINDEX - 1].STATUSTEXT;
  return {};
}

bool PrintPreview::Display(const std::vector<std::string>& pages, int16_t zoom, long currentPage) {
  pages_ = pages;
  IMAGEQUEUE.clear();
  for (const std::string& p : pages) IMAGEQUEUE.push_back({p, 0});
  PAGESTOPRINT = "1-" + std::to_string(PageCount());
  CURRENTPAGE = std::clamp<long>(currentPage, 1, std::max<long>(1, PageCount()));
  FIRSTPAGE = CURRENTPAGE;
  if (zoom == 0) zoom = INITZOOM;
  userZoom_ = 0;
  ZOOMINDEX = 2;
  bool listed = false;
  for (size_t i = 0; i < ZOOMQUEUE.size(); ++i)
    if (ZOOMQUEUE[i].PERCENTILE == zoom) {
      ZOOMINDEX = static_cast<uint8_t>(i + 1);
      listed = true;
    }
  if (!listed && zoom > 0) userZoom_ = std::clamp<int16_t>(zoom, 10, 400);
  KeepCurrentShown();
  PRINTOK = 0;
  Response = response::None;
  Run();
  return PRINTOK != 0;
}

ui::WindowModel PrintPreview::PreviewLayout() {
  ui::WindowModel m;
  m.kind = MDIWINDOW ? ui::WindowKind::MdiChild : ui::WindowKind::Dialog;
  m.title = "Report Preview";
  m.at = {-1, -1, 420, 300};
  m.minW = 200;
  m.minH = 100;
  m.status = {"", ""};  // fields 2 and 3: the page and the zoom
  auto tool = [&](const char* name, const char* icon, const char* tip, int x) {
    ui::ControlModel& b = m.AddButton(name, "");
    b.icon = icon;
    b.tip = tip;
    b.msg = tip;
    b.at = {x, 2, 18, 14};
    return b.feq;
  };
  Feq.TbarPrint = tool("?PRTPREV:TBARPRINT", "WAPRINT.ICO", "Print the report", 2);
  Feq.TbarExit = tool("?PRTPREV:TBAREXIT", "WAEXIT.ICO", "Exit without printing the report", 21);
  Feq.TbarZoom = tool("?PRTPREV:TBARZOOM", "WAZOOM.ICO", "Zoom in on a page of the report", 40);
  Feq.PagePrompt = m.AddPrompt("?PRTPREV:PAGEPROMPT", "&Page:").feq;
  m.Control(Feq.PagePrompt)->at = {64, 5, 22, 10};
  ui::ControlModel& page = m.AddEntry("?PRTPREV:CURRENTPAGE", "@n4");
  page.at = {87, 3, 26, 12};
  Feq.CurrentPage = page.feq;
  Feq.AcrossPrompt = m.AddPrompt("?PRTPREV:ACROSSPROMPT", "&Across:").feq;
  m.Control(Feq.AcrossPrompt)->at = {120, 5, 28, 10};
  ui::ControlModel& across = m.Add(ui::ControlType::Spin, "?PRTPREV:PAGESACROSS");
  across.picture = "@N2";
  across.rangeLow = 1;
  across.rangeHigh = 99;
  across.at = {149, 3, 20, 12};
  across.tip = across.msg = "Select the number of thumbnails in a row";
  Feq.PagesAcross = across.feq;
  Feq.DownPrompt = m.AddPrompt("?PRTPREV:DOWNPROMPT", "&Down:").feq;
  m.Control(Feq.DownPrompt)->at = {174, 5, 24, 10};
  ui::ControlModel& down = m.Add(ui::ControlType::Spin, "?PRTPREV:PAGESDOWN");
  down.picture = "@N2";
  down.rangeLow = 1;
  down.rangeHigh = 99;
  down.at = {199, 3, 20, 12};
  down.tip = down.msg = "Select the number of thumbnails in a column";
  Feq.PagesDown = down.feq;
  Feq.ZoomPrompt = m.AddPrompt("?PRTPREV:ZOOMPROMPT", "Z&oom:").feq;
  m.Control(Feq.ZoomPrompt)->at = {226, 5, 24, 10};
  // A typed percentage is taken when the user may choose a zoom of his own.
  ui::ControlModel& zoom = m.Add(
      ALLOWUSERZOOM ? ui::ControlType::DropCombo : ui::ControlType::DropList, "?PRTPREV:ZOOMLIST");
  zoom.picture = "@s20";
  for (const ZoomEntry& z : ZOOMQUEUE) zoom.items.push_back(z.MENUTEXT);
  zoom.at = {251, 3, 70, 12};
  zoom.tip = zoom.msg = "Set zoom to standard or user defined value";
  Feq.ZoomList = zoom.feq;
  // The page area: the page controls are added after it.
  ui::ControlModel& area = m.Add(ui::ControlType::Region, "?PRTPREV:LASTCTRL");
  area.at = {0, kBarHeight, 420, 300 - kBarHeight};
  area.visible = false;
  Feq.LastCtrl = area.feq;

  ui::MenuModel& file = m.MenuBar().AddMenu("?PRTPREV:FILEMENU", "&File");
  file.AddItem("?PRTPREV:MENUPAGES", "Pa&ges to Print...", "Select which pages to print");
  file.AddItem("?PRTPREV:MENUPRINT", "&Print", "Print the report");
  file.AddItem("?PRTPREV:MENUSAVEAS", "&Save As...", "Save the report");
  file.AddItem("", "-");
  file.AddItem("?PRTPREV:MENUEXIT", "E&xit", "Exit without printing the report");
  ui::MenuModel& view = m.MenuBar().AddMenu("?PRTPREV:VIEWMENU", "&View");
  view.AddItem("?PRTPREV:NEXT", "&Next Page(s)", "View the next page or pages of the report");
  view.AddItem("?PRTPREV:PREVIOUS", "&Previous Page(s)",
               "View the previous page or pages of the report");
  view.AddItem("?PRTPREV:JUMP", "&Jump to a page", "Jump to a specific page of the report");
  view.AddItem("?PRTPREV:CHANGEDISPLAY", "&Change Display", "Change the number of pages displayed");
  ui::MenuModel& zooms = m.MenuBar().AddMenu("?PRTPREV:ZOOMMENU", "&Zoom");
  for (size_t i = 0; i < ZOOMQUEUE.size(); ++i)
    zooms.AddItem("?ZoomItem" + std::to_string(i + 1), ZOOMQUEUE[i].MENUTEXT);
  m.NumberMenus();
  Feq.MenuPages = m.FeqOf("?PRTPREV:MENUPAGES");
  Feq.MenuPrint = m.FeqOf("?PRTPREV:MENUPRINT");
  Feq.MenuSaveAs = m.FeqOf("?PRTPREV:MENUSAVEAS");
  Feq.MenuExit = m.FeqOf("?PRTPREV:MENUEXIT");
  Feq.ViewMenu = m.FeqOf("?PRTPREV:VIEWMENU");
  Feq.ZoomMenu = m.FeqOf("?PRTPREV:ZOOMMENU");
  Feq.Next = m.FeqOf("?PRTPREV:NEXT");
  Feq.Previous = m.FeqOf("?PRTPREV:PREVIOUS");
  Feq.Jump = m.FeqOf("?PRTPREV:JUMP");
  Feq.ChangeDisplay = m.FeqOf("?PRTPREV:CHANGEDISPLAY");
  Feq.ZoomItems.clear();
  for (size_t i = 0; i < ZOOMQUEUE.size(); ++i)
    Feq.ZoomItems.push_back(m.FeqOf("?ZoomItem" + std::to_string(i + 1)));
  return m;
}

Level PrintPreview::Init() {
  const Level base = WindowManager::Init();
  if (base != level::Benign) return base;
  Inited = 0;
  windowSaved_ = false;
  PAGEMANAGER.clear();
  window_ = std::make_unique<ui::Window>(PreviewLayout());
  ui::Window& w = *window_;
  PREVIEWWINDOW = &w;
  const long total = PageCount();
  w.Modify(Feq.CurrentPage, [&](ui::ControlModel& c) {
    c.tip = c.msg = "Enter a page number from 1 to " + std::to_string(total);
  });
  if (INIMGR != nullptr && SAVESIZE) INIMGR->FetchWindow(PreviewWindowSection, w);
  if (MAXIMIZE) w.SetMaximized(true);
  Open(w);
  w.Bind(Feq.CurrentPage,
         ui::UseVar::Of([this] { return std::to_string(CURRENTPAGE); },
                        [this](std::string_view v) {
                          long n = PageNumberOf(v);
                          if (n >= 0) CURRENTPAGE = n;
                        }));
  w.Bind(Feq.PagesAcross, ui::UseVar::Of(&acrossText_));
  w.Bind(Feq.PagesDown, ui::UseVar::Of(&downText_));
  w.Bind(Feq.ZoomList, ui::UseVar::Of(&zoomText_));
  acrossText_ = std::to_string(PAGESACROSS);
  downText_ = std::to_string(PAGESDOWN);
  w.Alert(ui::key::PgDn);
  w.Alert(ui::key::PgUp);
  w.Alert(ui::key::MouseRight);
  if (POPUP == nullptr) {
    ownPopup_ = std::make_unique<PopupManager>();
    POPUP = ownPopup_.get();
  }
  POPUP->Init(&w, INIMGR);
  for (size_t i = 0; i < ZOOMQUEUE.size(); ++i) {
    if (POPUP->Find("ZoomItem" + std::to_string(i + 1)) != nullptr) continue;
    const std::string name = POPUP->AddMenuItem("ZoomItem" + std::to_string(i + 1));
    POPUP->SetText(name, ZOOMQUEUE[i].MENUTEXT);
  }
  FirstField = Feq.CurrentPage;
  LayoutPages();
  return level::Benign;
}

Level PrintPreview::Kill() {
  if (Dead) return level::Benign;
  SaveWindowState();
  if (ownPopup_ != nullptr) ownPopup_->Kill();
  const Level base = WindowManager::Kill();
  if (window_ != nullptr) window_->Close();
  PAGEMANAGER.clear();
  for (PreviewImage& image : IMAGEQUEUE) image.PRINTPREVIEWIMAGE = 0;
  Feq.LastDynCtrl = 0;
  return base;
}

void PrintPreview::KeepCurrentShown(bool fillBlock) {
  const long n = ShownCount(), total = PageCount();
  const bool moved = CURRENTPAGE < FIRSTPAGE || CURRENTPAGE > FIRSTPAGE + n - 1;
  if (moved) FIRSTPAGE = CURRENTPAGE;
  if (moved || fillBlock)
    while (FIRSTPAGE > 1 && FIRSTPAGE + n - 1 > total) --FIRSTPAGE;
}

void PrintPreview::LayoutPages() {
  if (window_ == nullptr || !window_->IsOpen()) return;
  ui::Window& w = *window_;
  const ui::Rect size = w.ShownSize();
  const int width = std::max(size.w, 100), height = std::max(size.h, kBarHeight + 40);
  const ui::Rect area{2, kBarHeight + 2, width - 4, height - kBarHeight - 4};
  const int16_t zoom = Zoom();
  const bool tile = zoom == ZoomTile;
  const long total = PageCount();
  const long first = tile ? FIRSTPAGE : CURRENTPAGE;
  const long shown = std::max<long>(0, std::min(ShownCount(), total - first + 1));
  const int across = tile ? std::max<int>(1, PAGESACROSS) : 1;
  const int down = tile ? std::max<int>(1, PAGESDOWN) : 1;
  THUMBNAILSPRESENT = tile && shown > 1;

  for (PreviewImage& image : IMAGEQUEUE) image.PRINTPREVIEWIMAGE = 0;
  std::vector<PageImageEntry> entries;
  for (long i = 0; i < shown; ++i) {
    const long pageNo = first + i;
    PageImageEntry e;
    e.PP = this;
    e.PAGENO = static_cast<int32_t>(pageNo);
    e.FILENAME = IMAGEQUEUE[static_cast<size_t>(pageNo - 1)].FILENAME;
    const int cellW = area.w / across, cellH = area.h / down;
    e.XPOS = area.x + static_cast<int>(i % across) * cellW;
    e.YPOS = area.y + static_cast<int>(i / across) * cellH;
    e.WIDTH = tile ? cellW - 2 : area.w;
    e.HEIGHT = tile ? cellH - 2 : area.h;
    e.CENTREONX = e.XPOS + e.WIDTH / 2;
    e.CENTREONY = e.YPOS + e.HEIGHT / 2;
    e.ZOOMSTATE = zoom;
    e.NEIGHBOUR = i + 1 < shown ? static_cast<int32_t>(pageNo + 1) : 0;
    report::PageImage page;
    report::PageImageError error;
    if (report::ReadPageImage(e.FILENAME, &page, &error)) {
      e.IMAGEWIDTH = page.width;
      e.IMAGEHEIGHT = page.height;
      e.ASPECTRATIO = static_cast<double>(page.height) / page.width;
    }
    entries.push_back(std::move(e));
  }
  // Page controls come after the fixed ones; spare ones are hidden.
  int next = Feq.LastCtrl + 1;
  for (PageImageEntry& e : entries) {
    ui::ControlModel c;
    c.type = ui::ControlType::PageImage;
    c.text = e.FILENAME;
    c.at = {e.XPOS, e.YPOS, e.WIDTH, e.HEIGHT};
    c.zoom = tile ? 0 : zoom;
    c.tip = "Page " + std::to_string(e.PAGENO);
    if (next > Feq.LastDynCtrl) {
      c.name = "?PRTPREV:PAGE" + std::to_string(next - Feq.LastCtrl);
      Feq.LastDynCtrl = w.AddControl(c);
    } else {
      w.Modify(next, [&](ui::ControlModel& m) {
        m.text = c.text;
        m.at = c.at;
        m.zoom = c.zoom;
        m.tip = c.tip;
        m.visible = true;
      });
    }
    e.IMAGEFEQ = next;
    IMAGEQUEUE[static_cast<size_t>(e.PAGENO - 1)].PRINTPREVIEWIMAGE = next;
    ++next;
  }
  for (; next <= Feq.LastDynCtrl; ++next) w.Hide(next);
  PAGEMANAGER = std::move(entries);
  ShowStatus();
}

void PrintPreview::ShowStatus() {
  if (window_ == nullptr) return;
  ui::Window& w = *window_;
  w.Display();
  zoomText_ = userZoom_ != 0 ? std::to_string(userZoom_) + "%"
                                    : ZOOMQUEUE[ZOOMINDEX - 1].MENUTEXT;
  w.Display(Feq.ZoomList);
  for (size_t i = 0; i < Feq.ZoomItems.size(); ++i)
    w.CheckMenu(Feq.ZoomItems[i], userZoom_ == 0 && i + 1 == ZOOMINDEX);
  w.SetStatus(2, PageStatus());
  w.SetStatus(3, ZoomStatus());
  w.EnableMenu(Feq.Next, CURRENTPAGE < PageCount());
  w.EnableMenu(Feq.Previous, CURRENTPAGE > 1);
}

void PrintPreview::TakeCurrentPage() {
  CURRENTPAGE = std::clamp<long>(CURRENTPAGE, 1, std::max<long>(1, PageCount()));
  KeepCurrentShown();
  LayoutPages();
}

void PrintPreview::NextPage() {
  ++CURRENTPAGE;
  TakeCurrentPage();
}

void PrintPreview::PreviousPage() {
  --CURRENTPAGE;
  TakeCurrentPage();
}

void PrintPreview::SetZoomIndex(int index) {
  if (index < 1 || index > static_cast<int>(ZOOMQUEUE.size())) return;
  ZOOMINDEX = static_cast<uint8_t>(index);
  userZoom_ = 0;
  if (Zoom() != ZoomTile) zoomInIndex_ = index;
  // Thumbnails fill their block: it does not run past the last page.
  KeepCurrentShown(Zoom() == ZoomTile);
  LayoutPages();
}

void PrintPreview::SetUserZoom(int percent) {
  if (!ALLOWUSERZOOM) return;
  userZoom_ = static_cast<int16_t>(std::clamp(percent, 10, 400));
  USERPERCENTILE = static_cast<uint16_t>(userZoom_);
  LayoutPages();
}

void PrintPreview::TakePageClick(int control) {
  if (!MUSE) return;
  for (const PageImageEntry& e : PAGEMANAGER) {
    if (e.IMAGEFEQ != control) continue;
    CURRENTPAGE = e.PAGENO;
    if (Zoom() == ZoomTile)
      SetZoomIndex(zoomInIndex_);
    else
      SetZoomIndex(1);
    return;
  }
}

void PrintPreview::Print() {
  if (CONFIRMPAGES) {
    PRINTOK = AskPages() ? 1 : 0;
  } else if (ChosenPages(PAGESTOPRINT, PageCount()).empty()) {
    ReportProblem(Errors, "Pages to Print",
                  "The pages to print, \"" + PAGESTOPRINT + "\", name no page from 1 to " +
                      std::to_string(PageCount()) + ".");
    return;
  } else {
    PRINTOK = 1;
  }
  SetResponse(PRINTOK ? response::Completed : response::Cancelled);
}

Level PrintPreview::SaveAs() {
  std::unique_ptr<ReportTargetSelector> own;
  ReportTargetSelector* selector = TARGETSELECTOR;
  if (selector == nullptr) {
    own = std::make_unique<ReportTargetSelector>(Errors);
    selector = own.get();
  }
  const int number = selector->Ask();
  if (number == 0) return level::Cancel;
  const ReportGenerator* target = selector->Generator(number);
  if (target == nullptr) return level::Notify;
  std::string file = (DocumentTitle.empty() ? std::string("Report") : DocumentTitle) +
                     target->Extension;
  if (!ui::FileDialog("Save the report as " + target->Name, &file, target->Filter, true))
    return level::Cancel;
  PageImageConverter* converter = WMFPARSER;
  if (converter == nullptr) {
    ownConverter_ = std::make_unique<PageImageConverter>();
    converter = ownConverter_.get();
  }
  converter->Init(Errors);
  savedTarget_ = *target;  // the choice outlives a selector made for this save
  REPORTTARGET = &savedTarget_;
  return converter->Convert(pages_, *target, file, DocumentTitle, &OUTPUTFILEQUEUE);
}

Level PrintPreview::TakeAccepted() {
  const int f = Field();
  if (f == Feq.TbarPrint || f == Feq.MenuPrint) {
    Print();
  } else if (f == Feq.TbarExit || f == Feq.MenuExit) {
    PRINTOK = 0;
    SetResponse(response::Cancelled);
  } else if (f == Feq.TbarZoom) {
    TakePageClick(CURRENTPAGE >= 1 && CURRENTPAGE <= PageCount()
                      ? IMAGEQUEUE[static_cast<size_t>(CURRENTPAGE - 1)].PRINTPREVIEWIMAGE
                      : 0);
  } else if (f == Feq.MenuPages) {
    AskPages();
  } else if (f == Feq.MenuSaveAs) {
    SaveAs();
  } else if (f == Feq.Next) {
    NextPage();
  } else if (f == Feq.Previous) {
    PreviousPage();
  } else if (f == Feq.Jump) {
    AskJump();
  } else if (f == Feq.ChangeDisplay) {
    AskThumbnails();
  } else if (f == Feq.CurrentPage) {
    TakeCurrentPage();
  } else if (f == Feq.PagesAcross || f == Feq.PagesDown) {
    const long across = PageNumberOf(acrossText_), down = PageNumberOf(downText_);
    if (across >= 1 && down >= 1) {
      PAGESACROSS = static_cast<uint16_t>(across);
      PAGESDOWN = static_cast<uint16_t>(down);
      KeepCurrentShown(true);
    }
    acrossText_ = std::to_string(PAGESACROSS);
    downText_ = std::to_string(PAGESDOWN);
    LayoutPages();
  } else if (f == Feq.ZoomList) {
    int chosen = 0;
    for (size_t i = 0; i < ZOOMQUEUE.size(); ++i)
      if (SameText(zoomText_, ZOOMQUEUE[i].MENUTEXT)) chosen = static_cast<int>(i) + 1;
    std::string typed = zoomText_;
    if (!typed.empty() && typed.back() == '%') typed.pop_back();
    const long percent = PageNumberOf(typed);
    if (chosen != 0)
      SetZoomIndex(chosen);
    else if (ALLOWUSERZOOM && percent > 0)
      SetUserZoom(static_cast<int>(percent));
    else
      ShowStatus();  // not a zoom: the entry shows the zoom in force again
  } else if (f < 0) {
    for (size_t i = 0; i < Feq.ZoomItems.size(); ++i)
      if (f == Feq.ZoomItems[i]) SetZoomIndex(static_cast<int>(i) + 1);
  } else if (f > Feq.LastCtrl) {
    TakePageClick(f);
  }
  return WindowManager::TakeAccepted();
}

Level PrintPreview::TakeFieldEvent() {
  if (Event() != ui::event::AlertKey) return level::Benign;
  if (Keycode() == ui::key::PgDn) {
    NextPage();
  } else if (Keycode() == ui::key::PgUp) {
    PreviousPage();
  } else if (Keycode() == ui::key::MouseRight && POPUP != nullptr) {
    const std::string chosen = POPUP->AskMenu();
    for (size_t i = 0; i < ZOOMQUEUE.size(); ++i)
      if (chosen == "ZoomItem" + std::to_string(i + 1)) SetZoomIndex(static_cast<int>(i) + 1);
  }
  return level::Benign;
}

Level PrintPreview::TakeWindowEvent() {
  const Level base = WindowManager::TakeWindowEvent();
  if (base != level::Benign) return base;
  switch (Event()) {
    case ui::event::Sized:
    case ui::event::Maximized:
    case ui::event::Restored:
      LayoutPages();
      break;
    case ui::event::CloseWindow:
    case ui::event::CloseDown:
      SaveWindowState();  // while the window still shows how the user left it
      break;
    default:
      break;
  }
  return level::Benign;
}

void PrintPreview::SaveWindowState() {
  if (windowSaved_ || window_ == nullptr || !window_->IsOpen() || INIMGR == nullptr || !SAVESIZE)
    return;
  INIMGR->UpdateWindow(PreviewWindowSection, *window_);
  windowSaved_ = true;
}

}  // namespace ck
