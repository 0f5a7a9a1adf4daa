// The preview's small windows: "Jump to a Report Page", "Change the Report
// Display" and "Pages to Print". Each runs modally on the preview's thread.
#include "framework/print_preview.h"
#include "framework/report_messages.h"
#include "framework/settings_manager.h"
#include "ui/window.h"

namespace ck {

namespace {

ui::ControlModel& Button(ui::WindowModel& m, const char* name, const char* text, ui::Rect at,
                         const char* tip = "") {
  ui::ControlModel& b = m.AddButton(name, text);
  b.at = at;
  b.tip = b.msg = tip;
  return b;
}

}  // namespace

bool PrintPreview::AskJump() {
  const long total = PageCount();
  ui::WindowModel m;
  m.title = "Jump to a Report Page";
  m.at = {-1, -1, 140, 48};
  m.resizable = false;
  m.AddPrompt("?JUMP:PROMPT", "&Page:").at = {6, 8, 30, 10};
  ui::ControlModel& entry = m.AddEntry("?JUMP:PAGE", "@n5");
  entry.at = {40, 6, 40, 12};
  entry.tip = entry.msg = "Select a page of the report";
  Button(m, "?OK", "OK", {30, 28, 45, 14}, "Jump to the selected page").isDefault = true;
  Button(m, "?CANCEL", "Cancel", {80, 28, 45, 14}, "Cancel this selection").isCancel = true;
  ui::Window w(m);
  std::string page = std::to_string(CURRENTPAGE);
  w.Open();
  w.Bind(2, ui::UseVar::Of(&page));
  w.Display();
  w.Select(2);
  bool jumped = false;
  while (w.Accept()) {
    if (w.Event() != ui::event::Accepted) continue;
    if (w.Field() == 4) {
      w.Close();
    } else if (w.Field() == 3) {
      w.Update();
      const long n = PageNumberOf(page);
      if (n < 1 || n > total) {
        ReportProblem(Errors, "Jump to a Report Page",
                      "Enter a page number from 1 to " + std::to_string(total) + ".");
        w.Select(2);
        continue;
      }
      CURRENTPAGE = n;
      jumped = true;
      w.Close();
    }
  }
  if (jumped) TakeCurrentPage();
  return jumped;
}

bool PrintPreview::AskThumbnails() {
  ui::WindowModel m;
  m.title = "Change the Report Display";
  m.at = {-1, -1, 130, 70};
  m.resizable = false;
  m.Add(ui::ControlType::Group, "?DISPLAY:GROUP", "Pages Displayed").at = {4, 2, 122, 42};
  m.AddPrompt("?DISPLAY:ACROSSPROMPT", "Across").at = {12, 16, 30, 10};
  m.AddEntry("?DISPLAY:ACROSS", "@N2").at = {46, 14, 20, 12};
  m.AddPrompt("?DISPLAY:DOWNPROMPT", "Down").at = {12, 30, 30, 10};
  m.AddEntry("?DISPLAY:DOWN", "@N2").at = {46, 28, 20, 12};
  Button(m, "?OK", "OK", {42, 50, 45, 14}).isDefault = true;
  ui::Window w(m);
  std::string across = std::to_string(PAGESACROSS), down = std::to_string(PAGESDOWN);
  w.Open();
  w.Bind(3, ui::UseVar::Of(&across));
  w.Bind(5, ui::UseVar::Of(&down));
  w.Display();
  w.Select(3);
  bool changed = false;
  while (w.Accept()) {
    if (w.Event() != ui::event::Accepted || w.Field() != 6) continue;
    w.Update();
    const long a = PageNumberOf(across), d = PageNumberOf(down);
    if (a < 1 || d < 1) {
      ReportProblem(Errors, "Change the Report Display",
                    "Enter at least 1 page across and 1 page down.");
      w.Select(a < 1 ? 3 : 5);
      continue;
    }
    PAGESACROSS = static_cast<uint16_t>(a);
    PAGESDOWN = static_cast<uint16_t>(d);
    changed = true;
    w.Close();
  }
  if (changed) {
    // Several pages at once are shown as thumbnails.
    if (static_cast<long>(PAGESACROSS) * PAGESDOWN > 1) {
      ZOOMINDEX = 1;
      userZoom_ = 0;
    }
    KeepCurrentShown(true);
    LayoutPages();
  }
  return changed;
}

bool PrintPreview::AskPages() {
  const long total = PageCount();
  ui::WindowModel m;
  m.title = "Pages to Print";
  m.at = {-1, -1, 200, 50};
  m.resizable = false;
  m.AddPrompt("?PAGES:PROMPT", "&Pages to Print:").at = {6, 8, 56, 10};
  m.AddEntry("?PAGES:TEXT", "@s255").at = {64, 6, 130, 12};
  Button(m, "?RESET", "&Reset", {44, 30, 45, 14});
  Button(m, "?OK", "&Ok", {94, 30, 45, 14}).isDefault = true;
  Button(m, "?CANCEL", "&Cancel", {144, 30, 45, 14}).isCancel = true;
  ui::Window w(m);
  std::string text = PAGESTOPRINT;
  if (INIMGR != nullptr) INIMGR->FetchWindow(PreviewPagesSection, w);
  w.Open();
  w.Bind(2, ui::UseVar::Of(&text));
  w.Display();
  w.Select(2);
  bool ok = false;
  while (w.Accept()) {
    if (w.Event() == ui::event::CloseWindow && INIMGR != nullptr)
      INIMGR->UpdateWindow(PreviewPagesSection, w);
    if (w.Event() != ui::event::Accepted) continue;
    if (w.Field() == 3) {
      text = "1-" + std::to_string(total);
      w.Display(2);
    } else if (w.Field() == 5) {
      w.Post(ui::event::CloseWindow);
    } else if (w.Field() == 4) {
      w.Update();
      if (ChosenPages(text, total).empty()) {
        ReportProblem(Errors, "Pages to Print",
                      "The pages to print, \"" + text + "\", name no page from 1 to " +
                          std::to_string(total) + ".");
        w.Select(2);
        continue;
      }
      PAGESTOPRINT = text;
      ok = true;
      w.Post(ui::event::CloseWindow);
    }
  }
  return ok;
}

}  // namespace ck
