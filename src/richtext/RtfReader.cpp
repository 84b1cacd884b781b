#include "richtext/RtfReader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "richtext/CodePages.h"
#include "richtext/RtfKeywords.h"

namespace Norik {

namespace {

// Deeper groups are counted but not kept: their state is their parent's. Real documents stay
// below a few dozen levels; this bounds the stack against hostile nesting.
constexpr std::size_t kMaxGroupDepth = 512;
constexpr int kMaxTableLevel = 16;
constexpr std::size_t kMaxNameLength = 32;
constexpr int kMaxParameterDigits = 10;
constexpr std::size_t kMaxFieldInstruction = 4096;
constexpr std::size_t kMaxFontName = 256;
constexpr std::size_t kMaxFonts = 4096;
constexpr std::size_t kMaxColors = 4096;
constexpr std::size_t kMaxStyles = 4096;
constexpr std::size_t kMaxCellsPerRow = 256;
constexpr std::size_t kMaxNestedFields = 32;
// A run of text is handed over at this size even when the format does not change.
constexpr std::size_t kRunFlushSize = 64 * 1024;
constexpr int kMaxLength = 31680 * 4;  // twips: bounds every indent, spacing and cell edge

enum class Destination : std::uint8_t {
    Body,
    Skip,
    FontTable,
    ColorTable,
    StyleSheet,
    FieldInstruction,
    Picture,
    RowProperties,
};

enum class BorderTarget : std::uint8_t { None, ParaTop, ParaBottom, ParaLeft, ParaRight, ParaBox, CellTop, CellBottom, CellLeft, CellRight };

struct GroupState {
    Destination destination = Destination::Body;
    CharFormat chars;
    ParagraphFormat paragraph;
    int fontNumber = -1;
    int codePage = 1252;
    const ByteDecoder* decoder = nullptr;
    int unicodeSkip = 1;
};

struct Font {
    int number = 0;
    int charset = -1;
    int codePage = 0;  // \cpg, 0 when not given
    std::string name;
};

// The formatting a style sets itself, one bit a field; the rest it takes from its base style.
enum StyleField : std::uint32_t {
    kStyleBold = 1u << 0,
    kStyleItalic = 1u << 1,
    kStyleStrike = 1u << 2,
    kStyleCaps = 1u << 3,
    kStyleSmallCaps = 1u << 4,
    kStyleHidden = 1u << 5,
    kStyleUnderline = 1u << 6,
    kStyleVertical = 1u << 7,
    kStyleFontSize = 1u << 8,
    kStyleColor = 1u << 9,
    kStyleBackground = 1u << 10,
    kStyleAllChars = (1u << 11) - 1,
    kStyleAlignment = 1u << 11,
    kStyleLeftIndent = 1u << 12,
    kStyleRightIndent = 1u << 13,
    kStyleFirstIndent = 1u << 14,
    kStyleSpaceBefore = 1u << 15,
    kStyleSpaceAfter = 1u << 16,
    kStyleLineSpacing = 1u << 17,
    kStyleKeep = 1u << 18,
    kStyleKeepNext = 1u << 19,
    kStylePageBreak = 1u << 20,
    kStyleBorders = 1u << 21,
    kStyleShading = 1u << 22,
    kStyleAllParagraph = ((1u << 23) - 1) & ~kStyleAllChars,
    kStyleFont = 1u << 23,
};

std::uint32_t StyleFieldsOf(Keyword keyword) {
    switch (keyword) {
    case Keyword::B: return kStyleBold;
    case Keyword::I: return kStyleItalic;
    case Keyword::Strike: return kStyleStrike;
    case Keyword::Caps: return kStyleCaps;
    case Keyword::Scaps: return kStyleSmallCaps;
    case Keyword::V: return kStyleHidden;
    case Keyword::Ul:
    case Keyword::Ulnone:
    case Keyword::Uldb:
    case Keyword::Uld:
    case Keyword::Uldash:
    case Keyword::Ulwave:
    case Keyword::Ulw:
    case Keyword::Ulth: return kStyleUnderline;
    case Keyword::Super:
    case Keyword::Sub:
    case Keyword::Nosupersub:
    case Keyword::Up:
    case Keyword::Dn: return kStyleVertical;
    case Keyword::Fs: return kStyleFontSize;
    case Keyword::F: return kStyleFont;
    case Keyword::Cf: return kStyleColor;
    case Keyword::Cb:
    case Keyword::Highlight:
    case Keyword::Chcbpat: return kStyleBackground;
    case Keyword::Plain: return kStyleAllChars | kStyleFont;
    case Keyword::Ql:
    case Keyword::Qc:
    case Keyword::Qr:
    case Keyword::Qj: return kStyleAlignment;
    case Keyword::Li: return kStyleLeftIndent;
    case Keyword::Ri: return kStyleRightIndent;
    case Keyword::Fi: return kStyleFirstIndent;
    case Keyword::Sb: return kStyleSpaceBefore;
    case Keyword::Sa: return kStyleSpaceAfter;
    case Keyword::Sl:
    case Keyword::Slmult: return kStyleLineSpacing;
    case Keyword::Keep: return kStyleKeep;
    case Keyword::Keepn: return kStyleKeepNext;
    case Keyword::Pagebb: return kStylePageBreak;
    case Keyword::Brdrt:
    case Keyword::Brdrb:
    case Keyword::Brdrl:
    case Keyword::Brdrr:
    case Keyword::Box:
    case Keyword::Brdrw:
    case Keyword::Brdrcf:
    case Keyword::Brdrnone: return kStyleBorders;
    case Keyword::Cbpat: return kStyleShading;
    case Keyword::Pard: return kStyleAllParagraph;
    default: return 0;
    }
}

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

void OverlayParagraph(ParagraphFormat& to, const ParagraphFormat& from, std::uint32_t mask) {
    if (mask & kStyleAlignment) to.alignment = from.alignment;
    if (mask & kStyleLeftIndent) to.leftIndent = from.leftIndent;
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
    if (mask & kStyleBorders) {
        to.top = from.top;
        to.bottom = from.bottom;
        to.left = from.left;
        to.right = from.right;
    }
    if (mask & kStyleShading) to.shading = from.shading;
}

constexpr int kNoBaseStyle = 0x7FFFFFFF;
// Chains of based-on styles are followed this deep (cycles end here too).
constexpr int kMaxStyleChain = 8;

struct Style {
    CharFormat chars;
    ParagraphFormat paragraph;
    std::uint32_t mask = 0;    // the fields the style sets (after resolution: it or its bases)
    int font = -1;             // font number, when mask has kStyleFont
    int base = kNoBaseStyle;   // key of the style it is based on
};

using StyleMap = std::unordered_map<int, Style>;

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

struct Field {
    std::size_t depth = 0;        // group depth of the \field group
    std::size_t resultDepth = 0;  // group depth of its \fldrslt group, 0 before it
    std::string instruction;
    bool linkOpen = false;
};

enum class LevelState : std::uint8_t { None, TableNoRow, RowOpen };

enum class LexState : std::uint8_t { Detect, Text, Escape, Word, Parameter, Hex1, Hex2, Binary, Plain };

constexpr signed char HexValue(unsigned char c) {
    return c >= '0' && c <= '9' ? static_cast<signed char>(c - '0')
           : c >= 'a' && c <= 'f' ? static_cast<signed char>(c - 'a' + 10)
           : c >= 'A' && c <= 'F' ? static_cast<signed char>(c - 'A' + 10)
                                  : static_cast<signed char>(-1);
}

constexpr bool IsLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// Bytes that end a run of plain text in the body.
struct SpecialTable {
    bool special[256] = {};
    constexpr SpecialTable() {
        special[static_cast<unsigned char>('\\')] = true;
        special[static_cast<unsigned char>('{')] = true;
        special[static_cast<unsigned char>('}')] = true;
        special[static_cast<unsigned char>('\r')] = true;
        special[static_cast<unsigned char>('\n')] = true;
        special[0] = true;
        special[static_cast<unsigned char>('\t')] = true;
        for (int b = 0x80; b < 0x100; ++b) special[b] = true;
    }
};
constexpr SpecialTable kSpecial;

int Clamp(long long value, int low, int high) {
    return static_cast<int>(std::min<long long>(std::max<long long>(value, low), high));
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
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

// The target of a HYPERLINK field instruction, or false when the instruction is another field.
bool HyperlinkTarget(std::string_view instruction, std::string& target) {
    std::vector<std::string> words = SplitInstruction(Trim(instruction));
    if (words.empty()) return false;
    std::string kind = words[0];
    std::transform(kind.begin(), kind.end(), kind.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
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

}  // namespace

class RtfReader::Impl {
public:
    explicit Impl(IRtfOutput& output) : m_out(output), m_wantPictureData(output.WantsPictureData()) {
        m_state.decoder = DecoderForCodePage(1252);
        m_stack.reserve(32);
        m_rowDefs.resize(kMaxTableLevel + 1);
        m_levels.assign(kMaxTableLevel + 1, LevelState::None);
        m_cellsEnded.assign(kMaxTableLevel + 1, 0);
    }

    void Feed(std::string_view chunk);
    void Finish();
    bool isRtf() const { return m_lex != LexState::Plain; }

private:
    // Lexing
    const char* ScanBodyText(const char* p, const char* end);
    const char* ScanPictureHex(const char* p, const char* end);
    void TextByte(unsigned char c);
    void DecodedByte(unsigned char c);
    void OpenGroup();
    void CloseGroup();
    void ControlWord();
    void ControlSymbol(unsigned char c);
    void PlainByte(unsigned char c);
    void FlushPlainLine(bool paragraphEnd);

    // Content
    void BeginContent() {
        if (!m_dirty) return;
        int level = std::min(m_state.paragraph.tableLevel(), kMaxTableLevel);
        if (!m_run.empty() && (level != m_runLevel || !(m_state.chars == m_runFormat))) FlushRun();
        if (level != m_openLevel || (level > 0 && m_levels[static_cast<std::size_t>(level)] != LevelState::RowOpen)) {
            EnsureLevel(level);
        }
        m_runFormat = m_state.chars;
        m_runLevel = level;
        m_dirty = false;
    }
    bool Visible() const { return m_state.destination == Destination::Body && !m_state.chars.hidden; }
    void AppendCodePoint(char32_t c);
    void FlushRun() {
        if (m_run.empty()) return;
        m_out.Text(m_run, m_runFormat);
        m_run.clear();
    }
    void EnsureLevel(int level);
    void EndParagraph(bool page);
    void EndCell(int level);
    bool RowUnfinished() const {
        if (m_openLevel <= 0) return false;
        auto l = static_cast<std::size_t>(m_openLevel);
        return m_levels[l] == LevelState::RowOpen && m_cellsEnded[l] < m_rowDefs[l].cells.size();
    }
    void EndRow(int level);
    void StartLink(const std::string& target);
    void EndLink();

    // State
    void ResolveFont(GroupState& state);
    void SetDestination(Destination d) { m_state.destination = d; }
    void CommitFont();
    void CommitStyle();
    void ResolveStyles();
    void ApplyStyleFont(const Style& style);
    std::uint32_t ColorAt(int index) const {
        if (index <= 0 || static_cast<std::size_t>(index) >= m_colors.size()) return kAutoColor;
        return m_colors[static_cast<std::size_t>(index)];
    }
    Border* CurrentBorder();
    RowFormat& DefinitionRow();
    void EmitPicture();

    IRtfOutput& m_out;
    bool m_wantPictureData;
    bool m_finished = false;

    LexState m_lex = LexState::Detect;
    char m_name[kMaxNameLength + 1] = {};
    std::size_t m_nameLength = 0;
    bool m_nameTooLong = false;
    long long m_parameter = 0;
    bool m_hasParameter = false;
    bool m_negative = false;
    int m_digits = 0;
    int m_hexHigh = 0;
    std::uint64_t m_binaryLeft = 0;
    bool m_starPending = false;
    int m_unicodeSkipLeft = 0;
    std::size_t m_bom = 0;

    GroupState m_state;
    std::vector<GroupState> m_stack;
    std::size_t m_overflowDepth = 0;
    int m_defaultCodePage = 1252;
    int m_defaultFont = -1;

    std::string m_run;
    CharFormat m_runFormat;
    int m_runLevel = 0;
    bool m_dirty = true;
    std::uint32_t m_pendingHighSurrogate = 0;
    std::string m_doubleBytePending;

    std::deque<Font> m_fonts;
    std::unordered_map<int, std::size_t> m_fontIndex;
    Font m_fontPending;
    bool m_fontOpen = false;

    std::vector<std::uint32_t> m_colors;
    int m_red = 0, m_green = 0, m_blue = 0;
    bool m_colorSet = false;

    StyleMap m_styles;
    int m_styleNumber = 0;
    bool m_styleOpen = false;
    bool m_styleSheetSeen = false;
    std::size_t m_styleDepth = 0;  // group depth of the style being read
    std::uint32_t m_styleMask = 0;
    int m_styleBase = kNoBaseStyle;

    std::size_t m_uprDepth = 0;  // group depth of the open \upr group, 0 when none
    Destination m_uprDestination = Destination::Body;

    std::vector<Field> m_fields;
    bool m_linkOpen = false;

    PictureInfo m_picture;
    std::string m_pictureData;
    std::size_t m_pictureDepth = 0;
    int m_pictureNibble = -1;

    std::vector<RowFormat> m_rowDefs;
    std::vector<LevelState> m_levels;
    std::vector<std::size_t> m_cellsEnded;  // cells ended in the open row of each level
    int m_openLevel = 0;
    CellFormat m_pendingCell;
    BorderTarget m_borderTarget = BorderTarget::None;

    std::string m_plainLine;
};

void RtfReader::Impl::Feed(std::string_view chunk) {
    if (m_finished) return;
    const char* p = chunk.data();
    const char* const end = p + chunk.size();
    while (p < end) {
        switch (m_lex) {
        case LexState::Detect: {
            auto c = static_cast<unsigned char>(*p);
            // A UTF-8 byte-order mark and blanks may come before the first brace.
            if (m_bom < 3 && c == "\xEF\xBB\xBF"[m_bom] && (m_bom > 0 || c == 0xEF)) {
                ++m_bom;
                ++p;
                break;
            }
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0) {
                ++p;
                break;
            }
            m_lex = c == '{' ? LexState::Text : LexState::Plain;
            break;
        }
        case LexState::Plain:
            PlainByte(static_cast<unsigned char>(*p++));
            break;
        case LexState::Text: {
            if (m_unicodeSkipLeft == 0) {
                if (m_state.destination == Destination::Body) {
                    p = ScanBodyText(p, end);
                } else if (m_state.destination == Destination::Skip ||
                           (m_state.destination == Destination::Picture && !m_wantPictureData)) {
                    // Skipped groups (metadata, alternative pictures) are passed over whole.
                    while (p < end && *p != '\\' && *p != '{' && *p != '}') ++p;
                } else if (m_state.destination == Destination::Picture) {
                    p = ScanPictureHex(p, end);
                }
                if (p >= end) break;
            }
            auto c = static_cast<unsigned char>(*p++);
            if (c == '\\') {
                m_lex = LexState::Escape;
            } else if (c == '{') {
                OpenGroup();
            } else if (c == '}') {
                CloseGroup();
            } else {
                TextByte(c);
            }
            break;
        }
        case LexState::Escape: {
            auto c = static_cast<unsigned char>(*p);
            if (IsLetter(c)) {
                m_nameLength = 0;
                m_nameTooLong = false;
                m_hasParameter = false;
                m_negative = false;
                m_parameter = 0;
                m_digits = 0;
                m_lex = LexState::Word;
            } else if (c == '\'') {
                ++p;
                m_lex = LexState::Hex1;
            } else {
                ++p;
                m_lex = LexState::Text;
                ControlSymbol(c);
            }
            break;
        }
        case LexState::Word: {
            while (p < end && IsLetter(static_cast<unsigned char>(*p))) {
                if (m_nameLength < kMaxNameLength) {
                    m_name[m_nameLength++] = *p;
                } else {
                    m_nameTooLong = true;
                }
                ++p;
            }
            if (p >= end) break;
            auto c = static_cast<unsigned char>(*p);
            if (c == '-' || IsDigit(c)) {
                if (c == '-') {
                    m_negative = true;
                    ++p;
                }
                m_lex = LexState::Parameter;
                break;
            }
            if (c == ' ') ++p;
            m_lex = LexState::Text;
            ControlWord();
            break;
        }
        case LexState::Parameter: {
            while (p < end && IsDigit(static_cast<unsigned char>(*p))) {
                // Digits past the tenth are read and dropped: the value saturates.
                if (m_digits < kMaxParameterDigits) m_parameter = m_parameter * 10 + (*p - '0');
                ++m_digits;
                ++p;
            }
            if (p >= end) break;
            m_hasParameter = m_digits > 0;
            if (m_digits > kMaxParameterDigits) m_parameter = 0x7FFFFFFF;
            m_parameter = std::min<long long>(m_parameter, 0x7FFFFFFF);
            if (m_negative) m_parameter = -m_parameter;
            if (*p == ' ') ++p;
            m_lex = LexState::Text;
            ControlWord();
            break;
        }
        case LexState::Hex1: {
            signed char v = HexValue(static_cast<unsigned char>(*p));
            if (v < 0) {
                m_lex = LexState::Text;  // a broken \' is dropped; the byte is read as text
                break;
            }
            m_hexHigh = v;
            ++p;
            m_lex = LexState::Hex2;
            break;
        }
        case LexState::Hex2: {
            signed char v = HexValue(static_cast<unsigned char>(*p));
            m_lex = LexState::Text;
            if (v < 0) break;
            ++p;
            DecodedByte(static_cast<unsigned char>(m_hexHigh * 16 + v));
            break;
        }
        case LexState::Binary: {
            auto available = static_cast<std::uint64_t>(end - p);
            std::uint64_t take = std::min(available, m_binaryLeft);
            if (m_state.destination == Destination::Picture && m_wantPictureData) {
                m_pictureData.append(p, static_cast<std::size_t>(take));
            }
            p += take;
            m_binaryLeft -= take;
            if (m_binaryLeft == 0) m_lex = LexState::Text;
            break;
        }
        }
    }
}

// The hot loop: plain characters and \'hh escapes of visible body text go straight into the run.
const char* RtfReader::Impl::ScanBodyText(const char* p, const char* end) {
    if (m_state.chars.hidden) {
        while (p < end && !kSpecial.special[static_cast<unsigned char>(*p)]) ++p;
        return p;
    }
    const ByteDecoder* decoder = m_state.decoder;
    while (p < end) {
        const char* start = p;
        while (p < end && !kSpecial.special[static_cast<unsigned char>(*p)]) ++p;
        if (p != start) {
            BeginContent();
            m_run.append(start, static_cast<std::size_t>(p - start));
            if (m_run.size() >= kRunFlushSize) FlushRun();
            if (p >= end) return p;
        }
        // \'hh complete within the chunk, in a single-byte code page.
        if (p + 3 < end && p[0] == '\\' && p[1] == '\'' && decoder) {
            signed char h = HexValue(static_cast<unsigned char>(p[2]));
            signed char l = HexValue(static_cast<unsigned char>(p[3]));
            if (h >= 0 && l >= 0) {
                BeginContent();
                auto b = static_cast<unsigned char>(h * 16 + l);
                m_run.append(decoder->bytes[b], decoder->length[b]);
                p += 4;
                continue;
            }
        }
        return p;
    }
    return p;
}

// Hex digits of picture data, two to a byte; blanks and line ends between them are ignored.
const char* RtfReader::Impl::ScanPictureHex(const char* p, const char* end) {
    while (p < end) {
        auto c = static_cast<unsigned char>(*p);
        if (c == '\\' || c == '{' || c == '}') return p;
        ++p;
        signed char v = HexValue(c);
        if (v < 0) continue;
        if (m_pictureNibble < 0) {
            m_pictureNibble = v;
        } else {
            m_pictureData.push_back(static_cast<char>(m_pictureNibble * 16 + v));
            m_pictureNibble = -1;
        }
    }
    return p;
}

void RtfReader::Impl::TextByte(unsigned char c) {
    if (c == '\r' || c == '\n' || c == 0) return;
    if (m_unicodeSkipLeft > 0) {
        --m_unicodeSkipLeft;
        return;
    }
    switch (m_state.destination) {
    case Destination::Body:
        if (c == '\t') {
            if (Visible()) {
                BeginContent();
                m_run.push_back('\t');
            }
            return;
        }
        DecodedByte(c);  // a literal byte past ASCII is decoded like \'hh
        return;
    case Destination::FontTable:
        if (c == ';') {
            CommitFont();
        } else if (m_fontOpen && m_fontPending.name.size() < kMaxFontName) {
            m_fontPending.name.push_back(static_cast<char>(c));
        }
        return;
    case Destination::ColorTable:
        if (c == ';') {
            if (m_colors.size() < kMaxColors) {
                m_colors.push_back(m_colorSet ? (static_cast<std::uint32_t>(m_red) << 16) |
                                                    (static_cast<std::uint32_t>(m_green) << 8) |
                                                    static_cast<std::uint32_t>(m_blue)
                                              : kAutoColor);
            }
            m_red = m_green = m_blue = 0;
            m_colorSet = false;
        }
        return;
    case Destination::StyleSheet:
        if (c == ';') CommitStyle();
        return;
    case Destination::FieldInstruction:
        if (!m_fields.empty() && m_fields.back().instruction.size() < kMaxFieldInstruction) {
            DecodedByte(c);
        }
        return;
    case Destination::Picture:
        if (m_wantPictureData) {
            signed char v = HexValue(c);
            if (v < 0) return;
            if (m_pictureNibble < 0) {
                m_pictureNibble = v;
            } else {
                m_pictureData.push_back(static_cast<char>(m_pictureNibble * 16 + v));
                m_pictureNibble = -1;
            }
        }
        return;
    case Destination::Skip:
    case Destination::RowProperties:
        return;
    }
}

// One byte of text in the current code page (from \'hh or a literal byte).
void RtfReader::Impl::DecodedByte(unsigned char c) {
    if (m_unicodeSkipLeft > 0) {
        --m_unicodeSkipLeft;
        return;
    }
    std::string* target = nullptr;
    switch (m_state.destination) {
    case Destination::Body:
        if (!Visible()) return;
        BeginContent();
        target = &m_run;
        break;
    case Destination::FieldInstruction:
        if (m_fields.empty() || m_fields.back().instruction.size() >= kMaxFieldInstruction) return;
        target = &m_fields.back().instruction;
        break;
    case Destination::FontTable:
        if (c == ';') {
            CommitFont();
            return;
        }
        if (!m_fontOpen || m_fontPending.name.size() >= kMaxFontName) return;
        target = &m_fontPending.name;
        break;
    default:
        TextByte(c);  // tables and pictures read the byte as it is
        return;
    }
    if (m_state.decoder) {
        target->append(m_state.decoder->bytes[c], m_state.decoder->length[c]);
        if (target == &m_run && m_run.size() >= kRunFlushSize) FlushRun();
        return;
    }
    // Double-byte code page: a lead byte waits for its trail byte.
    if (m_doubleBytePending.empty() && IsLeadByte(m_state.codePage, c)) {
        m_doubleBytePending.push_back(static_cast<char>(c));
        return;
    }
    if (m_doubleBytePending.empty() && c < 0x80) {
        target->push_back(static_cast<char>(c));
        return;
    }
    m_doubleBytePending.push_back(static_cast<char>(c));
    AppendDoubleByte(*target, m_state.codePage, m_doubleBytePending);
    m_doubleBytePending.clear();
}

void RtfReader::Impl::AppendCodePoint(char32_t c) {
    std::string* target = nullptr;
    if (m_state.destination == Destination::Body) {
        if (!Visible()) return;
        BeginContent();
        target = &m_run;
    } else if (m_state.destination == Destination::FieldInstruction && !m_fields.empty() &&
               m_fields.back().instruction.size() < kMaxFieldInstruction) {
        target = &m_fields.back().instruction;
    } else if (m_state.destination == Destination::FontTable && m_fontOpen && m_fontPending.name.size() < kMaxFontName) {
        target = &m_fontPending.name;
    } else {
        return;
    }
    AppendUtf8(*target, c);
}

void RtfReader::Impl::OpenGroup() {
    m_unicodeSkipLeft = 0;
    m_starPending = false;
    if (m_stack.size() >= kMaxGroupDepth) {
        ++m_overflowDepth;
        return;
    }
    m_stack.push_back(m_state);
    if (m_state.destination == Destination::StyleSheet && !m_styleOpen) {
        // Each style starts from plain text and a plain paragraph.
        m_state.chars = CharFormat();
        m_state.paragraph = ParagraphFormat();
        m_styleNumber = 0;
        m_styleOpen = true;
        m_styleDepth = m_stack.size();
        m_styleMask = 0;
        m_styleBase = kNoBaseStyle;
    }
}

void RtfReader::Impl::CloseGroup() {
    m_unicodeSkipLeft = 0;
    m_starPending = false;
    if (m_overflowDepth > 0) {
        --m_overflowDepth;
        return;
    }
    if (m_stack.empty()) return;  // an unbalanced "}" is dropped
    const std::size_t depth = m_stack.size();
    const Destination closing = m_state.destination;
    if (closing == Destination::FontTable) CommitFont();
    if (closing == Destination::StyleSheet && m_styleOpen) CommitStyle();
    // A style group that turned out to be something skipped ends unread.
    if (m_styleOpen && depth == m_styleDepth) m_styleOpen = false;
    if (depth == m_uprDepth) m_uprDepth = 0;
    if (closing == Destination::Picture && depth == m_pictureDepth) EmitPicture();
    if (!m_fields.empty()) {
        Field& field = m_fields.back();
        if (field.resultDepth == depth && field.linkOpen) {
            EndLink();
            field.linkOpen = false;
        }
        if (field.depth == depth) {
            if (field.linkOpen) EndLink();
            m_fields.pop_back();
        }
    }
    const bool fontChanged = m_state.fontNumber != m_stack.back().fontNumber;
    m_state = m_stack.back();
    m_stack.pop_back();
    if (closing == Destination::StyleSheet && m_state.destination != Destination::StyleSheet) ResolveStyles();
    if (closing == Destination::FontTable && m_state.destination != Destination::FontTable) {
        // Fonts named before the table was read resolve now.
        ResolveFont(m_state);
        for (GroupState& saved : m_stack) ResolveFont(saved);
    } else if (fontChanged) {
        m_doubleBytePending.clear();
    }
    m_dirty = true;
}

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

Border* RtfReader::Impl::CurrentBorder() {
    ParagraphFormat& p = m_state.paragraph;
    switch (m_borderTarget) {
    case BorderTarget::ParaTop: return &p.top;
    case BorderTarget::ParaBottom: return &p.bottom;
    case BorderTarget::ParaLeft: return &p.left;
    case BorderTarget::ParaRight: return &p.right;
    case BorderTarget::ParaBox: return &p.top;
    case BorderTarget::CellTop: return &m_pendingCell.top;
    case BorderTarget::CellBottom: return &m_pendingCell.bottom;
    case BorderTarget::CellLeft: return &m_pendingCell.left;
    case BorderTarget::CellRight: return &m_pendingCell.right;
    case BorderTarget::None: return nullptr;
    }
    return nullptr;
}

RowFormat& RtfReader::Impl::DefinitionRow() {
    int level = 1;
    if (m_state.destination == Destination::RowProperties) level = std::max(2, m_state.paragraph.tableLevel());
    return m_rowDefs[static_cast<std::size_t>(std::min(level, kMaxTableLevel))];
}

void RtfReader::Impl::EnsureLevel(int level) {
    level = std::clamp(level, 0, kMaxTableLevel);
    FlushRun();
    while (m_openLevel > level) {
        auto l = static_cast<std::size_t>(m_openLevel);
        if (m_levels[l] == LevelState::RowOpen) m_out.TableRowEnd(m_openLevel, m_rowDefs[l]);
        m_out.TableEnd(m_openLevel);
        m_levels[l] = LevelState::None;
        --m_openLevel;
    }
    for (int l = 1; l <= level; ++l) {
        auto i = static_cast<std::size_t>(l);
        if (m_levels[i] != LevelState::RowOpen) {
            m_levels[i] = LevelState::RowOpen;
            m_cellsEnded[i] = 0;
            m_out.TableRowStart(l, m_rowDefs[i]);
        }
    }
    m_openLevel = level;
}

void RtfReader::Impl::EndParagraph(bool page) {
    if (m_state.destination != Destination::Body) return;
    m_dirty = true;
    BeginContent();
    FlushRun();
    if (page) {
        m_out.PageBreak(m_state.paragraph);
    } else {
        m_out.ParagraphEnd(m_state.paragraph);
    }
}

void RtfReader::Impl::EndCell(int level) {
    if (m_state.destination != Destination::Body) return;
    FlushRun();
    EnsureLevel(level);
    ++m_cellsEnded[static_cast<std::size_t>(std::clamp(level, 0, kMaxTableLevel))];
    m_out.TableCellEnd(level, m_state.paragraph);
    m_dirty = true;
}

void RtfReader::Impl::EndRow(int level) {
    if (m_state.destination != Destination::Body && m_state.destination != Destination::RowProperties) return;
    level = std::clamp(level, 1, kMaxTableLevel);
    FlushRun();
    // A row that ends without content of its own still closes deeper tables.
    if (m_openLevel > level) EnsureLevel(level);
    auto i = static_cast<std::size_t>(level);
    if (m_levels[i] == LevelState::RowOpen && m_openLevel >= level) {
        m_out.TableRowEnd(level, m_rowDefs[i]);
        m_levels[i] = LevelState::TableNoRow;
    }
    m_dirty = true;
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

void RtfReader::Impl::ControlSymbol(unsigned char c) {
    switch (c) {
    case '\\':
    case '{':
    case '}':
        if (m_unicodeSkipLeft > 0) {
            --m_unicodeSkipLeft;
            return;
        }
        if (m_state.destination == Destination::Body) {
            if (!Visible()) return;
            BeginContent();
            m_run.push_back(static_cast<char>(c));
        } else if (m_state.destination == Destination::FieldInstruction && !m_fields.empty() &&
                   m_fields.back().instruction.size() < kMaxFieldInstruction) {
            m_fields.back().instruction.push_back(static_cast<char>(c));
        }
        return;
    case '*':
        m_starPending = true;
        return;
    case '\r':
    case '\n':
        if (m_unicodeSkipLeft > 0) {
            --m_unicodeSkipLeft;
            return;
        }
        EndParagraph(false);
        return;
    default:
        break;
    }
    if (m_unicodeSkipLeft > 0) {
        --m_unicodeSkipLeft;
        return;
    }
    switch (c) {
    case '~': AppendCodePoint(0x00A0); return;
    case '_': AppendCodePoint(0x2011); return;
    case '-': return;  // optional hyphen
    case '\t': AppendCodePoint('\t'); return;
    default: return;  // \: \| and unknown symbols carry nothing shown
    }
}

void RtfReader::Impl::ControlWord() {
    std::string_view name(m_name, m_nameLength);
    const bool star = m_starPending;
    m_starPending = false;
    const long long parameter = m_parameter;
    const bool hasParameter = m_hasParameter;

    // \u is by far the most frequent word in Unicode documents: handle it before the lookup.
    if (m_nameLength == 1 && m_name[0] == 'u' && hasParameter && !m_nameTooLong) {
        if (m_unicodeSkipLeft > 0) {
            --m_unicodeSkipLeft;
            return;
        }
        // Values beyond signed or unsigned 16 bits are not characters.
        auto value = parameter < -32768 || parameter > 65535 ? 0xFFFDu
                                                            : static_cast<std::uint32_t>(parameter < 0 ? parameter + 65536 : parameter);
        if (value >= 0xD800 && value <= 0xDBFF) {
            m_pendingHighSurrogate = value;
        } else if (value >= 0xDC00 && value <= 0xDFFF && m_pendingHighSurrogate) {
            AppendCodePoint(0x10000 + ((m_pendingHighSurrogate - 0xD800) << 10) + (value - 0xDC00));
            m_pendingHighSurrogate = 0;
        } else {
            m_pendingHighSurrogate = 0;
            AppendCodePoint(value == 0 ? 0xFFFD : value);
        }
        m_unicodeSkipLeft = m_state.unicodeSkip;
        return;
    }

    const Keyword keyword = m_nameTooLong ? Keyword::Unknown : LookupKeyword(name);
    if (keyword == Keyword::Bin) {
        // Binary data is skipped even where everything else is, and is not a fallback character.
        if (hasParameter && parameter > 0) {
            m_binaryLeft = static_cast<std::uint64_t>(parameter);
            m_lex = LexState::Binary;
        }
        return;
    }
    if (m_unicodeSkipLeft > 0) {
        --m_unicodeSkipLeft;
        return;
    }
    // {\upr{ansi text}{\*\ud{unicode text}}}: the ansi text is skipped, the unicode text read
    // where the \upr group stands.
    if (keyword == Keyword::Upr) {
        m_uprDepth = m_stack.size();
        m_uprDestination = m_state.destination;
        SetDestination(Destination::Skip);
        return;
    }
    if (keyword == Keyword::Ud) {
        if (m_uprDepth > 0 && m_stack.size() == m_uprDepth + 1) SetDestination(m_uprDestination);
        return;
    }
    if (m_state.destination == Destination::Skip) return;
    if (star && keyword == Keyword::Unknown) {
        SetDestination(Destination::Skip);
        return;
    }
    if (keyword == Keyword::Unknown) return;
    if (m_state.destination == Destination::StyleSheet) m_styleMask |= StyleFieldsOf(keyword);

    const int p = static_cast<int>(parameter);
    const bool on = !hasParameter || parameter != 0;
    GroupState& s = m_state;
    CharFormat& ch = s.chars;
    ParagraphFormat& pa = s.paragraph;
    const Destination dest = s.destination;

    // Words of the font and colour tables.
    if (dest == Destination::FontTable) {
        switch (keyword) {
        case Keyword::F:
            CommitFont();
            m_fontPending = Font();
            m_fontPending.number = p;
            m_fontOpen = true;
            return;
        case Keyword::Fcharset: m_fontPending.charset = p; return;
        case Keyword::Cpg: m_fontPending.codePage = p; return;
        case Keyword::SkipDestination: SetDestination(Destination::Skip); return;
        default: return;
        }
    } else if (dest == Destination::ColorTable) {
        switch (keyword) {
        case Keyword::Red: m_red = Clamp(parameter, 0, 255); m_colorSet = true; return;
        case Keyword::Green: m_green = Clamp(parameter, 0, 255); m_colorSet = true; return;
        case Keyword::Blue: m_blue = Clamp(parameter, 0, 255); m_colorSet = true; return;
        default: return;
        }
    }

    switch (keyword) {
    // Destinations
    case Keyword::Rtf: return;
    case Keyword::Fonttbl: SetDestination(Destination::FontTable); m_fontOpen = false; return;
    case Keyword::Colortbl: SetDestination(Destination::ColorTable); m_colors.clear(); return;
    case Keyword::Stylesheet:
        // A document has one style sheet; reading (and resolving) further ones could only cost time.
        if (m_styleSheetSeen) {
            SetDestination(Destination::Skip);
            return;
        }
        m_styleSheetSeen = true;
        SetDestination(Destination::StyleSheet);
        m_styleOpen = false;
        return;
    case Keyword::SkipDestination: SetDestination(Destination::Skip); return;
    case Keyword::Pict:
        if (dest != Destination::Body) {
            SetDestination(Destination::Skip);
            return;
        }
        SetDestination(Destination::Picture);
        m_picture = PictureInfo();
        m_pictureData.clear();
        m_pictureNibble = -1;
        m_pictureDepth = m_stack.size();
        return;
    case Keyword::Field:
        if (dest == Destination::Body && m_fields.size() < kMaxNestedFields) {
            Field field;
            field.depth = m_stack.size();
            m_fields.push_back(field);
        }
        return;
    case Keyword::Fldinst:
        // The instruction of a field nested in another instruction is skipped; its result (below)
        // becomes part of the outer instruction.
        if (dest == Destination::Body && !m_fields.empty() && m_fields.back().depth < m_stack.size()) {
            SetDestination(Destination::FieldInstruction);
        } else {
            SetDestination(Destination::Skip);
        }
        return;
    case Keyword::Fldrslt:
        if (dest == Destination::FieldInstruction) return;
        if (!m_fields.empty() && m_fields.back().depth < m_stack.size() && m_fields.back().resultDepth == 0) {
            Field& field = m_fields.back();
            field.resultDepth = m_stack.size();
            std::string target;
            SetDestination(Destination::Body);
            if (HyperlinkTarget(field.instruction, target) && !m_linkOpen) {
                StartLink(target);
                field.linkOpen = true;
            }
        }
        return;
    case Keyword::BodyDestination:  // \pntext, \listtext, \shprslt, \result, \shppict: shown as body
        return;
    case Keyword::Nesttableprops: SetDestination(Destination::RowProperties); return;

    // Document
    case Keyword::Ansi: m_defaultCodePage = 1252; return;
    case Keyword::Mac: m_defaultCodePage = 10000; return;
    case Keyword::Pc: m_defaultCodePage = 437; return;
    case Keyword::Pca: m_defaultCodePage = 850; return;
    case Keyword::Ansicpg:
        m_defaultCodePage = p;
        ResolveFont(s);
        return;
    case Keyword::Deff:
        m_defaultFont = p;
        ResolveFont(s);
        return;
    case Keyword::Uc: s.unicodeSkip = Clamp(parameter, 0, 16); return;

    // Text
    case Keyword::Par: EndParagraph(false); return;
    case Keyword::Page:
    case Keyword::Sect: EndParagraph(true); return;
    case Keyword::Line:
        if (Visible()) {
            m_dirty = true;
            BeginContent();
            FlushRun();
            m_out.LineBreak();
        }
        return;
    case Keyword::Tab: AppendCodePoint('\t'); return;
    case Keyword::Emdash: AppendCodePoint(0x2014); return;
    case Keyword::Endash: AppendCodePoint(0x2013); return;
    case Keyword::Bullet: AppendCodePoint(0x2022); return;
    case Keyword::Lquote: AppendCodePoint(0x2018); return;
    case Keyword::Rquote: AppendCodePoint(0x2019); return;
    case Keyword::Ldblquote: AppendCodePoint(0x201C); return;
    case Keyword::Rdblquote: AppendCodePoint(0x201D); return;
    case Keyword::Emspace: AppendCodePoint(0x2003); return;
    case Keyword::Enspace: AppendCodePoint(0x2002); return;
    case Keyword::Qmspace: AppendCodePoint(0x2005); return;

    // Character format
    case Keyword::Plain: {
        ch = CharFormat();
        int font = m_defaultFont;
        s.fontNumber = font;
        ResolveFont(s);
        break;
    }
    case Keyword::B: ch.bold = on; break;
    case Keyword::I: ch.italic = on; break;
    case Keyword::Strike: ch.strike = on; break;
    case Keyword::Caps: ch.caps = on; break;
    case Keyword::Scaps: ch.smallCaps = on; break;
    case Keyword::V: ch.hidden = on; break;
    case Keyword::Ul: ch.underline = on ? Underline::Single : Underline::None; break;
    case Keyword::Ulnone: ch.underline = Underline::None; break;
    case Keyword::Uldb: ch.underline = on ? Underline::Double : Underline::None; break;
    case Keyword::Uld: ch.underline = on ? Underline::Dotted : Underline::None; break;
    case Keyword::Uldash: ch.underline = on ? Underline::Dashed : Underline::None; break;
    case Keyword::Ulwave: ch.underline = on ? Underline::Wave : Underline::None; break;
    case Keyword::Ulw: ch.underline = on ? Underline::Word : Underline::None; break;
    case Keyword::Ulth: ch.underline = on ? Underline::Thick : Underline::None; break;
    case Keyword::Super: ch.vertical = VerticalPosition::Superscript; break;
    case Keyword::Sub: ch.vertical = VerticalPosition::Subscript; break;
    case Keyword::Nosupersub: ch.vertical = VerticalPosition::Normal; break;
    case Keyword::Up: ch.vertical = p > 0 ? VerticalPosition::Superscript : VerticalPosition::Normal; break;
    case Keyword::Dn: ch.vertical = p > 0 ? VerticalPosition::Subscript : VerticalPosition::Normal; break;
    case Keyword::F:
        if (s.fontNumber != p) m_doubleBytePending.clear();
        s.fontNumber = p;
        ResolveFont(s);
        break;
    case Keyword::Fs: ch.fontSize = hasParameter ? Clamp(parameter, 2, 3276) : 24; break;
    case Keyword::Cf: ch.color = ColorAt(p); break;
    case Keyword::Cb:
    case Keyword::Highlight:
    case Keyword::Chcbpat: ch.background = ColorAt(p); break;
    case Keyword::Cs: {
        if (dest == Destination::StyleSheet) {
            m_styleNumber = -1 - p;  // character styles live beside paragraph styles
            break;
        }
        // A character style adds what it sets to the format around it.
        auto it = m_styles.find(-1 - p);
        if (it != m_styles.end()) {
            OverlayChars(ch, it->second.chars, it->second.mask);
            ApplyStyleFont(it->second);
        }
        break;
    }

    // Paragraph format
    case Keyword::Pard: {
        // Inside a row that still has cells to fill, the paragraph stays in the table even when
        // the writer does not repeat \intbl.
        const bool keepTable = pa.inTable && RowUnfinished();
        const int nesting = pa.nestingLevel;
        pa = ParagraphFormat();
        if (keepTable) {
            pa.inTable = true;
            pa.nestingLevel = nesting;
        }
        m_borderTarget = BorderTarget::None;
        break;
    }
    case Keyword::Sbasedon:
        if (dest == Destination::StyleSheet) m_styleBase = p;
        return;
    case Keyword::S: {
        if (dest == Destination::StyleSheet) {
            m_styleNumber = p;
            break;
        }
        auto it = m_styles.find(p);
        if (it != m_styles.end()) {
            bool inTable = pa.inTable;
            int nesting = pa.nestingLevel;
            pa = it->second.paragraph;
            pa.inTable = inTable;
            pa.nestingLevel = nesting;
            std::string_view keepName = ch.fontName;
            ch = it->second.chars;
            ch.fontName = keepName;
            ApplyStyleFont(it->second);
        }
        break;
    }
    case Keyword::Ql: pa.alignment = Alignment::Left; break;
    case Keyword::Qc: pa.alignment = Alignment::Center; break;
    case Keyword::Qr: pa.alignment = Alignment::Right; break;
    case Keyword::Qj: pa.alignment = Alignment::Justify; break;
    case Keyword::Li: pa.leftIndent = Clamp(parameter, -kMaxLength, kMaxLength); break;
    case Keyword::Ri: pa.rightIndent = Clamp(parameter, -kMaxLength, kMaxLength); break;
    case Keyword::Fi: pa.firstIndent = Clamp(parameter, -kMaxLength, kMaxLength); break;
    case Keyword::Sb: pa.spaceBefore = Clamp(parameter, 0, kMaxLength); break;
    case Keyword::Sa: pa.spaceAfter = Clamp(parameter, 0, kMaxLength); break;
    case Keyword::Sl: pa.lineSpacing = Clamp(parameter, -kMaxLength, kMaxLength); break;
    case Keyword::Slmult: pa.lineMultiple = on; break;
    case Keyword::Keep: pa.keepTogether = on; break;
    case Keyword::Keepn: pa.keepWithNext = on; break;
    case Keyword::Pagebb: pa.pageBreakBefore = on; break;
    case Keyword::Intbl: pa.inTable = true; break;
    case Keyword::Itap: pa.nestingLevel = Clamp(parameter, 0, kMaxTableLevel); break;
    case Keyword::Cbpat: pa.shading = ColorAt(p); break;
    case Keyword::Brdrt: m_borderTarget = BorderTarget::ParaTop; pa.top.present = true; break;
    case Keyword::Brdrb: m_borderTarget = BorderTarget::ParaBottom; pa.bottom.present = true; break;
    case Keyword::Brdrl: m_borderTarget = BorderTarget::ParaLeft; pa.left.present = true; break;
    case Keyword::Brdrr: m_borderTarget = BorderTarget::ParaRight; pa.right.present = true; break;
    case Keyword::Box:
        m_borderTarget = BorderTarget::ParaBox;
        pa.top.present = pa.bottom.present = pa.left.present = pa.right.present = true;
        break;
    case Keyword::Brdrw:
        if (Border* b = CurrentBorder()) {
            b->width = Clamp(parameter, 0, 1440);
            if (m_borderTarget == BorderTarget::ParaBox) pa.bottom.width = pa.left.width = pa.right.width = b->width;
        }
        return;
    case Keyword::Brdrcf:
        if (Border* b = CurrentBorder()) {
            b->color = ColorAt(p);
            if (m_borderTarget == BorderTarget::ParaBox) pa.bottom.color = pa.left.color = pa.right.color = b->color;
        }
        return;
    case Keyword::Brdrnone:
        if (Border* b = CurrentBorder()) {
            b->present = false;
            if (m_borderTarget == BorderTarget::ParaBox) pa.bottom.present = pa.left.present = pa.right.present = false;
        }
        return;

    // Tables
    case Keyword::Trowd: {
        RowFormat& row = DefinitionRow();
        row = RowFormat();
        m_pendingCell = CellFormat();
        m_borderTarget = BorderTarget::None;
        return;
    }
    case Keyword::Trgaph: DefinitionRow().gap = Clamp(parameter, 0, kMaxLength); return;
    case Keyword::Trleft: DefinitionRow().left = Clamp(parameter, -kMaxLength, kMaxLength); return;
    case Keyword::Trql: DefinitionRow().alignment = Alignment::Left; return;
    case Keyword::Trqc: DefinitionRow().alignment = Alignment::Center; return;
    case Keyword::Trqr: DefinitionRow().alignment = Alignment::Right; return;
    case Keyword::Cellx: {
        RowFormat& row = DefinitionRow();
        m_pendingCell.rightBoundary = Clamp(parameter, -kMaxLength, kMaxLength);
        if (row.cells.size() < kMaxCellsPerRow) row.cells.push_back(m_pendingCell);
        m_pendingCell = CellFormat();
        m_borderTarget = BorderTarget::None;
        return;
    }
    case Keyword::Clvmgf: m_pendingCell.verticalMerge = VerticalMerge::First; return;
    case Keyword::Clvmrg: m_pendingCell.verticalMerge = VerticalMerge::Continue; return;
    case Keyword::Clmgf: m_pendingCell.mergeFirst = true; return;
    case Keyword::Clmrg: m_pendingCell.mergedWithPrevious = true; return;
    case Keyword::Clvertalt: m_pendingCell.verticalAlignment = CellAlignment::Top; return;
    case Keyword::Clvertalc: m_pendingCell.verticalAlignment = CellAlignment::Center; return;
    case Keyword::Clvertalb: m_pendingCell.verticalAlignment = CellAlignment::Bottom; return;
    case Keyword::Clcbpat: m_pendingCell.shading = ColorAt(p); return;
    case Keyword::Clbrdrt: m_borderTarget = BorderTarget::CellTop; m_pendingCell.top.present = true; return;
    case Keyword::Clbrdrb: m_borderTarget = BorderTarget::CellBottom; m_pendingCell.bottom.present = true; return;
    case Keyword::Clbrdrl: m_borderTarget = BorderTarget::CellLeft; m_pendingCell.left.present = true; return;
    case Keyword::Clbrdrr: m_borderTarget = BorderTarget::CellRight; m_pendingCell.right.present = true; return;
    case Keyword::Trbrdr: m_borderTarget = BorderTarget::None; return;
    case Keyword::Cell: EndCell(1); return;
    case Keyword::Nestcell: EndCell(std::max(2, pa.tableLevel())); return;
    case Keyword::Row: EndRow(1); return;
    case Keyword::Nestrow: EndRow(std::max(2, pa.tableLevel())); return;

    // Pictures
    case Keyword::Pngblip: m_picture.format = PictureFormat::Png; return;
    case Keyword::Jpegblip: m_picture.format = PictureFormat::Jpeg; return;
    case Keyword::Emfblip: m_picture.format = PictureFormat::Emf; return;
    case Keyword::Wmetafile: m_picture.format = PictureFormat::Wmf; return;
    case Keyword::Dibitmap:
    case Keyword::Wbitmap: m_picture.format = PictureFormat::Bitmap; return;
    case Keyword::Picw: m_picture.width = Clamp(parameter, 0, 0x7FFFFFFF); return;
    case Keyword::Pich: m_picture.height = Clamp(parameter, 0, 0x7FFFFFFF); return;
    case Keyword::Picwgoal: m_picture.goalWidth = Clamp(parameter, 0, 0x7FFFFFFF); return;
    case Keyword::Pichgoal: m_picture.goalHeight = Clamp(parameter, 0, 0x7FFFFFFF); return;
    case Keyword::Picscalex: m_picture.scaleX = Clamp(parameter, 0, 100000); return;
    case Keyword::Picscaley: m_picture.scaleY = Clamp(parameter, 0, 100000); return;

    default: return;
    }
    m_dirty = true;
}

// Plain-text input: one paragraph a line.
void RtfReader::Impl::PlainByte(unsigned char c) {
    if (c == '\n') {
        FlushPlainLine(true);
    } else if (c != '\r' && c != 0) {
        m_plainLine.push_back(static_cast<char>(c));
        if (m_plainLine.size() >= kRunFlushSize && c < 0x80) FlushPlainLine(false);
    }
}

void RtfReader::Impl::FlushPlainLine(bool paragraphEnd) {
    if (!m_plainLine.empty()) {
        if (IsValidUtf8(m_plainLine)) {
            m_out.Text(m_plainLine, m_state.chars);
        } else {
            const ByteDecoder* d = DecoderForCodePage(1251);
            std::string utf8;
            utf8.reserve(m_plainLine.size() * 2);
            for (unsigned char b : m_plainLine) utf8.append(d->bytes[b], d->length[b]);
            m_out.Text(utf8, m_state.chars);
        }
        m_plainLine.clear();
    }
    if (paragraphEnd) m_out.ParagraphEnd(m_state.paragraph);
}

void RtfReader::Impl::Finish() {
    if (m_finished) return;
    if (m_lex == LexState::Plain) {
        FlushPlainLine(false);
        m_finished = true;
        m_out.DocumentEnd(m_state.paragraph);
        return;
    }
    if (m_lex == LexState::Word || m_lex == LexState::Parameter) {
        if (m_lex == LexState::Parameter) {
            m_hasParameter = m_digits > 0;
            m_parameter = std::min<long long>(m_digits > kMaxParameterDigits ? 0x7FFFFFFF : m_parameter, 0x7FFFFFFF);
            if (m_negative) m_parameter = -m_parameter;
        }
        m_lex = LexState::Text;
        ControlWord();
    }
    // Close the groups left open, so that pictures, links and fields end as they would.
    m_overflowDepth = 0;
    while (!m_stack.empty()) CloseGroup();
    m_finished = true;
    EndLink();
    FlushRun();
    EnsureLevel(0);
    m_out.DocumentEnd(m_state.paragraph);
}

RtfReader::RtfReader(IRtfOutput& output) : m_impl(std::make_unique<Impl>(output)) {}
RtfReader::~RtfReader() = default;
void RtfReader::Feed(std::string_view chunk) { m_impl->Feed(chunk); }
void RtfReader::Finish() { m_impl->Finish(); }
bool RtfReader::isRtf() const { return m_impl->isRtf(); }

void ReadRtf(std::string_view rtf, IRtfOutput& output) {
    RtfReader reader(output);
    reader.Feed(rtf);
    reader.Finish();
}

int PictureInfo::displayWidth() const {
    long long twips = goalWidth;
    if (twips <= 0) {
        // Metafiles state their size in 0.01 mm, bitmaps in pixels (15 twips at 96 dpi).
        twips = (format == PictureFormat::Emf || format == PictureFormat::Wmf) ? static_cast<long long>(width) * 1440 / 2540
                                                                                : static_cast<long long>(width) * 15;
    }
    return Clamp(twips * scaleX / 100, 0, kMaxPictureTwips);
}

int PictureInfo::displayHeight() const {
    long long twips = goalHeight;
    if (twips <= 0) {
        twips = (format == PictureFormat::Emf || format == PictureFormat::Wmf) ? static_cast<long long>(height) * 1440 / 2540
                                                                                : static_cast<long long>(height) * 15;
    }
    return Clamp(twips * scaleY / 100, 0, kMaxPictureTwips);
}

}  // namespace Norik
