// The driver string's splitting and the builder's parser and composer: the
// message for each malformed form, what is kept, and round trips.
#include <gtest/gtest.h>

#include "storage/vellum/driver_options.h"
#include "storage/vellum/option_builder.h"

namespace ck::vellum {
namespace {

TEST(OptionsSplit, DriverStringsAndSendTexts) {
  using V = std::vector<OptionItem>;
  EXPECT_EQ(SplitDriverString(""), V{});
  EXPECT_EQ(SplitDriverString("junk before/TCF = a.tcf /DecimalCheck//FULLBUILD="),
            (V{{"TCF", true, "a.tcf"}, {"DecimalCheck", false, ""}, {"FULLBUILD", true, ""}}));
  // A bracketed value keeps its "/"; an unclosed one runs to the end.
  EXPECT_EQ(SplitDriverString("/TCF=[/a/b.tcf]/FLAGS=3"),
            (V{{"TCF", true, "/a/b.tcf"}, {"FLAGS", true, "3"}}));
  EXPECT_EQ(SplitDriverString("/TCF=[/a/b.tcf"), (V{{"TCF", true, "/a/b.tcf"}}));
  EXPECT_EQ(SplitDriverString("/PNM=a=b"), (V{{"PNM", true, "a=b"}}));

  EXPECT_EQ(SplitOption("FLAGS"), (OptionItem{"FLAGS", false, ""}));
  EXPECT_EQ(SplitOption(" /TCF=/x/y.tcf "), (OptionItem{"TCF", true, "/x/y.tcf"}));
  EXPECT_EQ(SplitOption("TCF=[ spaced.tcf]"), (OptionItem{"TCF", true, " spaced.tcf"}));
  EXPECT_EQ(SplitOption("TCF="), (OptionItem{"TCF", true, ""}));
}

TEST(OptionsSplit, ValuesEachOptionTakes) {
  EXPECT_EQ(FindOption("decimalCHECK"), OptionId::DecimalCheck);
  EXPECT_EQ(FindOption("PNMQ"), OptionId::PNMQ);
  EXPECT_EQ(FindOption("PNMQX"), OptionId::Unknown);
  EXPECT_EQ(CheckOptionValue(OptionId::DecimalCheck, " on "), 0);
  EXPECT_EQ(CheckOptionValue(OptionId::FULLBUILD, "yes"), 78);
  EXPECT_EQ(CheckOptionValue(OptionId::FLAGS, "12a"), 78);
  EXPECT_EQ(CheckOptionValue(OptionId::PNMQ, ""), 78);
  EXPECT_EQ(CheckOptionValue(OptionId::TCF, std::string("a\0b", 3)), 45);
  EXPECT_EQ(CheckOptionValue(OptionId::TCF, ""), 0);
}

TEST(OptionBuilder, EmptyStringGivesDefaultFieldsAndComposesEmpty) {
  const BuilderParse p = ParseForBuilder("");
  EXPECT_TRUE(p.messages.empty());
  EXPECT_EQ(p.fields, BuilderFields{});
  EXPECT_EQ(ComposeDriverString(BuilderFields{}), "");
}

TEST(OptionBuilder, EachMalformedFormHasItsMessage) {
  const BuilderParse p = ParseForBuilder(
      "/Bogus=1/TCF/DecimalCheck=/decimalcheck=Maybe/FLAGS=x1/TCF=ok.tcf/FULLBUILD");
  EXPECT_EQ(p.messages, (std::vector<std::string>{
                            "Poorly formed driver string.  Bogus is not a valid switch",
                            "Poorly formed driver string.  TCF has no value",
                            "Poorly formed driver string.  DecimalCheck has missing value",
                            "Poorly formed driver string.  decimalcheck has an incorrect value of "
                            "Maybe.  Value ignored,",
                            "Poorly formed driver string.  FLAGS has an incorrect value of x1.  "
                            "Value ignored,",
                            "Poorly formed driver string.  FULLBUILD has no value",
                        }));
  // Whatever was malformed left its field alone.
  EXPECT_EQ(p.fields.transactionControlFile, "ok.tcf");
  EXPECT_TRUE(p.fields.checkDecimalPlaces);
  EXPECT_TRUE(p.fields.others.empty());
}

TEST(OptionBuilder, ControlFileLongerThanTheEntryIsIgnored) {
  const std::string longName(kMaxBuilderControlFileName + 1, 'n');
  const BuilderParse p = ParseForBuilder("/TCF=keep.tcf/TCF=" + longName);
  ASSERT_EQ(p.messages.size(), 1u);
  EXPECT_EQ(p.messages[0], "Poorly formed driver string.  TCF has an incorrect value of " +
                               longName + ".  Value ignored,");
  EXPECT_EQ(p.fields.transactionControlFile, "keep.tcf");
  // An empty TCF is the default control file, not a fault.
  const BuilderParse reset = ParseForBuilder("/TCF=keep.tcf/TCF=");
  EXPECT_TRUE(reset.messages.empty());
  EXPECT_EQ(reset.fields.transactionControlFile, "");
}

TEST(OptionBuilder, ParseAndComposeRoundTrip) {
  const std::string text = "/TCF=[/srv/share/vellum.tcf]/DecimalCheck=OFF/FULLBUILD=ON/FLAGS=9";
  const BuilderParse p = ParseForBuilder(text);
  EXPECT_TRUE(p.messages.empty());
  EXPECT_EQ(p.fields.transactionControlFile, "/srv/share/vellum.tcf");
  EXPECT_FALSE(p.fields.checkDecimalPlaces);
  EXPECT_EQ(ComposeDriverString(p.fields), text);

  // Fields survive compose then parse, a name with "/" and spaces at its ends included.
  BuilderFields f;
  f.transactionControlFile = " lead/and trail ";
  f.checkDecimalPlaces = true;
  f.others = {{"PNMQ", true, "4"}, {"PNM", true, "Table Two"}};
  EXPECT_EQ(ParseForBuilder(ComposeDriverString(f)).fields, f);

  // A repeated option keeps its last value once; defaults are left out.
  const BuilderParse twice = ParseForBuilder("/FLAGS=1/DecimalCheck=on/flags=2");
  EXPECT_EQ(ComposeDriverString(twice.fields), "/flags=2");
}

TEST(OptionBuilder, ComposedStringActsInTheDriver) {
  BuilderFields f;
  f.transactionControlFile = "/var/tmp/ck.tcf";
  f.checkDecimalPlaces = false;
  TableOptions t;
  ASSERT_EQ(ApplyDriverString(ComposeDriverString(f), &t), 0);
  EXPECT_FALSE(t.decimalCheck);
  EXPECT_EQ(TransactionControlFileName(), "/var/tmp/ck.tcf");
  SetTransactionControlFileName("");
  SetTransactionControlFileName("");
}

}  // namespace
}  // namespace ck::vellum
