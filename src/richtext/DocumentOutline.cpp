#include "richtext/DocumentOutline.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace Norik {

namespace {

// The opening of a paragraph that tells a heading: its words, number and title.
constexpr std::size_t kOpeningBytes = 1000;
// An appendix heading without a number ("Приложение к приказу …") is short.
constexpr std::size_t kMaxUnnumberedAppendixBytes = 300;

// The rank of a kind in the tree: a part holds the parts of higher ranks that follow it.
int Rank(OutlineKind kind) {
    switch (kind) {
        case OutlineKind::Appendix:
            return 0;
        case OutlineKind::Section:
            return 1;
        case OutlineKind::Subsection:
            return 2;
        case OutlineKind::Chapter:
            return 3;
        case OutlineKind::Paragraph:
            return 4;
        case OutlineKind::Article:
            return 5;
        case OutlineKind::Item:
        case OutlineKind::Heading:
            return 6;
    }
    return 6;
}

// Lower case of ASCII and Russian letters in UTF-8; other bytes as they are.
std::string Lower(std::string_view text) {
    std::string out(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        auto c = static_cast<unsigned char>(out[i]);
        if (c >= 'A' && c <= 'Z') {
            out[i] = static_cast<char>(c - 'A' + 'a');
        } else if (c == 0xD0 && i + 1 < out.size()) {
            auto d = static_cast<unsigned char>(out[i + 1]);
            if (d >= 0x90 && d <= 0x9F) {  // А..П
                out[i + 1] = static_cast<char>(d + 0x20);
            } else if (d >= 0xA0 && d <= 0xAF) {  // Р..Я
                out[i] = static_cast<char>(0xD1);
                out[i + 1] = static_cast<char>(d - 0x20);
            } else if (d == 0x81) {  // Ё
                out[i] = static_cast<char>(0xD1);
                out[i + 1] = static_cast<char>(0x91);
            }
            ++i;
        }
    }
    return out;
}

bool IsBlankAt(std::string_view text, std::size_t i, std::size_t& width) {
    if (i >= text.size()) return false;
    if (text[i] == ' ' || text[i] == '\t') {
        width = 1;
        return true;
    }
    // No-break space.
    if (text.substr(i, 2) == "\xC2\xA0") {
        width = 2;
        return true;
    }
    return false;
}

std::size_t SkipBlanks(std::string_view text, std::size_t i) {
    for (std::size_t width = 0; IsBlankAt(text, i, width);) i += width;
    return i;
}

// Blanks collapsed to one space, none at either end, cut at a character boundary.
std::string Tidy(std::string_view text, std::size_t limit) {
    std::string out;
    bool blank = false;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t width = 0;
        if (IsBlankAt(text, i, width) || text[i] == '\n' || text[i] == '\r') {
            blank = !out.empty();
            i += width ? width : 1;
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        out += text[i++];
    }
    if (out.size() > limit) {
        std::size_t cut = limit;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
        out.resize(cut);
    }
    return out;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsRoman(char c) { return std::string_view("IVXLCDMivxlcdm").find(c) != std::string_view::npos; }

// The number at i: digits with inner dots ("220.1") or a Roman numeral; its end in end.
std::string NumberAt(std::string_view text, std::size_t i, std::size_t& end) {
    std::size_t j = i;
    if (j < text.size() && IsDigit(text[j])) {
        while (j < text.size() && (IsDigit(text[j]) || (text[j] == '.' && j + 1 < text.size() && IsDigit(text[j + 1]))))
            ++j;
    } else {
        while (j < text.size() && IsRoman(text[j])) ++j;
        // A Roman numeral ends the word: "Свод" is no number.
        if (j < text.size() && static_cast<unsigned char>(text[j]) >= 0x80 && text[j] != '\xC2') j = i;
    }
    end = j;
    return std::string(text.substr(i, j - i));
}

struct Word {
    std::string_view lower;
    OutlineKind kind;
};

// Words a heading opens with, lower case; longer before their prefixes.
constexpr std::array kHeadingWords = {
    Word{"подраздел", OutlineKind::Subsection}, Word{"раздел", OutlineKind::Section},
    Word{"глава", OutlineKind::Chapter},        Word{"§", OutlineKind::Paragraph},
    Word{"параграф", OutlineKind::Paragraph},   Word{"статья", OutlineKind::Article},
    Word{"приложение", OutlineKind::Appendix},
};

// The words "Перейти к статье…" takes, with their short forms.
constexpr std::array kTargetWords = {
    Word{"подраздел", OutlineKind::Subsection}, Word{"раздел", OutlineKind::Section},
    Word{"разд", OutlineKind::Section},         Word{"глава", OutlineKind::Chapter},
    Word{"гл", OutlineKind::Chapter},           Word{"§", OutlineKind::Paragraph},
    Word{"параграф", OutlineKind::Paragraph},   Word{"статья", OutlineKind::Article},
    Word{"статью", OutlineKind::Article},       Word{"ст", OutlineKind::Article},
    Word{"приложение", OutlineKind::Appendix},  Word{"прил", OutlineKind::Appendix},
    Word{"пункт", OutlineKind::Item},           Word{"п", OutlineKind::Item},
};

// A heading named by its opening words; nothing for prose.
std::optional<OutlineEntry> HeadingByWords(std::string_view text) {
    const std::string lower = Lower(text.substr(0, 40));
    for (const Word& word : kHeadingWords) {
        if (lower.rfind(word.lower, 0) != 0) continue;
        std::size_t i = word.lower.size();
        const std::size_t afterWord = SkipBlanks(text, i);
        // The word ends there ("Разделение" is no heading), save for "§", which may touch its number.
        if (afterWord == i && i < text.size() && word.kind != OutlineKind::Paragraph) return std::nullopt;
        i = afterWord;
        if (word.kind == OutlineKind::Appendix) {
            // "Приложение N 1", "Приложение № 1".
            if (text.substr(i, 1) == "N" || text.substr(i, 3) == "\xE2\x84\x96")
                i = SkipBlanks(text, i + (text[i] == 'N' ? 1 : 3));
        }
        std::size_t end = i;
        std::string number = NumberAt(text, i, end);
        if (number.empty()) {
            if (word.kind == OutlineKind::Appendix && text.size() <= kMaxUnnumberedAppendixBytes)
                return OutlineEntry{word.kind, 0, {}, {}, 0};
            return std::nullopt;
        }
        // After the number: the end, a dot, or a title opening with a capital ("Статья 5 настоящего
        // закона" goes on a sentence of prose).
        if (end < text.size() && text[end] != '.' && text[end] != ')') {
            const std::size_t next = SkipBlanks(text, end);
            if (next == end) return std::nullopt;
            const std::string opening(text.substr(next, 2));
            if (word.kind != OutlineKind::Appendix && Lower(opening) == opening) return std::nullopt;
        }
        return OutlineEntry{word.kind, 0, number, {}, 0};
    }
    // "II. Сроки": a section numbered in Roman numerals, without the word.
    std::size_t end = 0;
    while (end < text.size() && std::string_view("IVXLC").find(text[end]) != std::string_view::npos) ++end;
    if (end > 0 && end + 1 < text.size() && text[end] == '.' && SkipBlanks(text, end + 1) > end + 1)
        return OutlineEntry{OutlineKind::Section, 0, std::string(text.substr(0, end)), {}, 0};
    // "12. Текст": an item.
    end = 0;
    if (!text.empty() && IsDigit(text[0])) {
        std::string number = NumberAt(text, 0, end);
        if (number.find('.') == std::string::npos && end + 1 < text.size() && text[end] == '.' &&
            SkipBlanks(text, end + 1) > end + 1)
            return OutlineEntry{OutlineKind::Item, 0, number, {}, 0};
    }
    return std::nullopt;
}

// Depths from ranks: an entry lies under the nearest one before it of a lower rank.
void SetDepths(DocumentOutline& outline, const std::vector<int>& ranks) {
    std::vector<int> open;
    for (std::size_t i = 0; i < outline.size(); ++i) {
        while (!open.empty() && open.back() >= ranks[i]) open.pop_back();
        outline[i].depth = static_cast<int>(open.size());
        open.push_back(ranks[i]);
    }
}

}  // namespace

int Utf16Units(std::string_view utf8) {
    int units = 0;
    for (char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80) ++units;
        // A four-byte sequence is a surrogate pair.
        if ((byte & 0xF8) == 0xF0) ++units;
    }
    return units;
}

DocumentOutlineFinder::DocumentOutlineFinder(IRtfOutput* next, std::function<int()> position)
    : m_next(next), m_position(std::move(position)) {}

int DocumentOutlineFinder::Position() const { return m_position ? m_position() : m_counted + m_units; }

void DocumentOutlineFinder::Text(std::string_view utf8, const CharFormat& format) {
    m_units += Utf16Units(utf8);
    if (m_text.size() < kOpeningBytes) m_text += utf8.substr(0, kOpeningBytes - m_text.size());
    if (m_next) m_next->Text(utf8, format);
}

void DocumentOutlineFinder::LineBreak() {
    m_units += 1;
    if (m_text.size() < kOpeningBytes) m_text += ' ';
    if (m_next) m_next->LineBreak();
}

void DocumentOutlineFinder::Forget() {
    m_counted = Position() + 1;
    m_text.clear();
    m_units = 0;
}

void DocumentOutlineFinder::EndParagraph(const ParagraphFormat& format) {
    if (format.tableLevel() > 0 || m_text.empty()) return;
    const std::string title = Tidy(m_text, kOpeningBytes);
    if (title.empty()) return;
    const int start = std::max(Position() - m_units, 0);
    std::optional<OutlineEntry> byWords = HeadingByWords(title);
    if (format.outlineLevel >= 0) {
        OutlineEntry entry = byWords.value_or(OutlineEntry{});
        entry.title = Tidy(title, kMaxOutlineTitleBytes);
        entry.position = start;
        m_byLevels.push_back(std::move(entry));
        m_levels.push_back(format.outlineLevel);
    } else if (byWords && m_byLevels.empty()) {
        byWords->title = Tidy(title, kMaxOutlineTitleBytes);
        byWords->position = start;
        m_byWords.push_back(std::move(*byWords));
    }
}

void DocumentOutlineFinder::ParagraphEnd(const ParagraphFormat& format) {
    EndParagraph(format);
    Forget();
    if (m_next) m_next->ParagraphEnd(format);
}

void DocumentOutlineFinder::PageBreak(const ParagraphFormat& format) {
    EndParagraph(format);
    Forget();
    if (m_next) m_next->PageBreak(format);
}

void DocumentOutlineFinder::DocumentEnd(const ParagraphFormat& lastParagraph) {
    EndParagraph(lastParagraph);
    Forget();
    if (m_next) m_next->DocumentEnd(lastParagraph);
}

void DocumentOutlineFinder::TableRowStart(int level, const RowFormat& row) {
    if (m_next) m_next->TableRowStart(level, row);
}

void DocumentOutlineFinder::TableCellEnd(int level, const ParagraphFormat& lastParagraph) {
    Forget();
    if (m_next) m_next->TableCellEnd(level, lastParagraph);
}

void DocumentOutlineFinder::TableRowEnd(int level, const RowFormat& row) {
    if (m_next) m_next->TableRowEnd(level, row);
}

void DocumentOutlineFinder::TableEnd(int level) {
    if (m_next) m_next->TableEnd(level);
}

bool DocumentOutlineFinder::WantsPictureData() const { return m_next && m_next->WantsPictureData(); }

void DocumentOutlineFinder::Picture(const PictureInfo& info, std::string_view data) {
    // A picture is one character of the text.
    m_units += 1;
    if (m_next) m_next->Picture(info, data);
}

void DocumentOutlineFinder::LinkStart(std::string_view target) {
    if (m_next) m_next->LinkStart(target);
}

void DocumentOutlineFinder::LinkEnd() {
    if (m_next) m_next->LinkEnd();
}

DocumentOutline DocumentOutlineFinder::Take() {
    DocumentOutline outline;
    std::vector<int> ranks;
    if (!m_byLevels.empty()) {
        outline = std::move(m_byLevels);
        ranks = std::move(m_levels);
    } else {
        // Numbered items make the outline only of a text without articles; in one with articles
        // they are the parts of an article.
        const bool hasArticles = std::any_of(m_byWords.begin(), m_byWords.end(),
                                             [](const OutlineEntry& e) { return e.kind == OutlineKind::Article; });
        for (OutlineEntry& entry : m_byWords) {
            if (hasArticles && entry.kind == OutlineKind::Item) continue;
            ranks.push_back(Rank(entry.kind));
            outline.push_back(std::move(entry));
        }
    }
    SetDepths(outline, ranks);
    m_byLevels.clear();
    m_levels.clear();
    m_byWords.clear();
    return outline;
}

DocumentOutline FindOutline(std::string_view rtf) {
    DocumentOutlineFinder finder(nullptr, {});
    ReadRtf(rtf, finder);
    return finder.Take();
}

std::optional<OutlineTarget> ParseOutlineTarget(std::string_view utf8) {
    const std::string text = Tidy(utf8, 200);
    const std::string lower = Lower(text);
    OutlineTarget target;
    std::size_t i = 0;
    for (const Word& word : kTargetWords) {
        if (lower.rfind(word.lower, 0) != 0) continue;
        std::size_t end = word.lower.size();
        if (end < lower.size() && lower[end] == '.') ++end;
        end = SkipBlanks(lower, end);
        // The word must end: "статья" is not "ст" followed by more letters.
        if (end < lower.size() && !IsDigit(lower[end]) && !IsRoman(lower[end]) && lower[end] != 'n' &&
            lower.substr(end, 3) != "\xE2\x84\x96")
            continue;
        target.kind = word.kind;
        i = end;
        break;
    }
    if (lower.substr(i, 1) == "n") i = SkipBlanks(lower, i + 1);
    if (lower.substr(i, 3) == "\xE2\x84\x96") i = SkipBlanks(lower, i + 3);
    std::size_t end = i;
    target.number = NumberAt(text, i, end);
    if (target.number.empty()) return std::nullopt;
    return target;
}

const OutlineEntry* FindOutlineEntry(const DocumentOutline& outline, const OutlineTarget& target) {
    const std::string wanted = Lower(target.number);
    auto find = [&](OutlineKind kind) -> const OutlineEntry* {
        for (const OutlineEntry& entry : outline)
            if (entry.kind == kind && Lower(entry.number) == wanted) return &entry;
        return nullptr;
    };
    if (const OutlineEntry* found = find(target.kind)) return found;
    return target.kind == OutlineKind::Article ? find(OutlineKind::Item) : nullptr;
}

int OutlineEntryAt(const DocumentOutline& outline, int position) {
    const auto after = std::upper_bound(outline.begin(), outline.end(), position,
                                        [](int p, const OutlineEntry& entry) { return p < entry.position; });
    return static_cast<int>(after - outline.begin()) - 1;
}

const OutlineEntry* EnclosingArticle(const DocumentOutline& outline, int position) {
    for (int i = OutlineEntryAt(outline, position); i >= 0; --i) {
        const OutlineEntry& entry = outline[static_cast<std::size_t>(i)];
        if (entry.kind == OutlineKind::Article || entry.kind == OutlineKind::Item) return &entry;
        // The heading of a larger part comes first: the position lies in no article.
        if (Rank(entry.kind) < Rank(OutlineKind::Article)) return nullptr;
    }
    return nullptr;
}

namespace {

// " от DD.MM.YYYY № N" of a document, empty parts left out.
std::string DateAndNumber(const CitationSource& source) {
    std::string text;
    if (source.year > 0 && source.month > 0 && source.day > 0) {
        std::array<char, 32> date{};
        std::snprintf(date.data(), date.size(), "%02d.%02d.%04d", source.day, source.month, source.year);
        text += std::string(" от ") + date.data();
    }
    if (!source.number.empty()) text += " № " + source.number;
    return text;
}

}  // namespace

std::string DocumentDesignation(const CitationSource& source) {
    std::string text = source.type + DateAndNumber(source);
    if (!text.empty() && text.front() == ' ') text.erase(0, 1);
    return text;
}

std::string CitationText(const CitationSource& source, const OutlineEntry* article, std::string_view part) {
    // A title that names the type ("Градостроительный кодекс …" of a "Кодекс") leads, unquoted.
    const bool titleNamesType = !source.type.empty() && !source.title.empty() &&
                                Lower(source.title).find(Lower(source.type)) != std::string::npos;
    std::string text = "(" + (titleNamesType ? source.title : source.type);
    if (!titleNamesType && !source.issuer.empty()) text += " " + source.issuer;
    text += DateAndNumber(source);
    if (!titleNamesType && !source.title.empty()) text += " «" + source.title + "»";
    if (article && !article->number.empty()) {
        if (article->kind == OutlineKind::Article) {
            text += ", ";
            if (!part.empty()) text += "ч. " + std::string(part) + " ";
            text += "ст. " + article->number;
        } else {
            text += ", п. " + article->number;
        }
    }
    if (!source.inForce) text += "; не действует";
    // Nothing before the first part: no leading blank.
    if (text.size() > 1 && text[1] == ' ') text.erase(1, 1);
    return text + ")";
}

std::string PartNumber(std::string_view paragraph) {
    const std::size_t begin = SkipBlanks(paragraph, 0);
    std::size_t end = begin;
    while (end < paragraph.size() && end - begin < 3 && IsDigit(paragraph[end])) ++end;
    std::size_t width = 0;
    if (end == begin || end + 1 >= paragraph.size() || paragraph[end] != '.' || !IsBlankAt(paragraph, end + 1, width))
        return {};
    return std::string(paragraph.substr(begin, end - begin));
}

namespace {

bool HasSmallLetter(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if ((c >= 'a' && c <= 'z') || (c == 0xD0 && next >= 0xB0 && next <= 0xBF) ||
            (c == 0xD1 && ((next >= 0x80 && next <= 0x8F) || next == 0x91)))
            return true;
    }
    return false;
}

}  // namespace

std::string IssuerInHeading(std::string_view type, std::string_view paragraph) {
    const std::string lowerType = Lower(type);
    const std::string lower = Lower(paragraph);
    const std::size_t begin = SkipBlanks(lower, 0);
    std::size_t width = 0;
    if (lowerType.empty() || lower.compare(begin, lowerType.size(), lowerType) != 0 ||
        !IsBlankAt(lower, begin + lowerType.size(), width))
        return {};
    std::size_t from = SkipBlanks(lower, begin + lowerType.size());
    std::size_t to = paragraph.size();
    while (to > from && (paragraph[to - 1] == ' ' || paragraph[to - 1] == '.')) --to;
    // An issuer's name is a few words: a longer paragraph is no heading of that kind.
    if (from >= to || to - from > kMaxOutlineTitleBytes) return {};
    const std::string_view words = paragraph.substr(from, to - from);
    // A heading is written in capitals; a paragraph with small letters is prose.
    if (HasSmallLetter(paragraph)) return {};
    // In capitals: each word in lower case but the first, an abbreviation, and the words written
    // with a capital in the names of the country and of its highest bodies.
    static constexpr std::string_view kCapitalWords[] = {"российской",       "федерации",  "россии",  "президента",
                                                         "правительства",    "верховного", "высшего", "арбитражного",
                                                         "конституционного", "суда"};
    static constexpr std::string_view kVowels[] = {"а", "е", "ё", "и", "о", "у", "ы", "э", "ю", "я"};
    std::string out;
    for (std::size_t at = 0; at < words.size();) {
        std::size_t stop = words.find(' ', at);
        if (stop == std::string_view::npos) stop = words.size();
        const std::string_view word = words.substr(at, stop - at);
        std::string lowerWord = Lower(word);
        bool abbreviation = true;
        for (const std::string_view vowel : kVowels)
            if (lowerWord.find(vowel) != std::string::npos) abbreviation = false;
        const bool capital = out.empty() || std::find(std::begin(kCapitalWords), std::end(kCapitalWords), lowerWord) !=
                                                std::end(kCapitalWords);
        if (abbreviation) {
            lowerWord = word;
        } else if (capital && lowerWord.size() >= 2) {
            // The first letter as it was written: a capital.
            lowerWord.replace(0, static_cast<unsigned char>(word[0]) < 0x80 ? 1 : 2,
                              word.substr(0, static_cast<unsigned char>(word[0]) < 0x80 ? 1 : 2));
        }
        if (!out.empty()) out += ' ';
        out += lowerWord;
        at = SkipBlanks(words, stop);
    }
    return out;
}

}  // namespace Norik
