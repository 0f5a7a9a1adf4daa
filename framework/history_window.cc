#include "framework/history_window.h"

#include <string>

#include "framework/error_manager.h"

namespace ck {

namespace {
constexpr int kButtonCount = 8;

// Theme icon names for the system icons the error manager uses.
std::string IconName(int number) {
  switch (number) {
    case IconInformation:
      return "dialog-information";
    case IconExclamation:
      return "dialog-warning";
    default:
      return {};
  }
}
}  // namespace

HistoryWindow::~HistoryWindow() { Kill(); }

void HistoryWindow::Init(ErrorManager* err, std::vector<HistoryEntry>* history) {
  Err = err;
  History = history;
}

std::string_view HistoryWindow::ButtonCaption(int bit) {
  switch (bit) {
    case button::Ok:
      return "O&k";
    case button::Yes:
      return "&Yes";
    case button::No:
      return "&No";
    case button::Abort:
      return "&Abort";
    case button::Retry:
      return "&Retry";
    case button::Ignore:
      return "&Ignore";
    case button::Cancel:
      return "&Cancel";
    case button::Help:
      return "&Help";
    default:
      return {};
  }
}

std::vector<int> HistoryWindow::AssignButtons(int buttons) {
  std::vector<int> values(kButtonCount, 0);
  size_t next = 0;
  for (int bit = 1; bit <= button::Help && next < values.size(); bit <<= 1) {
    if (buttons & bit) values[next++] = bit;
  }
  return values;
}

ui::WindowModel HistoryWindow::Layout() {
  ui::WindowModel w;
  w.kind = ui::WindowKind::Dialog;
  w.title = "Error";
  w.at = {-1, -1, 312, 150};
  w.font = {"MS Sans Serif", 8};
  ui::ControlModel& image = w.Add(ui::ControlType::Image, "?IMAGE");
  image.at = {4, 4, 20, 20};
  ui::ControlModel& list = w.AddList("?LIST", std::string(HistoryListFormat));
  list.at = {28, 4, 280, 120};
  if (list.columns.size() < 2) {
    // A list engine that does not read this format still gets the columns.
    list.columns.assign(2, ui::ListColumn{});
    list.columns[0].width = 217;
    list.columns[0].header = "Message";
    list.columns[0].picture = "@s255";
    list.columns[1].width = 42;
    list.columns[1].header = "Category";
    list.columns[1].picture = "@s255";
  }
  for (int i = 0; i < kButtonCount; ++i) {
    ui::ControlModel& b =
        w.AddButton("?BUTTON" + std::to_string(i + 1), "Button " + std::to_string(i + 1));
    b.at = {4 + i * 38, 130, 36, 14};
  }
  return w;
}

int HistoryWindow::Run(std::string_view title, std::string_view text, std::string_view icon,
                       int buttons, int defaultButton) {
  (void)text;
  ui::WindowModel layout = Layout();
  layout.title = std::string(title);
  values_ = AssignButtons(buttons);
  const int imageFeq = layout.FeqOf("?IMAGE");
  const std::string iconName = IconName(IconNumber(icon));
  layout.Control(imageFeq)->icon = iconName;
  layout.Control(imageFeq)->visible = !iconName.empty();
  const int firstButton = layout.FeqOf("?BUTTON1");
  for (int i = 0; i < kButtonCount; ++i) {
    ui::ControlModel* b = layout.Control(firstButton + i);
    b->visible = values_[i] != 0;
    if (values_[i] != 0) b->text = std::string(ButtonCaption(values_[i]));
    b->isDefault = values_[i] != 0 && values_[i] == defaultButton;
  }
  // Closing the window without a button must not count as agreement.
  result_ = (buttons & button::Cancel) ? button::Cancel
            : (buttons & button::No)   ? button::No
                                       : defaultButton;

  Win = std::make_unique<ui::Window>(std::move(layout));
  Reset(true);  // the rows are in place before the window shows
  Win->Open();
  while (Win->Accept()) {
    if (TakeEvent({Win->Event(), Win->Field(), Win->Keycode()}) == level::Notify) Win->Skip();
  }
  Kill();
  return result_;
}

void HistoryWindow::Reset(bool force) {
  (void)force;
  if (!Win || History == nullptr) return;
  std::vector<std::vector<std::string>> rows;
  rows.reserve(History->size());
  for (const HistoryEntry& h : *History) rows.push_back({h.TXT, h.CATEGORY});
  const int list = Win->Feq("?LIST");
  Win->SetRows(list, rows);
  if (!rows.empty()) Win->SetChoice(list, static_cast<int>(rows.size()));
}

Level HistoryWindow::TakeEvent(const ComponentEvent& event) {
  if (!Win || event.Event != ui::event::Accepted) return level::Benign;
  const int index = event.Field - Win->Feq("?BUTTON1");
  if (index < 0 || index >= kButtonCount || values_[index] == 0) return level::Benign;
  result_ = values_[index];
  Win->Close();
  return level::Benign;
}

void HistoryWindow::Kill() { Win.reset(); }

}  // namespace ck
