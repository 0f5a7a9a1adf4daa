// The popup menu manager: a list of menu items for one window. It builds the
// menu text the window engine's popup understands, shows the menu at the
// mouse, and turns the choice into the item's name and, for items bound to a
// control or an event, into an event posted to the window's thread. Items may
// mirror ("mimic") a button: each time the menu is shown they take the
// button's caption, icon and disabled state, and choosing them presses it.
// The same items can be shown as buttons of a small toolbox window.
// Belongs to one thread; not copyable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ck {

namespace ui {
class Window;
}
class SettingsManager;
class WindowTranslator;

struct PopupMenuItem {
  int32_t CONTROLID = 0;  // the control the item acts on; 0 none
  int32_t DEPTH = 1;      // 1 top level; deeper opens a submenu under the item before
  int32_t EVENT = 0;      // event posted to CONTROLID when chosen; 0 none
  uint8_t MIMICMODE = 0;  // mirrors CONTROLID and presses it
  uint8_t DISABLED = 0;   // 0 not set, 1 disabled, 2 enabled
  uint8_t CHECK = 0;      // 0 plain, 1 checked, 2 unchecked check item
  uint8_t ONTOOLBOX = 0;  // also a button of the toolbox
  std::string ICON;       // icon file name; "" none (up to 256 characters)
  std::string NAME;       // unique name (up to 1024 characters)
  std::string TEXT;       // shown text; "-" is a separator (up to 1024 characters)

  // A mirrored item's own text ("!" in front: its control's caption), and
  // whether its state and icon come from the control, so that they are
  // taken afresh each time the menu is shown.
  std::string mirrorText;
  bool mirrorTextKept = false;
  bool stateFromControl = false;
  bool iconFromControl = false;
};

class PopupManager {
 public:
  PopupManager() = default;
  virtual ~PopupManager() = default;
  PopupManager(const PopupManager&) = delete;
  PopupManager& operator=(const PopupManager&) = delete;

  // window: where the items' controls are (mirrored, pressed); the calling
  // thread receives the posted events. REQUIRES: window (and ini) outlive
  // the manager's use.
  virtual void Init(ui::Window* window, SettingsManager* ini = nullptr);
  virtual void Kill();

  // Adds an item and returns its name: the text's letters, digits and "_"
  // ("-" gives "Separator"), numbered 1, 2 ... when the name is taken.
  virtual std::string AddMenuItem(std::string_view text);
  // The item named text (added when there is none) posts event to control.
  virtual std::string AddMenuItemEvent(std::string_view text, int event, int control);
  // An item named after nameText that mirrors control and shows shownText
  // ("!" in front: the control's own caption when it has one).
  virtual std::string AddMenuItemMimic(std::string_view nameText, std::string_view shownText,
                                       int control);
  virtual std::string AddMenuSeparator();
  // Shows the menu at the mouse; the chosen item's name, "" when dismissed.
  virtual std::string AskMenu();
  // Shows the items marked ONTOOLBOX as buttons of a window titled title;
  // the chosen item's name, "" when it was closed.
  virtual std::string Toolbox(std::string_view title);

  // Items by name.
  PopupMenuItem* Find(std::string_view name);
  bool DeleteItem(std::string_view name);
  void SetText(std::string_view name, std::string_view text);
  void SetIcon(std::string_view name, std::string_view icon);
  void SetItemEnable(std::string_view name, bool on);
  void SetItemCheck(std::string_view name, bool on);
  void SetLevel(std::string_view name, int depth);
  // The menu text as the popup shows it now (mirrored items refreshed).
  std::string MenuText();

  // --- Members, in declaration order ---
  uint8_t CLEARKEYCODE = 0;
  std::string LASTSELECTION;
  int32_t LASTNUMBERSELECTION = 0;
  std::vector<PopupMenuItem> POPUPITEMS;
  WindowTranslator* TRANSLATOR = nullptr;
  SettingsManager* INIMGR = nullptr;
  uint8_t INTOOLBOX = 0;
  int32_t MYTHREAD = 0;
  ui::Window* PARENTWINDOW = nullptr;
  ui::Window* THISWINDOW = nullptr;

 protected:
  // Mirrored items take their control's caption, state and icon.
  void Refresh(PopupMenuItem& item);
  // The item chosen as selectable number n; null when none.
  PopupMenuItem* Chosen(int n);
  // Records the choice and posts the item's event.
  std::string TakeChoice(int n);
};

// The name an item text gives: "-" gives "Separator", any other text its
// letters A-Z and a-z, digits and "_".
std::string PopupItemName(std::string_view text);

}  // namespace ck
