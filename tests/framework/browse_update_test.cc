// The browse with its update procedure and edit in place: a changed record
// keeps its screen row (RETAINROW), two lists of one table on two threads
// never overwrite each other's change, deleting, the popup, the form's
// navigation request, query by example and a list called to select.
#include <gtest/gtest.h>

#include "storage/records.h"
#include "tests/framework/browse_fixture.h"
#include "ui/engine.h"

namespace ck::fixture {
namespace {

using Domains = std::vector<std::string>;

TEST_F(BrowseTest, RetainRowKeepsAMovedRecordOnItsScreenRow) {
  Fill(3000);
  ListRun run;
  run.configure = [](BrowseManager& b) { b.RETAINROW = 1; };
  auto f = StartList(run);
  Ok(script.WaitWindow("Accounts"));
  Ok(script.SelectRow("?LIST", 4));
  Ok(script.Press("?CHANGE"));
  Ok(script.WaitWindow("Accounts Form"));
  EXPECT_EQ(script.Print("?DOMAIN").output, "?DOMAIN = \"alpha0003\"\n");
  Ok(script.Type("?DOMAIN", "hotel0150x"));
  Ok(script.Press("?OK"));
  Ok(script.WaitWindow("Accounts"));
  int choice = 0;
  const Domains rows = Shown(&choice);
  EXPECT_EQ(choice, 4);
  ASSERT_EQ(rows.size(), 10u);
  EXPECT_EQ(rows[2], "hotel0150");
  EXPECT_EQ(rows[3], "hotel0150x");
  EXPECT_EQ(rows[4], "hotel0151");
  Ok(script.Close());
  ASSERT_TRUE(Finished(f));
}

TEST_F(BrowseTest, TwoListsOnTwoThreadsNeverOverwriteEachOthersChange) {
  Fill(300);
  ListRun a, b;
  a.title = "List A";
  b.title = "List B";
  auto fa = StartList(a);
  auto fb = StartList(b);
  // B opens the record for a change.
  Ok(script.WaitWindow("List B"));
  Ok(script.SelectRow("?LIST", 3));
  Ok(script.Press("?CHANGE"));
  Ok(script.WaitWindow("List B Form"));
  EXPECT_EQ(script.Print("?LOGIN").output, "?LOGIN = \"user2\"\n");
  // Meanwhile A changes the same record.
  Ok(script.Activate("List A"));
  Ok(script.SelectRow("?LIST", 3));
  Ok(script.Press("?CHANGE"));
  Ok(script.WaitWindow("List A Form"));
  Ok(script.Type("?LOGIN", "fromA"));
  Ok(script.Press("?OK"));
  Ok(script.WaitWindow("List A"));
  EXPECT_NE(Rows().find("alpha0002 | fromA"), std::string::npos);
  // B's save is refused with message 8 and shows A's version.
  Ok(script.Activate("List B Form"));
  Ok(script.Type("?LOGIN", "fromB"));
  Ok(script.Press("?OK"));
  const ui::ScriptResult told = script.Answer("OK");
  Ok(told);
  EXPECT_NE(told.output.find("Record Was Not Updated"), std::string::npos);
  EXPECT_EQ(StoredLogin("alpha0002"), "fromA");
  Ok(script.WaitWindow("List B Form"));
  EXPECT_EQ(script.Print("?LOGIN").output, "?LOGIN = \"fromA\"\n");
  Ok(script.Press("?CANCEL"));
  Ok(script.WaitWindow("List B"));
  EXPECT_NE(Rows().find("alpha0002 | fromA"), std::string::npos);
  // A change made elsewhere before the form opens is what the form shows.
  Ok(script.Activate("List A"));
  Ok(script.Press("?CHANGE"));
  Ok(script.WaitWindow("List A Form"));
  Ok(script.Type("?LOGIN", "againA"));
  Ok(script.Press("?OK"));
  Ok(script.Activate("List B"));
  Ok(script.Press("?CHANGE"));
  Ok(script.WaitWindow("List B Form"));
  EXPECT_EQ(script.Print("?LOGIN").output, "?LOGIN = \"againA\"\n");
  Ok(script.Press("?CANCEL"));
  Ok(script.Activate("List B"));
  Ok(script.Close());
  Ok(script.Activate("List A"));
  Ok(script.Close());
  ASSERT_TRUE(Finished(fa));
  ASSERT_TRUE(Finished(fb));
  EXPECT_TRUE(a.messages.empty());
  EXPECT_EQ(b.messages, std::vector<int>{msg::ChangedByOtherShown});
}

// A list that resets when it gains the focus shows, once activated, what
// another list changed meanwhile; one that does not keeps its page.
TEST_F(BrowseTest, AListThatResetsOnGainingTheFocusShowsChangesMadeElsewhere) {
  Fill(300);
  ListRun a, b, c;
  a.title = "List A";
  b.title = "List B";
  c.title = "List C";
  b.configure = [](BrowseManager& browse) { browse.WINDOW->ResetOnGainFocus = 1; };
  auto fb = StartList(b);
  auto fc = StartList(c);
  auto fa = StartList(a);
  Ok(script.WaitWindow("List B"));
  Ok(script.WaitWindow("List C"));
  Ok(script.WaitWindow("List A"));
  Ok(script.SelectRow("?LIST", 3));
  Ok(script.Press("?CHANGE"));
  Ok(script.WaitWindow("List A Form"));
  Ok(script.Type("?LOGIN", "fromA"));
  Ok(script.Press("?OK"));
  Ok(script.Activate("List B"));
  EXPECT_NE(Rows().find("alpha0002 | fromA"), std::string::npos) << Rows();
  Ok(script.Activate("List C"));
  EXPECT_NE(Rows().find("alpha0002 | user2"), std::string::npos) << Rows();
  for (const char* title : {"List A", "List B", "List C"}) {
    Ok(script.Activate(title));
    Ok(script.Close());
  }
  ASSERT_TRUE(Finished(fa));
  ASSERT_TRUE(Finished(fb));
  ASSERT_TRUE(Finished(fc));
}

TEST_F(BrowseTest, ARecordDeletedElsewhereIsReportedAndLeavesTheList) {
  Fill(300);
  ListRun run;
  auto f = StartList(run);
  Ok(script.WaitWindow("Accounts"));
  Ok(script.SelectRow("?LIST", 3));
  {
    // Another station deletes the highlighted record.
    TestTable other("ACCOUNTS", file, AccountFields(), AccountKeys(true, false));
    ASSERT_EQ(storage::Open(other.fcb, 0x42), 0);
    other.Set(0, "alpha0002");
    ASSERT_EQ(storage::GetByKey(other.fcb, 0), 0);
    ASSERT_EQ(storage::Delete(other.fcb), 0);
    storage::Close(other.fcb);
  }
  Ok(script.Press("?CHANGE"));
  const ui::ScriptResult told = script.Answer("OK");
  Ok(told);
  EXPECT_NE(told.output.find("This record was changed or deleted by another station."), std::string::npos);
  Ok(script.WaitWindow("Accounts"));
  EXPECT_EQ(Shown(), (Domains{"alpha0000", "alpha0001", "alpha0003", "alpha0004", "alpha0005", "alpha0006",
                              "alpha0007", "alpha0008", "alpha0009", "alpha0010"}));
  EXPECT_EQ(ui::Engine::Get().FindWindow("Accounts Form"), 0);  // no form on a record that is gone
  Ok(script.Close());
  ASSERT_TRUE(Finished(f));
}

TEST_F(BrowseTest, DeletingKeepsTheHighlightOnTheNextRow) {
  Fill(300);
  ListRun run;
  auto f = StartList(run);
  Ok(script.WaitWindow("Accounts"));
  Ok(script.SelectRow("?LIST", 5));
  Ok(script.Key("?LIST", "Delete"));
  const ui::ScriptResult asked = script.Answer("Yes");
  Ok(asked);
  EXPECT_NE(asked.output.find("Are you sure you want to delete the highlighted record?"), std::string::npos);
  int choice = 0;
  const Domains rows = Shown(&choice);
  ASSERT_GE(rows.size(), 5u);
  EXPECT_EQ(rows[choice - 1], "alpha0005");
  EXPECT_EQ(rows[3], "alpha0003");
  EXPECT_EQ(StoredLogin("alpha0004"), "");
  Ok(script.Close());
  ASSERT_TRUE(Finished(f));
}

// An inserted record is the highlighted row, wherever it sorts, also when
// the list holds fewer records than it shows.
TEST_F(BrowseTest, AnInsertedRecordIsHighlighted) {
  for (int records : {5, 300}) {
    Fill(records, false);
    ListRun run;
    run.nocase = false;
    auto f = StartList(run);
    Ok(script.WaitWindow("Accounts"));
    for (const char* domain : {"alpha0002x", "alpha0000a", "zulu"}) {
      Ok(script.Press("?INSERT"));
      Ok(script.WaitWindow("Accounts Form"));
      Ok(script.Type("?DOMAIN", domain));
      Ok(script.Press("?OK"));
      Ok(script.WaitWindow("Accounts"));
      int choice = 0;
      const Domains rows = Shown(&choice);
      ASSERT_GE(choice, 1) << records;
      EXPECT_EQ(rows[static_cast<size_t>(choice - 1)], domain) << records;
    }
    Ok(script.Close());
    ASSERT_TRUE(Finished(f));
  }
}

TEST_F(BrowseTest, ThePopupMirrorsTheButtonsAndTheQueryEntries) {
  Fill(300);
  ListRun run;
  auto f = StartList(run);
  Ok(script.WaitWindow("Accounts"));
  Shown();
  ASSERT_TRUE(ui::Engine::Get().UserChoose(script.current(), kList, 2, ui::key::MouseRight));
  const ui::ScriptResult menu = script.Popup(2);
  Ok(menu);
  EXPECT_EQ(menu.output,
            "popup menu:\n  1: Insert\n  2: Change\n  3: Delete\n  4: View\n  ----\n  5: Query\n"
            "  ----\n  6: Empty\n  ----\n  7: Clear\n");
  Ok(script.WaitWindow("Accounts Form"));  // Change, for the row clicked
  EXPECT_EQ(script.Print("?DOMAIN").output, "?DOMAIN = \"alpha0001\"\n");
  Ok(script.Press("?CANCEL"));
  Ok(script.WaitWindow("Accounts"));
  Ok(script.Close());
  ASSERT_TRUE(Finished(f));
}

TEST_F(BrowseTest, TheFormsNextRequestSavesAndOpensTheNextRecord) {
  Fill(300);
  ListRun run;
  auto f = StartList(run);
  Ok(script.WaitWindow("Accounts"));
  Ok(script.SelectRow("?LIST", 2));
  Ok(script.Press("?CHANGE"));
  Ok(script.WaitWindow("Accounts Form"));
  Ok(script.Type("?LOGIN", "first"));
  Ok(script.Press("?NEXT"));
  Ok(script.WaitWindow("Accounts Form"));
  EXPECT_EQ(script.Print("?DOMAIN").output, "?DOMAIN = \"alpha0002\"\n");
  Ok(script.Type("?LOGIN", "second"));
  Ok(script.Press("?OK"));
  Ok(script.WaitWindow("Accounts"));
  int choice = 0;
  EXPECT_EQ(Shown(&choice)[choice - 1], "alpha0002");
  EXPECT_EQ(StoredLogin("alpha0001"), "first");
  EXPECT_EQ(StoredLogin("alpha0002"), "second");
  Ok(script.Close());
  ASSERT_TRUE(Finished(f));
}

TEST_F(BrowseTest, AQueryRestrictsTheListAndClearGivesItBack) {
  Fill(3000);
  ListRun run;
  auto f = StartList(run);
  Ok(script.WaitWindow("Accounts"));
  Ok(script.Press("?QUERY"));
  Ok(script.WaitWindow("Query by Example Settings"));
  Ok(script.Type("?VALUE:1", "golf012*"));
  Ok(script.Type("?NAME", "Golf"));
  Ok(script.Press("?SAVE"));
  Ok(script.Press("?OK"));
  Ok(script.WaitWindow("Accounts"));
  EXPECT_EQ(Shown(), (Domains{"golf0120", "golf0121", "golf0122", "golf0123", "golf0124", "golf0125",
                              "golf0126", "golf0127", "golf0128", "golf0129"}));
  Ok(script.Scroll("?LIST", "bottom"));
  EXPECT_EQ(Shown().back(), "golf0129");
  // The popup clears it, and brings the saved query back.
  ASSERT_TRUE(ui::Engine::Get().UserChoose(script.current(), kList, 1, ui::key::MouseRight));
  const ui::ScriptResult menu = script.Popup(8);  // ..., Empty, Golf, ----, Clear
  Ok(menu);
  EXPECT_NE(menu.output.find("7: Golf\n  ----\n  8: Clear"), std::string::npos) << menu.output;
  EXPECT_EQ(Shown()[0], "alpha0000");
  ASSERT_TRUE(ui::Engine::Get().UserChoose(script.current(), kList, 1, ui::key::MouseRight));
  Ok(script.Popup(7));
  EXPECT_EQ(Shown()[0], "golf0120");
  Ok(script.Close());
  ASSERT_TRUE(Finished(f));
}

TEST_F(BrowseTest, AListCalledToSelectEndsWithTheChosenRecord) {
  Fill(300);
  ListRun run;
  run.request = request::Select;
  auto f = StartList(run);
  Ok(script.WaitWindow("Accounts"));
  EXPECT_EQ(script.Print("?SELECT").output, "?SELECT = \"&Select\"\n");
  Ok(script.SelectRow("?LIST", 6));
  Ok(script.Key("?LIST", "MouseLeft2"));
  ASSERT_TRUE(Finished(f));
  EXPECT_EQ(run.response, response::Completed);
  EXPECT_EQ(run.selected, "alpha0005");
}

TEST_F(BrowseTest, EditInPlaceWritesTheRow) {
  Fill(300);
  ListRun run;
  run.askProcedure = 0;
  auto f = StartList(run);
  Ok(script.WaitWindow("Accounts"));
  Ok(script.SelectRow("?LIST", 3));
  Ok(script.Press("?CHANGE"));
  Ok(script.WaitWindow("Edit Row"));
  EXPECT_EQ(script.Print("?TITLE:2").output, "?TITLE:2 = \"Login\"\n");
  EXPECT_EQ(script.Print("?COLUMN:1").output, "?COLUMN:1 = \"alpha0002\"\n");
  Ok(script.Type("?COLUMN:2", "edited"));
  Ok(script.Press("?OK"));
  Ok(script.WaitWindow("Accounts"));
  EXPECT_NE(Rows().find("* 1: alpha0002 | edited"), std::string::npos);  // shown from the top
  EXPECT_EQ(StoredLogin("alpha0002"), "edited");
  Ok(script.Press("?INSERT"));
  Ok(script.WaitWindow("New Row"));
  Ok(script.Type("?COLUMN:1", "alpha0001b"));
  Ok(script.Type("?COLUMN:2", "new"));
  Ok(script.Press("?OK"));
  Ok(script.WaitWindow("Accounts"));
  int choice = 0;
  EXPECT_EQ(Shown(&choice)[choice - 1], "alpha0001b");
  Ok(script.Close());
  ASSERT_TRUE(Finished(f));
  EXPECT_EQ(StoredLogin("alpha0001b"), "new");
}

}  // namespace
}  // namespace ck::fixture
