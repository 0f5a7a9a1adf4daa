// The password list report's speed: the program itself, run in this process
// with the script presenter, prints a PASSWORDS table of 10,000 entries (by
// default) from its menu; each run is timed from the menu choice until the
// preview shows the finished pages (reading the table in key order, laying
// out the bands, writing the page images). Prints the median time and the
// records per second.
//
// Usage: report_bench [--runs R] [--entries N] [--folder DIR]
// Defaults: 3 runs, 10,000 entries, /tmp.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <random>
#include <string>
#include <vector>

#include "app/main_frame.h"
#include "app/passwords_table.h"
#include "app/program.h"
#include "framework/file_manager.h"
#include "framework/relation_manager.h"
#include "runtime/thread.h"
#include "ui/engine.h"
#include "ui/script/script_driver.h"
#include "ui/script/script_presenter.h"

namespace {

void Ok(const ck::ui::ScriptResult& r, const char* what) {
  if (!r.ok) {
    std::fprintf(stderr, "report_bench: %s: %s\n", what, r.error.c_str());
    std::exit(1);
  }
}

// count entries in the program's own table, in the current folder.
void Fill(size_t count) {
  std::mt19937 rng(5);
  const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  auto word = [&](size_t lo, size_t hi) {
    std::string s(lo + rng() % (hi - lo + 1), ' ');
    for (char& c : s) c = kLetters[rng() % 36];
    return s;
  };
  bool ok = false;
  ck::RunFirstThread([&] {
    if (ck::app::Relate_PASSWORDS()->Open() != 0) return;
    ok = true;
    for (size_t i = 0; i < count && ok; ++i) {
      ck::app::PAS_ClientDomain().Assign("www." + word(4, 20) + ".com");
      ck::app::PAS_Login().Assign(word(5, 30) + "@mail.example");
      ck::app::PAS_Password().Assign(word(8, 20));
      ck::app::PAS_OtherInfo().Assign("notes " + word(10, 120));
      ok = ck::app::Access_PASSWORDS()->TryInsert() == 0;
    }
    ck::app::Relate_PASSWORDS()->Close();
  });
  if (!ok) {
    std::fprintf(stderr, "report_bench: filling the table failed\n");
    std::exit(1);
  }
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t m = v.size() / 2;
  return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  size_t runs = 3, entries = 10000;
  std::string base = "/tmp";
  for (int i = 1; i < argc; i += 2) {
    const std::string opt = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : "";
    if (opt == "--runs") runs = std::max<size_t>(1, std::strtoul(value, nullptr, 10));
    else if (opt == "--entries") entries = std::max<size_t>(1, std::strtoul(value, nullptr, 10));
    else if (opt == "--folder") base = value;
    else {
      std::fprintf(stderr, "usage: report_bench [--runs R] [--entries N] [--folder DIR]\n");
      return 2;
    }
  }
  // The program keeps its files in the current folder.
  const std::filesystem::path folder =
      std::filesystem::path(base) / ("ck_report_bench_" + std::to_string(getpid()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  ck::app::PrepareProcess();
  Fill(entries);

  ck::ui::ScriptPresenter presenter;
  ck::ui::Engine::Get().SetPresenter(&presenter);
  ck::ui::ScriptDriver script(&presenter);
  script.SetTimeout(std::chrono::seconds(600));
  std::promise<void> ended;
  ck::StartFirstThread([] { ck::app::ProgramProcedure(); }, [&] { ended.set_value(); });
  Ok(script.WaitWindow("Please enter your password"), "the password window");
  Ok(script.Type("?G:PASS", "qelvant"), "typing the password");
  Ok(script.Press("?BUTTON2"), "passing the gate");
  std::vector<double> seconds;
  for (size_t run = 0; run < runs; ++run) {
    Ok(script.WaitWindow(ck::app::kFrameTitle), "the frame");
    const auto start = std::chrono::steady_clock::now();
    Ok(script.Menu("Reports/PRINT PASSWORDS LIST"), "the report's menu entry");
    Ok(script.WaitWindow("Report Preview"), "the preview");
    seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    Ok(script.Menu("File/Exit"), "closing the preview");
    std::fprintf(stderr, "report_bench: run %zu of %zu done\n", run + 1, runs);
  }
  Ok(script.WaitWindow(ck::app::kFrameTitle), "the frame");
  Ok(script.Menu("File/Exit"), "ending the program");
  Ok(script.WaitAllClosed(), "closing every window");
  ended.get_future().wait();
  ck::WaitForThreads();
  ck::ui::Engine::Get().SetPresenter(nullptr);
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(folder);

  const double median = Median(seconds);
  std::printf("report of %zu entries, %zu run(s): %.3f s from the menu to the preview "
              "(median), %.0f records per second\n",
              entries, runs, median, static_cast<double>(entries) / median);
  return 0;
}
