#include "richtext/HtmlWriter.h"

#include <algorithm>
#include <map>
#include <set>

#include "richtext/RtfLinks.h"
#include "richtext/RtfReader.h"

namespace Norik {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
// The visible text of a link is looked at only for a document number.
constexpr std::size_t kMaxLinkTextBytes = 64;

bool IsDroppedCodePoint(std::uint32_t cp) {
    return cp == 0x200E || cp == 0x200F || (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) ||
           (cp >= 0x80 && cp < 0xA0);
}

// Twips as CSS points, bounded so that hostile values make no absurd page.
int Points(int twips, int low, int high) { return std::clamp(twips / 20, low, high); }

bool SameLook(const CharFormat& a, const CharFormat& b) {
    return a.bold == b.bold && a.italic == b.italic && a.strike == b.strike &&
           (a.underline == Underline::None) == (b.underline == Underline::None) && a.vertical == b.vertical &&
           a.fontSize == b.fontSize;
}

// The font size relative to the body's 12 points; 0 when it is about the body's.
int SizePercent(int halfPoints) {
    const int percent = std::clamp((halfPoints * 100 + 12) / 24, 40, 400);
    return percent >= 95 && percent <= 105 ? 0 : percent;
}

std::string KindName(OutlineKind kind) {
    switch (kind) {
        case OutlineKind::Appendix:
            return "appendix";
        case OutlineKind::Section:
            return "section";
        case OutlineKind::Subsection:
            return "subsection";
        case OutlineKind::Chapter:
            return "chapter";
        case OutlineKind::Paragraph:
            return "paragraph";
        case OutlineKind::Article:
            return "article";
        case OutlineKind::Item:
            return "item";
        case OutlineKind::Heading:
            return "part";
    }
    return "part";
}

std::string BorderStyle(const char* side, const Border& border) {
    if (!border.present) return {};
    return std::string("border-") + side + ":" + std::to_string(std::clamp(border.width / 15, 1, 6)) + "px solid;";
}

class HtmlOutput : public IRtfOutput {
public:
    HtmlOutput(const HtmlOptions& options, const DocumentOutline& outline, const std::vector<std::string>& anchors)
        : m_options(options), m_outline(outline), m_anchors(anchors) {}

    std::string Take() { return std::move(m_body); }
    int highlights() const { return m_highlights; }
    int pictures() const { return m_pictures; }

    void Text(std::string_view utf8, const CharFormat& format) override {
        m_units += Utf16Units(utf8);
        if (!m_formatOpen || !SameLook(format, m_format)) {
            CloseFormat();
            OpenFormat(format);
        }
        if (m_linkOpen && m_linkText.size() < kMaxLinkTextBytes)
            m_linkText += utf8.substr(0, kMaxLinkTextBytes - m_linkText.size());
        if (!m_options.highlight) {
            AppendHtmlEscaped(m_paragraph, utf8);
            return;
        }
        std::size_t at = 0;
        for (auto [begin, end] : m_options.highlight(utf8)) {
            if (begin < at || end <= begin || end > utf8.size()) continue;
            AppendHtmlEscaped(m_paragraph, utf8.substr(at, begin - at));
            m_paragraph += "<mark id=\"hl-" + std::to_string(++m_highlights) + "\">";
            AppendHtmlEscaped(m_paragraph, utf8.substr(begin, end - begin));
            m_paragraph += "</mark>";
            at = end;
        }
        AppendHtmlEscaped(m_paragraph, utf8.substr(at));
    }

    void ParagraphEnd(const ParagraphFormat& format) override { EndParagraph(format); }

    void LineBreak() override {
        m_units += 1;
        m_paragraph += "<br>";
    }

    void PageBreak(const ParagraphFormat& format) override {
        EndParagraph(format);
        Sink() += "<div class=\"page-break\"></div>\n";
    }

    void TableRowStart(int level, const RowFormat& row) override {
        Depth(level);
        Table& table = m_tables.back();
        table.rows.push_back(Row{{}, row});
        table.rowOpen = true;
        table.cell.clear();
    }

    void TableCellEnd(int level, const ParagraphFormat& lastParagraph) override {
        Depth(level);
        Table& table = m_tables.back();
        // An empty cell (one merged into another, most often) stays empty.
        EndParagraph(lastParagraph, !table.cell.empty() || !m_paragraph.empty());
        if (!table.rowOpen) {
            table.rows.push_back(Row{});
            table.rowOpen = true;
        }
        table.rows.back().cells.push_back(std::move(table.cell));
        table.cell.clear();
    }

    void TableRowEnd(int level, const RowFormat& row) override {
        Depth(level);
        Table& table = m_tables.back();
        if (table.rowOpen) table.rows.back().format = row;
        table.rowOpen = false;
    }

    void TableEnd(int level) override {
        while (!m_tables.empty() && static_cast<int>(m_tables.size()) >= std::clamp(level, 1, kMaxHtmlTableDepth))
            CloseTable();
    }

    void Picture(const PictureInfo& info, std::string_view) override {
        m_units += 1;
        const int k = ++m_pictures;
        if (info.format != PictureFormat::Png && info.format != PictureFormat::Jpeg) {
            m_paragraph += "<span class=\"picture-missing\">[Рисунок " + std::to_string(k) + "]</span>";
            return;
        }
        m_paragraph += "<img src=\"/doc/" + std::to_string(m_options.documentNumber) + "/picture/" + std::to_string(k) +
                       "\" alt=\"Рисунок " + std::to_string(k) + "\"";
        if (const int width = info.displayWidth() / 15; width > 0)
            m_paragraph += " width=\"" + std::to_string(width) + "\"";
        if (const int height = info.displayHeight() / 15; height > 0)
            m_paragraph += " height=\"" + std::to_string(height) + "\"";
        m_paragraph += ">";
    }

    void LinkStart(std::string_view target) override {
        CloseFormat();
        m_linkOpen = true;
        m_linkAt = m_paragraph.size();
        m_linkTarget.assign(target.substr(0, kMaxLinkTextBytes));
        m_linkText.clear();
    }

    void LinkEnd() override {
        if (!m_linkOpen) return;
        CloseFormat();
        m_linkOpen = false;
        const std::optional<int> number = LinkDocumentNumber(m_linkTarget, m_linkText);
        if (!number || *number < -32768 || *number > 32767 || m_linkAt == m_paragraph.size()) return;
        m_paragraph.insert(m_linkAt, "<a href=\"/doc/" + std::to_string(*number) + "\">");
        m_paragraph += "</a>";
    }

    void DocumentEnd(const ParagraphFormat& lastParagraph) override {
        if (!m_paragraph.empty()) EndParagraph(lastParagraph);
        while (!m_tables.empty()) CloseTable();
    }

private:
    struct Row {
        std::vector<std::string> cells;
        RowFormat format;
    };
    struct Table {
        std::vector<Row> rows;
        bool rowOpen = false;
        std::string cell;  // the open cell's content
    };
    struct RenderedCell {
        std::string html;
        CellFormat format;
        int left = 0;  // twips: where the cell starts
        int colspan = 1;
        int rowspan = 1;
    };

    std::string& Sink() { return m_tables.empty() ? m_body : m_tables.back().cell; }

    // Opens or closes tables until level (bounded) are open.
    void Depth(int level) {
        level = std::clamp(level, 1, kMaxHtmlTableDepth);
        while (static_cast<int>(m_tables.size()) > level) CloseTable();
        while (static_cast<int>(m_tables.size()) < level) m_tables.emplace_back();
    }

    void OpenFormat(const CharFormat& format) {
        m_format = format;
        m_formatOpen = true;
        m_closers.clear();
        const auto open = [this](const std::string& tag, const char* closer) {
            m_paragraph += tag;
            m_closers.push_back(closer);
        };
        if (const int percent = SizePercent(format.fontSize))
            open("<span style=\"font-size:" + std::to_string(percent) + "%\">", "</span>");
        if (format.bold) open("<b>", "</b>");
        if (format.italic) open("<i>", "</i>");
        if (format.underline != Underline::None) open("<u>", "</u>");
        if (format.strike) open("<s>", "</s>");
        if (format.vertical == VerticalPosition::Superscript) open("<sup>", "</sup>");
        if (format.vertical == VerticalPosition::Subscript) open("<sub>", "</sub>");
    }

    void CloseFormat() {
        for (auto it = m_closers.rbegin(); it != m_closers.rend(); ++it) m_paragraph += *it;
        m_closers.clear();
        m_formatOpen = false;
    }

    void EndParagraph(const ParagraphFormat& format, bool written = true) {
        CloseFormat();
        if (m_linkOpen) LinkEnd();
        const int start = m_position;
        m_position += m_units + 1;
        m_units = 0;
        if (!written) return;
        std::string style;
        switch (format.alignment) {
            case Alignment::Center:
                style += "text-align:center;";
                break;
            case Alignment::Right:
                style += "text-align:right;";
                break;
            case Alignment::Justify:
                style += "text-align:justify;";
                break;
            case Alignment::Left:
                break;
        }
        if (format.leftIndent > 0) style += "margin-left:" + std::to_string(Points(format.leftIndent, 0, 700)) + "pt;";
        if (format.rightIndent > 0)
            style += "margin-right:" + std::to_string(Points(format.rightIndent, 0, 700)) + "pt;";
        if (format.firstIndent != 0)
            style += "text-indent:" + std::to_string(Points(format.firstIndent, -700, 700)) + "pt;";
        if (format.spaceBefore > 0) style += "margin-top:" + std::to_string(Points(format.spaceBefore, 0, 200)) + "pt;";
        if (format.spaceAfter > 0)
            style += "margin-bottom:" + std::to_string(Points(format.spaceAfter, 0, 200)) + "pt;";

        std::string tag = "p";
        std::string id;
        if (format.tableLevel() == 0) {
            while (m_nextHeading < m_outline.size() && m_outline[m_nextHeading].position < start) ++m_nextHeading;
            if (m_nextHeading < m_outline.size() && m_outline[m_nextHeading].position == start) {
                // A numbered item is a paragraph of the body with an anchor; the other parts are headings.
                if (m_outline[m_nextHeading].kind != OutlineKind::Item)
                    tag = "h" + std::to_string(std::min(m_outline[m_nextHeading].depth + 2, 6));
                id = m_anchors[m_nextHeading++];
            }
        }
        std::string& out = Sink();
        out += "<" + tag;
        if (!id.empty()) out += " id=\"" + id + "\"";
        if (!style.empty()) out += " style=\"" + style + "\"";
        out += ">";
        out += m_paragraph.empty() ? "<br>" : m_paragraph;
        out += "</" + tag + ">\n";
        m_paragraph.clear();
    }

    void CloseTable() {
        Table table = std::move(m_tables.back());
        m_tables.pop_back();
        if (table.rowOpen && !table.cell.empty()) table.rows.back().cells.push_back(std::move(table.cell));
        // Cells merged down are found by where they start in their row.
        std::vector<std::vector<RenderedCell>> rendered;
        std::map<int, std::pair<std::size_t, std::size_t>> openMerges;  // left -> (row, cell) of the first
        for (Row& row : table.rows) {
            std::vector<RenderedCell> cells;
            std::map<int, std::pair<std::size_t, std::size_t>> stillOpen;
            int left = row.format.left;
            for (std::size_t i = 0; i < row.cells.size(); ++i) {
                const CellFormat format = i < row.format.cells.size() ? row.format.cells[i] : CellFormat{};
                const int start = left;
                left = std::max(left, format.rightBoundary);
                if (format.mergedWithPrevious && !cells.empty()) {
                    cells.back().colspan += 1;
                    cells.back().html += row.cells[i];
                    continue;
                }
                if (format.verticalMerge == VerticalMerge::Continue) {
                    if (const auto it = openMerges.find(start); it != openMerges.end()) {
                        rendered[it->second.first][it->second.second].rowspan += 1;
                        stillOpen.insert(*it);
                        continue;
                    }
                }
                if (format.verticalMerge == VerticalMerge::First) stillOpen[start] = {rendered.size(), cells.size()};
                cells.push_back(RenderedCell{std::move(row.cells[i]), format, start});
            }
            openMerges = std::move(stillOpen);
            rendered.push_back(std::move(cells));
        }
        std::string html = "<table>\n";
        for (const std::vector<RenderedCell>& row : rendered) {
            if (row.empty()) continue;
            html += "<tr>";
            for (const RenderedCell& cell : row) {
                html += "<td";
                if (cell.colspan > 1) html += " colspan=\"" + std::to_string(cell.colspan) + "\"";
                if (cell.rowspan > 1) html += " rowspan=\"" + std::to_string(cell.rowspan) + "\"";
                std::string style = BorderStyle("top", cell.format.top) + BorderStyle("bottom", cell.format.bottom) +
                                    BorderStyle("left", cell.format.left) + BorderStyle("right", cell.format.right);
                if (cell.format.verticalAlignment == CellAlignment::Center) style += "vertical-align:middle;";
                if (cell.format.verticalAlignment == CellAlignment::Bottom) style += "vertical-align:bottom;";
                if (const int width = cell.format.rightBoundary - cell.left; width > 0 && cell.colspan == 1)
                    style += "width:" + std::to_string(Points(width, 1, 700)) + "pt;";
                if (!style.empty()) html += " style=\"" + style + "\"";
                html += ">" + cell.html + "</td>";
            }
            html += "</tr>\n";
        }
        html += "</table>\n";
        Sink() += html;
    }

    const HtmlOptions& m_options;
    const DocumentOutline& m_outline;
    const std::vector<std::string>& m_anchors;
    std::size_t m_nextHeading = 0;
    int m_position = 0;  // where the open paragraph starts, counted as FindOutline counts
    int m_units = 0;     // UTF-16 units of the open paragraph

    std::string m_body;
    std::string m_paragraph;
    CharFormat m_format;
    bool m_formatOpen = false;
    std::vector<const char*> m_closers;  // the closing tags of the open format, innermost last

    bool m_linkOpen = false;
    std::size_t m_linkAt = 0;  // where the link's text starts in m_paragraph
    std::string m_linkTarget;
    std::string m_linkText;

    std::vector<Table> m_tables;  // the open tables, outermost first
    int m_highlights = 0;
    int m_pictures = 0;
};

class PictureFinder : public IRtfOutput {
public:
    explicit PictureFinder(int k) : m_k(k) {}
    void Text(std::string_view, const CharFormat&) override {}
    void ParagraphEnd(const ParagraphFormat&) override {}
    bool WantsPictureData() const override { return !m_found; }
    void Picture(const PictureInfo& info, std::string_view data) override {
        if (++m_seen != m_k || m_found) return;
        m_found = true;
        if (info.format == PictureFormat::Png) m_picture = DocumentPicture{"image/png", std::string(data)};
        if (info.format == PictureFormat::Jpeg) m_picture = DocumentPicture{"image/jpeg", std::string(data)};
    }
    std::optional<DocumentPicture> m_picture;

private:
    int m_k;
    int m_seen = 0;
    bool m_found = false;
};

}  // namespace

void AppendHtmlEscaped(std::string& out, std::string_view utf8) {
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            switch (c) {
                case '&':
                    out += "&amp;";
                    break;
                case '<':
                    out += "&lt;";
                    break;
                case '>':
                    out += "&gt;";
                    break;
                case '"':
                    out += "&quot;";
                    break;
                case '\'':
                    out += "&#39;";
                    break;
                case '\t':
                case '\n':
                    out += static_cast<char>(c);
                    break;
                default:
                    if (c >= 0x20 && c != 0x7F) out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        std::size_t length = 0;
        std::uint32_t cp = 0;
        if ((c & 0xE0) == 0xC0) {
            length = 2, cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3, cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4, cp = c & 0x07;
        }
        bool valid = length != 0 && i + length <= utf8.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            valid = (next & 0xC0) == 0x80;
            cp = (cp << 6) | (next & 0x3F);
        }
        const std::uint32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (!valid || cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out += kReplacement;
            ++i;
            continue;
        }
        if (!IsDroppedCodePoint(cp)) out.append(utf8.substr(i, length));
        i += length;
    }
}

std::string HtmlEscaped(std::string_view utf8) {
    std::string out;
    AppendHtmlEscaped(out, utf8);
    return out;
}

std::vector<std::string> OutlineAnchors(const DocumentOutline& outline) {
    std::vector<std::string> anchors;
    std::set<std::string> taken;
    for (std::size_t i = 0; i < outline.size(); ++i) {
        std::string id = KindName(outline[i].kind) + "-";
        std::string number;
        for (const char c : outline[i].number) {
            if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || c == '.' || c == '-')
                number += c;
            else if (c >= 'A' && c <= 'Z')
                number += static_cast<char>(c - 'A' + 'a');
        }
        id += number.empty() ? std::to_string(i + 1) : number;
        if (!taken.insert(id).second) {
            const std::string base = id;
            for (int n = 2; !taken.insert(id = base + "-" + std::to_string(n)).second; ++n) {
            }
        }
        anchors.push_back(std::move(id));
    }
    return anchors;
}

HtmlText RtfToHtml(std::string_view rtf, const HtmlOptions& options) {
    HtmlText text;
    text.outline = FindOutline(rtf);
    text.anchors = OutlineAnchors(text.outline);
    HtmlOutput output(options, text.outline, text.anchors);
    ReadRtf(rtf, output);
    text.html = output.Take();
    text.highlights = output.highlights();
    text.pictures = output.pictures();
    return text;
}

std::optional<DocumentPicture> FindDocumentPicture(std::string_view rtf, int k) {
    if (k < 1) return std::nullopt;
    PictureFinder finder(k);
    ReadRtf(rtf, finder);
    return std::move(finder.m_picture);
}

}  // namespace Norik
