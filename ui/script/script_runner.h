// Runs an automation script: one command a line, words separated by blanks,
// texts with blanks in double quotes ("" or \" for a quote inside), "#"
// starts a comment. The commands are listed in docs/script.md. Each command
// is echoed to the transcript with what it printed; the first command that
// cannot be carried out ends the run with one line "error: ...".
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "ui/script/script_driver.h"

namespace ck::ui {

// Splits a script line into words; false (and why) on an unclosed quote.
bool SplitScriptLine(std::string_view line, std::vector<std::string>* words, std::string* error);

class ScriptRunner {
 public:
  ScriptRunner(ScriptDriver* driver, std::ostream* out);
  ~ScriptRunner();
  ScriptRunner(const ScriptRunner&) = delete;
  ScriptRunner& operator=(const ScriptRunner&) = delete;

  // Runs every line; true when all were carried out. A byte-order mark at
  // the start is skipped.
  bool Run(std::istream& in);
  // Runs a script against a whole program: waits until the program shows
  // something (a window or a message box) or has ended (programEnded()),
  // runs every line, then waits up to the timeout until every window has
  // closed. True when all went through; otherwise one line "error: line N:
  // ..." has been written.
  bool RunProgram(std::istream& in, const std::function<bool()>& programEnded);
  // Runs one command line (already split); false when it failed.
  bool RunCommand(const std::vector<std::string>& words, std::string* error);

 private:
  ScriptDriver* driver_;
  std::ostream* out_;
  int lines_ = 0;  // lines read by the last Run
};

}  // namespace ck::ui
