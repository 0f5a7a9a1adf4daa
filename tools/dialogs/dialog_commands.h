// vlutool's commands that show windows: `builder [STRING]` (the driver
// string builder; prints the composed string on OK) and `choose` (the file
// and table chooser; prints FILE or FILE\!TABLE). They need a display and a
// build with Qt.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace ck::vlutool {

// Whether the command line (options first) names a dialog command.
bool IsDialogCommand(const std::vector<std::string>& args);

// Runs the dialog command of args on a thread of its own while show runs
// the windows (it calls the procedure it is given and returns its result).
// Exit codes as vlutool's: 0 chosen, 1 cancelled or failed, 2 wrong command line.
using ShowWindows = std::function<int(const std::function<int()>& procedure)>;
int RunDialogCommand(const std::vector<std::string>& args, const ShowWindows& show,
                     std::ostream& out, std::ostream& err);

}  // namespace ck::vlutool
