// A document text as semantic HTML, for the web reader and "norik-tool cat N --html".
//
// RtfToHtml reads an RTF text (RtfReader) and writes a fragment of HTML: paragraphs with their
// alignment and indents, bold, italic, underline, strike-through, super- and subscripts, font
// sizes relative to the body's, line and page breaks, tables with merged cells and borders,
// pictures as <img> of the resources "/doc/N/picture/K" (K counted from 1 in reading order; PNG
// and JPEG only, other formats are named by a placeholder), links that lead to a document
// (LinkDocumentNumber) as "/doc/M", and the headings of the document's outline (FindOutline) as
// <h2>..<h6> (numbered items as paragraphs) with the ids OutlineAnchors gives ("article-12").
//
// Safety: every text of the document is escaped; the writer emits only the elements and
// attributes it names itself, with values it computes (numbers, sanitised ids, its own URLs), so
// no byte of a document can put markup, script or a foreign URL into a page. Bidirectional
// control characters and C0 controls are dropped and malformed UTF-8 becomes U+FFFD. Output
// stays within a small multiple of the input (tables nest at most kMaxHtmlTableDepth deep).
//
// Pure functions; any thread. Never fails: bad RTF gives best-effort HTML.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "richtext/DocumentOutline.h"
#include "richtext/RtfFormat.h"

namespace Norik {

inline constexpr int kMaxHtmlTableDepth = 8;

// Appends utf8 to out with & < > " ' escaped, bidirectional controls (U+200E, U+200F,
// U+202A..U+202E, U+2066..U+2069) and C0 controls other than tab and line feed dropped, and every
// malformed UTF-8 sequence replaced by U+FFFD. Safe in element content and in quoted attributes.
void AppendHtmlEscaped(std::string& out, std::string_view utf8);
std::string HtmlEscaped(std::string_view utf8);

// The anchor ids of an outline's entries, one per entry and all distinct: the kind and the number
// ("article-12", "chapter-3", "section-II", "appendix-1", "item-4"), "part-K" for an entry
// without a number; only [a-z0-9.-] are used.
std::vector<std::string> OutlineAnchors(const DocumentOutline& outline);

// Byte ranges [begin, end) of the words to highlight in a run of text (UTF-8).
using HighlightFinder = std::function<std::vector<std::pair<std::size_t, std::size_t>>(std::string_view utf8)>;

struct HtmlOptions {
    std::int16_t documentNumber = 0;  // for the picture URLs
    // When set, the words it finds are marked <mark id="hl-K"> (K from 1 in reading order).
    HighlightFinder highlight{};
};

struct HtmlText {
    std::string html;
    DocumentOutline outline;
    std::vector<std::string> anchors;  // OutlineAnchors(outline)
    int highlights = 0;                // marks written
    int pictures = 0;                  // pictures met, of every format
};

HtmlText RtfToHtml(std::string_view rtf, const HtmlOptions& options);

// Picture K (from 1) of a document as a web resource: its bytes and MIME type; nothing when the
// text has no picture K or it is neither PNG nor JPEG.
struct DocumentPicture {
    std::string mimeType;
    std::string bytes;
};
std::optional<DocumentPicture> FindDocumentPicture(std::string_view rtf, int k);

}  // namespace Norik
