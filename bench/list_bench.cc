// The password list's moves on a small and on a large table: a browse over
// records of the PASSWORDS shape (the client domain key, duplicates
// allowed), in a list window driven through the script presenter as a user
// would drive it. Each step is timed from the user's action until every
// procedure thread has handled it (wall time, and the process's processor
// time); every step runs several times and the median is printed, with the
// large table's time as a multiple of the small one's. A list reads only the
// page it shows, so the two should cost about the same.
//
// Steps: open (the window with its first page), page down, bottom, top,
// locate (text typed into the locator), thumb drag (to 25, 50 and 75 %).
//
// Usage: list_bench [--runs R] [--small N] [--large N] [--folder DIR]
// Defaults: 5 runs, 10,000 and 1,000,000 records, /tmp. The files are built
// once (in commits of 10,000) and removed at the end.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/passwords_layout.h"
#include "framework/browse_manager.h"
#include "framework/entry_locator.h"
#include "framework/error_manager.h"
#include "framework/file_manager.h"
#include "framework/relation_manager.h"
#include "framework/string_step.h"
#include "framework/window_manager.h"
#include "runtime/field_ref.h"
#include "runtime/view/view.h"
#include "storage/codes.h"
#include "storage/records.h"
#include "storage/vellum/vellum_driver.h"
#include "ui/engine.h"
#include "ui/script/script_driver.h"
#include "ui/script/script_presenter.h"
#include "ui/window.h"

namespace {

using Clock = std::chrono::steady_clock;

enum Control { kList = 1, kLocatorPrompt, kLocator };

// The table's declaration and its record buffer.
struct Table {
  explicit Table(const std::string& path) : record(475, ' ') {
    ck::bench::DeclarePasswords(fcb, record.data(), path);
    fcb.label = "PASSWORDS";
  }
  ck::FieldRef Field(int i) {
    const ck::storage::FieldDescriptor& d = fcb.fields[i];
    return ck::FieldRef(record.data() + d.offset, d.length, d.type);
  }
  std::string record;
  ck::storage::FileControlBlock fcb;
};

void Check(bool ok, const std::string& what) {
  if (!ok) {
    std::fprintf(stderr, "list_bench: %s failed\n", what.c_str());
    std::exit(1);
  }
}

// Records like the password list's: domains "www.<letters>.com", logins,
// passwords and notes, every field space-padded.
void Build(const std::string& path, size_t count) {
  Table t(path);
  Check(ck::storage::Create(t.fcb) == 0, "create " + path);
  Check(ck::storage::Open(t.fcb, ck::storage::ReadWrite | ck::storage::DenyNone) == 0, "open");
  std::mt19937 rng(11);
  const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  auto word = [&](size_t lo, size_t hi) {
    std::string s(lo + rng() % (hi - lo + 1), ' ');
    for (char& c : s) c = kLetters[rng() % 36];
    return s;
  };
  for (size_t at = 0; at < count; at += 10000) {
    Check(ck::storage::Logout(1, {&t.fcb}) == 0, "logout");
    for (size_t i = at; i < std::min(count, at + 10000); ++i) {
      std::fill(t.record.begin(), t.record.end(), ' ');
      t.Field(0).Assign("www." + word(4, 20) + ".com");
      t.Field(1).Assign(word(5, 30) + "@mail.example");
      t.Field(2).Assign(word(8, 20));
      t.Field(3).Assign("notes " + word(10, 120));
      Check(ck::storage::Add(t.fcb) == 0, "add");
    }
    Check(ck::storage::Commit() == 0, "commit");
  }
  ck::storage::Close(t.fcb);
}

ck::ui::WindowModel ListLayout() {
  ck::ui::WindowModel w;
  w.kind = ck::ui::WindowKind::Dialog;
  w.title = "Passwords";
  w.at = {-1, -1, 262, 160};
  w.AddList("?LIST", "80L(2)|M~Client Domain~@s40@80L(2)|M~Login~@s40@").at = {4, 4, 250, 110};
  w.AddPrompt("?LOCATOR:PROMPT", "&Find:").at = {4, 120, 30, 10};
  w.AddEntry("?LOCATOR", "@s40").at = {36, 120, 100, 12};
  return w;
}

// The list procedure: a browse in client domain order with a locator and a
// thumb step, nothing to update.
class PasswordList : public ck::WindowManager {
 public:
  PasswordList(ck::ui::Window& w, ck::view::View& view, Table& table, ck::RelationManager& rm,
               ck::ErrorManager& errors)
      : window_(w), view_(view), table_(table), rm_(rm) {
    Errors = &errors;
  }
  ck::Level Init() override {
    const ck::Level base = WindowManager::Init();
    if (base != ck::level::Benign) return base;
    FirstField = kList;
    rm_.Open();
    FilesOpened = 1;
    browse_.Init(window_, kList, view_, rm_, *this);
    Open(window_);
    step_.StepInit(ck::stepflag::Letters | ck::stepflag::Digits, ck::steptable::RunTime);
    browse_.AddSortOrder(&step_, 0);
    locator_.Init(kLocator, table_.Field(0), true, &browse_);
    browse_.AddLocator(&locator_);
    browse_.AddField(table_.Field(0));
    browse_.AddField(table_.Field(1));
    SetAlerts();
    return ck::level::Benign;
  }
  ck::Level Kill() override {
    const ck::Level base = WindowManager::Kill();
    if (FilesOpened) rm_.Close();
    return base;
  }

 private:
  ck::ui::Window& window_;
  ck::view::View& view_;
  Table& table_;
  ck::RelationManager& rm_;
  ck::BrowseManager browse_;
  ck::StringStep step_;
  ck::EntryLocator locator_;
};

// Runs the list on a thread of its own until its window closes.
std::future<void> StartList(const std::string& path) {
  return std::async(std::launch::async, [path] {
    ck::ErrorManager errors;
    Table table(path);
    ck::FileManager fm;
    fm.Init(table.fcb, errors);
    fm.FileNameValue = "PASSWORDS";
    fm.AddKey(0, "PAS:KeyClientDomain");
    ck::RelationManager rm;
    rm.Init(fm, true);
    {
      ck::view::View view(table.fcb);
      ck::ui::Window window(ListLayout());
      PasswordList list(window, view, table, rm, errors);
      list.Run();
    }
    fm.Kill();
  });
}

struct Cost {
  double wall = 0, cpu = 0;
};

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return s(u.ru_utime) + s(u.ru_stime);
}

Cost Measure(const std::function<void()>& fn) {
  const auto wall = Clock::now();
  const double cpu = CpuSeconds();
  fn();
  return {std::chrono::duration<double>(Clock::now() - wall).count(), CpuSeconds() - cpu};
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t m = v.size() / 2;
  return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

void Ok(const ck::ui::ScriptResult& r, const char* what) {
  Check(r.ok, std::string(what) + ": " + r.error);
}

// The first row the list shows ("" when none).
std::string FirstRow(ck::ui::ScriptDriver& script) {
  const std::string out = script.Print("?LIST").output;
  const size_t line = out.find('\n');
  if (line == std::string::npos) return "";
  const size_t end = out.find('\n', line + 1);
  return out.substr(line + 1, end == std::string::npos ? std::string::npos : end - line - 1);
}

// Every step's costs, steps in the order first met.
using Steps = std::vector<std::pair<std::string, std::vector<Cost>>>;

void Record(Steps& steps, const std::string& name, const Cost& c) {
  auto it = std::find_if(steps.begin(), steps.end(), [&](const auto& s) { return s.first == name; });
  if (it == steps.end()) {
    steps.push_back({name, {}});
    it = steps.end() - 1;
  }
  it->second.push_back(c);
}

// One run of every step on the file.
void RunSteps(ck::ui::ScriptDriver& script, const std::string& path, Steps& steps) {
  std::future<void> list;
  Record(steps, "open, first page", Measure([&] {
           list = StartList(path);
           Ok(script.WaitWindow("Passwords"), "open");
         }));
  const std::string first = FirstRow(script);
  Check(!first.empty(), "a first page");
  for (int i = 0; i < 5; ++i) {
    Record(steps, "page down", Measure([&] { Ok(script.Scroll("?LIST", "pagedown"), "page down"); }));
  }
  Record(steps, "bottom", Measure([&] { Ok(script.Scroll("?LIST", "bottom"), "bottom"); }));
  Check(FirstRow(script) != first, "moving to the bottom");
  Record(steps, "top", Measure([&] { Ok(script.Scroll("?LIST", "top"), "top"); }));
  Check(FirstRow(script) == first, "moving back to the top");
  // Each of these lands away from the first page.
  for (const char* text : {"www.k", "www.q7", "www.c"}) {
    Record(steps, "locate", Measure([&] { Ok(script.Type("?LOCATOR", text), "locate"); }));
    Check(FirstRow(script) != first, std::string("locating ") + text);
  }
  for (int percent : {25, 50, 75}) {
    Record(steps, "thumb drag", Measure([&] { Ok(script.Thumb("?LIST", percent), "thumb"); }));
    Check(FirstRow(script) != first, "dragging the thumb to " + std::to_string(percent) + " %");
  }
  Ok(script.Close(), "close");
  Check(list.wait_for(std::chrono::seconds(60)) == std::future_status::ready, "closing the list");
}

std::string Count(size_t n) {
  const std::string digits = std::to_string(n);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  size_t runs = 5, small = 10000, large = 1000000;
  std::string base = "/tmp";
  for (int i = 1; i < argc; i += 2) {
    const std::string opt = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : "";
    if (opt == "--runs") runs = std::max<size_t>(1, std::strtoul(value, nullptr, 10));
    else if (opt == "--small") small = std::max<size_t>(1, std::strtoul(value, nullptr, 10));
    else if (opt == "--large") large = std::max<size_t>(1, std::strtoul(value, nullptr, 10));
    else if (opt == "--folder") base = value;
    else {
      std::fprintf(stderr, "usage: list_bench [--runs R] [--small N] [--large N] [--folder DIR]\n");
      return 2;
    }
  }
  ck::vellum::RegisterVellumDriver();
  const std::filesystem::path folder =
      std::filesystem::path(base) / ("ck_list_bench_" + std::to_string(getpid()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string smallFile = (folder / "SMALL.VLU").string();
  const std::string largeFile = (folder / "LARGE.VLU").string();
  std::fprintf(stderr, "list_bench: building %s and %s records\n", Count(small).c_str(),
               Count(large).c_str());
  Build(smallFile, small);
  Build(largeFile, large);

  ck::ui::ScriptPresenter presenter;
  ck::ui::Engine::Get().SetPresenter(&presenter);
  ck::ui::ScriptDriver script(&presenter);
  script.SetTimeout(std::chrono::seconds(60));
  Steps onSmall, onLarge;
  for (size_t run = 0; run < runs; ++run) {
    RunSteps(script, smallFile, onSmall);
    RunSteps(script, largeFile, onLarge);
    std::fprintf(stderr, "list_bench: run %zu of %zu done\n", run + 1, runs);
  }
  ck::ui::Engine::Get().SetPresenter(nullptr);

  std::printf("%zu run(s); milliseconds per step (median), %s records (S) and %s (L)\n", runs,
              Count(small).c_str(), Count(large).c_str());
  std::printf("%-18s %8s %8s %6s   %8s %8s %6s\n", "step", "wall S", "wall L", "L/S", "cpu S",
              "cpu L", "L/S");
  for (size_t i = 0; i < onSmall.size(); ++i) {
    auto med = [](const std::vector<Cost>& costs, double Cost::*m) {
      std::vector<double> v;
      for (const Cost& c : costs) v.push_back(c.*m * 1000);
      return Median(v);
    };
    const double ws = med(onSmall[i].second, &Cost::wall), wl = med(onLarge[i].second, &Cost::wall);
    const double cs = med(onSmall[i].second, &Cost::cpu), cl = med(onLarge[i].second, &Cost::cpu);
    std::printf("%-18s %8.2f %8.2f %6.2f   %8.2f %8.2f %6.2f\n", onSmall[i].first.c_str(), ws, wl,
                ws > 0 ? wl / ws : 0.0, cs, cl, cs > 0 ? cl / cs : 0.0);
  }
  std::filesystem::remove_all(folder);
  return 0;
}
