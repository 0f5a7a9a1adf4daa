// Format strings, popup texts and key names: the small languages procedures
// hand to the engine.
#include <gtest/gtest.h>

#include "ui/list_format.h"
#include "ui/popup_text.h"
#include "ui/ui_codes.h"
#include "ui/window_model.h"

namespace ck::ui {
namespace {

TEST(ListFormat, FourResizableColumnsWithHeadersAndPictures) {
  std::vector<ListColumn> cols;
  std::string error;
  ASSERT_TRUE(ParseListFormat(
      "80L(2)|M~Client Domain~@s100@80L(2)|M~Login~@s100@80L(2)|M~Password~@s20@"
      "80L(2)|M~Other Info~@s255@",
      &cols, &error))
      << error;
  ASSERT_EQ(cols.size(), 4u);
  EXPECT_EQ(cols[0].width, 80);
  EXPECT_EQ(cols[0].align, Align::Left);
  EXPECT_EQ(cols[0].indent, 2);
  EXPECT_TRUE(cols[0].divider);
  EXPECT_TRUE(cols[0].resizable);
  EXPECT_EQ(cols[0].header, "Client Domain");
  EXPECT_EQ(cols[2].header, "Password");
  EXPECT_EQ(cols[2].picture, "@s20");
  EXPECT_EQ(cols[3].picture, "@s255");
}

TEST(ListFormat, AlignmentsHeaderAlignmentAndFaults) {
  std::vector<ListColumn> cols;
  std::string error;
  ASSERT_TRUE(ParseListFormat("40R(-3)~Sum~C@n9.2@20C~X~", &cols, &error)) << error;
  ASSERT_EQ(cols.size(), 2u);
  EXPECT_EQ(cols[0].align, Align::Right);
  EXPECT_EQ(cols[0].indent, -3);
  EXPECT_EQ(cols[0].headerAlign, Align::Center);
  EXPECT_FALSE(cols[0].resizable);
  EXPECT_EQ(cols[1].align, Align::Center);

  // The error history's list: a scroll width after the header, a header alignment.
  ASSERT_TRUE(ParseListFormat("217L(2)|M~Message~S(255)@s255@42L(2)|M~Category~L(1)@s255@",
                              &cols, &error))
      << error;
  ASSERT_EQ(cols.size(), 2u);
  EXPECT_EQ(cols[0].width, 217);
  EXPECT_EQ(cols[0].header, "Message");
  EXPECT_EQ(cols[0].picture, "@s255");
  EXPECT_EQ(cols[1].header, "Category");
  EXPECT_TRUE(cols[1].resizable);
  EXPECT_FALSE(ParseListFormat("80LS(9", &cols, &error));

  EXPECT_FALSE(ParseListFormat("80L~Open header", &cols, &error));
  EXPECT_FALSE(ParseListFormat("80Q", &cols, &error));
  EXPECT_FALSE(ParseListFormat("L(2)", &cols, &error));
  EXPECT_FALSE(ParseListFormat("80L(2", &cols, &error));
}

TEST(PopupText, NumbersSelectableItemsAcrossSubmenus) {
  auto items = ParsePopupText("|&Insert|~&Change|-|+Marked|-Unmarked|More{A|B}|Last");
  ASSERT_EQ(items.size(), 7u);
  EXPECT_EQ(items[0].text, "&Insert");
  EXPECT_EQ(items[0].number, 1);
  EXPECT_TRUE(items[1].disabled);
  EXPECT_EQ(items[1].number, 2);
  EXPECT_TRUE(items[2].separator);
  EXPECT_EQ(items[2].number, 0);
  EXPECT_EQ(items[3].check, 1);
  EXPECT_EQ(items[3].text, "Marked");
  EXPECT_EQ(items[4].check, 2);
  EXPECT_EQ(items[4].text, "Unmarked");
  EXPECT_EQ(items[5].number, 0);  // opens a submenu: not selectable itself
  ASSERT_EQ(items[5].items.size(), 2u);
  EXPECT_EQ(items[5].items[1].number, 6);
  EXPECT_EQ(items[6].number, 7);
  ASSERT_NE(FindPopupItem(items, 6), nullptr);
  EXPECT_EQ(FindPopupItem(items, 6)->text, "B");
  EXPECT_EQ(FindPopupItem(items, 0), nullptr);
  EXPECT_EQ(FindPopupItem(items, 8), nullptr);
}

TEST(PopupText, IconAttributesAndUnbalancedBraces) {
  auto items = ParsePopupText("|[31848(~WAINSERT.ICO)]&Insert|[]&View|-|Sub{Deep{X");
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0].icon, "WAINSERT.ICO");
  EXPECT_EQ(items[0].text, "&Insert");
  EXPECT_EQ(items[1].icon, "");
  EXPECT_EQ(items[1].text, "&View");
  ASSERT_EQ(items[3].items.size(), 1u);
  EXPECT_EQ(items[3].items[0].items[0].text, "X");
  EXPECT_EQ(FindPopupItem(items, 3)->text, "X");
  EXPECT_TRUE(ParsePopupText("}}|A").size() == 1);
}

TEST(KeyNames, ParseAndNameRoundTrip) {
  EXPECT_EQ(key::Parse("CtrlEnter"), 0x20D);
  EXPECT_EQ(key::Parse("ShiftEnter"), 0x10D);
  EXPECT_EQ(key::Parse("Ctrl+H"), 584);
  EXPECT_EQ(key::Parse("Insert"), 0x2D);
  EXPECT_EQ(key::Parse("0x82"), key::MouseRight);
  EXPECT_EQ(key::Parse("5"), key::MouseLeft2);
  EXPECT_EQ(key::Parse("Hyper+X"), -1);
  EXPECT_EQ(key::Parse(""), -1);
  for (int code : {584, 0x2D, 0x20D, 0x10D, key::MouseRight, key::Ctrl | key::End, key::F1 + 4})
    EXPECT_EQ(key::Parse(key::Name(code)), code) << key::Name(code);
  EXPECT_EQ(button::Parse("cancel"), button::Cancel);
  EXPECT_EQ(button::Parse("16"), button::Retry);
  EXPECT_EQ(button::Parse("3"), 0);
  // Numbers too large are no key or button, not one they wrap round to.
  EXPECT_EQ(key::Parse("F4294967297"), -1);
  EXPECT_EQ(button::Parse("4294967297"), 0);
  EXPECT_EQ(button::Parse("16x"), 0);
}

TEST(WindowModel, MenuNumbersRunDownwardAndToolbarFollows) {
  WindowModel w;
  MenuModel& file = w.MenuBar().AddMenu("?FILEMENU", "&File");
  file.AddItem("?PRINTSETUP", "&Print Setup ...");
  file.AddItem("?EXIT", "E&xit", "", StdAction::Close);
  w.MenuBar().AddMenu("?EDITMENU", "&Edit").AddItem("?CUT", "Cu&t");
  w.AddToolButton(3001, "?TOOLBAR:INSERT", "WAINSERT.ICO", "Insert");
  w.AddEntry("?G:PASS", "@s50");
  w.NumberMenus();
  EXPECT_EQ(w.FeqOf("?MENUBAR"), -1);
  EXPECT_EQ(w.FeqOf("?FILEMENU"), -2);
  EXPECT_EQ(w.FeqOf("?exit"), -4);
  EXPECT_EQ(w.FeqOf("?CUT"), -6);
  EXPECT_EQ(w.toolbarFeq, -7);
  EXPECT_EQ(w.FeqOf("?TOOLBAR:INSERT"), 3001);
  EXPECT_EQ(w.FeqOf("?G:PASS"), 1);
  EXPECT_EQ(w.MenuEntry(-4)->action, StdAction::Close);
  EXPECT_EQ(w.FeqOf("?NOPE"), 0);
}

}  // namespace
}  // namespace ck::ui
