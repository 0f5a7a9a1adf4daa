// Popup menu manager: item names, the menu text (separators, submenus,
// disabled and checked items, icons, mirrored buttons), choosing and
// dismissing through the script presenter, and the toolbox window.
#include "framework/popup_manager.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <mutex>

#include "ui/engine.h"
#include "ui/script/script_driver.h"
#include "ui/script/script_presenter.h"
#include "ui/window.h"

namespace ck {
namespace {

constexpr int kInsert = 1, kChange = 2, kDelete = 3;

ui::WindowModel Buttons() {
  ui::WindowModel w;
  w.title = "Popup Host";
  w.AddButton("?INSERT", "&Add");
  w.AddButton("?CHANGE", "");
  ui::ControlModel& del = w.AddButton("?DELETE", "&Delete");
  del.enabled = false;
  del.icon = "WADELETE.ICO";
  return w;
}

class PopupManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::Engine::Get().SetPresenter(&presenter);
    script.SetTimeout(std::chrono::seconds(5));
  }
  void TearDown() override {
    EXPECT_TRUE(ui::Engine::Get().Windows().empty()) << "a test left a window open";
    ui::Engine::Get().SetPresenter(nullptr);
  }

  // A procedure on a thread of its own: its window has the three buttons and
  // a "?MENU" button; pressing "?MENU" runs ask (AskMenu or the toolbox) and
  // notes the name it returned; every other event after opening is noted as
  // "event/control". Closing the window ends it.
  std::future<void> Host(std::function<void(PopupManager&)> setup,
                         std::function<std::string(PopupManager&)> ask) {
    return std::async(std::launch::async, [this, setup, ask] {
      ui::WindowModel layout = Buttons();
      layout.AddButton("?MENU", "Menu");
      ui::Window w(layout);
      w.Open();
      PopupManager popup;
      popup.Init(&w);
      setup(popup);
      while (w.Accept()) {
        const int e = w.Event();
        if (e == ui::event::OpenWindow || e == ui::event::Selected || e == ui::event::CloseWindow)
          continue;
        std::lock_guard lock(mu);
        if (e == ui::event::Accepted && w.Field() == 4)
          notes.push_back("menu:" + ask(popup));
        else
          notes.push_back(std::to_string(e) + "/" + std::to_string(w.Field()));
      }
    });
  }
  std::vector<std::string> TakeNotes() {
    std::lock_guard lock(mu);
    return std::exchange(notes, {});
  }
  void Ok(const ui::ScriptResult& r) { ASSERT_TRUE(r.ok) << r.error; }

  ui::ScriptPresenter presenter;
  ui::ScriptDriver script{&presenter};
  std::mutex mu;
  std::vector<std::string> notes;
};

TEST_F(PopupManagerTest, NamesComeFromTextsAndAreNumberedWhenTaken) {
  PopupManager popup;
  popup.Init(nullptr);
  EXPECT_EQ(popup.AddMenuItem("&Print"), "Print");
  EXPECT_EQ(popup.AddMenuItem("&Print"), "Print1");
  EXPECT_EQ(popup.AddMenuItem("Print 1!"), "Print11");  // "Print1" is taken
  EXPECT_EQ(popup.AddMenuSeparator(), "Separator");
  EXPECT_EQ(popup.AddMenuSeparator(), "Separator1");
  EXPECT_EQ(popup.AddMenuItem("Save_as (2)"), "Save_as2");
  // An event item reuses the item of that name.
  EXPECT_EQ(popup.AddMenuItemEvent("Print1", 7, 4), "Print1");
  EXPECT_EQ(popup.POPUPITEMS.size(), 6u);
  EXPECT_EQ(popup.Find("Print1")->EVENT, 7);
  EXPECT_TRUE(popup.Find("Print1")->ONTOOLBOX);
}

TEST_F(PopupManagerTest, MenuTextCarriesStatesSubmenusAndIcons) {
  PopupManager popup;
  popup.Init(nullptr);
  popup.AddMenuItem("&Open");
  popup.AddMenuItem("&Recent");
  popup.AddMenuItem("one");
  popup.SetLevel("one", 2);
  popup.AddMenuItem("two");
  popup.SetLevel("two", 2);
  popup.AddMenuSeparator();
  popup.AddMenuItem("&Wrap");
  popup.SetItemCheck("Wrap", true);
  popup.AddMenuItem("&Bold");
  popup.SetItemCheck("Bold", false);
  popup.AddMenuItem("&Gone");
  popup.SetItemEnable("Gone", false);
  EXPECT_EQ(popup.MenuText(), "|&Open|&Recent{one|two}-|+&Wrap|-&Bold|~&Gone");

  // Once one item has an icon, every item but a separator carries brackets.
  popup.SetIcon("Open", "open.ico");
  EXPECT_EQ(popup.MenuText(),
            "|[31848(~open.ico)]&Open|[]&Recent{[]one|[]two}-|+[]&Wrap|-[]&Bold|~[]&Gone");
}

TEST_F(PopupManagerTest, MirroredItemsFollowTheirButtons) {
  ui::Window w(Buttons());
  w.Open();
  PopupManager popup;
  popup.Init(&w);
  popup.AddMenuItemMimic("&Insert", "!&Insert", kInsert);
  popup.AddMenuItemMimic("&Change", "!&Change", kChange);
  popup.AddMenuItemMimic("&Delete", "!&Delete", kDelete);
  EXPECT_EQ(popup.Find("Insert")->NAME, "Insert");
  // The caption when the button has one, the item's own text otherwise;
  // the disabled button's item is disabled; its icon brings brackets.
  EXPECT_EQ(popup.MenuText(), "|[]&Add|[]&Change|~[31848(~WADELETE.ICO)]&Delete");
  // Shown again, they follow the buttons as they are now; a state the
  // program set itself stays.
  w.Enable(kDelete, true);
  w.Enable(kInsert, false);
  w.SetText(kChange, "&Edit");
  popup.SetItemEnable("Insert", true);
  EXPECT_EQ(popup.MenuText(), "|[]&Add|[]&Edit|[31848(~WADELETE.ICO)]&Delete");
  w.Enable(kDelete, false);
  w.SetText(kChange, "");
  EXPECT_EQ(popup.MenuText(), "|[]&Add|[]&Change|~[31848(~WADELETE.ICO)]&Delete");
  w.Close();
}

TEST_F(PopupManagerTest, ChoosingPostsTheItemsEventAndDismissingPostsNothing) {
  auto host = Host(
      [](PopupManager& popup) {
        popup.AddMenuItemMimic("&Insert", "!&Insert", kInsert);
        popup.AddMenuSeparator();
        popup.AddMenuItemMimic("&Delete", "!&Delete", kDelete);
        popup.AddMenuItemEvent("&Refresh", ui::event::User + 5, 0);
        popup.AddMenuItem("&Plain");
      },
      [](PopupManager& popup) { return popup.AskMenu(); });
  Ok(script.WaitWindow("Popup Host"));
  auto choose = [&](int n) {
    Ok(script.Press("?MENU"));
    return script.Popup(n);
  };
  Ok(choose(3));  // separators do not count: Insert, Delete, Refresh
  EXPECT_EQ(TakeNotes(), (std::vector<std::string>{"menu:Refresh", std::to_string(ui::event::User + 5) + "/0"}));
  Ok(choose(1));
  EXPECT_EQ(TakeNotes(), (std::vector<std::string>{"menu:Insert", "1/1"}));
  Ok(choose(4));  // an item without an event: only its name comes back
  EXPECT_EQ(TakeNotes(), std::vector<std::string>{"menu:Plain"});
  // The disabled Delete cannot be chosen; dismissing leaves nothing.
  EXPECT_FALSE(choose(2).ok);
  EXPECT_EQ(TakeNotes(), std::vector<std::string>{"menu:"});
  Ok(choose(0));
  EXPECT_EQ(TakeNotes(), std::vector<std::string>{"menu:"});
  Ok(script.Close());
  host.get();
}

TEST_F(PopupManagerTest, TheToolboxOffersTheToolboxItemsAsButtons) {
  auto host = Host(
      [](PopupManager& popup) {
        popup.AddMenuItemMimic("&Insert", "!&Insert", kInsert);
        popup.AddMenuItem("&NotThere");  // not on the toolbox
        popup.AddMenuItemMimic("&Change", "!&Change", kChange);
      },
      [](PopupManager& popup) { return popup.Toolbox("Browse Actions") + (popup.INTOOLBOX ? "!" : ""); });
  Ok(script.WaitWindow("Popup Host"));
  Ok(script.Press("?MENU"));
  Ok(script.WaitWindow("Browse Actions"));
  EXPECT_EQ(script.Print("?TOOL:1").output, "?TOOL:1 = \"&Add\"\n");
  EXPECT_EQ(script.Print("?TOOL:2").output, "?TOOL:2 = \"&Change\"\n");
  EXPECT_FALSE(script.Print("?TOOL:3").ok);
  Ok(script.Press("?TOOL:2"));
  Ok(script.WaitWindow("Popup Host"));
  EXPECT_EQ(TakeNotes(), (std::vector<std::string>{"menu:Change", "1/2"}));
  Ok(script.Close());
  host.get();
}

}  // namespace
}  // namespace ck
