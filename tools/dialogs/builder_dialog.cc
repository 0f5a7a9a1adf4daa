#include "tools/dialogs/builder_dialog.h"

#include "storage/vellum/option_builder.h"
#include "ui/dialogs.h"
#include "ui/window.h"

namespace ck::vlutool {

namespace {
using namespace ck::ui;
namespace text = vellum::builder_text;

constexpr int kFile = 2, kLookup = 3, kCheck = 4, kOk = 5, kHelp = 7;

WindowModel BuilderLayout() {
  WindowModel w;
  w.title = std::string(text::kTitle);
  w.at = {-1, -1, 240, 90};
  w.resizable = false;
  w.AddPrompt("?TCF:PROMPT", std::string(text::kControlFilePrompt)).at = {6, 8, 150, 10};
  w.AddEntry("?TCF", "@s" + std::to_string(vellum::kMaxBuilderControlFileName)).at =
      {6, 20, 206, 12};
  ControlModel& lookup = w.AddButton("?LOOKUPTCF", "...");
  lookup.at = {216, 19, 18, 14};
  lookup.tip = std::string(text::kSelectControlFileTitle);
  w.Add(ControlType::Check, "?DECIMALCHECK", std::string(text::kCheckDecimalPlaces)).at =
      {6, 40, 150, 12};
  ControlModel& ok = w.AddButton("?OK", "&OK");
  ok.at = {76, 66, 50, 16};
  ok.isDefault = true;
  w.AddButton("?CANCEL", "Cancel", StdAction::Close).at = {130, 66, 50, 16};
  w.AddButton("?HELP", "&Help").at = {184, 66, 50, 16};
  return w;
}

// A name that needs brackets in the string cannot also hold "]".
bool Composable(std::string_view name) {
  const bool bracketed = name.find('/') != std::string_view::npos ||
                         (!name.empty() && (name.front() == '[' || name.front() == ' '));
  return !bracketed || name.find(']') == std::string_view::npos;
}

}  // namespace

std::optional<std::string> DriverStringBuilder(std::string_view driverString) {
  vellum::BuilderParse parsed = vellum::ParseForBuilder(driverString);
  vellum::BuilderFields fields = parsed.fields;
  std::string file = fields.transactionControlFile;
  std::string check = fields.checkDecimalPlaces ? "1" : "0";
  std::optional<std::string> result;

  Window w(BuilderLayout());
  w.Bind(kFile, UseVar::Of(&file));
  w.Bind(kCheck, UseVar::Of(&check));
  w.Open();
  w.Display();
  while (w.Accept()) {
    if (w.Event() == event::OpenWindow) {
      for (const std::string& m : parsed.messages) Message(m, text::kTitle, MessageIcon::Exclamation);
      w.Select(kFile);
      continue;
    }
    if (w.Event() != event::Accepted) continue;
    switch (w.Field()) {
      case kLookup: {
        std::string chosen = file;
        if (FileDialog(text::kSelectControlFileTitle, &chosen, text::kControlFileFilter, false)) {
          file = chosen.substr(0, vellum::kMaxBuilderControlFileName);
          w.Display(kFile);
        }
        break;
      }
      case kHelp:
        Message(std::string(text::kControlFileHelp) + "||" + std::string(text::kDecimalCheckHelp),
                std::string(text::kTitle) + " - Help", MessageIcon::Information);
        break;
      case kOk: {
        w.Update();
        const std::string name(ClipTrailing(file));
        if (!Composable(name)) {
          Message("A transaction control file name that holds \"/\" or starts with \"[\" or a "
                  "blank cannot also hold \"]\".",
                  text::kTitle, MessageIcon::Exclamation);
          w.Select(kFile);
          break;
        }
        fields.transactionControlFile = name;
        fields.checkDecimalPlaces = check == "1";
        result = vellum::ComposeDriverString(fields);
        w.Post(event::CloseWindow);
        break;
      }
      default:
        break;
    }
  }
  return result;
}

}  // namespace ck::vlutool
