// Control words and control symbols of the body and of the destinations the reader keeps.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "richtext/RtfKeywords.h"
#include "richtext/RtfReaderImpl.h"

namespace Norik {

namespace {

std::uint32_t StyleFieldsOf(Keyword keyword) {
    switch (keyword) {
        case Keyword::B:
            return kStyleBold;
        case Keyword::I:
            return kStyleItalic;
        case Keyword::Strike:
            return kStyleStrike;
        case Keyword::Caps:
            return kStyleCaps;
        case Keyword::Scaps:
            return kStyleSmallCaps;
        case Keyword::V:
            return kStyleHidden;
        case Keyword::Ul:
        case Keyword::Ulnone:
        case Keyword::Uldb:
        case Keyword::Uld:
        case Keyword::Uldash:
        case Keyword::Ulwave:
        case Keyword::Ulw:
        case Keyword::Ulth:
            return kStyleUnderline;
        case Keyword::Super:
        case Keyword::Sub:
        case Keyword::Nosupersub:
        case Keyword::Up:
        case Keyword::Dn:
            return kStyleVertical;
        case Keyword::Fs:
            return kStyleFontSize;
        case Keyword::F:
            return kStyleFont;
        case Keyword::Cf:
            return kStyleColor;
        case Keyword::Cb:
        case Keyword::Highlight:
        case Keyword::Chcbpat:
            return kStyleBackground;
        case Keyword::Plain:
            return kStyleAllChars | kStyleFont;
        case Keyword::Ql:
        case Keyword::Qc:
        case Keyword::Qr:
        case Keyword::Qj:
            return kStyleAlignment;
        case Keyword::Li:
            return kStyleLeftIndent;
        case Keyword::Ri:
            return kStyleRightIndent;
        case Keyword::Fi:
            return kStyleFirstIndent;
        case Keyword::Sb:
            return kStyleSpaceBefore;
        case Keyword::Sa:
            return kStyleSpaceAfter;
        case Keyword::Sl:
        case Keyword::Slmult:
            return kStyleLineSpacing;
        case Keyword::Keep:
            return kStyleKeep;
        case Keyword::Keepn:
            return kStyleKeepNext;
        case Keyword::Pagebb:
            return kStylePageBreak;
        case Keyword::Outlinelevel:
            return kStyleOutlineLevel;
        case Keyword::Brdrt:
        case Keyword::Brdrb:
        case Keyword::Brdrl:
        case Keyword::Brdrr:
        case Keyword::Box:
        case Keyword::Brdrw:
        case Keyword::Brdrcf:
        case Keyword::Brdrnone:
            return kStyleBorders;
        case Keyword::Cbpat:
            return kStyleShading;
        case Keyword::Tx:
        case Keyword::Tb:
            return kStyleTabs;
        case Keyword::Pard:
            return kStyleAllParagraph;
        default:
            return 0;
    }
}

}  // namespace

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
        case '~':
            AppendCodePoint(0x00A0);
            return;
        case '_':
            AppendCodePoint(0x2011);
            return;
        case '-':
            return;  // optional hyphen
        case '\t':
            AppendCodePoint('\t');
            return;
        default:
            return;  // \: \| and unknown symbols carry nothing shown
    }
}

// Adds a stop with the pending leader, in position order; a stop at a position already held
// replaces it. Stops past kMaxTabStops are dropped.
void RtfReader::Impl::AddTabStop(long long position, TabKind kind) {
    TabStop stop{Clamp(position, 0, kMaxLength), kind, m_pendingTabLeader};
    ResetPendingTab();
    std::vector<TabStop>& tabs = m_state.paragraph.tabs;
    auto it = std::lower_bound(tabs.begin(), tabs.end(), stop.position,
                               [](const TabStop& t, int pos) { return t.position < pos; });
    if (it != tabs.end() && it->position == stop.position) {
        *it = stop;
    } else if (tabs.size() < kMaxTabStops) {
        tabs.insert(it, stop);
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
        auto value = parameter < -32768 || parameter > 65535
                         ? 0xFFFDu
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
            case Keyword::Fcharset:
                m_fontPending.charset = p;
                return;
            case Keyword::Cpg:
                m_fontPending.codePage = p;
                return;
            case Keyword::SkipDestination:
                SetDestination(Destination::Skip);
                return;
            default:
                return;
        }
    } else if (dest == Destination::ColorTable) {
        switch (keyword) {
            case Keyword::Red:
                m_red = Clamp(parameter, 0, 255);
                m_colorSet = true;
                return;
            case Keyword::Green:
                m_green = Clamp(parameter, 0, 255);
                m_colorSet = true;
                return;
            case Keyword::Blue:
                m_blue = Clamp(parameter, 0, 255);
                m_colorSet = true;
                return;
            default:
                return;
        }
    }

    switch (keyword) {
        // Destinations
        case Keyword::Rtf:
            return;
        case Keyword::Fonttbl:
            SetDestination(Destination::FontTable);
            m_fontOpen = false;
            return;
        case Keyword::Colortbl:
            SetDestination(Destination::ColorTable);
            m_colors.clear();
            return;
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
        case Keyword::SkipDestination:
            SetDestination(Destination::Skip);
            return;
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
        case Keyword::Nesttableprops:
            SetDestination(Destination::RowProperties);
            return;

        // Document
        case Keyword::Ansi:
            m_defaultCodePage = 1252;
            return;
        case Keyword::Mac:
            m_defaultCodePage = 10000;
            return;
        case Keyword::Pc:
            m_defaultCodePage = 437;
            return;
        case Keyword::Pca:
            m_defaultCodePage = 850;
            return;
        case Keyword::Ansicpg:
            m_defaultCodePage = p;
            ResolveFont(s);
            return;
        case Keyword::Deff:
            m_defaultFont = p;
            ResolveFont(s);
            return;
        case Keyword::Uc:
            s.unicodeSkip = Clamp(parameter, 0, 16);
            return;

        // Text
        case Keyword::Par:
            EndParagraph(false);
            return;
        case Keyword::Page:
        case Keyword::Sect:
            EndParagraph(true);
            return;
        case Keyword::Line:
            if (Visible()) {
                m_dirty = true;
                BeginContent();
                FlushRun();
                m_out.LineBreak();
            }
            return;
        case Keyword::Tab:
            AppendCodePoint('\t');
            return;
        case Keyword::Emdash:
            AppendCodePoint(0x2014);
            return;
        case Keyword::Endash:
            AppendCodePoint(0x2013);
            return;
        case Keyword::Bullet:
            AppendCodePoint(0x2022);
            return;
        case Keyword::Lquote:
            AppendCodePoint(0x2018);
            return;
        case Keyword::Rquote:
            AppendCodePoint(0x2019);
            return;
        case Keyword::Ldblquote:
            AppendCodePoint(0x201C);
            return;
        case Keyword::Rdblquote:
            AppendCodePoint(0x201D);
            return;
        case Keyword::Emspace:
            AppendCodePoint(0x2003);
            return;
        case Keyword::Enspace:
            AppendCodePoint(0x2002);
            return;
        case Keyword::Qmspace:
            AppendCodePoint(0x2005);
            return;

        // Character format
        case Keyword::Plain: {
            ch = CharFormat();
            int font = m_defaultFont;
            s.fontNumber = font;
            ResolveFont(s);
            break;
        }
        case Keyword::B:
            ch.bold = on;
            break;
        case Keyword::I:
            ch.italic = on;
            break;
        case Keyword::Strike:
            ch.strike = on;
            break;
        case Keyword::Caps:
            ch.caps = on;
            break;
        case Keyword::Scaps:
            ch.smallCaps = on;
            break;
        case Keyword::V:
            ch.hidden = on;
            break;
        case Keyword::Ul:
            ch.underline = on ? Underline::Single : Underline::None;
            break;
        case Keyword::Ulnone:
            ch.underline = Underline::None;
            break;
        case Keyword::Uldb:
            ch.underline = on ? Underline::Double : Underline::None;
            break;
        case Keyword::Uld:
            ch.underline = on ? Underline::Dotted : Underline::None;
            break;
        case Keyword::Uldash:
            ch.underline = on ? Underline::Dashed : Underline::None;
            break;
        case Keyword::Ulwave:
            ch.underline = on ? Underline::Wave : Underline::None;
            break;
        case Keyword::Ulw:
            ch.underline = on ? Underline::Word : Underline::None;
            break;
        case Keyword::Ulth:
            ch.underline = on ? Underline::Thick : Underline::None;
            break;
        case Keyword::Super:
            ch.vertical = VerticalPosition::Superscript;
            break;
        case Keyword::Sub:
            ch.vertical = VerticalPosition::Subscript;
            break;
        case Keyword::Nosupersub:
            ch.vertical = VerticalPosition::Normal;
            break;
        case Keyword::Up:
            ch.vertical = p > 0 ? VerticalPosition::Superscript : VerticalPosition::Normal;
            break;
        case Keyword::Dn:
            ch.vertical = p > 0 ? VerticalPosition::Subscript : VerticalPosition::Normal;
            break;
        case Keyword::F:
            if (s.fontNumber != p) m_doubleBytePending.clear();
            s.fontNumber = p;
            ResolveFont(s);
            break;
        case Keyword::Fs:
            ch.fontSize = hasParameter ? Clamp(parameter, 2, 3276) : 24;
            break;
        case Keyword::Cf:
            ch.color = ColorAt(p);
            break;
        case Keyword::Cb:
        case Keyword::Highlight:
        case Keyword::Chcbpat:
            ch.background = ColorAt(p);
            break;
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
            ResetPendingTab();
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
        case Keyword::Ql:
            pa.alignment = Alignment::Left;
            break;
        case Keyword::Qc:
            pa.alignment = Alignment::Center;
            break;
        case Keyword::Qr:
            pa.alignment = Alignment::Right;
            break;
        case Keyword::Qj:
            pa.alignment = Alignment::Justify;
            break;
        case Keyword::Li:
            pa.leftIndent = Clamp(parameter, -kMaxLength, kMaxLength);
            break;
        case Keyword::Ri:
            pa.rightIndent = Clamp(parameter, -kMaxLength, kMaxLength);
            break;
        case Keyword::Fi:
            pa.firstIndent = Clamp(parameter, -kMaxLength, kMaxLength);
            break;
        case Keyword::Sb:
            pa.spaceBefore = Clamp(parameter, 0, kMaxLength);
            break;
        case Keyword::Sa:
            pa.spaceAfter = Clamp(parameter, 0, kMaxLength);
            break;
        case Keyword::Sl:
            pa.lineSpacing = Clamp(parameter, -kMaxLength, kMaxLength);
            break;
        case Keyword::Slmult:
            pa.lineMultiple = on;
            break;
        case Keyword::Keep:
            pa.keepTogether = on;
            break;
        case Keyword::Keepn:
            pa.keepWithNext = on;
            break;
        case Keyword::Pagebb:
            pa.pageBreakBefore = on;
            break;
        case Keyword::Outlinelevel:
            // Levels past the deepest heading level mean body text.
            pa.outlineLevel = parameter >= 0 && parameter < kMaxOutlineLevel ? static_cast<int>(parameter) : -1;
            break;
        case Keyword::Intbl:
            pa.inTable = true;
            break;
        case Keyword::Itap:
            pa.nestingLevel = Clamp(parameter, 0, kMaxTableLevel);
            break;
        case Keyword::Cbpat:
            pa.shading = ColorAt(p);
            break;
        case Keyword::Tqr:
            m_pendingTabKind = TabKind::Right;
            return;
        case Keyword::Tqc:
            m_pendingTabKind = TabKind::Center;
            return;
        case Keyword::Tqdec:
            m_pendingTabKind = TabKind::Decimal;
            return;
        case Keyword::Tldot:
            m_pendingTabLeader = TabLeader::Dot;
            return;
        case Keyword::Tlhyph:
            m_pendingTabLeader = TabLeader::Hyphen;
            return;
        case Keyword::Tlul:
            m_pendingTabLeader = TabLeader::Underline;
            return;
        case Keyword::Tlth:
            m_pendingTabLeader = TabLeader::Thick;
            return;
        case Keyword::Tleq:
            m_pendingTabLeader = TabLeader::Equal;
            return;
        case Keyword::Tx:
            AddTabStop(parameter, m_pendingTabKind);
            break;
        // A bar tab draws a vertical line at its position; shown here as a plain stop.
        case Keyword::Tb:
            AddTabStop(parameter, TabKind::Left);
            break;
        case Keyword::Brdrt:
            m_borderTarget = BorderTarget::ParaTop;
            pa.top.present = true;
            break;
        case Keyword::Brdrb:
            m_borderTarget = BorderTarget::ParaBottom;
            pa.bottom.present = true;
            break;
        case Keyword::Brdrl:
            m_borderTarget = BorderTarget::ParaLeft;
            pa.left.present = true;
            break;
        case Keyword::Brdrr:
            m_borderTarget = BorderTarget::ParaRight;
            pa.right.present = true;
            break;
        case Keyword::Box:
            m_borderTarget = BorderTarget::ParaBox;
            pa.top.present = pa.bottom.present = pa.left.present = pa.right.present = true;
            break;
        case Keyword::Brdrw:
            if (Border* b = CurrentBorder()) {
                b->width = Clamp(parameter, 0, 1440);
                if (m_borderTarget == BorderTarget::ParaBox)
                    pa.bottom.width = pa.left.width = pa.right.width = b->width;
            }
            return;
        case Keyword::Brdrcf:
            if (Border* b = CurrentBorder()) {
                b->color = ColorAt(p);
                if (m_borderTarget == BorderTarget::ParaBox)
                    pa.bottom.color = pa.left.color = pa.right.color = b->color;
            }
            return;
        case Keyword::Brdrnone:
            if (Border* b = CurrentBorder()) {
                b->present = false;
                if (m_borderTarget == BorderTarget::ParaBox)
                    pa.bottom.present = pa.left.present = pa.right.present = false;
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
        case Keyword::Trgaph:
            DefinitionRow().gap = Clamp(parameter, 0, kMaxLength);
            return;
        case Keyword::Trleft:
            DefinitionRow().left = Clamp(parameter, -kMaxLength, kMaxLength);
            return;
        case Keyword::Trql:
            DefinitionRow().alignment = Alignment::Left;
            return;
        case Keyword::Trqc:
            DefinitionRow().alignment = Alignment::Center;
            return;
        case Keyword::Trqr:
            DefinitionRow().alignment = Alignment::Right;
            return;
        case Keyword::Cellx: {
            RowFormat& row = DefinitionRow();
            m_pendingCell.rightBoundary = Clamp(parameter, -kMaxLength, kMaxLength);
            if (row.cells.size() < kMaxCellsPerRow) row.cells.push_back(m_pendingCell);
            m_pendingCell = CellFormat();
            m_borderTarget = BorderTarget::None;
            return;
        }
        case Keyword::Clvmgf:
            m_pendingCell.verticalMerge = VerticalMerge::First;
            return;
        case Keyword::Clvmrg:
            m_pendingCell.verticalMerge = VerticalMerge::Continue;
            return;
        case Keyword::Clmgf:
            m_pendingCell.mergeFirst = true;
            return;
        case Keyword::Clmrg:
            m_pendingCell.mergedWithPrevious = true;
            return;
        case Keyword::Clvertalt:
            m_pendingCell.verticalAlignment = CellAlignment::Top;
            return;
        case Keyword::Clvertalc:
            m_pendingCell.verticalAlignment = CellAlignment::Center;
            return;
        case Keyword::Clvertalb:
            m_pendingCell.verticalAlignment = CellAlignment::Bottom;
            return;
        case Keyword::Clcbpat:
            m_pendingCell.shading = ColorAt(p);
            return;
        case Keyword::Clbrdrt:
            m_borderTarget = BorderTarget::CellTop;
            m_pendingCell.top.present = true;
            return;
        case Keyword::Clbrdrb:
            m_borderTarget = BorderTarget::CellBottom;
            m_pendingCell.bottom.present = true;
            return;
        case Keyword::Clbrdrl:
            m_borderTarget = BorderTarget::CellLeft;
            m_pendingCell.left.present = true;
            return;
        case Keyword::Clbrdrr:
            m_borderTarget = BorderTarget::CellRight;
            m_pendingCell.right.present = true;
            return;
        case Keyword::Trbrdr:
            m_borderTarget = BorderTarget::None;
            return;
        case Keyword::Cell:
            EndCell(1);
            return;
        case Keyword::Nestcell:
            EndCell(std::max(2, pa.tableLevel()));
            return;
        case Keyword::Row:
            EndRow(1);
            return;
        case Keyword::Nestrow:
            EndRow(std::max(2, pa.tableLevel()));
            return;

        // Pictures
        case Keyword::Pngblip:
            m_picture.format = PictureFormat::Png;
            return;
        case Keyword::Jpegblip:
            m_picture.format = PictureFormat::Jpeg;
            return;
        case Keyword::Emfblip:
            m_picture.format = PictureFormat::Emf;
            return;
        case Keyword::Wmetafile:
            m_picture.format = PictureFormat::Wmf;
            return;
        case Keyword::Dibitmap:
        case Keyword::Wbitmap:
            m_picture.format = PictureFormat::Bitmap;
            return;
        case Keyword::Picw:
            m_picture.width = Clamp(parameter, 0, 0x7FFFFFFF);
            return;
        case Keyword::Pich:
            m_picture.height = Clamp(parameter, 0, 0x7FFFFFFF);
            return;
        case Keyword::Picwgoal:
            m_picture.goalWidth = Clamp(parameter, 0, 0x7FFFFFFF);
            return;
        case Keyword::Pichgoal:
            m_picture.goalHeight = Clamp(parameter, 0, 0x7FFFFFFF);
            return;
        case Keyword::Picscalex:
            m_picture.scaleX = Clamp(parameter, 0, 100000);
            return;
        case Keyword::Picscaley:
            m_picture.scaleY = Clamp(parameter, 0, 100000);
            return;

        default:
            return;
    }
    m_dirty = true;
}

}  // namespace Norik
