// Settings manager: values, window state, lists and the register, read back
// from the settings file.
#include "framework/settings_manager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "runtime/ini_file.h"
#include "ui/window.h"

namespace ck {
namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("ck_settings_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    file = (dir / "Cellarkey.INI").string();
    settings.Init(file);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  void WriteFile(const std::string& content) { std::ofstream(file, std::ios::binary) << content; }
  std::string ReadFile() const {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static ui::WindowModel Layout() {
    ui::WindowModel w;
    w.title = "Settings test";
    w.at = {10, 20, 300, 200};
    return w;
  }

  std::filesystem::path dir;
  std::string file;
  SettingsManager settings;
};

TEST_F(SettingsTest, ValuesRoundTripAndMissingKeysReadEmpty) {
  EXPECT_EQ(settings.Fetch("Main", "Colour"), "");  // no file yet
  EXPECT_EQ(settings.Update("Main", "Colour", "blue"), level::Benign);
  EXPECT_EQ(settings.Update("Main", "Colour", "red"), level::Benign);  // replaces
  EXPECT_EQ(settings.Fetch("main", "colour"), "red");
  EXPECT_EQ(ReadFile().find("blue"), std::string::npos);

  std::string text = "kept";
  EXPECT_FALSE(settings.Fetch("Main", "Missing", &text));
  EXPECT_EQ(text, "kept");
  EXPECT_TRUE(settings.Fetch("Main", "Colour", &text));
  EXPECT_EQ(text, "red");
  settings.Update("Main", "Count", "-42");
  long number = 7;
  EXPECT_FALSE(settings.Fetch("Main", "Colour", &number));  // not a number
  EXPECT_EQ(number, 7);
  EXPECT_TRUE(settings.Fetch("Main", "Count", &number));
  EXPECT_EQ(number, -42);
  // A value that could add lines to the file is refused, the file unchanged.
  const std::string before = ReadFile();
  EXPECT_EQ(settings.Update("Main", "Colour", "red\n[Evil]"), level::Notify);
  EXPECT_EQ(ReadFile(), before);
}

TEST_F(SettingsTest, FetchCheckedReportsAMissingKey) {
  std::vector<std::string> asserts;
  settings.SetAssertHandler([&](std::string_view text) { asserts.emplace_back(text); });
  settings.Update("Main", "Known", "1");
  EXPECT_EQ(settings.FetchChecked("Main", "Known"), "1");
  EXPECT_TRUE(asserts.empty());
  EXPECT_EQ(settings.FetchChecked("Main", "Gone"), UnknownSetting);
  ASSERT_EQ(asserts.size(), 1u);
  EXPECT_EQ(asserts[0], "INI Assert: Could not find Gone in sector Main of " + file);
}

TEST_F(SettingsTest, WindowStateRoundTripsAndUnsetCoordinatesAreRemoved) {
  WindowState state;
  state.X = 5;
  state.Y = -3;
  state.W = 400;
  state.H = 250;
  ASSERT_EQ(settings.UpdateWindow("BrowsePASSWORDS", state), level::Benign);
  EXPECT_EQ(ReadIniString(file, "BrowsePASSWORDS", "Maximize", "?"), "No");
  EXPECT_EQ(ReadIniString(file, "BrowsePASSWORDS", "Minimize", "?"), "No");
  WindowState back;
  settings.FetchWindow("BrowsePASSWORDS", &back);
  EXPECT_TRUE(back.GOT);
  EXPECT_EQ(back.X, 5);
  EXPECT_EQ(back.Y, -3);
  EXPECT_EQ(back.W, 400);
  EXPECT_EQ(back.H, 250);
  EXPECT_FALSE(back.MAXIMIZED);

  WindowState maximised;
  maximised.MAXIMIZED = 1;
  settings.UpdateWindow("BrowsePASSWORDS", maximised);
  EXPECT_FALSE(FindIniString(file, "BrowsePASSWORDS", "XPos").has_value());
  EXPECT_FALSE(FindIniString(file, "BrowsePASSWORDS", "Height").has_value());
  settings.FetchWindow("BrowsePASSWORDS", &back);
  EXPECT_TRUE(back.GOT);
  EXPECT_TRUE(back.MAXIMIZED);
  EXPECT_EQ(back.X, UnsetCoordinate);
  EXPECT_EQ(back.W, UnsetCoordinate);
}

TEST_F(SettingsTest, DamagedOrMissingMaximizeRestoresNothing) {
  WriteFile("[Main]\nMaximize=Perhaps\nXPos=1\nYPos=2\nWidth=3\nHeight=4\n");
  WindowState state;
  state.X = 99;
  state.GOT = 1;
  settings.FetchWindow("Main", &state);
  EXPECT_FALSE(state.GOT);
  EXPECT_EQ(state.X, 99);  // nothing else was read
  settings.FetchWindow("Other", &state);
  EXPECT_FALSE(state.GOT);

  ui::Window window(Layout());
  EXPECT_FALSE(settings.FetchWindow("Main", window));
  EXPECT_EQ(window.Position().x, 10);
  EXPECT_EQ(window.Position().w, 300);
}

TEST_F(SettingsTest, RestoringAppliesOnlyTheKnownValues) {
  // No XPos and a value that is no number: the window keeps its designed
  // x and y but takes the stored size.
  WriteFile("[Main]\nMaximize=No\nMinimize=No\nYPos=abc\nWidth=420\nHeight=260\n");
  ui::Window window(Layout());
  window.Open();
  EXPECT_TRUE(settings.FetchWindow("Main", window));
  const ui::Rect r = window.Position();
  EXPECT_EQ(r.x, 10);
  EXPECT_EQ(r.y, 20);
  EXPECT_EQ(r.w, 420);
  EXPECT_EQ(r.h, 260);
  EXPECT_FALSE(window.Maximized());

  // Saving a normal window stores its geometry; a maximised one only its state.
  window.SetPosition({30, 40, 500, 300});
  ASSERT_EQ(settings.UpdateWindow("Main", window), level::Benign);
  EXPECT_EQ(ReadIniString(file, "Main", "XPos", ""), "30");
  EXPECT_EQ(ReadIniString(file, "Main", "Height", ""), "300");
  window.SetMaximized(true);
  settings.UpdateWindow("Main", window);
  EXPECT_EQ(ReadIniString(file, "Main", "Maximize", ""), "Yes");
  EXPECT_FALSE(FindIniString(file, "Main", "XPos").has_value());
  window.Close();
}

TEST_F(SettingsTest, PlacesAndSizesNoScreenCanHoldStayAsDesigned) {
  WriteFile("[Main]\nMaximize=No\nMinimize=No\nXPos=-2147483647\nYPos=99999\n"
            "Width=2147483647\nHeight=40000\n");
  ui::Window window(Layout());
  window.Open();
  EXPECT_TRUE(settings.FetchWindow("Main", window));
  const ui::Rect r = window.Position();
  EXPECT_EQ(r.x, 10);
  EXPECT_EQ(r.y, 20);
  EXPECT_EQ(r.w, 300);
  EXPECT_EQ(r.h, 200);
  window.Close();
}

TEST_F(SettingsTest, ListsRoundTripAndShrink) {
  const std::vector<std::vector<std::string>> records = {{"a", "b,c", "d\\e"}, {""}, {"last", ""}};
  ASSERT_EQ(settings.UpdateQueue("Query", "Saved", records), level::Benign);
  EXPECT_EQ(ReadIniString(file, "Query", "Saved", ""), "3");
  EXPECT_EQ(ReadIniString(file, "Query", "Saved_1", ""), "a,b\\,c,d\\\\e");
  EXPECT_EQ(settings.FetchQueue("Query", "Saved"), records);
  settings.UpdateQueue("Query", "Saved", {{"only"}});
  EXPECT_EQ(settings.FetchQueue("Query", "Saved"),
            (std::vector<std::vector<std::string>>{{"only"}}));
  EXPECT_FALSE(FindIniString(file, "Query", "Saved_2").has_value());
  EXPECT_FALSE(FindIniString(file, "Query", "Saved_3").has_value());
  // A count larger than the records present reads what is there.
  WriteIniString(file, "Query", "Saved", "1000000000");
  EXPECT_EQ(settings.FetchQueue("Query", "Saved").size(), 1u);
}

TEST_F(SettingsTest, RegisterIsKeptAcrossRuns) {
  settings.Update("Main", "Colour", "red");
  settings.Update("Main", "Colour", "blue");  // registered once
  settings.UpdateWindow("Main", WindowState{});
  settings.UpdateQueue("Query", "Saved", {{"x"}});
  settings.Kill();
  EXPECT_EQ(settings.Sectors, nullptr);
  EXPECT_EQ(ReadIniString(file, std::string(SectorsSection), "Sectors", ""), "3");
  EXPECT_EQ(ReadIniString(file, std::string(SectorsSection), "Sectors_1", ""), "Main,Colour,Value");

  SettingsManager again;
  again.Init(file);
  ASSERT_EQ(again.Sectors->size(), 3u);
  EXPECT_EQ((*again.Sectors)[1].FAMILY, "Main");
  EXPECT_EQ((*again.Sectors)[1].ITEM, "");
  EXPECT_EQ((*again.Sectors)[1].TYPE, "Window");
  EXPECT_EQ((*again.Sectors)[2].TYPE, "List");
  again.Update("Other", "Key", "v");
  again.Kill();
  EXPECT_EQ(ReadIniString(file, std::string(SectorsSection), "Sectors", ""), "4");
}

}  // namespace
}  // namespace ck
