// The destinations the reader keeps beside the body: font and colour tables, the style sheet,
// fields (links) and pictures.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "richtext/CodePages.h"
#include "richtext/RtfReaderImpl.h"

namespace Norik {

namespace RtfReaderDetail {

// Copies the character fields that mask names from one format to another.
void OverlayChars(CharFormat& to, const CharFormat& from, std::uint32_t mask) {
    if (mask & kStyleBold) to.bold = from.bold;
    if (mask & kStyleItalic) to.italic = from.italic;
    if (mask & kStyleStrike) to.strike = from.strike;
    if (mask & kStyleCaps) to.caps = from.caps;
    if (mask & kStyleSmallCaps) to.smallCaps = from.smallCaps;
    if (mask & kStyleHidden) to.hidden = from.hidden;
    if (mask & kStyleUnderline) to.underline = from.underline;
    if (mask & kStyleVertical) to.vertical = from.vertical;
    if (mask & kStyleFontSize) to.fontSize = from.fontSize;
    if (mask & kStyleColor) to.color = from.color;
    if (mask & kStyleBackground) to.background = from.background;
}

}  // namespace RtfReaderDetail

namespace {

void OverlayParagraph(ParagraphFormat& to, const ParagraphFormat& from, std::uint32_t mask) {
    if (mask & kStyleAlignment) to.alignment = from.alignment;
    if (mask & kStyleLeftIndent) to.leftIndent = from.leftIndent;
    if (mask & kStyleTabs) {
        // A style's own stops add to those of its base; its own win at a shared position.
        std::vector<TabStop> merged;
        merged.reserve(to.tabs.size() + from.tabs.size());
        auto a = to.tabs.cbegin();
        auto b = from.tabs.cbegin();
        while ((a != to.tabs.cend() || b != from.tabs.cend()) && merged.size() < kMaxTabStops) {
            if (b == from.tabs.cend() || (a != to.tabs.cend() && a->position < b->position)) {
                merged.push_back(*a++);
            } else {
                if (a != to.tabs.cend() && a->position == b->position) ++a;
                merged.push_back(*b++);
            }
        }
        to.tabs = std::move(merged);
    }
    if (mask & kStyleRightIndent) to.rightIndent = from.rightIndent;
    if (mask & kStyleFirstIndent) to.firstIndent = from.firstIndent;
    if (mask & kStyleSpaceBefore) to.spaceBefore = from.spaceBefore;
    if (mask & kStyleSpaceAfter) to.spaceAfter = from.spaceAfter;
    if (mask & kStyleLineSpacing) {
        to.lineSpacing = from.lineSpacing;
        to.lineMultiple = from.lineMultiple;
    }
    if (mask & kStyleKeep) to.keepTogether = from.keepTogether;
    if (mask & kStyleKeepNext) to.keepWithNext = from.keepWithNext;
    if (mask & kStylePageBreak) to.pageBreakBefore = from.pageBreakBefore;
    if (mask & kStyleOutlineLevel) to.outlineLevel = from.outlineLevel;
    if (mask & kStyleBorders) {
        to.top = from.top;
        to.bottom = from.bottom;
        to.left = from.left;
        to.right = from.right;
    }
    if (mask & kStyleShading) to.shading = from.shading;
}

// Chains of based-on styles are followed this deep (cycles end here too).
constexpr int kMaxStyleChain = 8;

// The style with key as its bases make it: the base's format, with the fields the style sets
// itself taken from the style.
Style ResolvedStyle(const StyleMap& own, int key, int depth) {
    const Style& style = own.at(key);
    auto base = style.base == key ? own.end() : own.find(style.base);
    if (base == own.end() || depth >= kMaxStyleChain) return style;
    Style resolved = ResolvedStyle(own, style.base, depth + 1);
    OverlayChars(resolved.chars, style.chars, style.mask);
    if (style.mask & kStyleFont) resolved.font = style.font;
    OverlayParagraph(resolved.paragraph, style.paragraph, style.mask);
    resolved.mask |= style.mask;
    resolved.base = style.base;
    return resolved;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

// The arguments of a field instruction: quoted strings or blank-separated words.
std::vector<std::string> SplitInstruction(std::string_view text) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
        if (i >= text.size()) break;
        std::string word;
        if (text[i] == '"') {
            ++i;
            while (i < text.size() && text[i] != '"') {
                // A doubled backslash inside quotes stands for one.
                if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) ++i;
                word.push_back(text[i++]);
            }
            ++i;
        } else {
            while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '"') word.push_back(text[i++]);
        }
        words.push_back(std::move(word));
    }
    return words;
}

}  // namespace

namespace RtfReaderDetail {

// The target of a HYPERLINK field instruction, or false when the instruction is another field.
bool HyperlinkTarget(std::string_view instruction, std::string& target) {
    std::vector<std::string> words = SplitInstruction(Trim(instruction));
    if (words.empty()) return false;
    std::string kind = words[0];
    std::transform(kind.begin(), kind.end(), kind.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (kind != "HYPERLINK") return false;
    std::string address;
    std::string bookmark;
    bool haveAddress = false;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w.size() == 2 && w[0] == '\\') {
            char s = static_cast<char>(std::tolower(static_cast<unsigned char>(w[1])));
            if (s == 'l' && i + 1 < words.size()) {
                bookmark = words[++i];
            } else if ((s == 'o' || s == 't') && i + 1 < words.size()) {
                ++i;  // tip text, target frame
            }
            continue;
        }
        if (!haveAddress) {
            address = w;
            haveAddress = true;
        }
    }
    target = address;
    if (!bookmark.empty()) target += "#" + bookmark;
    return true;
}

}  // namespace RtfReaderDetail

void RtfReader::Impl::ResolveFont(GroupState& state) {
    int number = state.fontNumber >= 0 ? state.fontNumber : m_defaultFont;
    auto it = m_fontIndex.find(number);
    if (it == m_fontIndex.end()) {
        state.codePage = m_defaultCodePage;
        state.chars.fontName = {};
    } else {
        const Font& font = m_fonts[it->second];
        state.codePage = font.codePage > 0 ? font.codePage : CodePageForCharset(font.charset, m_defaultCodePage);
        state.chars.fontName = font.name;
    }
    state.decoder = DecoderForCodePage(state.codePage);
}

void RtfReader::Impl::CommitFont() {
    if (!m_fontOpen) return;
    m_fontOpen = false;
    if (m_fonts.size() >= kMaxFonts) return;
    std::string_view name = Trim(m_fontPending.name);
    m_fontPending.name.assign(name);
    m_fonts.push_back(m_fontPending);
    m_fontIndex[m_fontPending.number] = m_fonts.size() - 1;
}

void RtfReader::Impl::CommitStyle() {
    if (!m_styleOpen) return;
    m_styleOpen = false;
    if (m_styles.size() >= kMaxStyles && !m_styles.count(m_styleNumber)) return;
    Style style{m_state.chars, m_state.paragraph};
    style.font = m_state.fontNumber;
    style.paragraph.inTable = false;
    style.paragraph.nestingLevel = 0;
    style.mask = m_styleMask;
    // Character styles (negative keys) are based on character styles.
    if (m_styleBase != kNoBaseStyle) style.base = m_styleNumber < 0 ? -1 - m_styleBase : m_styleBase;
    m_styles[m_styleNumber] = style;
}

void RtfReader::Impl::ApplyStyleFont(const Style& style) {
    if (!(style.mask & kStyleFont) || m_state.destination != Destination::Body) return;
    if (m_state.fontNumber != style.font) m_doubleBytePending.clear();
    m_state.fontNumber = style.font;
    ResolveFont(m_state);
}

void RtfReader::Impl::ResolveStyles() {
    const StyleMap own = m_styles;
    for (auto& [key, style] : m_styles) style = ResolvedStyle(own, key, 0);
}

void RtfReader::Impl::StartLink(const std::string& target) {
    if (m_linkOpen) return;
    m_dirty = true;
    BeginContent();
    FlushRun();
    m_out.LinkStart(target);
    m_linkOpen = true;
}

void RtfReader::Impl::EndLink() {
    if (!m_linkOpen) return;
    FlushRun();
    m_out.LinkEnd();
    m_linkOpen = false;
}

void RtfReader::Impl::EmitPicture() {
    m_pictureDepth = 0;
    if (!m_stack.empty() && m_stack.back().destination != Destination::Body) return;
    if (m_stack.empty() || m_stack.back().chars.hidden) return;
    // The picture belongs to the body around it: open the table cell it sits in.
    GroupState saved = m_state;
    m_state = m_stack.back();
    m_dirty = true;
    BeginContent();
    FlushRun();
    m_state = saved;
    m_dirty = true;
    m_out.Picture(m_picture, m_pictureData);
    m_pictureData.clear();
    m_pictureData.shrink_to_fit();
}

int PictureInfo::displayWidth() const {
    long long twips = goalWidth;
    if (twips <= 0) {
        // Metafiles state their size in 0.01 mm, bitmaps in pixels (15 twips at 96 dpi).
        twips = (format == PictureFormat::Emf || format == PictureFormat::Wmf)
                    ? static_cast<long long>(width) * 1440 / 2540
                    : static_cast<long long>(width) * 15;
    }
    return Clamp(twips * scaleX / 100, 0, kMaxPictureTwips);
}

int PictureInfo::displayHeight() const {
    long long twips = goalHeight;
    if (twips <= 0) {
        twips = (format == PictureFormat::Emf || format == PictureFormat::Wmf)
                    ? static_cast<long long>(height) * 1440 / 2540
                    : static_cast<long long>(height) * 15;
    }
    return Clamp(twips * scaleY / 100, 0, kMaxPictureTwips);
}

}  // namespace Norik
