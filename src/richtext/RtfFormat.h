// Formatting records the RTF reader hands to its output: character, paragraph, table row and cell,
// picture. Plain values; the reader resolves font numbers and colour indexes before it passes
// them on, so an output needs nothing else from the reader.
//
// Units are those of RTF: lengths in twips (1/1440 inch), font sizes in half-points.
// Colours are 0xRRGGBB with kAutoColor meaning "not set" (the viewer's default).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace Norik {

inline constexpr std::uint32_t kAutoColor = 0xFF000000u;

enum class Underline : std::uint8_t { None, Single, Double, Dotted, Dashed, Wave, Word, Thick };
enum class VerticalPosition : std::uint8_t { Normal, Superscript, Subscript };
enum class Alignment : std::uint8_t { Left, Center, Right, Justify };

struct CharFormat {
    bool bold = false;
    bool italic = false;
    bool strike = false;
    bool caps = false;
    bool smallCaps = false;
    bool hidden = false;  // \v: the reader never emits hidden text; kept for completeness of state
    Underline underline = Underline::None;
    VerticalPosition vertical = VerticalPosition::Normal;
    int fontSize = 24;                      // half-points
    std::string_view fontName;              // points into the reader's font table; empty when unknown
    std::uint32_t color = kAutoColor;       // \cf
    std::uint32_t background = kAutoColor;  // \cb, \highlight, \chcbpat

    bool operator==(const CharFormat& other) const {
        return bold == other.bold && italic == other.italic && strike == other.strike && caps == other.caps &&
               smallCaps == other.smallCaps && hidden == other.hidden && underline == other.underline &&
               vertical == other.vertical && fontSize == other.fontSize && color == other.color &&
               background == other.background && fontName.data() == other.fontName.data() &&
               fontName.size() == other.fontName.size();
    }
};

struct Border {
    bool present = false;
    int width = 0;  // twips; 0 means the thinnest line
    std::uint32_t color = kAutoColor;
};

enum class TabKind : std::uint8_t { Left, Right, Center, Decimal };                  // \tqr \tqc \tqdec; \tb is Left
enum class TabLeader : std::uint8_t { None, Dot, Hyphen, Underline, Thick, Equal };  // \tldot \tlhyph \tlul \tlth \tleq

struct TabStop {
    int position = 0;  // twips from the left edge of the text column (not from the indent)
    TabKind kind = TabKind::Left;
    TabLeader leader = TabLeader::None;

    bool operator==(const TabStop& other) const {
        return position == other.position && kind == other.kind && leader == other.leader;
    }
};

// Heading levels 0 .. kMaxOutlineLevel - 1; a writer marks body text with the level past them.
inline constexpr int kMaxOutlineLevel = 9;

// Writers put a handful of stops on a paragraph; more than this is hostile input and is dropped.
inline constexpr std::size_t kMaxTabStops = 64;

struct ParagraphFormat {
    Alignment alignment = Alignment::Left;
    int leftIndent = 0;   // \li
    int rightIndent = 0;  // \ri
    int firstIndent = 0;  // \fi, relative to the left indent, may be negative
    int spaceBefore = 0;  // \sb
    int spaceAfter = 0;   // \sa
    // \sl: 0 = single; > 0 at least that many twips; < 0 exactly -lineSpacing twips. With
    // lineMultiple set, lineSpacing / 240 is a multiple of single spacing.
    int lineSpacing = 0;
    bool lineMultiple = false;
    bool keepTogether = false;  // \keep
    bool keepWithNext = false;  // \keepn
    bool pageBreakBefore = false;
    // \outlinelevel, given on the paragraph or by its style: 0 for the top heading level, -1 for
    // body text.
    int outlineLevel = -1;
    bool inTable = false;  // \intbl
    int nestingLevel = 0;  // \itap as given
    Border top, bottom, left, right;
    std::uint32_t shading = kAutoColor;  // \cbpat
    // Explicit tab stops, ordered by position, one a position, at most kMaxTabStops. Empty means
    // the default stops of the viewer.
    std::vector<TabStop> tabs;

    // The table nesting level of the paragraph: 0 outside tables, 1 in a top-level table.
    int tableLevel() const {
        return inTable ? (nestingLevel > 1 ? nestingLevel : 1) : (nestingLevel > 0 ? nestingLevel : 0);
    }
};

enum class VerticalMerge : std::uint8_t { None, First, Continue };
enum class CellAlignment : std::uint8_t { Top, Center, Bottom };

struct CellFormat {
    int rightBoundary = 0;                                 // \cellx, from the left edge of the row
    VerticalMerge verticalMerge = VerticalMerge::None;     // \clvmgf, \clvmrg
    bool mergedWithPrevious = false;                       // \clmrg
    bool mergeFirst = false;                               // \clmgf
    CellAlignment verticalAlignment = CellAlignment::Top;  // \clvertalt, \clvertalc, \clvertalb
    Border top, bottom, left, right;
    std::uint32_t shading = kAutoColor;  // \clcbpat
};

struct RowFormat {
    int gap = 0;                            // \trgaph: half the space between cells
    int left = 0;                           // \trleft
    Alignment alignment = Alignment::Left;  // \trql, \trqc, \trqr
    std::vector<CellFormat> cells;
};

enum class PictureFormat : std::uint8_t { Png, Jpeg, Emf, Wmf, Bitmap, Other };

struct PictureInfo {
    PictureFormat format = PictureFormat::Other;
    int width = 0;       // \picw: pixels for bitmaps, 0.01 mm for metafiles
    int height = 0;      // \pich
    int goalWidth = 0;   // \picwgoal, twips
    int goalHeight = 0;  // \pichgoal, twips
    int scaleX = 100;    // \picscalex, percent
    int scaleY = 100;    // \picscaley, percent

    // The size the picture is shown at, in twips, bounded to a sane page-sized range
    // (0 .. kMaxPictureTwips) whatever the stated dimensions.
    int displayWidth() const;
    int displayHeight() const;
};

// About 22 inches: nothing shown in a text window is larger.
inline constexpr int kMaxPictureTwips = 32000;

}  // namespace Norik
