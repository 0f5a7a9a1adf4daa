// The browse over 3,000 accounts, used through the script presenter: paging
// and its edge cases, the thumb (by the string step, at 1 % and 100 %), the
// locator on a case-free and on a descending order, an empty list, and what
// a move reads.
#include "framework/browse_manager.h"

#include <gtest/gtest.h>

#include "storage/codes.h"
#include "tests/framework/browse_fixture.h"
#include "ui/engine.h"

namespace ck::fixture {
namespace {

using Domains = std::vector<std::string>;

Domains Range(int from, int to) {
  Domains out;
  for (int n = from; n <= to; ++n) out.push_back(Domain(n));
  return out;
}

TEST_F(BrowseTest, PagingKeepsAPageAndItsEdgesHold) {
  Fill(3000);
  ListRun run;
  auto f = StartList(run);
  Ok(script.WaitWindow("Accounts"));
  int choice = 0;
  EXPECT_EQ(Shown(&choice), Range(0, 9));
  EXPECT_EQ(choice, 1);
  EXPECT_EQ(Thumb(), 1);  // the step puts the first value at 1 %

  Ok(script.Scroll("?LIST", "down"));  // inside the page: the highlight moves
  EXPECT_EQ(Shown(&choice), Range(0, 9));
  EXPECT_EQ(choice, 2);
  Ok(script.Scroll("?LIST", "pagedown"));  // a full page read: same screen row
  EXPECT_EQ(Shown(&choice), Range(10, 19));
  EXPECT_EQ(choice, 2);
  Ok(script.Scroll("?LIST", "up"));
  Ok(script.Scroll("?LIST", "up"));  // at the first row: the page shifts by one
  EXPECT_EQ(Shown(&choice), Range(9, 18));
  EXPECT_EQ(choice, 1);

  // Bottom shows the last page with the last record highlighted.
  Ok(script.Scroll("?LIST", "bottom"));
  EXPECT_EQ(Shown(&choice), Range(2990, 2999));
  EXPECT_EQ(choice, 10);
  EXPECT_EQ(Thumb(), 100);
  Ok(script.Scroll("?LIST", "down"));  // at the end of the data nothing happens
  EXPECT_EQ(Shown(&choice), Range(2990, 2999));
  EXPECT_EQ(choice, 10);

  // One row down at the last row of a full page drops the first row.
  Ok(script.Scroll("?LIST", "pageup"));
  EXPECT_EQ(Shown(&choice), Range(2980, 2989));
  EXPECT_EQ(choice, 10);
  for (int i = 0; i < 5; ++i) Ok(script.Scroll("?LIST", "down"));
  EXPECT_EQ(Shown(&choice), Range(2985, 2994));
  // Page down on the last page moves the highlight by the rows not read.
  for (int i = 0; i < 7; ++i) Ok(script.Scroll("?LIST", "up"));
  EXPECT_EQ(Shown(&choice), Range(2985, 2994));
  EXPECT_EQ(choice, 3);
  Ok(script.Scroll("?LIST", "pagedown"));  // five rows were left to read
  EXPECT_EQ(Shown(&choice), Range(2990, 2999));
  EXPECT_EQ(choice, 8);
  Ok(script.Scroll("?LIST", "pagedown"));  // and never past the last row
  EXPECT_EQ(Shown(&choice), Range(2990, 2999));
  EXPECT_EQ(choice, 10);

  Ok(script.Scroll("?LIST", "top"));
  EXPECT_EQ(Shown(&choice), Range(0, 9));
  EXPECT_EQ(choice, 1);

  // The thumb: 100 % as bottom, 1 % or less as top, the step in between.
  Ok(script.Thumb("?LIST", 100));
  EXPECT_EQ(Shown(&choice), Range(2990, 2999));
  EXPECT_EQ(choice, 10);
  Ok(script.Thumb("?LIST", 1));
  EXPECT_EQ(Shown(&choice), Range(0, 9));
  Ok(script.Thumb("?LIST", 50));
  const Domains middle = Shown(&choice);
  ASSERT_EQ(middle.size(), 10u);
  EXPECT_GT(middle[0], "delta9999");
  EXPECT_LT(middle[0], "golf");
  EXPECT_GE(Thumb(), 40);
  EXPECT_LE(Thumb(), 60);

  Ok(script.Close());
  ASSERT_TRUE(Finished(f));
  EXPECT_TRUE(run.messages.empty());
}

// A window resized (by the user, maximised, tiled) changes how many rows its
// list shows: the page follows at once, keeping the highlighted row.
TEST_F(BrowseTest, ThePageFollowsTheRowsTheListShows) {
  Fill(3000);
  ListRun run;
  auto f = StartList(run);
  Ok(script.WaitWindow("Accounts"));
  Ok(script.Scroll("?LIST", "pagedown"));
  Ok(script.Scroll("?LIST", "down"));
  int choice = 0;
  EXPECT_EQ(Shown(&choice), Range(10, 19));
  EXPECT_EQ(choice, 2);
  ui::Engine& e = ui::Engine::Get();
  const ui::WindowId id = e.FindWindow("Accounts");
  auto showRows = [&](int rows) {
    ASSERT_TRUE(e.UserVisibleRows(id, kList, rows));  // as the presenter measures them
    ASSERT_TRUE(e.WaitIdle(ui::Engine::Clock::now() + std::chrono::seconds(10)));
  };
  // The refill reads under the busy cursor, and gives the cursor back.
  auto busyNow = [&] { return e.Snapshot(id)->busy; };
  int reads = 0, busyReads = 0;
  driver->SetIntercept([&](int op, storage::FileControlBlock&, storage::DriverArgs&) -> std::optional<int> {
    if (op == storage::NEXT || op == storage::PREVIOUS) {
      ++reads;
      busyReads += busyNow();
    }
    return std::nullopt;
  });
  showRows(16);
  driver->SetIntercept(nullptr);
  EXPECT_GT(reads, 0);
  EXPECT_EQ(busyReads, reads);
  EXPECT_FALSE(busyNow());
  EXPECT_EQ(Shown(&choice), Range(10, 25));
  EXPECT_EQ(Shown()[static_cast<size_t>(choice - 1)], Domain(11));
  showRows(4);
  EXPECT_EQ(Shown(&choice), Range(10, 13));
  EXPECT_EQ(choice, 2);
  // A highlight below the smaller page keeps its record: rows above it leave.
  Ok(script.Scroll("?LIST", "down"));
  Ok(script.Scroll("?LIST", "down"));
  showRows(2);
  EXPECT_EQ(Shown(&choice), Range(12, 13));
  EXPECT_EQ(choice, 2);
  showRows(10);
  EXPECT_EQ(Shown(&choice), Range(12, 21));
  EXPECT_EQ(choice, 2);
  Ok(script.Close());
  ASSERT_TRUE(Finished(f));
}

TEST_F(BrowseTest, AMoveReadsOnlyThePageItShows) {
  Fill(3000);
  ListRun run;
  auto f = StartList(run);
  Ok(script.WaitWindow("Accounts"));
  auto reads = [&] { return driver->Count(storage::NEXT) + driver->Count(storage::PREVIOUS); };
  Shown();
  struct Move {
    const char* what;
    std::function<ui::ScriptResult()> act;
  };
  const Move moves[] = {
      {"page down", [&] { return script.Scroll("?LIST", "pagedown"); }},
      {"bottom", [&] { return script.Scroll("?LIST", "bottom"); }},
      {"page up", [&] { return script.Scroll("?LIST", "pageup"); }},
      {"thumb", [&] { return script.Thumb("?LIST", 30); }},
      {"locate", [&] { return script.Type("?LOCATOR", "hotel"); }},
      {"top", [&] { return script.Scroll("?LIST", "top"); }},
  };
  for (const Move& m : moves) {
    driver->ClearCalls();
    Ok(m.act());
    Shown();
    // A page of ten rows, the row it starts from, and the step's two limits.
    EXPECT_LE(reads(), 24) << m.what;
    EXPECT_EQ(driver->Count(storage::SETfile), 0) << m.what;  // no scan in record order
  }
  Ok(script.Close());
  ASSERT_TRUE(Finished(f));
}

TEST_F(BrowseTest, TheLocatorFindsTheTypedTextWithoutRegardToCase) {
  Fill(3000);
  ListRun run;
  auto f = StartList(run);
  Ok(script.WaitWindow("Accounts"));
  int choice = 0;
  Ok(script.Type("?LOCATOR", "ech"));
  EXPECT_EQ(Shown(&choice), Range(1200, 1209));
  EXPECT_EQ(choice, 1);
  EXPECT_EQ(script.Print("?LOCATOR").output, "?LOCATOR = \"ech\"\n");
  Ok(script.Scroll("?LIST", "down"));  // a move starts the typing afresh
  EXPECT_EQ(script.Print("?LOCATOR").output, "?LOCATOR = \"\"\n");
  Ok(script.Type("?LOCATOR", "HOTEL0150"));
  EXPECT_EQ(Shown(&choice)[0], "hotel0150");
  // Past the last value: the last page, its last row highlighted.
  Ok(script.Type("?LOCATOR", "zulu"));
  EXPECT_EQ(Shown(&choice), Range(2990, 2999));
  EXPECT_EQ(choice, 10);
  Ok(script.Close());
  ASSERT_TRUE(Finished(f));
}

// A case-free locator over a case-sensitive key (the password list's case):
// the key sorts "echo" before "ECHO", so searching from the upper-cased text
// would land past every small-letter value.
TEST_F(BrowseTest, ACaseFreeLocatorOnACaseSensitiveKeyFindsSmallLetters) {
  Fill(3000, false);
  ListRun run;
  run.nocase = false;
  auto f = StartList(run);
  Ok(script.WaitWindow("Accounts"));
  int choice = 0;
  for (const char* typed : {"ech", "ECH", "eCh"}) {
    Ok(script.Type("?LOCATOR", typed));
    EXPECT_EQ(Shown(&choice)[choice - 1], "echo0000") << typed;
  }
  Ok(script.Close());
  ASSERT_TRUE(Finished(f));
}

TEST_F(BrowseTest, CharactersTypedOnTheListGoToTheLocator) {
  Fill(3000);
  ListRun run;
  auto f = StartList(run);
  Ok(script.WaitWindow("Accounts"));
  Ok(script.Keys("?LIST", "gol"));
  EXPECT_EQ(script.Print("?LOCATOR").output, "?LOCATOR = \"gol\"\n");
  auto m = ui::Engine::Get().Snapshot(script.current());
  ASSERT_TRUE(m.has_value());
  EXPECT_EQ(m->focus, kLocator);  // the typing went on in the entry
  Ok(script.Key("?LOCATOR", "Enter"));
  int choice = 0;
  EXPECT_EQ(Shown(&choice), Range(1800, 1809));
  EXPECT_EQ(ui::Engine::Get().Snapshot(script.current())->focus, kList);  // back on the list
  // Typing on the list again starts a new search: the entry's text, selected
  // as the focus moves there, is typed over.
  Ok(script.Keys("?LIST", "ho"));
  EXPECT_EQ(script.Print("?LOCATOR").output, "?LOCATOR = \"ho\"\n");
  Ok(script.Key("?LOCATOR", "Enter"));
  EXPECT_EQ(Shown(&choice), Range(2100, 2109));
  Ok(script.Close());
  ASSERT_TRUE(Finished(f));
}

TEST_F(BrowseTest, ADescendingOrderLocatesAfterEveryValueBeginningWithTheText) {
  Fill(3000, true, true);
  ListRun run;
  run.descendingKey = true;
  run.stepControls |= stepflag::Descending;
  auto f = StartList(run);
  Ok(script.WaitWindow("Accounts"));
  int choice = 0;
  EXPECT_EQ(Shown(&choice)[0], "juliet0299");
  Ok(script.Type("?LOCATOR", "ech"));
  const Domains rows = Shown(&choice);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0], "echo0299");  // the highest echo: every echo follows
  EXPECT_EQ(rows[1], "echo0298");
  EXPECT_GE(Thumb(), 45);  // echo lies a little past the middle of the way down
  EXPECT_LE(Thumb(), 65);
  Ok(script.Scroll("?LIST", "bottom"));
  EXPECT_EQ(Shown(&choice).back(), "alpha0000");
  EXPECT_GE(Thumb(), 99);  // the lowest value near 100 % in a descending list
  Ok(script.Close());
  ASSERT_TRUE(Finished(f));
}

TEST_F(BrowseTest, AnEmptyListDisablesItsActionsAndInsertStartsAnInsert) {
  Fill(0);
  ListRun run;
  auto f = StartList(run);
  Ok(script.WaitWindow("Accounts"));
  EXPECT_EQ(Rows(), "  (no rows)\n");
  for (const char* control : {"?CHANGE", "?DELETE", "?VIEW", "?LOCATOR"})
    EXPECT_NE(script.Print(control).output.find("(disabled)"), std::string::npos) << control;
  EXPECT_EQ(script.Print("?INSERT").output.find("(disabled)"), std::string::npos);

  Ok(script.Key("?LIST", "Insert"));
  Ok(script.WaitWindow("Accounts Form"));
  Ok(script.Type("?DOMAIN", "kilo0001"));
  Ok(script.Type("?LOGIN", "k"));
  Ok(script.Press("?OK"));
  Ok(script.WaitWindow("Accounts"));
  int choice = 0;
  EXPECT_EQ(Shown(&choice), Domains{"kilo0001"});
  EXPECT_EQ(choice, 1);
  EXPECT_EQ(script.Print("?CHANGE").output, "?CHANGE = \"&Change\"\n");
  Ok(script.Close());
  ASSERT_TRUE(Finished(f));
  EXPECT_EQ(StoredLogin("kilo0001"), "k");
}

TEST_F(BrowseTest, AFileLoadedListHoldsEveryRowAndOnlyMovesItsHighlight) {
  Fill(25);
  ListRun run;
  run.configure = [](BrowseManager& b) { b.FILELOADED = 1; };
  auto f = StartList(run);
  Ok(script.WaitWindow("Accounts"));
  int choice = 0;
  EXPECT_EQ(Shown(&choice), Range(0, 24));
  EXPECT_EQ(Thumb(), 0);
  Ok(script.Scroll("?LIST", "pagedown"));
  EXPECT_EQ(Shown(&choice), Range(0, 24));
  EXPECT_EQ(choice, 11);  // ten rows show at once
  EXPECT_EQ(Thumb(), 41);  // row 11 of 25
  Ok(script.Scroll("?LIST", "bottom"));
  Shown(&choice);
  EXPECT_EQ(choice, 25);
  EXPECT_EQ(Thumb(), 100);
  Ok(script.Close());
  ASSERT_TRUE(Finished(f));
}

}  // namespace
}  // namespace ck::fixture
