#include "richtext/RtfReader.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "richtext/CodePages.h"
#include "richtext/RtfReaderImpl.h"

namespace Norik {

namespace {

// The value of a hexadecimal digit, or -1.
constexpr int HexValue(unsigned char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
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

}  // namespace

void RtfReader::Impl::Feed(std::string_view chunk) {
    if (m_finished) return;
    const char* p = chunk.data();
    const char* const end = p + chunk.size();
    while (p < end) {
        switch (m_lex) {
            case LexState::Detect: {
                auto c = static_cast<unsigned char>(*p);
                // A UTF-8 byte-order mark and blanks may come before the first brace. The mark's bytes
                // are compared as unsigned, like c: as plain chars they are negative.
                static constexpr unsigned char kByteOrderMark[3] = {0xEF, 0xBB, 0xBF};
                if (m_bom < 3 && c == kByteOrderMark[m_bom]) {
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
                int v = HexValue(static_cast<unsigned char>(*p));
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
                int v = HexValue(static_cast<unsigned char>(*p));
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
            int h = HexValue(static_cast<unsigned char>(p[2]));
            int l = HexValue(static_cast<unsigned char>(p[3]));
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
        int v = HexValue(c);
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
                int v = HexValue(c);
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
    } else if (m_state.destination == Destination::FontTable && m_fontOpen &&
               m_fontPending.name.size() < kMaxFontName) {
        target = &m_fontPending.name;
    } else {
        return;
    }
    AppendUtf8(*target, c);
}

void RtfReader::Impl::OpenGroup() {
    m_unicodeSkipLeft = 0;
    m_starPending = false;
    m_doubleBytePending.clear();  // nor does a character begin outside a group and end inside it
    if (m_stack.size() >= kMaxGroupDepth) {
        ++m_overflowDepth;
        return;
    }
    m_stack.push_back(m_state);
    if (m_state.destination == Destination::StyleSheet && !m_styleOpen) {
        // Each style starts from plain text and a plain paragraph.
        m_state.chars = CharFormat();
        m_state.paragraph = ParagraphFormat();
        ResetPendingTab();
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
    // A lead byte waits for its trail byte within its group; one still waiting at the group's
    // end is dropped, whether or not the font changes with it.
    m_doubleBytePending.clear();
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
    if (depth == 1) m_documentParagraph = m_state.paragraph;
    m_state = m_stack.back();
    m_stack.pop_back();
    if (closing == Destination::StyleSheet && m_state.destination != Destination::StyleSheet) ResolveStyles();
    if (closing == Destination::FontTable && m_state.destination != Destination::FontTable) {
        // Fonts named before the table was read resolve now.
        ResolveFont(m_state);
        for (GroupState& saved : m_stack) ResolveFont(saved);
    }
    m_dirty = true;
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
    m_out.DocumentEnd(m_documentParagraph.value_or(m_state.paragraph));
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

}  // namespace Norik
