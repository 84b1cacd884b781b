#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "richtext/PlainText.h"
#include "richtext/RtfLinks.h"
#include "richtext/RtfReader.h"

using namespace Norik;

namespace {

// Records what the reader reports as one line of text per event.
class RecordingOutput : public IRtfOutput {
public:
    std::vector<std::string> events;
    std::vector<CharFormat> runFormats;
    std::vector<std::string> runFontNames;  // the formats' names point into the reader, gone after it
    std::vector<ParagraphFormat> paragraphs;
    ParagraphFormat lastParagraph;  // the one the end of the document closes
    std::vector<RowFormat> rowEnds;
    std::vector<PictureInfo> pictures;
    std::vector<std::string> pictureData;

    void Text(std::string_view utf8, const CharFormat& f) override {
        std::string marks;
        if (f.bold) marks += "b";
        if (f.italic) marks += "i";
        if (f.underline != Underline::None) marks += "u";
        events.push_back("T[" + marks + "]" + std::string(utf8));
        runFormats.push_back(f);
        runFontNames.emplace_back(f.fontName);
    }
    void ParagraphEnd(const ParagraphFormat& f) override {
        events.emplace_back("P");
        paragraphs.push_back(f);
    }
    void LineBreak() override { events.emplace_back("BR"); }
    void TableRowStart(int level, const RowFormat& row) override {
        events.push_back("RS" + std::to_string(level) + ":" + std::to_string(row.cells.size()));
    }
    void TableCellEnd(int level, const ParagraphFormat&) override { events.push_back("CE" + std::to_string(level)); }
    void TableRowEnd(int level, const RowFormat& row) override {
        events.push_back("RE" + std::to_string(level) + ":" + std::to_string(row.cells.size()));
        rowEnds.push_back(row);
    }
    void TableEnd(int level) override { events.push_back("TE" + std::to_string(level)); }
    bool WantsPictureData() const override { return true; }
    void Picture(const PictureInfo& info, std::string_view data) override {
        events.emplace_back("PIC");
        pictures.push_back(info);
        pictureData.emplace_back(data);
    }
    void LinkStart(std::string_view target) override { events.push_back("L<" + std::string(target) + ">"); }
    void LinkEnd() override { events.emplace_back("/L"); }
    void DocumentEnd(const ParagraphFormat& last) override {
        events.emplace_back("END");
        lastParagraph = last;
    }

    std::string Joined() const {
        std::string all;
        for (const auto& e : events) all += e + "|";
        return all;
    }
};

RecordingOutput Read(std::string_view rtf) {
    RecordingOutput out;
    ReadRtf(rtf, out);
    return out;
}

std::string CollapseWhite(std::string_view text) {
    std::string out;
    bool space = false;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            space = true;
            continue;
        }
        if (space && !out.empty()) out.push_back(' ');
        space = false;
        out.push_back(c);
    }
    return out;
}

std::string FixturePath(const std::string& name) {
    return std::string(NORIK_SOURCE_DIR) + "/tests/fixtures/rtf/" + name;
}

// The writer's own text: byte-order mark and pandoc's table rules dropped.
std::string ExpectedText(const std::string& name) {
    std::string text = NorikTest::ReadFile(FixturePath(name));
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    std::string kept;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + start, end - start);
        bool rule = line.find('-') != std::string_view::npos && line.find_first_not_of("- ") == std::string_view::npos;
        if (!rule) kept.append(line).push_back('\n');
        start = end + 1;
    }
    return kept;
}

// ---------------------------------------------------------------------------------------------
// Fidelity against real writers

class WriterFixture : public ::testing::TestWithParam<const char*> {};

TEST_P(WriterFixture, PlainTextEqualsTheWritersOwnTextUpToWhiteSpace) {
    const std::string base = GetParam();
    std::string rtf = NorikTest::ReadFile(FixturePath(base + ".rtf"));
    EXPECT_EQ(CollapseWhite(RtfToPlainText(rtf)), CollapseWhite(ExpectedText(base + ".txt")));
}

TEST_P(WriterFixture, ChunkedReadingGivesTheSameTextAsWholeReading) {
    std::string rtf = NorikTest::ReadFile(FixturePath(std::string(GetParam()) + ".rtf"));
    const std::string whole = RtfToPlainText(rtf);
    for (std::size_t chunk : {1u, 2u, 3u, 7u, 4096u}) {
        PlainTextExtractor extractor;
        std::string text;
        for (std::size_t i = 0; i < rtf.size(); i += chunk) {
            extractor.Feed(std::string_view(rtf).substr(i, chunk));
            text += extractor.TakeText();
        }
        extractor.Finish();
        text += extractor.TakeText();
        EXPECT_EQ(text, whole) << "chunk size " << chunk;
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, WriterFixture, ::testing::Values("lo_law", "pandoc_decree", "richedit_order"));

TEST(WriterStructure, LibreOfficeTableKeepsItsVerticalMergeAndLinksTheirTargets) {
    RecordingOutput out = Read(NorikTest::ReadFile(FixturePath("lo_law.rtf")));
    ASSERT_EQ(out.rowEnds.size(), 3u);
    EXPECT_EQ(out.rowEnds[0].cells.size(), 2u);
    ASSERT_EQ(out.rowEnds[1].cells.size(), 3u);
    EXPECT_EQ(out.rowEnds[1].cells[0].verticalMerge, VerticalMerge::First);
    EXPECT_EQ(out.rowEnds[2].cells[0].verticalMerge, VerticalMerge::Continue);
    const std::string all = out.Joined();
    EXPECT_NE(all.find("L<https://example.org/doc?id=5>|T[u]Федеральный закон от 02.05.2006 N 59-ФЗ|/L"),
              std::string::npos);
    EXPECT_NE(all.find("L<#part2>|T[u]456|/L"), std::string::npos);
    // The PNG of the shape is read once; the metafile copy for old readers is skipped.
    ASSERT_EQ(out.pictures.size(), 1u);
    EXPECT_EQ(out.pictures[0].format, PictureFormat::Png);
    EXPECT_EQ(out.pictureData[0].substr(1, 3), "PNG");
}

TEST(WriterStructure, PandocLinkTargetIsKeptAsWritten) {
    RecordingOutput out = Read(NorikTest::ReadFile(FixturePath("pandoc_decree.rtf")));
    const std::string all = out.Joined();
    EXPECT_NE(all.find("L<123>|"), std::string::npos);
    EXPECT_NE(all.find("L<https://example.org/59>|"), std::string::npos);
    EXPECT_EQ(out.rowEnds.size(), 3u);
}

// ---------------------------------------------------------------------------------------------
// Structure of small documents

// A last paragraph ended by the end of the document, not by \par, keeps the indent in effect at
// its text, even when the document's group is closed (or left open) after it.
TEST(RtfReaderStructure, TheLastParagraphKeepsItsFormatToTheEnd) {
    for (const char* rtf :
         {R"({\rtf1\pard\fi200 a\par{\pard\fi400 b\par}c})", R"({\rtf1\pard\fi200 a\par{\pard\fi400 b\par}c)"}) {
        RecordingOutput out = Read(rtf);
        ASSERT_EQ(out.paragraphs.size(), 2u) << rtf;
        EXPECT_EQ(out.paragraphs[1].firstIndent, 400) << rtf;
        EXPECT_EQ(out.lastParagraph.firstIndent, 200) << rtf;
    }
}

TEST(RtfReaderStructure, RunsCarryCharacterFormatAndParagraphsTheirFormat) {
    RecordingOutput out =
        Read(R"({\rtf1\ansi\pard\qc\li720\fi-360\sb120\sa240\keep {\b bold }{\i italic}\ul under\ulnone\par)"
             R"(\pard\qj plain\line next\par})");
    EXPECT_EQ(out.Joined(), "T[b]bold |T[i]italic|T[u]under|P|T[]plain|BR|T[]next|P|END|");
    ASSERT_EQ(out.paragraphs.size(), 2u);
    EXPECT_EQ(out.paragraphs[0].alignment, Alignment::Center);
    EXPECT_EQ(out.paragraphs[0].leftIndent, 720);
    EXPECT_EQ(out.paragraphs[0].firstIndent, -360);
    EXPECT_EQ(out.paragraphs[0].spaceBefore, 120);
    EXPECT_EQ(out.paragraphs[0].spaceAfter, 240);
    EXPECT_TRUE(out.paragraphs[0].keepTogether);
    EXPECT_EQ(out.paragraphs[1].alignment, Alignment::Justify);
    EXPECT_EQ(out.paragraphs[1].leftIndent, 0);
}

TEST(RtfReaderStructure, FontsColoursAndSizesAreResolved) {
    RecordingOutput out = Read(R"({\rtf1{\fonttbl{\f0 Arial;}{\f1\froman{\*\falt Times} Times New Roman;}})"
                               R"({\colortbl;\red255\green0\blue0;\red0\green0\blue255;})"
                               R"(\f1\fs28\cf1\highlight2 x\plain y})");
    ASSERT_EQ(out.runFormats.size(), 2u);
    EXPECT_EQ(out.runFontNames[0], "Times New Roman");
    EXPECT_EQ(out.runFormats[0].fontSize, 28);
    EXPECT_EQ(out.runFormats[0].color, 0xFF0000u);
    EXPECT_EQ(out.runFormats[0].background, 0x0000FFu);
    EXPECT_EQ(out.runFormats[1].fontSize, 24);
    EXPECT_EQ(out.runFormats[1].color, kAutoColor);
}

TEST(RtfReaderStructure, StylesApplyTheirFormat) {
    RecordingOutput out = Read(R"({\rtf1{\stylesheet{\s0 Normal;}{\s1\qc\b\fs32 heading 1;}{\*\cs10\i Emphasis;}})"
                               R"(\pard\s1 Title\par\pard\s0 {\cs10 em}\par})");
    ASSERT_EQ(out.runFormats.size(), 2u);
    EXPECT_TRUE(out.runFormats[0].bold);
    EXPECT_EQ(out.runFormats[0].fontSize, 32);
    EXPECT_EQ(out.paragraphs[0].alignment, Alignment::Center);
    EXPECT_TRUE(out.runFormats[1].italic);
    EXPECT_FALSE(out.runFormats[1].bold);
}

TEST(RtfReaderStructure, StylesInheritFromTheStyleTheyAreBasedOn) {
    // s2 adds italics to s1; s3 is based on s4, which comes later; s5 takes bold and centring back;
    // s6 and s7 are based on each other and must not hang.
    RecordingOutput out =
        Read(R"({\rtf1\deff0{\fonttbl{\f0\fcharset0 Times;}{\f1\fcharset204 Arial;}})"
             R"({\stylesheet{\s1\qc\b\f1\fs32\sa240 heading 1;}{\s2\i\sbasedon1 heading 2;})"
             R"({\s3\li720\sbasedon4 quote;}{\s4\qr\ul base;}{\s5\b0\ql\sbasedon1 plain;})"
             R"({\s6\sbasedon7\sb10 a;}{\s7\sbasedon6\sa20 b;}{\*\cs10\i em;}{\*\cs11\ul\sbasedon10 em2;}})"
             R"(\pard\s2 \'c0\par\pard\s3 B\par\pard\s5 C\par\pard\s6 D\par\pard\s1 {\cs11 E}\par})");
    ASSERT_EQ(out.runFormats.size(), 5u);
    ASSERT_EQ(out.paragraphs.size(), 5u);
    // The heading font comes from the base style, with its code page.
    EXPECT_EQ(out.events[0], "T[bi]А");
    EXPECT_EQ(out.runFontNames[0], "Arial");
    EXPECT_EQ(out.runFormats[0].fontSize, 32);
    EXPECT_EQ(out.paragraphs[0].alignment, Alignment::Center);
    EXPECT_EQ(out.paragraphs[0].spaceAfter, 240);
    EXPECT_EQ(out.runFormats[1].underline, Underline::Single);
    EXPECT_EQ(out.paragraphs[1].alignment, Alignment::Right);
    EXPECT_EQ(out.paragraphs[1].leftIndent, 720);
    EXPECT_FALSE(out.runFormats[2].bold);
    EXPECT_EQ(out.runFormats[2].fontSize, 32);
    EXPECT_EQ(out.paragraphs[2].alignment, Alignment::Left);
    EXPECT_EQ(out.paragraphs[3].spaceBefore, 10);
    // A character style adds its own format to the paragraph's: E stays bold and large.
    EXPECT_TRUE(out.runFormats[4].bold);
    EXPECT_TRUE(out.runFormats[4].italic);
    EXPECT_EQ(out.runFormats[4].underline, Underline::Single);
    EXPECT_EQ(out.runFormats[4].fontSize, 32);
}

TEST(RtfReaderStructure, TabStopsArriveWithTheParagraphInOrderAndEndWithPard) {
    std::string many = R"(\pard)";
    for (int i = 1; i <= 100; ++i) many += "\\tx" + std::to_string(i * 50);
    // Kind and leader belong to the next stop only; a bar tab is a plain stop; a style's stops add
    // to its base's; a kind left pending by a paragraph does not reach the next one.
    RecordingOutput out = Read(R"({\rtf1{\stylesheet{\s1\tqr\tx9000 sig;}{\s2\tx500\sbasedon1 sig2;}})"
                               R"(\pard\tqr\tldot\tx9355\tqc\tx4677\tx1000\tb2000 a\tab b\par)"
                               R"(\pard c\par\pard\s2\tx7000 d\par\pard\tqdec\tlhyph\pard\tx300 e\par)" +
                               many + R"( f\par})");
    ASSERT_EQ(out.paragraphs.size(), 5u);
    EXPECT_EQ(out.events[0], "T[]a\tb");
    const std::vector<TabStop> signature = {{1000, TabKind::Left, TabLeader::None},
                                            {2000, TabKind::Left, TabLeader::None},
                                            {4677, TabKind::Center, TabLeader::None},
                                            {9355, TabKind::Right, TabLeader::Dot}};
    EXPECT_EQ(out.paragraphs[0].tabs, signature);
    EXPECT_TRUE(out.paragraphs[1].tabs.empty());
    const std::vector<TabStop> styled = {{500, TabKind::Left, TabLeader::None},
                                         {7000, TabKind::Left, TabLeader::None},
                                         {9000, TabKind::Right, TabLeader::None}};
    EXPECT_EQ(out.paragraphs[2].tabs, styled);
    const std::vector<TabStop> afterPard = {{300, TabKind::Left, TabLeader::None}};
    EXPECT_EQ(out.paragraphs[3].tabs, afterPard);
    ASSERT_EQ(out.paragraphs[4].tabs.size(), kMaxTabStops);
    EXPECT_EQ(out.paragraphs[4].tabs.back().position, static_cast<int>(kMaxTabStops) * 50);
}

TEST(RtfReaderStructure, TwoStopsAtOnePositionAreOne) {
    // The later stop replaces the earlier, in the paragraph and over a style's stops.
    RecordingOutput out = Read(R"({\rtf1{\stylesheet{\s1\tx500 s;}}\pard\tx1000\tqr\tx1000 a\par)"
                               R"(\pard\s1\tqc\tx500\tx500 b\par})");
    ASSERT_EQ(out.paragraphs.size(), 2u);
    EXPECT_EQ(out.paragraphs[0].tabs, (std::vector<TabStop>{{1000, TabKind::Right, TabLeader::None}}));
    EXPECT_EQ(out.paragraphs[1].tabs, (std::vector<TabStop>{{500, TabKind::Left, TabLeader::None}}));
}

TEST(RtfReaderStructure, TablesReportRowsCellsAndMerges) {
    RecordingOutput out = Read(R"({\rtf1\trowd\trgaph108\trleft-108\clmgf\cellx1000\clmrg\cellx2000\clcbpat1\cellx3000)"
                               R"(\pard\intbl a\cell\cell c\cell\row)"
                               R"(\trowd\clvmgf\cellx1000\cellx3000\pard\intbl d\cell e\cell\row)"
                               R"(\pard after\par})");
    EXPECT_EQ(out.Joined(), "RS1:3|T[]a|CE1|CE1|T[]c|CE1|RE1:3|RS1:2|T[]d|CE1|T[]e|CE1|RE1:2|TE1|T[]after|P|END|");
    ASSERT_EQ(out.rowEnds.size(), 2u);
    EXPECT_EQ(out.rowEnds[0].gap, 108);
    EXPECT_EQ(out.rowEnds[0].left, -108);
    EXPECT_TRUE(out.rowEnds[0].cells[0].mergeFirst);
    EXPECT_TRUE(out.rowEnds[0].cells[1].mergedWithPrevious);
    EXPECT_EQ(out.rowEnds[0].cells[2].rightBoundary, 3000);
    EXPECT_EQ(out.rowEnds[1].cells[0].verticalMerge, VerticalMerge::First);
}

TEST(RtfReaderStructure, PardInsideAnUnfinishedRowKeepsTheParagraphInTheTable) {
    // b follows \pard without \intbl, but its row still has a cell to fill.
    EXPECT_EQ(Read(R"({\rtf1\trowd\cellx1000\cellx2000\pard\intbl a\cell\pard b\cell\row\pard after\par})").Joined(),
              "RS1:2|T[]a|CE1|T[]b|CE1|RE1:2|TE1|T[]after|P|END|");
    EXPECT_EQ(RtfToPlainText(R"({\rtf1\trowd\cellx1000\cellx2000\pard\intbl a\par\pard c\cell\pard b\cell\row})"),
              "a c\tb\n");
    // A row whose cells are all ended (its \row missing) does not swallow what follows.
    EXPECT_EQ(Read(R"({\rtf1\trowd\cellx1000\pard\intbl a\cell\pard after\par})").Joined(),
              "RS1:1|T[]a|CE1|RE1:1|TE1|T[]after|P|END|");
}

TEST(RtfReaderStructure, NestedTablesOpenAndCloseByLevel) {
    // Word's layout: inner cells end with \nestcell, the inner row definition comes at its end.
    RecordingOutput out = Read(R"({\rtf1\trowd\cellx4000\cellx8000)"
                               R"(\pard\intbl\itap2 x\nestcell y\nestcell)"
                               R"({\*\nesttableprops\trowd\cellx2000\cellx4000\nestrow}{\nonesttables\par})"
                               R"(\pard\intbl\itap1 \cell z\cell\row})");
    EXPECT_EQ(out.Joined(), "RS1:2|RS2:0|T[]x|CE2|T[]y|CE2|RE2:2|TE2|CE1|T[]z|CE1|RE1:2|TE1|END|");
}

TEST(RtfReaderStructure, PicturesReportSizeAndData) {
    RecordingOutput out = Read(R"({\rtf1{\pict\pngblip\picw40\pich20\picwgoal600\pichgoal300\picscalex200 89504E47}})"
                               R"({\pict\wmetafile8\picw2540\pich1270 0102}{\pict\jpegblip\bin3 )"
                               "\xFF\xD8\xFF"
                               R"(}})");
    ASSERT_EQ(out.pictures.size(), 3u);
    EXPECT_EQ(out.pictures[0].format, PictureFormat::Png);
    EXPECT_EQ(out.pictures[0].displayWidth(), 1200);
    EXPECT_EQ(out.pictures[0].displayHeight(), 300);
    EXPECT_EQ(out.pictureData[0], "\x89PNG");
    EXPECT_EQ(out.pictures[1].format, PictureFormat::Wmf);
    EXPECT_EQ(out.pictures[1].displayWidth(), 1440);  // 2540 x 0.01 mm is one inch
    EXPECT_EQ(out.pictures[1].displayHeight(), 720);
    EXPECT_EQ(out.pictures[2].format, PictureFormat::Jpeg);
    EXPECT_EQ(out.pictureData[2], "\xFF\xD8\xFF");
}

TEST(RtfReaderStructure, FieldsShowTheirResultAndHyperlinksBecomeLinks) {
    // A field nested in an instruction gives the instruction its result and shows nothing itself.
    RecordingOutput out =
        Read(R"({\rtf1{\field{\*\fldinst { PAGE }}{\fldrslt 7}} )"
             R"({\field{\*\fldinst {HYPERLINK \\l "sec2" \\o "tip"}}{\fldrslt {\ul here}}} )"
             R"({\field{\*\fldinst {HYPERLINK "}{\field{\*\fldinst DOCPROPERTY url}{\fldrslt 55}}{"}}{\fldrslt x}})"
             R"({\field{\*\fldinst HYPERLINK "9"}} none})");
    EXPECT_EQ(out.Joined(), "T[]7 |L<#sec2>|T[u]here|/L|T[] |L<55>|T[]x|/L|T[] none|END|");
}

// ---------------------------------------------------------------------------------------------
// Characters and code pages

struct DecodeCase {
    const char* name;
    const char* rtf;
    const char* text;  // UTF-8
};

class Decoding : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Decoding, GivesTheRightCharacters) { EXPECT_EQ(RtfToPlainText(GetParam().rtf), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(
    CodePages, Decoding,
    ::testing::Values(
        DecodeCase{"Cyrillic204", R"({\rtf1{\fonttbl{\f0\fcharset204 Arial;}}\f0 \'cf\'f0\'e8\'ea\'e0\'e7})",
                   "Приказ\n"},
        DecodeCase{"AnsiCodePageWithoutFonts", R"({\rtf1\ansi\ansicpg1251 \'c0\'e1})", "Аб\n"},
        // A code page without a table of its own reads as the Western page, not any other.
        DecodeCase{"UnknownCodePageReadsAsWestern", R"({\rtf1\ansi\ansicpg9999 \'e9\'c0})", "éÀ\n"},
        DecodeCase{"DefaultFontBeforeTable", R"({\rtf1\ansi\deff0{\fonttbl{\f0\fcharset204 Arial;}}\'c0})", "А\n"},
        DecodeCase{"Western0", R"({\rtf1{\fonttbl{\f0\fcharset0 Arial;}}\f0 caf\'e9})", "café\n"},
        DecodeCase{"CentralEurope238", R"({\rtf1{\fonttbl{\f0\fcharset238 Arial;}}\f0 \'b9\'ea})", "ąę\n"},
        DecodeCase{"Greek161", R"({\rtf1{\fonttbl{\f0\fcharset161 Arial;}}\f0 \'c1\'e2})", "Αβ\n"},
        DecodeCase{"Turkish162", R"({\rtf1{\fonttbl{\f0\fcharset162 Arial;}}\f0 \'fe\'f0})", "şğ\n"},
        DecodeCase{"Baltic186", R"({\rtf1{\fonttbl{\f0\fcharset186 Arial;}}\f0 \'e0\'fb})", "ąū\n"},
        DecodeCase{"FontSwitchInsideParagraph",
                   R"({\rtf1{\fonttbl{\f0\fcharset204 A;}{\f1\fcharset0 B;}}\f0 \'e0{\f1 \'e0}\'e0})", "аàа\n"},
        DecodeCase{"ShiftJisThroughIconv", R"({\rtf1{\fonttbl{\f0\fcharset128 MS Mincho;}}\f0 \'82\'a0x})", "あx\n"},
        DecodeCase{"LiteralHighByteUsesTheFont", "{\\rtf1{\\fonttbl{\\f0\\fcharset204 A;}}\\f0 \xC0\xE1}", "Аб\n"},
        DecodeCase{"UnicodeSkipsOneFallback", R"({\rtf1 \u1071\'3f\u1103?})", "Яя\n"},
        DecodeCase{"UnicodeSkipsTwoFallbacks", R"({\rtf1\uc2 \u1071\'3f\'3fz})", "Яz\n"},
        DecodeCase{"NoFallback", R"({\rtf1\uc0 \u1071 z})", "Яz\n"},
        DecodeCase{"NegativeUnicode", R"({\rtf1 \u-3913?})", "\xEF\x82\xB7\n"},
        DecodeCase{"SurrogatePair", R"({\rtf1 \u-10179?\u-8704?})", "\xF0\x9F\x98\x80\n"},
        DecodeCase{"FallbackEndsAtGroupEnd", R"({\rtf1\uc3 {\u1071}ab})", "Яab\n"},
        DecodeCase{"EscapedSymbols", R"({\rtf1 a\{b\}c\\d\~e\emdash\endash\ldblquote\rdblquote})",
                   "a{b}c\\d\xC2\xA0"
                   "e—–“”\n"},
        DecodeCase{"HiddenTextIsLeftOut", R"({\rtf1 a{\v hidden}b\v c\v0 d})", "abd\n"},
        DecodeCase{"UnknownStarDestinationSkipped", R"({\rtf1 a{\*\unknownthing x{y}z}b{\info{\title T}}c})", "abc\n"},
        DecodeCase{"HeadersAndFootnotesSkipped", R"({\rtf1 a{\header H}{\footnote F}b})", "ab\n"},
        DecodeCase{"ListTextIsShown", R"({\rtf1{\*\pn\pnlvlblt{\pntxtb X}}{\pntext 1.\tab}item\par})", "1.\titem\n"},
        DecodeCase{"ShapeShownThroughResult", R"({\rtf1{\shp{\*\shpinst{\sp{\sn a}{\sv b}}}{\shprslt R}}})", "R\n"},
        DecodeCase{"UnicodeAlternativeShownInsteadOfAnsi", R"({\rtf1 a{\upr{b?}{\*\ud{b\u1071?}}}c})", "abЯc\n"},
        DecodeCase{"ObjectDataSkipped", R"({\rtf1{\object{\*\objdata 0102}{\result shown}}})", "shown\n"},
        DecodeCase{"Utf8ByteOrderMarkFirst", "\xEF\xBB\xBF{\\rtf1\\ansi\\ansicpg1251 \\'c0\\b x\\par}", "Аx\n"},
        // A font's own code page wins over the code page of its charset.
        DecodeCase{"FontCodePageOverItsCharset", R"({\rtf1{\fonttbl{\f0\fcharset0\cpg1251 Arial;}}\f0 \'c0})", "А\n"},
        // A lead byte left alone at a group end is dropped: the bytes after the group are read
        // afresh (a1 is a one-byte katakana in Shift-JIS, 82 a1 a hiragana).
        DecodeCase{"LeadByteEndsWithItsGroup",
                   R"({\rtf1{\fonttbl{\f0\fcharset128 Gothic;}{\f2\fcharset128 Mincho;}}\f2{\f0\'82}\'a1\'a1})",
                   "\xEF\xBD\xA1\xEF\xBD\xA1\n"},
        DecodeCase{"LeadByteEndsWithItsGroupInTheSameFont",
                   R"({\rtf1{\fonttbl{\f2\fcharset128 Mincho;}}\f2{\'82}\'a1\'a1})", "\xEF\xBD\xA1\xEF\xBD\xA1\n"},
        // Plain text whose bytes would be an overlong UTF-8 form is Windows-1251.
        DecodeCase{"PlainTextThatLooksLikeOverlongUtf8", "\xE0\x80\xAF", "аЂЇ\n"}),
    [](const ::testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.name); });

TEST(PlainText, AnEmptyCellKeepsItsTab) {
    // The word index reads this text: without the tab, "a" and "b" would run into one word.
    EXPECT_EQ(RtfToPlainText(R"({\rtf1\trowd\cellx100\cellx200\cellx300\pard\intbl a\cell\cell b\cell\row})"),
              "a\t\tb\n");
}

TEST(PlainText, TablesUseTabsAndWindows1251OutputConverts) {
    // A row stays on one line: paragraph and line breaks inside a cell become spaces.
    const char* rtf = R"({\rtf1\ansi\ansicpg1251\trowd\cellx100\cellx200\intbl \'c0\par x\line z\cell y\cell\row)"
                      R"(\pard \u8364?\line w\par})";
    EXPECT_EQ(RtfToPlainText(rtf), "А x z\ty\n€\nw\n");
    EXPECT_EQ(RtfToPlainText(rtf, TextEncoding::Windows1251), "\xC0 x z\ty\n\x88\nw\n");
}

// ---------------------------------------------------------------------------------------------
// Bad input

struct BadCase {
    const char* name;
    std::string rtf;
    std::string containsText;
};

class BadInput : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadInput, GivesBestEffortTextWithoutFailing) {
    const BadCase& c = GetParam();
    std::string text = RtfToPlainText(c.rtf);
    EXPECT_NE(text.find(c.containsText), std::string::npos) << text.substr(0, 200);
    EXPECT_LE(text.size(), c.rtf.size() * 4 + 16);
    // The same holds when the bytes arrive one at a time.
    PlainTextExtractor extractor;
    for (char b : c.rtf.substr(0, 20000)) extractor.Feed(std::string_view(&b, 1));
    extractor.Finish();
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, BadInput,
    ::testing::Values(
        BadCase{"MissingClosingBraces", R"({\rtf1 text {\b more)", "text more"},
        BadCase{"ExtraClosingBraces", R"({\rtf1 a}}}} b)", "a"},
        BadCase{"MissingRtf1", R"({\ansi Hello\par})", "Hello"},
        BadCase{"DeepNesting",
                std::string("{\\rtf1 ") + std::string(100000, '{') + "deep" + std::string(100000, '}') + " out}",
                "deep out"},
        BadCase{"BinPastTheEnd", R"({\rtf1 before{\pict\bin999 abc})", "before"},
        BadCase{"BinInGigabytes", R"({\rtf1 before{\pict\bin99999999999 abc}} after)", "before"},
        BadCase{"HundredDigitParameter",
                std::string(R"({\rtf1\fs)") + std::string(100, '9') + " big\\li-" + std::string(100, '9') + " x\\u" +
                    std::string(100, '9') + "?y}",
                "bigx\xEF\xBF\xBDy"},
        BadCase{"AbsurdPicture", R"({\rtf1 a{\pict\pngblip\picw999999999\pich999999999\picscalex99999 00}b})", "ab"},
        BadCase{"NulBytes", std::string("{\\rtf1 a\0b\\'00c}", 16), "abc"},
        BadCase{"BrokenHexEscape", R"({\rtf1 a\'zzb\'4})", "azzb"},
        BadCase{"LongControlWord", std::string("{\\rtf1 a\\") + std::string(5000, 'x') + " b}", "ab"},
        BadCase{"PlainTextUtf8", "Просто текст\nвторая строка", "Просто текст\nвторая строка"},
        BadCase{"PlainTextWindows1251", "\xCF\xF0\xEE\xF1\xF2\xEE\n", "Просто"}, BadCase{"EmptyInput", "", ""}),
    [](const ::testing::TestParamInfo<BadCase>& info) { return std::string(info.param.name); });

TEST(BadInput, NonRtfIsReportedAsPlainText) {
    PlainTextOutput out;
    RtfReader reader(out);
    reader.Feed("  \r\nhello {world}");
    reader.Finish();
    EXPECT_FALSE(reader.isRtf());
    EXPECT_EQ(out.text(), "hello {world}\n");
}

TEST(BadInput, PictureSizeIsBoundedWhateverTheStatedSize) {
    PictureInfo info;
    info.format = PictureFormat::Png;
    info.width = 2000000000;
    info.height = 5;
    info.scaleX = 100000;
    EXPECT_EQ(info.displayWidth(), kMaxPictureTwips);
    EXPECT_EQ(info.displayHeight(), 75);
}

// ---------------------------------------------------------------------------------------------
// Links

struct LinkCase {
    const char* target;
    const char* text;
    std::optional<int> number;
};

class LinkNumber : public ::testing::TestWithParam<LinkCase> {};

TEST_P(LinkNumber, FollowsTargetThenVisibleText) {
    EXPECT_EQ(LinkDocumentNumber(GetParam().target, GetParam().text), GetParam().number);
}

INSTANTIATE_TEST_SUITE_P(Rule, LinkNumber,
                         ::testing::Values(LinkCase{"123", "Федеральный закон от 02.05.2006 N 59-ФЗ", 123},
                                           LinkCase{"http://x/1", "456", 456}, LinkCase{" 77 ", "", 77},
                                           LinkCase{"#part2", "456", 456}, LinkCase{"-5", "x", std::nullopt},
                                           LinkCase{"12a", "3 4", std::nullopt}, LinkCase{"", "", std::nullopt},
                                           LinkCase{"99999999999", "8", 8}, LinkCase{"+1", "0012", 12},
                                           LinkCase{"", "\xC2\xA0 12\t\xC2\xA0\n", 12},
                                           LinkCase{"", "1\xC2\xA0 2", std::nullopt}));

}  // namespace
