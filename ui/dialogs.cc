#include "ui/dialogs.h"

#include <algorithm>

#include "ui/engine.h"
#include "ui/popup_text.h"
#include "ui/printers.h"

namespace ck::ui {

int Message(std::string_view text, std::string_view caption, MessageIcon icon, int buttons,
            int defaultButton) {
  auto r = std::make_shared<Request>();
  r->kind = Request::Kind::Message;
  r->text = text;
  r->caption = caption;
  r->icon = icon;
  r->buttons = buttons & 0xFF ? buttons & 0xFF : button::Ok;
  // A default that is not offered falls back to the first offered button.
  r->defaultButton = (defaultButton & r->buttons) && !(defaultButton & (defaultButton - 1))
                         ? defaultButton
                         : r->buttons & -r->buttons;
  int answer = Engine::Get().Ask(r);
  // Only an offered button is a valid answer.
  return (answer & r->buttons) && !(answer & (answer - 1)) ? answer : r->defaultButton;
}

int PopupMenu(std::string_view menuText) {
  auto r = std::make_shared<Request>();
  r->kind = Request::Kind::Popup;
  r->menuText = menuText;
  auto items = std::make_shared<std::vector<PopupItem>>(ParsePopupText(menuText));
  r->popup = items;
  int answer = Engine::Get().Ask(r);
  const PopupItem* item = FindPopupItem(*items, answer);
  return item && !item->disabled ? answer : 0;
}

bool FileDialog(std::string_view title, std::string* fileName, std::string_view filters,
                bool save) {
  auto r = std::make_shared<Request>();
  r->kind = Request::Kind::FileDialog;
  r->caption = title;
  r->fileName = *fileName;
  r->filters = filters;
  r->save = save;
  if (Engine::Get().Ask(r) != 1 || r->answerText().empty()) return false;
  *fileName = r->answerText();
  return true;
}

bool PrinterSetup() {
  auto r = std::make_shared<Request>();
  r->kind = Request::Kind::PrinterSetup;
  r->caption = "Print Setup";
  const PrinterList installed = InstalledPrinters();
  r->items = installed.names;
  r->items.push_back(kPrintToPdf);
  if (installed.names.empty()) r->text = "No printer is installed. Reports can be printed to a PDF file.";
  const std::string current = ChosenPrinter().empty() ? installed.defaultName : ChosenPrinter();
  auto at = std::find(r->items.begin(), r->items.end(), current);
  r->choice = at != r->items.end() ? static_cast<int>(at - r->items.begin()) + 1 : 1;
  if (Engine::Get().Ask(r) != 1) return false;
  // Only a printer the dialog offered is kept.
  const std::string chosen = r->answerText();
  if (std::find(r->items.begin(), r->items.end(), chosen) == r->items.end()) return false;
  SetChosenPrinter(chosen);
  return true;
}

void Beep() { Engine::Get().Command(0, StdAction::Alert); }

BusyCursor::BusyCursor() { Engine::Get().SetBusy(true); }
BusyCursor::~BusyCursor() { Engine::Get().SetBusy(false); }

bool PostEvent(WindowId window, int event, int feq) {
  return Engine::Get().Post(window, {event, feq, 0});
}

bool PostToThread(int thread, int event, int feq) {
  return Engine::Get().PostToThread(thread, {event, feq, 0});
}

int ThisThread() { return Engine::Get().ThreadNumber(); }
WindowId ActiveWindow() { return Engine::Get().ActiveWindow(); }
int ActiveThread() { return Engine::Get().ActiveThread(); }
WindowId FindWindow(std::string_view title) { return Engine::Get().FindWindow(title); }

}  // namespace ck::ui
