// The reader of Jw_cad's external-transformation data file: how a line is
// cut into fields, which rule takes it, the modes and flags that carry from
// line to line, every record kind, and the file itself (line breaks, a
// missing file, one that cannot be read, and real lines Jw_cad wrote).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "external/JwwGaibu.h"
#include "testing/faulty_os.h"
#include "testing/testutil.h"

using testutil::TempDir;

namespace {

// Double-byte characters: あ, い, the full-width space, 真 (whose second
// byte is "^").
const std::string kA = "\x82\xA0";
const std::string kI = "\x82\xA2";
const std::string kWideSpace = "\x81\x40";
const std::string kShin = "\x90\x5E";
// <ＭＳ ゴシック>
const std::string kMsGothic =
    "<\x82l\x82r \x83S\x83V\x83"
    "b\x83N>";

class GaibuTest : public ::testing::Test {
 protected:
  // Writes the bytes as the data file and reads it into a fresh model.
  bool ReadBytes(const std::string& bytes) {
    testutil::WriteText(dir.Native("JWC_TEMP.TXT"), bytes);
    ResetGaibuData();
    return ReadGaibuFile(dir.Path("JWC_TEMP.TXT"));
  }
  // The lines as Jw_cad writes them: CR LF after each.
  void Read(const std::vector<std::string>& lines) {
    std::string bytes;
    for (const std::string& line : lines) bytes += line + "\r\n";
    ASSERT_TRUE(ReadBytes(bytes));
  }
  // The text of a single text line.
  std::string TextOf(const std::string& line) {
    Read({line});
    if (g.Texts.size() != 1) return "<" + std::to_string(g.Texts.size()) + " texts>";
    return g.Texts[0].Text;
  }

  TempDir dir;
  TGaibuData& g = GaibuData;
};

using GaibuDefaults = GaibuTest;
using GaibuSplitting = GaibuTest;
using GaibuRuleOrder = GaibuTest;
using GaibuState = GaibuTest;
using GaibuModes = GaibuTest;
using GaibuZFlags = GaibuTest;
using GaibuNumberedPoints = GaibuTest;
using GaibuRecords = GaibuTest;
using GaibuSolids = GaibuTest;
using GaibuTexts = GaibuTest;
using GaibuFile = GaibuTest;
using GaibuCorpus = GaibuTest;

}  // namespace

// ---- Defaults and release ---------------------------------------------------

TEST_F(GaibuDefaults, ResetSetsEveryValueAndTable) {
  GaibuData.FileName = "left over";
  GaibuData.Lines.emplace_back();
  ResetGaibuData();
  EXPECT_EQ(g.FileName, "");
  EXPECT_EQ(g.Hk, 0.0);
  for (double v : g.Hs) EXPECT_EQ(v, 1.0);
  EXPECT_EQ(g.Hzs[0], 1189.0);
  EXPECT_EQ(g.Hzs[1], 841.0);
  for (int k = 1; k <= 10; ++k) {
    EXPECT_EQ(g.TextKinds[k].Width, 3.0);
    EXPECT_EQ(g.TextKinds[k].Height, 3.0);
    EXPECT_EQ(g.TextKinds[k].Spacing, 0.0);
    EXPECT_EQ(g.TextKinds[k].Color, 2);
  }
  EXPECT_FALSE(g.Bz);
  for (double v : g.Hn) EXPECT_EQ(v, 0.0);
  EXPECT_EQ(g.LayerGroupValues, std::vector<std::int32_t>(16, 0));
  EXPECT_EQ(g.LayerGroupNames, std::vector<std::string>(16));
  EXPECT_EQ(g.LayerValues, std::vector<std::int32_t>(256, 0));
  EXPECT_EQ(g.LayerNames, std::vector<std::string>(256));
  EXPECT_EQ(g.PointTag, 0);
  EXPECT_EQ(g.LayerGroup, 0);
  EXPECT_EQ(g.Layer, 0);
  EXPECT_EQ(g.Color, 1);
  EXPECT_EQ(g.LineType, 1);
  EXPECT_EQ(g.LineWidth, 0);
  EXPECT_EQ(g.TextKind, 1);
  EXPECT_EQ(g.TextWidth, 2.0);
  EXPECT_EQ(g.TextHeight, 2.0);
  EXPECT_EQ(g.TextSpacing, 0.0);
  EXPECT_EQ(g.TextColor, 1);
  EXPECT_EQ(g.Cc, 0);
  EXPECT_EQ(g.FontName, kMsGothic);
  EXPECT_EQ(g.PointColor, 1);
  EXPECT_EQ(g.SolidColor, 0);
  EXPECT_EQ(g.ZFlags, 0);
  EXPECT_EQ(g.PolylineCounter, 0);
  EXPECT_FALSE(g.PolylineMode);
  EXPECT_FALSE(g.MsgMode);
  EXPECT_TRUE(g.FirstLayerGroupPending && g.FirstLayerPending && g.FirstColorPending &&
              g.FirstLineTypePending && g.FirstLineWidthPending && g.FirstTextKindPending);
  EXPECT_EQ(g.FirstColor, 1);
  EXPECT_EQ(g.FirstLineType, 1);
  EXPECT_EQ(g.FirstTextKind, 1);
  EXPECT_EQ(g.FirstTextWidth, 2.0);
  EXPECT_EQ(g.FirstTextColor, 1);
  EXPECT_EQ(g.FirstFontName, "");
  EXPECT_EQ(g.NumberedPoints.size(), 100u);
  EXPECT_EQ(g.NumberedPointCount, 0);
  EXPECT_TRUE(g.Lines.empty());
  EXPECT_TRUE(g.Order.empty());
  const TGaibuHead pendingHead{0, 0, 0, 1, 1, 0, 0};
  EXPECT_EQ(g.PendingMsgLine.Head, pendingHead);
  EXPECT_EQ(g.PendingMsgLine.Polyline, 0);
  EXPECT_EQ(g.PendingMsgLine.Xy, (std::array<double, 4>{0.0, 0.0, 1.0, 0.0}));
}

TEST_F(GaibuDefaults, FreeReleasesTablesAndListsButKeepsTheValues) {
  Read({"file=C:\\dwg\\a.jww", "hk 2", "lgn", "hp3 1 2", "1 2 3 4", "ci 1 2 3"});
  FreeGaibuData();
  EXPECT_EQ(g.FileName, "C:\\dwg\\a.jww");
  EXPECT_EQ(g.Hk, 2.0);
  EXPECT_EQ(g.NumberedPointCount, 1);
  EXPECT_TRUE(g.LayerGroupValues.empty() && g.LayerNames.empty() && g.NumberedPoints.empty());
  EXPECT_TRUE(g.Lines.empty() && g.ShortCis.empty() && g.Order.empty());
  EXPECT_EQ(g.Lines.capacity(), 0u);

  // A read after a release without a reset must not write into the
  // released tables: they stay empty.
  testutil::WriteText(dir.Native("again.txt"),
                      "lgF 1\r\nlgnName\r\nlyF 2\r\nlynName\r\nhp9 1 2\r\n");
  ASSERT_TRUE(ReadGaibuFile(dir.Path("again.txt")));
  EXPECT_TRUE(g.LayerGroupValues.empty() && g.LayerGroupNames.empty());
  EXPECT_TRUE(g.LayerValues.empty() && g.LayerNames.empty() && g.NumberedPoints.empty());
  EXPECT_EQ(g.LayerGroup, 15);
}

// ---- Splitting a line into fields -------------------------------------------

TEST_F(GaibuSplitting, RunsOfBlanksAndTabsSeparateOnceAndLeadingBlanksVanish) {
  Read({" \t 1  \t2\t\t3    -4.5"});
  ASSERT_EQ(g.Lines.size(), 1u);
  EXPECT_EQ(g.Lines[0].Xy, (std::array<double, 4>{1, 2, 3, -4.5}));
}

TEST_F(GaibuSplitting, ATrailingBlankOpensAFifthFieldSoFourNumbersAreNoLine) {
  Read({"1 2 3 4 ", "1 2 3 4\t", "1 2 3 4"});
  EXPECT_EQ(g.Lines.size(), 1u);
}

TEST_F(GaibuSplitting, ADoubleQuoteEndsSplittingAndIsDropped) {
  EXPECT_EQ(TextOf("ch 1 2 3 4 \"two  words \"quoted\" a=b"), "two  words \"quoted\" a=b");
  // The quote in the middle of a field ends splitting there too.
  EXPECT_EQ(TextOf("ch 1 2 3 4 ab\"c d"), "abc d");
}

TEST_F(GaibuSplitting, AnEqualsSignStaysAndEndsSplitting) {
  Read({"file=C:\\my drawings\\\"plan\" 1.jww"});
  EXPECT_EQ(g.FileName, "C:\\my drawings\\\"plan\" 1.jww");
  // "2= 3 4" is one field: two fields, no rule, no line.
  Read({"1 2= 3 4"});
  EXPECT_TRUE(g.Lines.empty());
  EXPECT_EQ(TextOf("ch 1 2 3 4 x=y z"), "x=y z");
}

TEST_F(GaibuSplitting, DoubleByteCharactersNeverSeparateFields) {
  // Without a quote, a full-width space is part of the text.
  EXPECT_EQ(TextOf("ch 1 2 3 4 " + kA + kWideSpace + kI), kA + kWideSpace + kI);
  // A lead byte takes the next byte whatever it is: a blank, a quote or "="
  // there neither splits nor ends splitting.
  EXPECT_EQ(TextOf("ch 1 2 3 4 \x81 "), "\x81 ");
  Read({"ch 1 2 3 4 \x81\" x"});
  ASSERT_EQ(g.Texts.size(), 1u);
  EXPECT_EQ(g.Texts[0].Text, "\x81\"");  // " x" opened a seventh field
  // A line of full-width spaces is one field that no rule takes.
  Read({kWideSpace + kWideSpace});
  EXPECT_TRUE(g.Order.empty());
}

TEST_F(GaibuSplitting, ALeadByteAtTheEndOfALineIsDropped) {
  EXPECT_EQ(TextOf("ch 1 2 3 4 ab\x82"), "ab");
  Read({"lg2", "lgn" + kA + "\x82"});
  EXPECT_EQ(g.LayerGroupNames[2], kA);
  // Without a CR LF after it too.
  ASSERT_TRUE(ReadBytes("ch 1 2 3 4 " + kShin + "\x90"));
  ASSERT_EQ(g.Texts.size(), 1u);
  EXPECT_EQ(g.Texts[0].Text, kShin);
}

TEST_F(GaibuSplitting, ControlBytesAndFeFfAreDropped) {
  EXPECT_EQ(TextOf("ch 1 2 3 4 a\xFE"
                   "b\xFF"
                   "c\x01"
                   "d"),
            "abcd");
  // A tab after the quote is no blank any more, just a dropped byte.
  EXPECT_EQ(TextOf("ch 1 2 3 4 \"a\tb c"), "ab c");
  // Half-width katakana (A0-DF) are ordinary one-byte characters.
  EXPECT_EQ(TextOf("ch 1 2 3 4 \xB1\xDF"), "\xB1\xDF");
}

TEST_F(GaibuSplitting, FieldsAfterTheThirtySecondAreIgnored) {
  std::string hs = "hs";
  for (int i = 1; i <= 40; ++i) hs += " " + std::to_string(i);
  Read({hs});
  EXPECT_EQ(g.Hs[0], 1.0);
  EXPECT_EQ(g.Hs[15], 16.0);
}

// ---- Which rule takes a line ------------------------------------------------

TEST_F(GaibuRuleOrder, NameLinesAreNotTakenForLayerLines) {
  Read({"lg3", "lgnWalls", "ly5", "lynDoors"});
  EXPECT_EQ(g.LayerGroup, 3);  // "lgn" would have read as group 0
  EXPECT_EQ(g.Layer, 5);
  EXPECT_EQ(g.LayerGroupNames[3], "Walls");
  EXPECT_EQ(g.LayerNames[3 * 16 + 5], "Doors");
  EXPECT_TRUE(g.FirstLayerGroupPending == false && g.FirstLayerGroup == 3);
}

TEST_F(GaibuRuleOrder, AFontLineIsNotTakenForATextKindLine) {
  Read({"cn4", "cn$Mincho"});
  EXPECT_EQ(g.FontName, "Mincho");
  EXPECT_EQ(g.TextKind, 4);  // "cn$..." as a text kind would be 0
}

TEST_F(GaibuRuleOrder, FourFieldsWithTooFewForTheKeyMakeAPlainLine) {
  Read({"pt 1 2 3", "hs 5 6 7", "sl 1 2 3", "ch 1 2 3"});
  ASSERT_EQ(g.Lines.size(), 4u);
  EXPECT_EQ(g.Lines[0].Xy, (std::array<double, 4>{0, 1, 2, 3}));
  EXPECT_EQ(g.Hs[0], 1.0);
  EXPECT_TRUE(g.Points.empty() && g.Texts.empty() && g.Solids2.empty());
}

TEST_F(GaibuRuleOrder, FourFieldsForAKeyOfItsOwnAreNoPlainLine) {
  // "ci" with four fields is a circle; "lc" and "hk" lines take any count.
  Read({"ci 1 2 3", "lc2 7 8 9", "hk 1 2 3"});
  EXPECT_TRUE(g.Lines.empty());
  EXPECT_EQ(g.ShortCis.size(), 1u);
  EXPECT_EQ(g.Color, 2);
  EXPECT_EQ(g.Hk, 1.0);
}

TEST_F(GaibuRuleOrder, KeysAreWholeWordsWhereTheyMustBe) {
  // "pts" and "z6" are no keys; "pn12" begins with "pn" and is one.
  Read({"pts 1 2", "z6", "pn12", "ci 1 2 3 4 5", "pt 1 2 3 4"});
  EXPECT_TRUE(g.Order.empty());
  EXPECT_EQ(g.ZFlags, 0);
  EXPECT_EQ(g.PointColor, 12);
}

TEST_F(GaibuRuleOrder, AnEmptyOrBlankLineIsIgnored) {
  Read({"", "   ", "\t", "\"", "1 2 3 4"});
  EXPECT_EQ(g.Order.size(), 1u);
}

// ---- Drawing settings and current attributes --------------------------------

TEST_F(GaibuState, DrawingSettingsNeedTheirFields) {
  Read({"hk", "hzs 420", "hn 1 2 3", "hcw 1 2 3 4 5 6 7 8 9"});
  EXPECT_EQ(g.Hk, 0.0);
  EXPECT_EQ(g.Hzs[0], 1189.0);
  EXPECT_EQ(g.Hn[0], 0.0);
  EXPECT_EQ(g.TextKinds[1].Width, 3.0);
  Read({"hk 0.5", "hzs 420 297", "hn 1 2 3 4", "bz", "hcw 1 2 3 4 5 6 7 8 9 10",
        "hch 11 12 13 14 15 16 17 18 19 20", "hcd abc 1 1 1 1 1 1 1 1 9",
        "hcc 3 4 5 6 7 8 9 1 2 x"});
  EXPECT_EQ(g.Hk, 0.5);
  EXPECT_EQ(g.Hzs, (std::array<double, 2>{420, 297}));
  EXPECT_EQ(g.Hn, (std::array<double, 4>{1, 2, 3, 4}));
  EXPECT_TRUE(g.Bz);
  EXPECT_EQ(g.TextKinds[1].Width, 1.0);
  EXPECT_EQ(g.TextKinds[10].Width, 10.0);
  EXPECT_EQ(g.TextKinds[10].Height, 20.0);
  EXPECT_EQ(g.TextKinds[1].Spacing, 0.0);  // not a number: 0
  EXPECT_EQ(g.TextKinds[10].Spacing, 9.0);
  EXPECT_EQ(g.TextKinds[1].Color, 3);
  EXPECT_EQ(g.TextKinds[10].Color, 0);
}

TEST_F(GaibuState, LayerDigitsAreHexadecimalAndAnythingElseIsZero) {
  Read({"lgF 12", "lyb 4", "lgc"});
  EXPECT_EQ(g.LayerGroup, 12);
  EXPECT_EQ(g.Layer, 11);
  EXPECT_EQ(g.LayerGroupValues[15], 12);
  EXPECT_EQ(g.LayerValues[15 * 16 + 11], 4);
  Read({"lgF", "lyF", "lgG 5", "lyz 6"});
  EXPECT_EQ(g.LayerGroup, 0);
  EXPECT_EQ(g.Layer, 0);
  EXPECT_EQ(g.LayerGroupValues[0], 5);
  EXPECT_EQ(g.LayerValues[0], 6);
  Read({"lg", "ly"});  // no digit at all
  EXPECT_EQ(g.LayerGroup, 0);
}

TEST_F(GaibuState, ColourTenCarriesTheSolidColourValue) {
  Read({"lc3 77"});
  EXPECT_EQ(g.SolidColor, 0);
  Read({"lc10 77", "lc2"});
  EXPECT_EQ(g.SolidColor, 77);  // kept until the next colour 10
  EXPECT_EQ(g.Color, 2);
}

TEST_F(GaibuState, CcIsOneDigitFromZeroToEight) {
  Read({"cc8"});
  EXPECT_EQ(g.Cc, 8);
  Read({"cc5", "cc9"});
  EXPECT_EQ(g.Cc, 0);
  Read({"cc5", "cc"});
  EXPECT_EQ(g.Cc, 0);
  Read({"cc37"});  // only byte 3 counts
  EXPECT_EQ(g.Cc, 3);
}

TEST_F(GaibuState, FreeTextSizeOnlyWithTextKindZeroAndFiveFields) {
  Read({"cn0 4 5 6"});
  EXPECT_EQ(g.TextKind, 0);
  EXPECT_EQ(g.TextWidth, 2.0);
  Read({"cn3 4 5 6 7"});
  EXPECT_EQ(g.TextWidth, 2.0);
  Read({"cn0 4 5 6 7"});
  EXPECT_EQ(g.TextWidth, 4.0);
  EXPECT_EQ(g.TextHeight, 5.0);
  EXPECT_EQ(g.TextSpacing, 6.0);
  EXPECT_EQ(g.TextColor, 7);
}

TEST_F(GaibuState, FirstValuesAreTheFirstLinesOnly) {
  Read({"lg2", "ly3", "lc4", "lt5", "lw6", "cn0 7 8 9 3", "cn$", "cn$A", "lg9", "ly9", "lc9", "lt9",
        "lw9", "cn0 1 1 1 1", "cn$B"});
  EXPECT_EQ(g.FirstLayerGroup, 2);
  EXPECT_EQ(g.FirstLayer, 3);
  EXPECT_EQ(g.FirstColor, 4);
  EXPECT_EQ(g.FirstLineType, 5);
  EXPECT_EQ(g.FirstLineWidth, 6);
  EXPECT_EQ(g.FirstTextKind, 0);
  EXPECT_EQ(g.FirstTextWidth, 7.0);
  EXPECT_EQ(g.FirstTextHeight, 8.0);
  EXPECT_EQ(g.FirstTextSpacing, 9.0);
  EXPECT_EQ(g.FirstTextColor, 3);
  EXPECT_EQ(g.FirstFontName, "A");  // the empty "cn$" did not count
  EXPECT_EQ(g.FontName, "B");
  EXPECT_EQ(g.Color, 9);
  EXPECT_FALSE(g.FirstColorPending);
  // A first "cn" of another kind keeps the free size's defaults.
  Read({"cn3", "cn0 7 8 9 3"});
  EXPECT_EQ(g.FirstTextKind, 3);
  EXPECT_EQ(g.FirstTextWidth, 2.0);
}

TEST_F(GaibuState, TheHeadOfARecordIsTheAttributesInForce) {
  Read({"hhp7", "lg2", "ly3", "lc4", "lt5", "lw6", "ci 1 2 3", "lg0", "ci 1 2 3"});
  ASSERT_EQ(g.ShortCis.size(), 2u);
  EXPECT_EQ(g.ShortCis[0].Head, (TGaibuHead{7, 2, 3, 4, 5, 6, 0}));
  EXPECT_EQ(g.ShortCis[1].Head, (TGaibuHead{7, 0, 3, 4, 5, 6, 0}));
}

// ---- Polyline mode, msg mode, "#" -------------------------------------------

TEST_F(GaibuModes, PolylineLinesShareTheCounterUntilAStateLine) {
  Read({"1 1 1 1", "pl", "1 1 1 1", "2 2 2 2", "lc2", "3 3 3 3", "pl", "4 4 4 4", "pl", "5 5 5 5"});
  ASSERT_EQ(g.Lines.size(), 6u);
  EXPECT_EQ(g.Lines[0].Polyline, 0);
  EXPECT_EQ(g.Lines[1].Polyline, 1);
  EXPECT_EQ(g.Lines[2].Polyline, 1);
  EXPECT_EQ(g.Lines[3].Polyline, 0);
  EXPECT_EQ(g.Lines[4].Polyline, 2);
  EXPECT_EQ(g.Lines[5].Polyline, 3);
  EXPECT_EQ(g.PolylineCounter, 3);
}

TEST_F(GaibuModes, EveryStateLineAndOtherRecordEndsAPolyline) {
  for (const char* breaker : {"lg1", "ly1", "lc1", "lt1", "lw1", "cn$x", "cn1", "cc1", "pn1", "#",
                              "msg", "pt 1 2", "ci 1 2 3"}) {
    Read({"pl", breaker, "1 1 1 1"});
    if (g.MsgMode) {
      EXPECT_TRUE(g.Lines.empty()) << breaker;
      continue;
    }
    ASSERT_EQ(g.Lines.size(), 1u) << breaker;
    EXPECT_EQ(g.Lines[0].Polyline, 0) << breaker;
  }
  // Settings and z flags do not end it.
  Read({"pl", "hk 1", "z1", "bz", "hhp3", "1 1 1 1"});
  ASSERT_EQ(g.Lines.size(), 1u);
  EXPECT_EQ(g.Lines[0].Polyline, 1);
}

TEST_F(GaibuModes, MsgTakesTheLastPlainLineIntoTheCsText) {
  Read({"lc3", "msg", "1 1 1 1", "2 2 2 2", "lc5", "cs 9 8 7 6 \"note here", "3 3 3 3"});
  ASSERT_EQ(g.LineTexts.size(), 1u);
  const TGaibuLineText& r = g.LineTexts[0];
  EXPECT_EQ(r.Line.Xy, (std::array<double, 4>{2, 2, 2, 2}));
  EXPECT_EQ(r.Line.Head.Color, 3);  // as it was when the line was read
  EXPECT_EQ(r.Head.Color, 5);
  EXPECT_EQ(r.Text.KeyCode, 2);
  EXPECT_EQ(r.Text.Text, "note here");
  EXPECT_EQ(r.Text.V, (std::array<double, 4>{9, 8, 7, 6}));
  EXPECT_FALSE(g.MsgMode);
  // Only the line after the text became a line record.
  ASSERT_EQ(g.Lines.size(), 1u);
  EXPECT_EQ(g.Lines[0].Xy[0], 3.0);
  EXPECT_EQ(g.Order, (std::vector<TGaibuOrder>{{kGaibuLineText, 0}, {kGaibuLine, 0}}));
  EXPECT_EQ(g.PendingMsgLine.Xy[0], 2.0);
}

TEST_F(GaibuModes, InMsgModeOtherTextsAreTextsAndEndIt) {
  Read({"msg", "1 1 1 1", "ch 0 0 0 0 a", "2 2 2 2", "cs 0 0 0 0 b"});
  EXPECT_TRUE(g.LineTexts.empty());
  ASSERT_EQ(g.Texts.size(), 2u);
  EXPECT_EQ(g.Texts[1].KeyCode, 2);
  EXPECT_EQ(g.Lines.size(), 1u);
}

TEST_F(GaibuModes, PlAndHashEndMsgMode) {
  Read({"msg", "pl", "1 1 1 1"});
  ASSERT_EQ(g.Lines.size(), 1u);
  EXPECT_EQ(g.Lines[0].Polyline, 1);
  Read({"msg", "#", "1 1 1 1", "cs 0 0 0 0 t"});
  EXPECT_EQ(g.Lines.size(), 1u);
  EXPECT_TRUE(g.LineTexts.empty());
  // A state line does not end msg mode.
  Read({"msg", "lc2", "1 1 1 1", "cs 0 0 0 0 t"});
  EXPECT_TRUE(g.Lines.empty());
  EXPECT_EQ(g.LineTexts.size(), 1u);
}

TEST_F(GaibuModes, ACsTextInMsgModeWithoutALineTakesTheDefaultPendingLine) {
  Read({"msg", "cs 0 0 0 0 t"});
  ASSERT_EQ(g.LineTexts.size(), 1u);
  EXPECT_EQ(g.LineTexts[0].Line.Xy, (std::array<double, 4>{0, 0, 1, 0}));
}

// ---- z flags ----------------------------------------------------------------

TEST_F(GaibuZFlags, FlagsGatherForTheNextRecordOnly) {
  Read({"z1", "z4", "z4", "ci 1 2 3", "ci 1 2 3", "z2", "z3", "z5", "1 1 1 1", "pt 1 2"});
  EXPECT_EQ(g.ShortCis[0].Head.ZFlags, 9);
  EXPECT_EQ(g.ShortCis[1].Head.ZFlags, 0);
  EXPECT_EQ(g.Lines[0].Head.ZFlags, 2 + 4 + 16);
  EXPECT_EQ(g.Points[0].Head.ZFlags, 0);
}

TEST_F(GaibuZFlags, ThePendingMsgLineTakesThemToo) {
  Read({"msg", "z2", "1 1 1 1", "z1", "cs 0 0 0 0 t", "ci 1 2 3"});
  ASSERT_EQ(g.LineTexts.size(), 1u);
  EXPECT_EQ(g.LineTexts[0].Line.Head.ZFlags, 2);
  EXPECT_EQ(g.LineTexts[0].Head.ZFlags, 1);
  EXPECT_EQ(g.ShortCis[0].Head.ZFlags, 0);
  EXPECT_EQ(g.ZFlags, 0);
}

// ---- Numbered points and the point-number tag --------------------------------

TEST_F(GaibuNumberedPoints, SuffixesAreCodedAndTheNumberPrecedesThem) {
  Read({"hp1 1 2", "hp2- 3 4", "hp3ln 5 6", "hp4ci 7 8", "hp5ch 9 10", "hp99 11 12"});
  const int expectedSuffix[] = {0, 0, 1, 2, 3, 4};
  for (int slot = 1; slot <= 5; ++slot) {
    const TGaibuNumberedPoint& p = g.NumberedPoints[slot];
    EXPECT_TRUE(p.Set) << slot;
    EXPECT_EQ(p.Suffix, expectedSuffix[slot]) << slot;
    EXPECT_EQ(p.X, 2.0 * slot - 1) << slot;
    EXPECT_EQ(p.Y, 2.0 * slot) << slot;
  }
  EXPECT_TRUE(g.NumberedPoints[99].Set);
  EXPECT_FALSE(g.NumberedPoints[6].Set);
  EXPECT_EQ(g.NumberedPointCount, 6);
}

TEST_F(GaibuNumberedPoints, SlotsOutsideOneToNinetyNineChangeNothing) {
  Read({"hp0 1 2", "hp100 1 2", "hp-1 1 2", "hpx 1 2", "hp 1 2", "hp7 1"});
  EXPECT_EQ(g.NumberedPointCount, 0);
  for (const auto& p : g.NumberedPoints) EXPECT_FALSE(p.Set);
  EXPECT_TRUE(g.Order.empty());
}

TEST_F(GaibuNumberedPoints, SettingASlotAgainCountsAgain) {
  Read({"hp5 1 2", "hp5ch 3 4"});
  EXPECT_EQ(g.NumberedPointCount, 2);
  EXPECT_EQ(g.NumberedPoints[5].X, 3.0);
  EXPECT_EQ(g.NumberedPoints[5].Suffix, 4);
}

TEST_F(GaibuNumberedPoints, ASuffixInsideADoubleByteCharacterIsNone) {
  // 0x83 0x63 is a katakana whose second byte is "c": the "ch" it seems to
  // begin is no suffix, so the "-" before it stays the one found.
  Read(
      {"hp5-\x83"
       "ch 1 2"});
  EXPECT_TRUE(g.NumberedPoints[5].Set);
  EXPECT_EQ(g.NumberedPoints[5].Suffix, 1);
}

TEST_F(GaibuNumberedPoints, ThePointNumberTagStaysUntilTheNext) {
  Read({"hhp12", "1 1 1 1", "ci 1 2 3", "hhp34ln", "1 1 1 1", "hhp5ch", "1 1 1 1", "hhp6ci",
        "1 1 1 1", "hhp", "1 1 1 1", "hhpx", "1 1 1 1"});
  ASSERT_EQ(g.Lines.size(), 6u);
  EXPECT_EQ(g.Lines[0].Head.PointTag, 12);
  EXPECT_EQ(g.ShortCis[0].Head.PointTag, 12);
  EXPECT_EQ(g.Lines[1].Head.PointTag, 34);
  EXPECT_EQ(g.Lines[2].Head.PointTag, 5);
  EXPECT_EQ(g.Lines[3].Head.PointTag, 6);
  EXPECT_EQ(g.Lines[4].Head.PointTag, 0);
  EXPECT_EQ(g.Lines[5].Head.PointTag, 0);
}

// ---- Record kinds ------------------------------------------------------------

TEST_F(GaibuRecords, EveryKindLandsInItsListAndTheOrderList) {
  Read({"1 2 3 4", "ci 1 2 3", "ci 1 2 3 4 5 6 7", "ch 1 2 3 4 t", "pt 1 2", "pt 1 2 3 4 5",
        "BL 1 2 blockname", "sl 1 2 3 4", "sl 1 2 3 4 5 6", "sl 1 2 3 4 5 6 7 8",
        "sc 1 2 3 4 5 6 7 8", "se 1 2 3 4 5 6 7 8", "so 1 2 3 4 5 6 7 8", "sg 1 2 3 4 5 6 7 8",
        "1 2 3 4"});
  std::vector<TGaibuOrder> expected;
  for (int kind : {1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15}) expected.push_back({kind, 0});
  expected.push_back({kGaibuLine, 1});
  EXPECT_EQ(g.Order, expected);
}

TEST_F(GaibuRecords, FieldsGoWhereTheyBelong) {
  Read({"ci 1 2 3 4 5 6 7 8 9", "pt 1 2 3 4 5 6", "BL 1.5 2.5 my block", "lc10 6",
        "sc 1 2 3 4 5 6 7 8", "se 1 2 3 4 5 6 7 -1", "so 1 2 3 4 5 6 7 8", "sg 8 7 6 5 4 3 2 1"});
  EXPECT_EQ(g.LongCis[0].V, (std::array<double, 7>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(g.LongPoints[0].Xy, (std::array<double, 2>{1, 2}));
  EXPECT_EQ(g.LongPoints[0].V, (std::array<double, 2>{3, 4}));
  EXPECT_EQ(g.LongPoints[0].Code, 5);
  EXPECT_EQ(g.Blocks[0].Xy, (std::array<double, 2>{1.5, 2.5}));
  EXPECT_EQ(g.Blocks[0].Name, "my");  // unquoted: field 4 only
  EXPECT_EQ(g.Scs[0].SolidColor, 6);
  EXPECT_EQ(g.Scs[0].V, (std::array<double, 7>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(g.Scs[0].Code, 8);
  EXPECT_EQ(g.Ses[0].Code, -1);
  EXPECT_EQ(g.Sos[0].V, (std::array<double, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(g.Sgs[0].V[0], 8.0);
  EXPECT_EQ(g.Sgs[0].SolidColor, 6);
}

TEST_F(GaibuRecords, CiAndPtNeedTheirExactCounts) {
  // ci: 4 or at least 8 fields; pt: 3 or at least 6.
  Read({"ci 1 2 3 4", "ci 1 2 3 4 5", "ci 1 2 3 4 5 6", "pt 1", "pt 1 2 3 4"});
  EXPECT_TRUE(g.ShortCis.empty() && g.LongCis.empty() && g.Points.empty() && g.LongPoints.empty());
  EXPECT_TRUE(g.Order.empty());
}

TEST_F(GaibuRecords, PointsCarryThePointColour) {
  Read({"lc3", "pn6", "pt 1 2", "pt 1 2 3 4 5", "ci 1 2 3"});
  EXPECT_EQ(g.Points[0].Head.Color, 6);
  EXPECT_EQ(g.LongPoints[0].Head.Color, 6);
  EXPECT_EQ(g.ShortCis[0].Head.Color, 3);
}

TEST_F(GaibuRecords, RecordsOtherThanPlainLinesEndBothModes) {
  Read({"msg", "BL 0 0 b", "1 1 1 1"});
  EXPECT_EQ(g.Lines.size(), 1u);
  Read({"msg", "so 1 2 3 4 5 6 7 8", "1 1 1 1"});
  EXPECT_EQ(g.Lines.size(), 1u);
}

// ---- Solids ------------------------------------------------------------------

TEST_F(GaibuSolids, TwoAndThreePointForms) {
  Read({"lc10 4", "sl 1 2 3 4", "sl 1 2 1 2 5 6", "sl 1 2 3 4 3 4", "sl 1 2 3 4 5 6"});
  ASSERT_EQ(g.Solids2.size(), 3u);
  EXPECT_EQ(g.Solids2[0].Xy, (std::array<double, 4>{1, 2, 3, 4}));
  EXPECT_EQ(g.Solids2[0].SolidColor, 4);
  EXPECT_EQ(g.Solids2[1].Xy, (std::array<double, 4>{1, 2, 5, 6}));  // P1 = P2: P1, P3
  EXPECT_EQ(g.Solids2[2].Xy, (std::array<double, 4>{1, 2, 3, 4}));  // P2 = P3: P1, P2
  ASSERT_EQ(g.Solids3.size(), 1u);
  EXPECT_EQ(g.Solids3[0].Xy, (std::array<double, 6>{1, 2, 3, 4, 5, 6}));
}

TEST_F(GaibuSolids, SixAndEightFieldsAreIgnored) {
  Read({"sl 1 2 3 4 5", "sl 1 2 3 4 5 6 7"});
  EXPECT_TRUE(g.Order.empty());
}

struct FourPointCase {
  const char* line;
  int kind;
  std::vector<double> xy;
};

TEST_F(GaibuSolids, FourPointCasesInTheirOrder) {
  // Points written a, b, c, d: a = (1 1), b = (2 2), c = (3 3), d = (4 4).
  const FourPointCase cases[] = {
      {"sl 1 1 1 1 1 1 4 4", 9, {1, 1, 4, 4}},               // 1: P1 = P2 = P3
      {"sl 1 1 2 2 2 2 2 2", 9, {1, 1, 2, 2}},               // 2: P2 = P3 = P4
      {"sl 1 1 1 1 3 3 3 3", 9, {1, 1, 3, 3}},               // 3: P1 = P2 and P3 = P4
      {"sl 1 1 2 2 3 3 2 2", 10, {1, 1, 2, 2, 3, 3}},        // 4: P4 repeats P2
      {"sl 1 1 2 2 3 3 3 3", 10, {1, 1, 2, 2, 3, 3}},        // 4: P4 repeats P3
      {"sl 1 1 2 2 1 1 4 4", 10, {1, 1, 2, 2, 4, 4}},        // 5: P3 repeats P1
      {"sl 1 1 2 2 2 2 4 4", 10, {1, 1, 2, 2, 4, 4}},        // 5: P3 repeats P2
      {"sl 1 1 1 1 3 3 4 4", 10, {1, 1, 3, 3, 4, 4}},        // 6: P2 = P1
      {"sl 1 1 2 2 3 3 4 4", 11, {1, 1, 2, 2, 3, 3, 4, 4}},  // 7: all distinct
      // Case 1 wins over case 3, case 2 over case 4.
      {"sl 1 1 1 1 1 1 1 1", 9, {1, 1, 1, 1}},
      {"sl 1 1 2 2 2 2 2 2 extra", 9, {1, 1, 2, 2}},
      // Within 1e-10 is the same point; 1e-6 apart is not.
      {"sl 1 1 2 2 3 3 1.00000000001 1", 10, {1, 1, 2, 2, 3, 3}},
      {"sl 1 1 2 2 3 3 1.000001 1", 11, {1, 1, 2, 2, 3, 3, 1.000001, 1}},
  };
  for (const FourPointCase& c : cases) {
    Read({c.line});
    ASSERT_EQ(g.Order.size(), 1u) << c.line;
    ASSERT_EQ(g.Order[0].Kind, c.kind) << c.line;
    std::vector<double> got;
    if (c.kind == 9) got.assign(g.Solids2[0].Xy.begin(), g.Solids2[0].Xy.end());
    if (c.kind == 10) got.assign(g.Solids3[0].Xy.begin(), g.Solids3[0].Xy.end());
    if (c.kind == 11) got.assign(g.Solids4[0].Xy.begin(), g.Solids4[0].Xy.end());
    EXPECT_EQ(got, c.xy) << c.line;
  }
}

// ---- Texts -------------------------------------------------------------------

TEST_F(GaibuTexts, KeyCodesFollowTheKeys) {
  Read({"ch 0 0 0 0 t", "cv 0 0 0 0 t", "cs 0 0 0 0 t", "cr 0 0 0 0 t", "co 0 0 0 0 t",
        "cp 0 0 0 0 t", "ct 0 0 0 0 t", "ck 0 0 0 0 t", "cz 0 0 0 0 t", "c2 0 0 0 0 t",
        "cx 0 0 0 0 t", "ch 0 0 0 0"});
  ASSERT_EQ(g.Texts.size(), 10u);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(g.Texts[i].KeyCode, i);
}

TEST_F(GaibuTexts, KindsOneToTenUseTheTableAndOthersTheFreeSize) {
  Read({"hcw 1 2 3 4 5 6 7 8 9 10", "hch 11 12 13 14 15 16 17 18 19 20",
        "hcd 21 22 23 24 25 26 27 28 29 30", "hcc 31 32 33 34 35 36 37 38 39 40", "cn0 5 6 7 8",
        "lc3", "cn1", "ch 0 0 0 0 a", "cn10", "ch 0 0 0 0 b", "cn11", "ch 0 0 0 0 c", "cn0",
        "ch 0 0 0 0 d"});
  ASSERT_EQ(g.Texts.size(), 4u);
  const TGaibuText& k1 = g.Texts[0];
  EXPECT_EQ(k1.TextKind, 1);
  EXPECT_EQ(k1.Width, 1.0);
  EXPECT_EQ(k1.Height, 11.0);
  EXPECT_EQ(k1.Spacing, 21.0);
  EXPECT_EQ(k1.Head.Color, 31);
  EXPECT_EQ(g.Texts[1].Width, 10.0);
  EXPECT_EQ(g.Texts[1].Head.Color, 40);
  for (int i : {2, 3}) {
    const TGaibuText& t = g.Texts[i];
    EXPECT_EQ(t.Width, 5.0) << i;
    EXPECT_EQ(t.Height, 6.0) << i;
    EXPECT_EQ(t.Spacing, 7.0) << i;
    EXPECT_EQ(t.Head.Color, 8) << i;
  }
  EXPECT_EQ(g.Texts[2].TextKind, 11);
}

TEST_F(GaibuTexts, TextFieldsCcAndFont) {
  Read({"cc4", "cn$Gothic", "ch 1.5 -2 3e2 4 \"a b"});
  const TGaibuText& t = g.Texts[0];
  EXPECT_EQ(t.V, (std::array<double, 4>{1.5, -2, 300, 4}));
  EXPECT_EQ(t.Cc, 4);
  EXPECT_EQ(t.FontName, "Gothic");
  EXPECT_EQ(t.Text, "a b");
  // Without a quote, the words after field 6 are lost.
  EXPECT_EQ(TextOf("ch 1 2 3 4 a b"), "a");
}

TEST_F(GaibuTexts, TextsAndFontsAreCutAt255BytesOnACharacter) {
  EXPECT_EQ(TextOf("ch 1 2 3 4 " + std::string(300, 'x')), std::string(255, 'x'));
  // あ would take bytes 255 and 256: it goes whole.
  EXPECT_EQ(TextOf("ch 1 2 3 4 " + std::string(254, 'x') + kA), std::string(254, 'x'));
  Read({"cn$" + std::string(254, 'f') + kA + "tail", "ch 1 2 3 4 t"});
  EXPECT_EQ(g.FontName.size(), 254u + 2 + 4);  // the current name is not cut
  EXPECT_EQ(g.Texts[0].FontName, std::string(254, 'f'));
}

// ---- The file ----------------------------------------------------------------

TEST_F(GaibuFile, LineFeedsAloneAndALastLineWithoutABreak) {
  ASSERT_TRUE(ReadBytes("1 1 1 1\n2 2 2 2\r\n\n3 3 3 3"));
  ASSERT_EQ(g.Lines.size(), 3u);
  EXPECT_EQ(g.Lines[2].Xy[3], 3.0);
  // A CR before the LF is no part of the line: "4" stays a number.
  ASSERT_TRUE(ReadBytes("1 2 3 4\r\n"));
  EXPECT_EQ(g.Lines[0].Xy[3], 4.0);
  // A CR alone breaks no line; as a control byte it is dropped.
  ASSERT_TRUE(ReadBytes("1 2\r3 4\r\n"));
  ASSERT_EQ(g.Lines.size(), 0u);  // "23" made three fields
  ASSERT_TRUE(ReadBytes(""));
  EXPECT_TRUE(g.Order.empty());
}

TEST_F(GaibuFile, AMissingFileReadsNothing) {
  ResetGaibuData();
  EXPECT_FALSE(ReadGaibuFile(dir.Path("JWC_TEMP.TXT")));
  EXPECT_EQ(g.FileName, "");
  EXPECT_EQ(g.LayerValues.size(), 256u);
  EXPECT_EQ(g.Color, 1);
  // A folder of that name is no data file either.
  std::filesystem::create_directory(dir.Native("JWC_TEMP.TXT"));
  EXPECT_FALSE(ReadGaibuFile(dir.Path("JWC_TEMP.TXT")));
}

TEST_F(GaibuFile, AFileThatCannotBeOpenedThrowsNamingIt) {
  testutil::WriteText(dir.Native("JWC_TEMP.TXT"), "file=C:\\a.jww\r\n");
  platform::FaultyOs faulty;
  faulty.failOpenReadAt = 1;
  platform::ScopedOs use(faulty);
  ResetGaibuData();
  try {
    ReadGaibuFile(dir.Path("JWC_TEMP.TXT"));
    FAIL() << "no exception";
  } catch (const GaibuIoError& e) {
    EXPECT_NE(std::string(e.what()).find("JWC_TEMP.TXT"), std::string::npos) << e.what();
  }
  EXPECT_EQ(g.FileName, "");
}

TEST_F(GaibuFile, AFailedReadThrowsNamingTheFile) {
  testutil::WriteText(dir.Native("JWC_TEMP.TXT"), "file=C:\\a.jww\r\n1 2 3 4\r\n");
  platform::FaultyOs faulty;
  faulty.failReadAt = 1;
  platform::ScopedOs use(faulty);
  ResetGaibuData();
  try {
    ReadGaibuFile(dir.Path("JWC_TEMP.TXT"));
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("JWC_TEMP.TXT"), std::string::npos) << e.what();
  }
  EXPECT_EQ(g.FileName, "");
  EXPECT_TRUE(g.Lines.empty());
}

TEST_F(GaibuFile, AReadFailingLaterKeepsOnlyTheWholeLinesBeforeIt) {
  // Big enough for several reads. Every line ends in "45": a line cut by
  // the failure would show as a line ending in 4 or 0.
  const int total = 20000;
  std::string bytes = "file=ab\r\n";
  for (int i = 0; i < total; ++i) bytes += "1 2 3 45\r\n";
  testutil::WriteText(dir.Native("JWC_TEMP.TXT"), bytes);
  platform::FaultyOs faulty;
  faulty.failReadAt = 2;
  platform::ScopedOs use(faulty);
  ResetGaibuData();
  EXPECT_THROW(ReadGaibuFile(dir.Path("JWC_TEMP.TXT")), GaibuIoError);
  EXPECT_EQ(g.FileName, "ab");
  EXPECT_GT(g.Lines.size(), 0u);
  EXPECT_LT(g.Lines.size(), static_cast<std::size_t>(total));
  for (const TGaibuLine& line : g.Lines) ASSERT_EQ(line.Xy[3], 45.0);
}

TEST_F(GaibuFile, TheDrawingNameAsJwCadWritesIt) {
  Read({"hq", "file=C:\\jww\\my plan " + kShin + ".jww", "file", "hk 0"});
  EXPECT_EQ(g.FileName, "C:\\jww\\my plan " + kShin + ".jww");
  Read({"file="});
  EXPECT_EQ(g.FileName, "");
}

// ---- Lines Jw_cad wrote --------------------------------------------------------

TEST_F(GaibuCorpus, Coord1) {
  const auto corpus = testutil::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  ResetGaibuData();
  ASSERT_TRUE(ReadGaibuFile(testutil::InternalPath(corpus / "coord1.txt")));
  // Counted line by line in the file (47 lines): four plain lines of four
  // numbers (lines 12, 16, 20, 24); "ci" with 8 fields three times (28, 31,
  // 34) and with 4 once (37); "pt" with 3 fields twice (40, 43); one "sl"
  // of 7 fields with three distinct corners (45) and one of 9 fields with
  // four distinct corners (47). Everything else sets state.
  EXPECT_EQ(g.Lines.size(), 4u);
  EXPECT_EQ(g.LongCis.size(), 3u);
  EXPECT_EQ(g.ShortCis.size(), 1u);
  EXPECT_EQ(g.Points.size(), 2u);
  EXPECT_EQ(g.Solids3.size(), 1u);
  EXPECT_EQ(g.Solids4.size(), 1u);
  EXPECT_TRUE(g.Texts.empty() && g.Solids2.empty() && g.LineTexts.empty());
  EXPECT_EQ(g.Order.size(), 12u);

  // cn"$<ＭＳ ゴシック>: the quote hid nothing but itself.
  EXPECT_EQ(g.FontName, kMsGothic);
  EXPECT_EQ(g.FirstFontName, kMsGothic);
  EXPECT_EQ(g.FirstLayer, 8);
  EXPECT_EQ(g.FirstColor, 2);
  EXPECT_EQ(g.FirstLineWidth, 17);
  EXPECT_EQ(g.FirstTextKind, 0);
  EXPECT_EQ(g.FirstTextWidth, 20.0);
  EXPECT_EQ(g.Lines[0].Head, (TGaibuHead{0, 0, 0, 1, 1, 8, 0}));
  EXPECT_EQ(g.Lines[3].Head, (TGaibuHead{0, 0, 0, 4, 4, 34, 0}));
  EXPECT_EQ(g.Lines[0].Xy,
            (std::array<double, 4>{-18062.5, 15631.9444444444, 17937.5, 15631.9444444444}));
  EXPECT_EQ(g.LongCis[2].V[3], 270.0);
  EXPECT_EQ(g.ShortCis[0].V[2], 3000.0);
  EXPECT_EQ(g.Points[0].Head.Color, 3);
  EXPECT_EQ(g.Points[1].Head.Color, 4);
  EXPECT_EQ(g.Solids4[0].Head.Color, 5);
  EXPECT_EQ(g.Solids4[0].Xy[7], -6368.05555555555);
}

TEST_F(GaibuCorpus, Coord2) {
  const auto corpus = testutil::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  ResetGaibuData();
  ASSERT_TRUE(ReadGaibuFile(testutil::InternalPath(corpus / "coord2.txt")));
  // Counted in the file (139 lines). Plain lines of four numbers, by run:
  // 10-13 (4), 15-22 (8), 24 (1), 26-29 (4), 31-34 (4), 36-39 (4),
  // 41-43 (3), 45-53 (9), 55-57 (3), 59-64 (6): 46. Texts: "cz" at 68-71,
  // 73-76, 78-81, 83-86 (16), 88-93 (6), 96-102 every other line (4),
  // 110-116 (4), 119-125 (4), 127-133 (4), "ck" at 105 and 107 (2), "ch" at
  // 135, 137 and 139 (3): 43. Each text has six fields, the last one
  // quoted ("15.000 , 20.000" stays whole).
  EXPECT_EQ(g.Lines.size(), 46u);
  EXPECT_EQ(g.Texts.size(), 43u);
  EXPECT_EQ(g.Order.size(), 89u);

  // "lya" (line 40) is layer 10: the 26th to 28th lines are on it, the
  // 29th follows "ly4".
  EXPECT_EQ(g.Lines[24].Head.Layer, 3);
  EXPECT_EQ(g.Lines[25].Head.Layer, 10);
  EXPECT_EQ(g.Lines[27].Head.Layer, 10);
  EXPECT_EQ(g.Lines[28].Head.Layer, 4);
  // "cn2" puts the first texts on kind 2 of the table (defaults).
  EXPECT_EQ(g.Texts[0].TextKind, 2);
  EXPECT_EQ(g.Texts[0].Width, 3.0);
  EXPECT_EQ(g.Texts[0].Head.Color, 2);
  EXPECT_EQ(g.Texts[0].Text, "2.800,4.200");
  EXPECT_EQ(g.Texts[0].FontName, kMsGothic);
  // The free-size texts.
  EXPECT_EQ(g.Texts[22].Width, 2.5);
  EXPECT_EQ(g.Texts[22].Head.Color, 4);
  EXPECT_EQ(g.Texts[26].KeyCode, 7);  // "ck", line 105
  EXPECT_EQ(g.Texts[26].Head.Color, 5);
  EXPECT_EQ(g.Texts[27].Text, kShin + "\x96k");  // 真北
  EXPECT_EQ(g.Texts[28].Text, "15.000 , 20.000");
  EXPECT_EQ(g.Texts[42].KeyCode, 0);
  EXPECT_EQ(g.Texts[42].Width, 20.0);
  EXPECT_EQ(g.FirstTextWidth, 20.0);
  EXPECT_EQ(g.TextWidth, 20.0);
}
