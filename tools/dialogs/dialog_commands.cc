#include "tools/dialogs/dialog_commands.h"

#include <optional>
#include <ostream>

#include "storage/vellum/vellum_driver.h"
#include "tools/dialogs/builder_dialog.h"
#include "tools/dialogs/table_chooser.h"
#include "tools/vlutool/vlutool_commands.h"

namespace ck::vlutool {

namespace {

// The command's position after the options; args.size() when none.
size_t CommandIndex(const std::vector<std::string>& args, std::string* owner) {
  size_t i = 0;
  for (; i < args.size() && args[i].rfind("--", 0) == 0; ++i) {
    if (args[i] == "--owner" && i + 1 < args.size()) {
      if (owner) *owner = args[i + 1];
      ++i;
    } else if (args[i].rfind("--owner=", 0) == 0) {
      if (owner) *owner = args[i].substr(8);
    }
  }
  return i;
}

}  // namespace

bool IsDialogCommand(const std::vector<std::string>& args) {
  const size_t i = CommandIndex(args, nullptr);
  return i < args.size() && (args[i] == "builder" || args[i] == "choose");
}

int RunDialogCommand(const std::vector<std::string>& args, const ShowWindows& show,
                     std::ostream& out, std::ostream& err) {
  std::string owner;
  const size_t i = CommandIndex(args, &owner);
  const std::string& command = args[i];
  const size_t extra = args.size() - i - 1;
  if ((command == "builder" && extra > 1) || (command == "choose" && extra > 0)) {
    err << "usage: vlutool " << (command == "builder" ? "builder [STRING]" : "choose") << "\n";
    return kExitUsage;
  }
  vellum::RegisterVellumDriver();
  std::optional<std::string> result;
  const int code = show([&] {
    if (command == "builder") {
      result = DriverStringBuilder(extra == 1 ? args[i + 1] : std::string());
    } else if (std::optional<ChosenTable> chosen = ChooseVellumTable(owner)) {
      result = chosen->Name();
    }
    return result ? kExitOk : kExitFailed;
  });
  if (code == kExitOk && result) {
    out << *result << "\n";
    return kExitOk;
  }
  if (code == kExitFailed) err << "vlutool: " << command << ": nothing was chosen\n";
  return code;
}

}  // namespace ck::vlutool
