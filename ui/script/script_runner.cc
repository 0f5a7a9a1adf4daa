#include "ui/script/script_runner.h"

#include "ui/engine.h"

#include <strings.h>

#include <cstdlib>
#include <istream>
#include <ostream>
#include <algorithm>
#include <thread>

namespace ck::ui {

namespace {
bool Is(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

}  // namespace

bool SplitScriptLine(std::string_view line, std::vector<std::string>* words, std::string* error) {
  words->clear();
  size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
    } else if (c == '#') {
      break;
    } else if (c == '"') {
      std::string w;
      ++i;
      for (;;) {
        if (i >= line.size()) {
          *error = "unclosed quote";
          return false;
        }
        if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '"') {
          w += '"', i += 2;
        } else if (line[i] == '"' && i + 1 < line.size() && line[i + 1] == '"') {
          w += '"', i += 2;
        } else if (line[i] == '"') {
          ++i;
          break;
        } else {
          w += line[i++];
        }
      }
      words->push_back(std::move(w));
    } else {
      size_t start = i;
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
      words->emplace_back(line.substr(start, i - start));
    }
  }
  return true;
}

ScriptRunner::ScriptRunner(ScriptDriver* driver, std::ostream* out) : driver_(driver), out_(out) {
  driver_->SetEcho([this](const std::string& text) {
    *out_ << text;
    out_->flush();
  });
}

ScriptRunner::~ScriptRunner() { driver_->SetEcho(nullptr); }

bool ScriptRunner::RunCommand(const std::vector<std::string>& w, std::string* error) {
  const std::string& cmd = w[0];
  size_t n = w.size();
  auto need = [&](size_t args) {
    if (n - 1 == args) return true;
    *error = cmd + " takes " + std::to_string(args) + " argument(s)";
    return false;
  };
  ScriptResult r;
  int number = 0;
  if (Is(cmd, "wait") || Is(cmd, "activate")) {
    // An optional number picks one of several windows of that title.
    if (n == 3) {
      if (!ParseScriptInt(w[2], &number) || number < 1)
        return *error = cmd + ": window number (1 or more) expected", false;
    } else if (!need(1)) {
      return false;
    }
    r = Is(cmd, "wait") ? driver_->WaitWindow(w[1], number) : driver_->Activate(w[1], number);
  } else if (Is(cmd, "type")) {
    if (!need(2)) return false;
    r = driver_->Type(w[1], w[2]);
  } else if (Is(cmd, "press")) {
    if (!need(1)) return false;
    r = driver_->Press(w[1]);
  } else if (Is(cmd, "focus")) {
    if (!need(1)) return false;
    r = driver_->Focus(w[1]);
  } else if (Is(cmd, "key")) {
    if (!need(2)) return false;
    r = driver_->Key(w[1], w[2]);
  } else if (Is(cmd, "keys")) {
    if (!need(2)) return false;
    r = driver_->Keys(w[1], w[2]);
  } else if (Is(cmd, "choose")) {
    if (!need(2)) return false;
    r = driver_->Choose(w[1], w[2]);
  } else if (Is(cmd, "tab")) {
    if (!need(1)) return false;
    r = driver_->Tab(w[1]);
  } else if (Is(cmd, "items")) {
    if (!need(1)) return false;
    r = driver_->Items(w[1]);
  } else if (Is(cmd, "menu")) {
    if (!need(1)) return false;
    r = driver_->Menu(w[1]);
  } else if (Is(cmd, "toolbar")) {
    if (!need(1)) return false;
    r = driver_->Toolbar(w[1]);
  } else if (Is(cmd, "select")) {
    if (!need(2)) return false;
    if (!ParseScriptInt(w[2], &number)) return *error = "select: row number expected", false;
    r = driver_->SelectRow(w[1], number);
  } else if (Is(cmd, "thumb")) {
    if (!need(2)) return false;
    if (!ParseScriptInt(w[2], &number)) return *error = "thumb: percentage expected", false;
    r = driver_->Thumb(w[1], number);
  } else if (Is(cmd, "scroll")) {
    if (!need(2)) return false;
    r = driver_->Scroll(w[1], w[2]);
  } else if (Is(cmd, "answer")) {
    if (!need(1)) return false;
    r = driver_->Answer(w[1]);
  } else if (Is(cmd, "popup")) {
    if (!need(1)) return false;
    if (!ParseScriptInt(w[1], &number)) return *error = "popup: item number expected", false;
    r = driver_->Popup(number);
  } else if (Is(cmd, "file")) {
    if (!need(1)) return false;
    r = driver_->File(Is(w[1], "cancel") ? "" : w[1]);
  } else if (Is(cmd, "printersetup")) {
    if (!need(1)) return false;
    r = driver_->PrinterSetup(w[1]);
  } else if (Is(cmd, "print")) {
    if (!need(1)) return false;
    r = driver_->Print(w[1]);
  } else if (Is(cmd, "rows")) {
    if (!need(1)) return false;
    r = driver_->Rows(w[1]);
  } else if (Is(cmd, "title")) {
    if (!need(0)) return false;
    r = driver_->Title();
  } else if (Is(cmd, "status")) {
    if (!need(0)) return false;
    r = driver_->Status();
  } else if (Is(cmd, "close")) {
    if (!need(0)) return false;
    r = driver_->Close();
  } else if (Is(cmd, "screenshot")) {
    if (!need(1)) return false;
    r = driver_->Screenshot(w[1]);
  } else if (Is(cmd, "timeout")) {
    if (!need(1)) return false;
    if (!ParseScriptInt(w[1], &number) || number < 0) return *error = "timeout: seconds expected", false;
    driver_->SetTimeout(std::chrono::milliseconds(1000 * number));
  } else if (Is(cmd, "sleep")) {
    if (!need(1)) return false;
    if (!ParseScriptInt(w[1], &number) || number < 0) return *error = "sleep: milliseconds expected", false;
    std::this_thread::sleep_for(std::chrono::milliseconds(number));
  } else {
    *error = "unknown command " + cmd;
    return false;
  }
  *out_ << r.output << driver_->TakeNotes();
  if (!r.ok) *error = r.error;
  return r.ok;
}

bool ScriptRunner::Run(std::istream& in) {
  std::string line;
  int& lineNo = lines_;
  lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    if (lineNo == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    std::vector<std::string> words;
    std::string error;
    bool ok = SplitScriptLine(line, &words, &error);
    if (ok && words.empty()) continue;
    if (ok) {
      *out_ << "> " << line << "\n";
      ok = RunCommand(words, &error);
    }
    if (!ok) {
      *out_ << "error: line " << lineNo << ": " << error << std::endl;
      return false;
    }
    out_->flush();
  }
  return true;
}

bool ScriptRunner::RunProgram(std::istream& in, const std::function<bool()>& programEnded) {
  // Starting may read files and ask for a password first: allow it more than a step.
  auto startBy = Engine::Clock::now() + std::max<std::chrono::milliseconds>(
                                            driver_->timeout(), std::chrono::seconds(30));
  Engine& e = Engine::Get();
  if (!e.WaitUntil([&] { return !e.Windows().empty() || e.Asking() || programEnded(); },
                   startBy)) {
    *out_ << "error: line 1: the program showed no window" << std::endl;
    return false;
  }
  e.WaitIdle(startBy);
  if (!Run(in)) return false;
  ScriptResult closed = driver_->WaitAllClosed();
  if (!closed.ok) {
    *out_ << "error: line " << lines_ + 1 << ": the script ended while " << closed.error
          << std::endl;
    return false;
  }
  return true;
}

}  // namespace ck::ui
