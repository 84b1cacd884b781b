// libFuzzer target for the HTML writer: whatever the RTF, the HTML holds only the elements the
// writer knows, no attribute but its own, no URL but its own resources, and stays within a small
// multiple of the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "richtext/HtmlWriter.h"

namespace {

bool KnownTag(std::string_view html, std::size_t at) {
    static const char* const kTags[] = {"<p>",
                                        "<p id=\"",
                                        "<p style=\"",
                                        "</p>",
                                        "<h2",
                                        "<h3",
                                        "<h4",
                                        "<h5",
                                        "<h6",
                                        "</h",
                                        "<b>",
                                        "</b>",
                                        "<i>",
                                        "</i>",
                                        "<u>",
                                        "</u>",
                                        "<s>",
                                        "</s>",
                                        "<sup>",
                                        "</sup>",
                                        "<sub>",
                                        "</sub>",
                                        "<br>",
                                        "<span style=\"font-size:",
                                        "</span>",
                                        "<span class=\"picture-missing\">[",
                                        "<table>",
                                        "</table>",
                                        "<tr>",
                                        "</tr>",
                                        "<td",
                                        "</td>",
                                        "<a href=\"/doc/",
                                        "</a>",
                                        "<img src=\"/doc/",
                                        "<div class=\"page-break\"></div>",
                                        "<mark id=\"hl-",
                                        "</mark>"};
    for (const char* tag : kTags)
        if (html.substr(at).starts_with(tag)) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    Norik::HtmlOptions options;
    options.documentNumber = 5;
    options.highlight = [](std::string_view text) {
        std::vector<std::pair<std::size_t, std::size_t>> found;
        for (std::size_t at = text.find('a'); at != std::string_view::npos; at = text.find('a', at + 1))
            found.emplace_back(at, at + 1);
        return found;
    };
    const Norik::HtmlText text = Norik::RtfToHtml(input, options);
    const std::string& html = text.html;
    for (std::size_t at = html.find('<'); at != std::string::npos; at = html.find('<', at + 1))
        if (!KnownTag(html, at)) std::abort();
    if (html.find("javascript") != std::string::npos && input.find("javascript") == std::string_view::npos)
        std::abort();
    // Each byte of input gives a bounded amount of markup (a one-byte run may open a mark and
    // the format's tags, an empty cell its tags).
    if (html.size() > size * 200 + 64) std::abort();
    for (int k = 1; k <= text.pictures && k <= 4; ++k) (void)Norik::FindDocumentPicture(input, k);
    return 0;
}
