// vlutool: a command-line tool for Vellum data files (see README.md).
#include <iostream>
#include <string>
#include <vector>

#include "tools/dialogs/dialog_commands.h"
#include "tools/vlutool/vlutool_commands.h"
#ifdef CELLARKEY_HAVE_QT
#include "ui/qt/qt_run.h"
#endif

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (ck::vlutool::IsDialogCommand(args)) {
#ifdef CELLARKEY_HAVE_QT
    auto show = [&](const std::function<int()>& procedure) {
      return ck::ui::RunWithQt(argc, argv, procedure);
    };
    return ck::vlutool::RunDialogCommand(args, show, std::cout, std::cerr);
#else
    std::cerr << "vlutool: built without Qt: the dialogs cannot be shown\n";
    return 1;
#endif
  }
  return ck::vlutool::RunVlutool(args, std::cout, std::cerr);
}
