// Marking the forms of a query's words in a text: each word of the text is stemmed as the index
// stems it and compared with the stems of the query's words.
#include <xapian.h>

#include <algorithm>
#include <unordered_map>

#include "fulltext/FullTextIndex.h"
#include "fulltext/FullTextTerms.h"

namespace Norik::FullText {

namespace {

bool IsLatin(unsigned c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Russian words by the Russian stemmer, Latin ones by the English: the script of the first letter
// decides. Stems start with "r" or "e" so that the two never meet.
class Stemmers {
public:
    std::string Stem(const std::string& lowerWord, unsigned firstLetter) {
        return IsLatin(firstLetter) ? "e" + m_english(lowerWord) : "r" + m_russian(lowerWord);
    }

private:
    Xapian::Stem m_russian{"russian"};
    Xapian::Stem m_english{"english"};
};

// The first two letters of a word in lower case with "ё" as "е": words whose stems may match
// share them, which spares stemming every other word of a long text.
std::u32string Head(const std::u32string& lower) {
    std::u32string head = lower.substr(0, 2);
    for (char32_t& c : head)
        if (c == U'ё') c = U'е';
    return head;
}

std::u32string Utf32(const std::string& utf8) {
    std::u32string text;
    for (Xapian::Utf8Iterator it(utf8); it != Xapian::Utf8Iterator(); ++it) text.push_back(*it);
    return text;
}

}  // namespace

WordFormMatcher::WordFormMatcher(std::string_view query) {
    Stemmers stemmers;
    // Taken blank-separated piece by piece: a piece with a digit is a number or a date, a piece
    // after "-" or NOT is excluded, the operators are no words; quotes and brackets count for
    // nothing.
    bool excludeNext = false;
    std::size_t at = 0;
    while (at < query.size()) {
        const std::size_t end = std::min(query.find_first_of(" \t\r\n", at), query.size());
        std::string_view piece = query.substr(at, end - at);
        at = end + 1;
        while (!piece.empty() && (piece.front() == '"' || piece.front() == '(' || piece.front() == '+'))
            piece.remove_prefix(1);
        if (piece.empty()) continue;
        const bool excluded = excludeNext || piece.front() == '-';
        excludeNext = false;
        if (piece == "NOT") {
            excludeNext = true;
            continue;
        }
        // A year marks itself, also where a date of the text holds it ("17.10.2016").
        std::string_view year = piece;
        while (!year.empty() && (year.back() == ')' || year.back() == ',' || year.back() == ';' || year.back() == '"'))
            year.remove_suffix(1);
        if (!excluded && year.size() == 4 && (year.starts_with("19") || year.starts_with("20")) &&
            year.find_first_not_of("0123456789") == std::string_view::npos) {
            m_years.emplace_back(year);
            continue;
        }
        if (excluded || piece.find_first_of("0123456789") != std::string_view::npos || piece == "AND" ||
            piece == "OR" || piece == "XOR" || piece.starts_with("NEAR") || piece.starts_with("ADJ"))
            continue;
        Xapian::Utf8Iterator it(piece.data(), piece.size()), stop;
        while (it != stop) {
            if (!Xapian::Unicode::is_wordchar(*it)) {
                ++it;
                continue;
            }
            const unsigned first = *it;
            std::string word;
            for (; it != stop && Xapian::Unicode::is_wordchar(*it); ++it)
                Xapian::Unicode::append_utf8(word, Xapian::Unicode::tolower(*it));
            // A word the search does not require is not marked; one ending in "*" marks every
            // word it begins.
            if (it != stop && *it == '*')
                m_prefixes.push_back(word);
            else if (!IsStopWord(word))
                m_stems.push_back(stemmers.Stem(word, first));
        }
    }
    std::sort(m_stems.begin(), m_stems.end());
    m_stems.erase(std::unique(m_stems.begin(), m_stems.end()), m_stems.end());
}

std::vector<std::pair<std::size_t, std::size_t>> WordFormMatcher::FindAll(std::u16string_view text) const {
    std::vector<std::pair<std::size_t, std::size_t>> found;
    if (empty()) return found;
    Stemmers stemmers;
    // The heads the query's words can have: those of the words the stems come from, and of the
    // beginnings.
    std::vector<std::u32string> heads;
    for (const std::string& stem : m_stems) heads.push_back(Head(Utf32(stem.substr(1))));
    for (const std::string& prefix : m_prefixes) heads.push_back(Head(Utf32(prefix)));
    for (const std::string& year : m_years) heads.push_back(Head(Utf32(year)));
    std::unordered_map<std::string, bool> known;  // the verdict on each word already stemmed
    std::size_t at = 0;
    const auto next = [&](std::size_t& i) -> char32_t {
        const char16_t unit = text[i++];
        if (unit >= 0xD800 && unit < 0xDC00 && i < text.size() && text[i] >= 0xDC00 && text[i] < 0xE000)
            return 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[i++] - 0xDC00);
        return unit;
    };
    while (at < text.size()) {
        const std::size_t begin = at;
        const char32_t c = next(at);
        if (!Xapian::Unicode::is_wordchar(c)) continue;
        std::u32string lower(1, static_cast<char32_t>(Xapian::Unicode::tolower(c)));
        std::size_t wordEnd = at;
        while (wordEnd < text.size()) {
            std::size_t after = wordEnd;
            const char32_t d = next(after);
            if (!Xapian::Unicode::is_wordchar(d)) break;
            lower.push_back(static_cast<char32_t>(Xapian::Unicode::tolower(d)));
            wordEnd = after;
        }
        at = wordEnd;
        const std::u32string head = Head(lower);
        bool candidate = false;
        for (const std::u32string& h : heads)
            candidate = candidate || h.compare(0, head.size(), head) == 0 || head.compare(0, h.size(), h) == 0;
        if (!candidate) continue;
        std::string word;
        for (const char32_t u : lower) Xapian::Unicode::append_utf8(word, u);
        auto [slot, inserted] = known.try_emplace(word, false);
        if (inserted)
            slot->second = std::find(m_years.begin(), m_years.end(), word) != m_years.end() ||
                           std::any_of(m_prefixes.begin(), m_prefixes.end(),
                                       [&](const std::string& prefix) { return word.starts_with(prefix); }) ||
                           std::binary_search(m_stems.begin(), m_stems.end(), stemmers.Stem(word, lower.front()));
        if (slot->second) found.emplace_back(begin, wordEnd);
    }
    return found;
}

}  // namespace Norik::FullText
