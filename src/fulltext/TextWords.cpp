#include "fulltext/TextWords.h"

namespace Norik::FullText {

namespace {

// The longest word indexed, in bytes, as the TermGenerator's default: longer ones are skipped
// and take no position.
constexpr std::size_t kMaxWordBytes = 64;
// The stem terms remembered; forgotten all at once beyond this.
constexpr std::size_t kMaxRemembered = 200000;

constexpr char32_t kYoUpper = 0x401, kYoLower = 0x451;
constexpr char32_t kCyrillicUpperA = 0x410, kCyrillicLowerA = 0x430, kCyrillicLowerYa = 0x44F;

bool IsAsciiUpper(char32_t c) { return c >= 'A' && c <= 'Z'; }
bool IsDigit(char32_t c) { return c >= '0' && c <= '9'; }
bool IsLowerLetter(char32_t c) {
    return (c >= 'a' && c <= 'z') || (c >= kCyrillicLowerA && c <= kCyrillicLowerYa) || c == kYoLower;
}
// Letters, digits and the underscore are what words are made of (Unicode's letters, marks,
// numbers and connector punctuation, within the characters taken here).
bool IsWordChar(char32_t c) {
    return IsDigit(c) || c == '_' || (c >= 'a' && c <= 'z') || IsAsciiUpper(c) ||
           (c >= kCyrillicUpperA && c <= kCyrillicLowerYa) || c == kYoUpper || c == kYoLower;
}
char32_t Lower(char32_t c) {
    if (IsAsciiUpper(c)) return c + ('a' - 'A');
    if (c >= kCyrillicUpperA && c < kCyrillicLowerA) return c + (kCyrillicLowerA - kCyrillicUpperA);
    return c == kYoUpper ? kYoLower : c;
}
// What joins two word characters into one word: between digits ',' '.' ';' (kept), elsewhere
// the apostrophe and '&' (kept); 0 for anything else.
char32_t Infix(char32_t c, char32_t before, char32_t after) {
    if (IsDigit(before) && IsDigit(after)) return c == ',' || c == '.' || c == ';' ? c : 0;
    return c == '\'' || c == '&' ? c : 0;
}

void AppendUtf8(std::string& to, char32_t c) {
    if (c < 0x80) {
        to.push_back(static_cast<char>(c));
    } else {  // the characters taken here are all below U+0800 once lower-cased, or not words
        to.push_back(static_cast<char>(0xC0 | (c >> 6)));
        to.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// The characters of text, when every one of them is of those taken: ASCII, the Russian alphabet,
// and the blanks, quotes, dashes and signs of Russian typography (none of them part of a word).
bool Decode(std::string_view text, std::vector<char32_t>& chars) {
    chars.clear();
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    for (std::size_t at = 0; at < text.size();) {
        const unsigned char lead = byte(at);
        if (lead < 0x80) {
            chars.push_back(lead);
            ++at;
        } else if ((lead == 0xC2 || lead == 0xD0 || lead == 0xD1) && at + 1 < text.size() &&
                   (byte(at + 1) & 0xC0) == 0x80) {
            const char32_t c = (char32_t{lead & 0x1Fu} << 6) | (byte(at + 1) & 0x3Fu);
            // No-break space, section sign, guillemets, degree sign; Ё, А-я, ё.
            if (!(c == 0xA0 || c == 0xA7 || c == 0xAB || c == 0xB0 || c == 0xBB || c == kYoUpper || c == kYoLower ||
                  (c >= kCyrillicUpperA && c <= kCyrillicLowerYa)))
                return false;
            chars.push_back(c);
            at += 2;
        } else if (lead == 0xE2 && at + 2 < text.size() && (byte(at + 1) & 0xC0) == 0x80 &&
                   (byte(at + 2) & 0xC0) == 0x80) {
            const char32_t c =
                (char32_t{lead & 0x0Fu} << 12) | (char32_t{byte(at + 1) & 0x3Fu} << 6) | (byte(at + 2) & 0x3Fu);
            // En and em dashes, double quotes, bullet, ellipsis, numero sign.
            if (!(c == 0x2013 || c == 0x2014 || c == 0x201C || c == 0x201D || c == 0x201E || c == 0x2022 ||
                  c == 0x2026 || c == 0x2116))
                return false;
            chars.push_back(c);
            at += 3;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

TextWords::Stem& TextWords::StemOf(const std::string& word, char32_t first) {
    if (const auto found = m_stems.find(std::string_view(word)); found != m_stems.end()) return found->second;
    Stem stem;
    if (IsLowerLetter(first)) {
        const std::string made = m_stemmer(word);
        if (!made.empty()) stem.term = "Z" + made;
    }
    return m_stems.emplace(word, std::move(stem)).first->second;
}

void TextWords::AddStems(Xapian::Document& document) {
    for (Stem* stem : m_counted) {
        document.add_term(stem->term, stem->count);
        stem->count = 0;
    }
    m_counted.clear();
}

bool TextWords::Index(std::string_view text, Xapian::Document& document, Xapian::termpos& position) {
    std::vector<char32_t>& c = m_chars;
    if (!Decode(text, c)) return false;
    // The stems are counted where they are remembered: they are forgotten only when none is counted.
    if (m_stems.size() >= kMaxRemembered && m_counted.empty()) m_stems.clear();
    const std::size_t n = c.size();
    const auto add = [&](const std::string& word, char32_t first) {
        if (word.size() > kMaxWordBytes) return;
        document.add_posting(word, ++position);
        Stem& stem = StemOf(word, first);
        if (!stem.term.empty() && stem.count++ == 0) m_counted.push_back(&stem);
    };
    std::string& word = m_word;
    for (std::size_t at = 0;;) {
        while (at < n && !IsWordChar(c[at])) ++at;
        if (at == n) break;
        word.clear();
        const char32_t first = Lower(c[at]);
        // Initials of capital Latin letters with dots ("U.S.A.") make one word, when more than one
        // and nothing of a word follows.
        if (IsAsciiUpper(c[at])) {
            std::size_t p = at;
            do {
                AppendUtf8(word, Lower(c[p++]));
            } while (p < n && c[p] == '.' && ++p < n && IsAsciiUpper(c[p]));
            if (word.size() > 1 && (p == n || !IsWordChar(c[p]))) {
                at = p;
                add(word, first);
                continue;
            }
            word.clear();
        }
        bool ended = false;  // at the end of the text within the word
        for (;;) {
            char32_t last = 0;
            do {
                last = Lower(c[at]);
                AppendUtf8(word, last);
            } while (++at < n && IsWordChar(c[at]));
            if (at == n) {
                ended = true;
                break;
            }
            if (at + 1 == n || !IsWordChar(c[at + 1])) break;
            const char32_t infix = Infix(c[at], last, c[at + 1]);
            if (infix == 0) break;
            AppendUtf8(word, infix);
            ++at;
        }
        if (!ended) {
            // Up to three '+' or '#' after a word are part of it ("c++", "c#"), unless a word
            // character follows them.
            const std::size_t length = word.size();
            std::size_t count = 0;
            while (c[at] == '+' || c[at] == '#') {
                if (++count > 3) {
                    word.resize(length);
                    break;
                }
                AppendUtf8(word, c[at]);
                if (++at == n) break;
            }
            if (at < n && IsWordChar(c[at])) word.resize(length);
        }
        add(word, first);
    }
    return true;
}

}  // namespace Norik::FullText
