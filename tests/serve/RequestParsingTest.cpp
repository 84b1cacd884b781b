#include <gtest/gtest.h>

#include <string>

#include "serve/HttpServer.h"
#include "serve/RequestParsing.h"
#include "serve/Site.h"

namespace Norik::Serve {
namespace {

TEST(RouteTest, NamesResourcesByNumbersOnly) {
    EXPECT_EQ(ParseRoute("/")->kind, RouteKind::Home);
    EXPECT_EQ(ParseRoute("/section/53")->id, 53);
    const Route picture = *ParseRoute("/doc/-12/picture/3");
    EXPECT_EQ(picture.kind, RouteKind::DocumentPicture);
    EXPECT_EQ(picture.id, -12);
    EXPECT_EQ(picture.k, 3);
    EXPECT_EQ(ParseRoute("/doc/7/cited-by")->kind, RouteKind::DocumentCitedBy);
    EXPECT_EQ(ParseRoute("/api/doc/7/cited-by")->kind, RouteKind::ApiCitedBy);
    EXPECT_EQ(ParseRoute("/%64oc/7")->kind, RouteKind::Document);
    // Names that are no resource: files, traversal, leading zeros, numbers too long, picture 0.
    for (const char* path : {"/doc/7/", "/doc/007", "/doc/1234567", "/doc/7/picture/0", "/static/../etc/passwd",
                             "/static/style.css/", "/section/", "/doc/7/picture/x", "//doc/7", "/api/doc/7/x"})
        EXPECT_EQ(ParseRoute(path)->kind, RouteKind::NotFound) << path;
    // Not paths at all: bad requests.
    for (const char* path : {"", "doc/7", "/doc/%", "/doc/%2", "/doc/%zz", "/a%00b", "/%FF", "/%C0%AF"})
        EXPECT_FALSE(ParseRoute(path)) << path;
    EXPECT_FALSE(ParseRoute("/" + std::string(kMaxTargetBytes, 'a')));
}

TEST(QueryTest, DecodesStrictlyAndBoundsTheCount) {
    const auto query = QueryParameters::Parse("q=%D0%BD%D0%B0%D0%BB%D0%BE%D0%B3+%22x%22&page=2&&empty&page=9");
    ASSERT_TRUE(query);
    EXPECT_EQ(query->Get("q"), "налог \"x\"");
    EXPECT_EQ(query->Integer("page", 1, 10, 1), 2);
    EXPECT_TRUE(query->Has("empty"));
    EXPECT_EQ(query->Get("missing"), "");
    EXPECT_EQ(QueryParameters::Parse("page=99")->Integer("page", 1, 10, 1), 1);
    EXPECT_EQ(QueryParameters::Parse("page=2x")->Integer("page", 1, 10, 1), 1);
    EXPECT_FALSE(QueryParameters::Parse("q=%D0"));  // a cut UTF-8 sequence
    EXPECT_FALSE(QueryParameters::Parse("q=a%0Ab"));
    EXPECT_FALSE(QueryParameters::Parse("q=%G1"));
    std::string many;
    for (std::size_t i = 0; i <= kMaxQueryParameters; ++i) many += "a=1&";
    EXPECT_FALSE(QueryParameters::Parse(many));
    EXPECT_TRUE(QueryParameters::Parse(many.substr(4)));
}

TEST(SearchLineTest, BlanksCollapsedAndCutAtACharacter) {
    EXPECT_EQ(SearchLine("  налог \t на\n\nприбыль  "), "налог на прибыль");
    const std::string line = SearchLine(std::string(kMaxSearchLineBytes - 1, 'a') + "жжж");
    EXPECT_EQ(line.size(), kMaxSearchLineBytes - 1);  // the cut falls inside "ж": it is dropped whole
    const std::vector<std::string> words = HighlightWords(std::string(40, 'x') + " " + std::string(100, 'y') +
                                                          std::string(40, ' ') + "z a b c d e f g h i j k l m n o p");
    ASSERT_EQ(words.size(), kMaxHighlightWords);
    EXPECT_EQ(words[1].size(), kMaxHighlightWordBytes);
    EXPECT_EQ(words[2], "z");
}

TEST(PassageTest, OnlyBoldSurvivesAsMarkup) {
    EXPECT_EQ(SafePassage("a <b>налог</b> &amp; &lt;i&gt; <script>x</script>"),
              "a <b>налог</b> &amp; &lt;i&gt; &lt;script&gt;x&lt;/script&gt;");
    EXPECT_EQ(SafePassage("cut <b>wo"), "cut <b>wo</b>");
    EXPECT_EQ(SafePassage("\xE2\x80\xAE"
                          "evil"),
              "evil");
}

TEST(CssStringTest, NothingButLettersDigitsAndEscapes) {
    EXPECT_EQ(CssString("a </style>\"Ж\n"), "a \\3c \\2f style\\3e \\22 \\416 ");
}

TEST(ListenAddressTest, AddressesAndPorts) {
    EXPECT_EQ(ParseListenAddress("0.0.0.0:8080")->host, "0.0.0.0");
    EXPECT_EQ(ParseListenAddress(":9000")->host, "127.0.0.1");
    EXPECT_TRUE(ParseListenAddress("[::1]:80")->v6);
    for (const char* bad : {"8080", "localhost:80", "1.2.3.4:", "1.2.3.4:65536", "1.2.3.4:-1", "[::1]80", "1.2.3:80"})
        EXPECT_FALSE(ParseListenAddress(bad)) << bad;
}

}  // namespace
}  // namespace Norik::Serve
