// The print preview: a window manager that shows a report's page images
// one at a time at a zoom, or several at once as thumbnails (PAGESACROSS by
// PAGESDOWN), moves between them, lets the user choose the pages to print
// ("1-3,5"), prints them by closing with PRINTOK set, or saves the report
// through an output target. The window is "Report Preview"; its position
// and size are kept under "_PreviewWindow_", the pages window's position
// under "_PreviewAskPagesWindow_". Belongs to one thread; not copyable.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/report_target.h"
#include "framework/window_manager.h"
#include "ui/window_model.h"

namespace ck {

namespace report {
class PageOutput;
}
class PageImageConverter;
class PopupManager;
class SettingsManager;

// One entry of the zoom list: -2 tiles the pages, -1 fits the page width,
// other values are percentages of the page's size.
struct ZoomEntry {
  int16_t PERCENTILE = 0;
  std::string MENUTEXT;    // up to 64 characters
  std::string STATUSTEXT;  // up to 64 characters
};
inline constexpr int16_t ZoomTile = -2;
inline constexpr int16_t ZoomPageWidth = -1;

// The seven standard entries, in their order.
std::vector<ZoomEntry> StandardZoomList();

// A page of the report as the preview holds it.
struct PreviewImage {
  std::string FILENAME;        // up to 256 characters
  int32_t PRINTPREVIEWIMAGE = 0;  // the control showing it now; 0 when not shown
};

class PrintPreview;

// One shown page: its control, where it sits (dialog units) and what it shows.
struct PageImageEntry {
  PrintPreview* PP = nullptr;
  double ASPECTRATIO = 0;  // height / width of the page
  int32_t IMAGEFEQ = 0;
  int32_t BORDERFEQ = 0;   // a frame of its own; 0: the image control draws its paper
  int32_t IMAGEWIDTH = 0, IMAGEHEIGHT = 0;  // the page, thousandths of an inch
  int32_t XPOS = 0, YPOS = 0, WIDTH = 0, HEIGHT = 0;
  std::string FILENAME;
  int32_t CENTREONX = 0, CENTREONY = 0;  // the middle of the control
  int32_t NEIGHBOUR = 0;   // the next entry's page; 0 for the last
  int32_t PAGENO = 0;
  int16_t ZOOMSTATE = 0;
};

// The pages-to-print rule. A page is chosen when an item of text split at
// "," is a number equal to it, or two numbers joined by "-", both above 0,
// the first not above the second, with the page between them. Other items
// are ignored ("3-1" and "0-2" choose nothing).
bool PageChosen(std::string_view text, long page);
// The chosen pages among 1 .. total, ascending.
std::vector<long> ChosenPages(std::string_view text, long total);
// A whole number (blanks around it allowed); -1 for any other text.
long PageNumberOf(std::string_view text);

class PrintPreview : public WindowManager {
 public:
  PrintPreview();
  ~PrintPreview() override;

  // Shows pages (page image files) starting at currentPage with zoom (0:
  // INITZOOM); true when the user chose to print (PRINTOK).
  virtual bool Display(const std::vector<std::string>& pages, int16_t zoom = 0,
                       long currentPage = 1);
  // The files of the pages PAGESTOPRINT chooses.
  std::vector<std::string> PagesToPrint() const;
  void SetINIManager(SettingsManager& ini) { INIMGR = &ini; }

  // --- Replaced window manager operations ---
  Level Init() override;
  Level Kill() override;
  Level TakeAccepted() override;
  Level TakeWindowEvent() override;
  Level TakeFieldEvent() override;

  // --- The preview's own operations ---
  // Lays the shown pages out again (after a move, a zoom, a resize).
  virtual void LayoutPages();
  // Takes the current-page entry: moves to the page and shows it.
  virtual void TakeCurrentPage();
  virtual void NextPage();
  virtual void PreviousPage();
  // Chooses zoom entry index (1 ... 7).
  virtual void SetZoomIndex(int index);
  // Any percentage the user asks for (10 to 400).
  virtual void SetUserZoom(int percent);
  // The windows of the View and File menus; true when the user accepted.
  virtual bool AskJump();
  virtual bool AskThumbnails();
  virtual bool AskPages();
  // Prints: asks the pages when CONFIRMPAGES, then closes with PRINTOK.
  virtual void Print();
  // Saves the report through an output target chosen by the user.
  virtual Level SaveAs();

  // The status texts: "Page n of total" (field 2), "Zoom: ..." (field 3).
  std::string PageStatus() const;
  std::string ZoomStatus() const;
  // The zoom shown now (a PERCENTILE value).
  int16_t Zoom() const;
  long PageCount() const { return static_cast<long>(IMAGEQUEUE.size()); }

  // --- Members, in declaration order ---
  uint8_t ALLOWUSERZOOM = 0;
  uint8_t CONFIRMPAGES = 1;
  long CURRENTPAGE = 1;
  uint8_t MDIWINDOW = 0;  // a window of its own (with its own menus) rather than a frame child
  long FIRSTPAGE = 1;
  std::vector<PreviewImage> IMAGEQUEUE;
  std::vector<std::string> OUTPUTFILEQUEUE;
  SettingsManager* INIMGR = nullptr;
  int16_t INITZOOM = ZoomPageWidth;
  uint8_t MAXIMIZE = 0;
  uint8_t MUSE = 1;  // a click on a page zooms in on it, and out again
  std::vector<PageImageEntry> PAGEMANAGER;
  uint16_t PAGESACROSS = 2;
  uint16_t PAGESDOWN = 1;
  std::string PAGESTOPRINT;
  PopupManager* POPUP = nullptr;
  ui::Window* PREVIEWWINDOW = nullptr;
  report::PageOutput* PRINTENGINE = nullptr;
  uint8_t PRINTOK = 0;
  ReportTargetSelector* TARGETSELECTOR = nullptr;
  uint8_t SAVESIZE = 1;
  uint8_t SET = 0;
  int32_t XPOS = 0, YPOS = 0, WIDTH = 0, HEIGHT = 0;
  uint8_t THUMBNAILSPRESENT = 0;
  uint16_t USERPERCENTILE = 100;
  uint8_t WINDOWPOSSET = 0;
  uint8_t WINDOWSIZESET = 0;
  int32_t WINHEIGHT = 0, WINWIDTH = 0, WINXPOS = 0, WINYPOS = 0;
  PageImageConverter* WMFPARSER = nullptr;
  std::vector<ZoomEntry> ZOOMQUEUE;
  const ReportGenerator* REPORTTARGET = nullptr;
  uint8_t ZOOMINDEX = 2;
  std::string ZOOMLIST;

  // The document's name for saved files ("Report" when empty).
  std::string DocumentTitle;

  // Control numbers of the preview window (set when it opens).
  struct Controls {
    int TbarPrint = 0, TbarExit = 0, TbarZoom = 0;
    int PagePrompt = 0, CurrentPage = 0, AcrossPrompt = 0, PagesAcross = 0, DownPrompt = 0,
        PagesDown = 0, ZoomPrompt = 0, ZoomList = 0, LastCtrl = 0, LastDynCtrl = 0;
    int MenuPages = 0, MenuPrint = 0, MenuSaveAs = 0, MenuExit = 0;
    int Next = 0, Previous = 0, Jump = 0, ChangeDisplay = 0, ViewMenu = 0, ZoomMenu = 0;
    std::vector<int> ZoomItems;  // the Zoom menu's entries
  } Feq;

 protected:
  // The layout of the "Report Preview" window.
  virtual ui::WindowModel PreviewLayout();
  // Shows the status texts and the zoom's menu check marks.
  void ShowStatus();
  // Moves FIRSTPAGE so that the current page is among the pages shown;
  // fillBlock (after the thumbnails changed): also so that the block does
  // not run past the last page while an earlier page could fill it.
  void KeepCurrentShown(bool fillBlock = false);
  // Shows the page of a page control at the zoomed-in view, or back to tiles.
  void TakePageClick(int control);
  long ShownCount() const;
  // Keeps the window's place and size under "_PreviewWindow_" (once).
  void SaveWindowState();

 private:
  std::unique_ptr<ui::Window> window_;
  std::unique_ptr<PopupManager> ownPopup_;
  std::unique_ptr<PageImageConverter> ownConverter_;
  int16_t userZoom_ = 0;     // a typed zoom, 0 when an entry of the list is in force
  int zoomInIndex_ = 2;      // the entry a click on a thumbnail zooms to
  std::string zoomText_, acrossText_, downText_;
  std::vector<std::string> pages_;
  ReportGenerator savedTarget_;
  bool windowSaved_ = false;
};

// The window names the preview keeps in the settings file.
inline constexpr std::string_view PreviewWindowSection = "_PreviewWindow_";
inline constexpr std::string_view PreviewPagesSection = "_PreviewAskPagesWindow_";

}  // namespace ck
