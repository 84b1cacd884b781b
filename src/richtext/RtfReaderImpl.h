// Private to the rich-text reader: the state of RtfReader::Impl and the types it is made of,
// shared by the files that implement it (RtfReader.cpp: lexer, group stack and text;
// RtfControlWords.cpp: control words and symbols; RtfDestinations.cpp: font and colour tables,
// style sheet, fields and pictures; RtfTables.cpp: rows, cells and borders). Not a public header.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "richtext/CodePages.h"
#include "richtext/RtfReader.h"

namespace Norik {

namespace RtfReaderDetail {

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
constexpr std::size_t kRunFlushSize = std::size_t{64} * 1024;
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

enum class BorderTarget : std::uint8_t {
    None,
    ParaTop,
    ParaBottom,
    ParaLeft,
    ParaRight,
    ParaBox,
    CellTop,
    CellBottom,
    CellLeft,
    CellRight
};

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
    kStyleTabs = 1u << 23,
    kStyleFont = 1u << 24,
    kStyleOutlineLevel = 1u << 25,
    kStyleAllParagraph = (((1u << 24) - 1) & ~kStyleAllChars) | kStyleOutlineLevel,
};

constexpr int kNoBaseStyle = 0x7FFFFFFF;

struct Style {
    CharFormat chars;
    ParagraphFormat paragraph;
    std::uint32_t mask = 0;   // the fields the style sets (after resolution: it or its bases)
    int font = -1;            // font number, when mask has kStyleFont
    int base = kNoBaseStyle;  // key of the style it is based on
};

using StyleMap = std::unordered_map<int, Style>;

struct Field {
    std::size_t depth = 0;        // group depth of the \field group
    std::size_t resultDepth = 0;  // group depth of its \fldrslt group, 0 before it
    std::string instruction;
    bool linkOpen = false;
};

enum class LevelState : std::uint8_t { None, TableNoRow, RowOpen };

enum class LexState : std::uint8_t { Detect, Text, Escape, Word, Parameter, Hex1, Hex2, Binary, Plain };

inline int Clamp(long long value, int low, int high) {
    return static_cast<int>(std::min<long long>(std::max<long long>(value, low), high));
}

// Copies the character fields that mask names from one format to another.
void OverlayChars(CharFormat& to, const CharFormat& from, std::uint32_t mask);

// The target of a HYPERLINK field instruction, or false when the instruction is another field.
bool HyperlinkTarget(std::string_view instruction, std::string& target);

}  // namespace RtfReaderDetail

// The files of the reader use these names unqualified; only they include this header.
using namespace RtfReaderDetail;

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
    void AddTabStop(long long position, TabKind kind);
    void ResetPendingTab() {
        m_pendingTabKind = TabKind::Left;
        m_pendingTabLeader = TabLeader::None;
    }
    RowFormat& DefinitionRow();
    void EmitPicture();

    IRtfOutput& m_out;
    bool m_wantPictureData;
    // The paragraph format in effect when the document's own group closed: the last paragraph, ended
    // by the end of the document rather than by a \par, keeps it.
    std::optional<ParagraphFormat> m_documentParagraph;
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
    // The kind and leader given for the next \tx: they belong to that one stop only.
    TabKind m_pendingTabKind = TabKind::Left;
    TabLeader m_pendingTabLeader = TabLeader::None;

    std::string m_plainLine;
};

}  // namespace Norik
