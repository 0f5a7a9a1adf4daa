// The error history window: lists the messages the error manager recorded
// (text and category) with the presented message's icon, and offers the
// buttons of a button set; pressing one closes the window and gives its bit.
// It runs modally on the calling thread with an accept loop of its own and
// hands each event to its window-component interface.
// Not copyable.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/window_component.h"
#include "ui/window.h"

namespace ck {

class ErrorManager;
struct HistoryEntry;

// The list format of the history window: message text and category.
inline constexpr std::string_view HistoryListFormat =
    "217L(2)|M~Message~S(255)@s255@42L(2)|M~Category~L(1)@s255@";

class HistoryWindow : public WindowComponent {
 public:
  HistoryWindow() = default;
  ~HistoryWindow() override;
  HistoryWindow(const HistoryWindow&) = delete;
  HistoryWindow& operator=(const HistoryWindow&) = delete;

  // REQUIRES: err and history outlive the window.
  void Init(ErrorManager* err, std::vector<HistoryEntry>* history);
  // Opens the window captioned title, with icon (a system icon string, ""
  // for none) and the buttons of the set; runs it until a button closes it
  // and returns that button's bit. Closing the window otherwise gives
  // Cancel or No when offered, else the default. The presented text itself
  // is the newest history record, which is highlighted.
  int Run(std::string_view title, std::string_view text, std::string_view icon, int buttons,
          int defaultButton);

  // WindowComponent
  void Kill() override;
  void Reset(bool force) override;  // refills the list from History
  Level TakeEvent(const ComponentEvent& event) override;

  // The window's layout: caption "Error", ?IMAGE, ?LIST and ?BUTTON1..8.
  static ui::WindowModel Layout();
  // "O&k" for 1 ... "&Help" for 128; "" for anything else.
  static std::string_view ButtonCaption(int bit);
  // The bit each of the eight buttons stands for under a button set (0:
  // hidden): the bits of the set in ascending order, one per button.
  static std::vector<int> AssignButtons(int buttons);

  ErrorManager* Err = nullptr;
  std::vector<HistoryEntry>* History = nullptr;
  int LBColumns = 2;
  std::unique_ptr<ui::Window> Win;

 private:
  std::vector<int> values_;  // bit of ?BUTTON1..8, 0 when hidden
  int result_ = 0;
};

}  // namespace ck
