#include <gtest/gtest.h>

#include <string>

#include "Helpers/Cp1251.h"
#include "richtext/HtmlWriter.h"

namespace Norik {
namespace {

std::string Html(const std::string& rtf, std::int16_t number = 7) { return RtfToHtml(rtf, {number, {}}).html; }

TEST(HtmlEscapingTest, MarkupQuotesControlsAndBadBytesNeverPassThrough) {
    EXPECT_EQ(HtmlEscaped("<script>a&b</script>"), "&lt;script&gt;a&amp;b&lt;/script&gt;");
    EXPECT_EQ(HtmlEscaped("\"x\" 'y'"), "&quot;x&quot; &#39;y&#39;");
    // Right-to-left override, isolates, marks, C0 and C1 controls are dropped; tab and line feed kept.
    EXPECT_EQ(HtmlEscaped("a\u202Eb\u2067c\u200Fd\x01\x7F\u0085e\tf\n"), "abcde\tf\n");
    // A lone continuation byte, a cut sequence, an overlong form and a surrogate each become U+FFFD.
    EXPECT_EQ(HtmlEscaped("\x80z\xD0"), "\uFFFDz\uFFFD");
    EXPECT_EQ(HtmlEscaped("\xC0\xBC"), "\uFFFD\uFFFD");
    EXPECT_EQ(HtmlEscaped("\xED\xA0\x80"), "\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(HtmlEscaped("Привет 😀"), "Привет 😀");
}

TEST(HtmlWriterTest, ParagraphFormatAndCharacterRuns) {
    const std::string html = Html(
        "{\\rtf1\\ansi {\\qc\\li720\\fi-360 {\\b bold} {\\i\\ul it} {\\fs48 big<script>}\\par}"
        "{\\qj plain\\line next\\par}}");
    EXPECT_NE(html.find("<p style=\"text-align:center;margin-left:36pt;text-indent:-18pt;\">"), std::string::npos)
        << html;
    EXPECT_NE(html.find("<b>bold</b>"), std::string::npos) << html;
    EXPECT_NE(html.find("<i><u>it</u></i>"), std::string::npos) << html;
    EXPECT_NE(html.find("<span style=\"font-size:200%\">big&lt;script&gt;</span>"), std::string::npos) << html;
    EXPECT_NE(html.find("<p style=\"text-align:justify;\">plain<br>next</p>"), std::string::npos) << html;
}

TEST(HtmlWriterTest, LinksLeadOnlyToDocuments) {
    const std::string html = Html(
        "{\\rtf1 {\\field{\\*\\fldinst HYPERLINK \"123\"}{\\fldrslt {\\b see}}} "
        "{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt 45}} "
        "{\\field{\\*\\fldinst HYPERLINK \"javascript:alert(1)\"}{\\fldrslt evil}} "
        "{\\field{\\*\\fldinst HYPERLINK \"http://example.com/\"}{\\fldrslt away}}\\par}");
    EXPECT_NE(html.find("<a href=\"/doc/123\"><b>see</b></a>"), std::string::npos) << html;
    EXPECT_NE(html.find("<a href=\"/doc/45\">45</a>"), std::string::npos) << html;
    EXPECT_EQ(html.find("javascript"), std::string::npos) << html;
    EXPECT_EQ(html.find("example.com"), std::string::npos) << html;
    EXPECT_NE(html.find("evil"), std::string::npos);
    EXPECT_EQ(html.find("<a", html.find("/doc/45") + 20), std::string::npos) << html;
}

TEST(HtmlWriterTest, TablesMergeCellsAcrossAndDownWithBorders) {
    // Row 1: a cell spanning two columns (\clmgf + \clmrg), then a cell merged down (\clvmgf).
    // Row 2: two cells, then the continuation (\clvmrg).
    const std::string html = Html(
        "{\\rtf1 \\trowd\\clbrdrt\\brdrs\\brdrw30\\clmgf\\cellx1000\\clmrg\\cellx2000\\clvmgf\\cellx3000"
        "\\intbl wide\\cell\\cell down\\cell\\row"
        "\\trowd\\cellx1000\\cellx2000\\clvmrg\\cellx3000\\intbl a\\cell b\\cell\\cell\\row\\pard after\\par}");
    EXPECT_NE(html.find("<td colspan=\"2\" style=\"border-top:2px solid;\"><p>wide</p>\n</td>"), std::string::npos)
        << html;
    EXPECT_NE(html.find("<td rowspan=\"2\" style=\"width:50pt;\"><p>down</p>\n</td></tr>"), std::string::npos) << html;
    EXPECT_NE(html.find("<tr><td style=\"width:50pt;\"><p>a</p>\n</td><td style=\"width:50pt;\"><p>b</p>\n</td></tr>"),
              std::string::npos)
        << html;
    EXPECT_NE(html.find("</table>\n<p>after</p>"), std::string::npos) << html;
}

TEST(HtmlWriterTest, NestedTableGoesInsideItsCell) {
    const std::string html = Html(
        "{\\rtf1 \\trowd\\cellx3000\\intbl outer "
        "{\\itap2 inner\\nestcell{\\*\\nesttableprops\\trowd\\cellx1000\\nestrow}}\\cell\\row\\pard x\\par}");
    const auto outer = html.find("<table>");
    const auto inner = html.find("<table>", outer + 1);
    ASSERT_NE(inner, std::string::npos) << html;
    EXPECT_LT(html.find("inner"), html.find("</table>"));
    EXPECT_GT(html.rfind("</td>"), html.find("</table>")) << html;
}

TEST(HtmlWriterTest, OutlineHeadingsAreAnchoredOncePerId) {
    const HtmlText text = RtfToHtml(
        Utf8ToCp1251(
            "{\\rtf1\\ansicpg1251 Глава 1. Общие\\par Статья 12. Первая\\par text\\par Статья 12. Again\\par}"),
        {1, {}});
    ASSERT_EQ(text.anchors.size(), 3u);
    EXPECT_EQ(text.anchors[0], "chapter-1");
    EXPECT_EQ(text.anchors[1], "article-12");
    EXPECT_EQ(text.anchors[2], "article-12-2");
    EXPECT_NE(text.html.find("<h2 id=\"chapter-1\">Глава 1. Общие</h2>"), std::string::npos) << text.html;
    EXPECT_NE(text.html.find("<h3 id=\"article-12\">Статья 12. Первая</h3>"), std::string::npos) << text.html;
    EXPECT_NE(text.html.find("<h3 id=\"article-12-2\">"), std::string::npos) << text.html;
}

TEST(HtmlWriterTest, PicturesAreResourcesOfTheirDocument) {
    const std::string rtf =
        "{\\rtf1 a{\\pict\\pngblip\\picwgoal1500\\pichgoal750 89504e47}b{\\pict\\wmetafile8 0102}"
        "{\\pict\\jpegblip ffd8ff}\\par}";
    const HtmlText text = RtfToHtml(rtf, {42, {}});
    EXPECT_EQ(text.pictures, 3);
    EXPECT_NE(text.html.find("<img src=\"/doc/42/picture/1\" alt=\"Рисунок 1\" width=\"100\" height=\"50\">"),
              std::string::npos)
        << text.html;
    EXPECT_NE(text.html.find("[Рисунок 2]"), std::string::npos);
    EXPECT_NE(text.html.find("/doc/42/picture/3"), std::string::npos);
    const auto png = FindDocumentPicture(rtf, 1);
    ASSERT_TRUE(png);
    EXPECT_EQ(png->mimeType, "image/png");
    EXPECT_EQ(png->bytes, "\x89PNG");
    EXPECT_FALSE(FindDocumentPicture(rtf, 2));
    EXPECT_EQ(FindDocumentPicture(rtf, 3)->mimeType, "image/jpeg");
    EXPECT_FALSE(FindDocumentPicture(rtf, 4));
}

TEST(HtmlWriterTest, HighlightsAreNumberedMarks) {
    HtmlOptions options;
    options.highlight = [](std::string_view text) {
        std::vector<std::pair<std::size_t, std::size_t>> found;
        for (auto at = text.find("tax"); at != std::string_view::npos; at = text.find("tax", at + 1))
            found.emplace_back(at, at + 3);
        return found;
    };
    const HtmlText text = RtfToHtml("{\\rtf1 a tax <b> tax\\par}", options);
    EXPECT_EQ(text.highlights, 2);
    EXPECT_NE(text.html.find("a <mark id=\"hl-1\">tax</mark> &lt;b&gt; <mark id=\"hl-2\">tax</mark>"),
              std::string::npos)
        << text.html;
}

}  // namespace
}  // namespace Norik
