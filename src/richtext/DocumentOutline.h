// The structure of a document text: its parts (Раздел, Подраздел, Глава, §, Статья, Приложение,
// numbered top-level items) as a list of headings in reading order, each with its depth in the
// tree of parts and the character offset where its paragraph starts in the shown text.
//
// DocumentOutlineFinder is an output of the RTF reader that passes everything on to another output
// (the document builder) and notes the headings as the text goes by. Where the text marks headings
// with outline levels (\outlinelevel, on the paragraph or by its style), those paragraphs are the
// outline and their levels its depths; otherwise a paragraph outside tables that opens with one of
// the words above and a number ("Статья 220.1. …", "ГЛАВА 23", "§ 2", "Приложение N 1") is a
// heading, so is a paragraph opening with a Roman numeral and a dot ("II. Сроки", a section), and a
// paragraph opening with "N." is an item when the text has no articles.
//
// Offsets are what the next output reports as its position at the end of the heading's paragraph,
// less the paragraph's length in UTF-16 units; without a next output, the finder counts them as a
// plain text would (each paragraph and line break one character). Titles are UTF-8, at most
// kMaxOutlineTitleBytes. Memory stays within the headings found and one paragraph's opening.
//
// Plain data: any thread may find an outline; one finder serves one document.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "richtext/RtfReader.h"

namespace Norik {

enum class OutlineKind : std::uint8_t { Appendix, Section, Subsection, Chapter, Paragraph, Article, Item, Heading };

struct OutlineEntry {
    OutlineKind kind = OutlineKind::Heading;
    int depth = 0;       // 0 for a part at the top of the tree
    std::string number;  // as written, without a trailing dot: "220.1", "II"; empty when none
    std::string title;   // the heading's text, blanks collapsed
    int position = 0;    // where the heading's paragraph starts, in characters of the shown text
};

using DocumentOutline = std::vector<OutlineEntry>;

inline constexpr std::size_t kMaxOutlineTitleBytes = 300;

// The length of a UTF-8 text in UTF-16 code units, as the finder counts positions.
int Utf16Units(std::string_view utf8);

class DocumentOutlineFinder : public IRtfOutput {
public:
    // next (may be null) receives everything; position (may be empty) tells where next has got to.
    DocumentOutlineFinder(IRtfOutput* next, std::function<int()> position);

    // The headings found so far; the finder keeps nothing of them afterwards.
    DocumentOutline Take();

    void Text(std::string_view utf8, const CharFormat& format) override;
    void ParagraphEnd(const ParagraphFormat& format) override;
    void LineBreak() override;
    void PageBreak(const ParagraphFormat& format) override;
    void TableRowStart(int level, const RowFormat& row) override;
    void TableCellEnd(int level, const ParagraphFormat& lastParagraph) override;
    void TableRowEnd(int level, const RowFormat& row) override;
    void TableEnd(int level) override;
    bool WantsPictureData() const override;
    void Picture(const PictureInfo& info, std::string_view data) override;
    void LinkStart(std::string_view target) override;
    void LinkEnd() override;
    void DocumentEnd(const ParagraphFormat& lastParagraph) override;

private:
    void EndParagraph(const ParagraphFormat& format);
    void Forget();
    int Position() const;

    IRtfOutput* m_next;
    std::function<int()> m_position;
    std::string m_text;  // the paragraph's opening
    int m_units = 0;     // UTF-16 units of the paragraph so far
    int m_counted = 0;   // characters before the paragraph, without a next output
    DocumentOutline m_byWords;
    DocumentOutline m_byLevels;
    std::vector<int> m_levels;  // the outline levels of m_byLevels
};

// Reads a whole RTF text and returns its outline, offsets counted as a plain text would.
DocumentOutline FindOutline(std::string_view rtf);

// What "Перейти к статье…" was asked: "220", "220.1", "статья 5", "ст. 5", "глава 23", "раздел II",
// "§ 3", "приложение 2", "п. 4". A bare number names an article. Nothing when no number is given.
struct OutlineTarget {
    OutlineKind kind = OutlineKind::Article;
    std::string number;
};
std::optional<OutlineTarget> ParseOutlineTarget(std::string_view utf8);

// The first entry of the target's kind and number (letters compared without case); a bare number
// with no such article names an item. Null when there is none.
const OutlineEntry* FindOutlineEntry(const DocumentOutline& outline, const OutlineTarget& target);

// The index of the last entry that starts at or before position; -1 when none does.
int OutlineEntryAt(const DocumentOutline& outline, int position);

// The article (else the top-level item) that position lies in; null when it lies in none, for
// example in a chapter's heading or before the first article.
const OutlineEntry* EnclosingArticle(const DocumentOutline& outline, int position);

// How a lawyer cites a passage: "(Федеральный закон от 06.10.2003 № 131-ФЗ «Title», ч. 2 ст. 5)".
// A title that names the type itself stands for both, unquoted ("(Градостроительный кодекс
// Российской Федерации от 29.12.2004 № 190-ФЗ, ст. 5)"); the issuer follows the type ("Письмо
// Министерства финансов Российской Федерации"); a document no longer in force says so at the end
// ("…; не действует)"). All UTF-8; a part left empty (or a date of 0) is left out with its words.
struct CitationSource {
    std::string type;
    std::string issuer;  // the body that issued it, when the type does not name it
    int day = 0, month = 0, year = 0;
    std::string number;
    std::string title;
    bool inForce = true;
};
// part: the number of the part of the article the passage lies in, empty for none.
std::string CitationText(const CitationSource& source, const OutlineEntry* article, std::string_view part = {});

// The number of the part of an article that a paragraph opens ("2. Налоговый агент…" gives "2");
// empty when it opens none ("2.1. …", "Статья 2.", prose).
std::string PartNumber(std::string_view paragraph);

// The issuer a document's heading paragraph names after its type ("ПИСЬМО МИНИСТЕРСТВА ФИНАНСОВ
// РОССИЙСКОЙ ФЕДЕРАЦИИ" for the type "Письмо" gives "Министерства финансов Российской Федерации"),
// put in ordinary case: the first word and the words of the names of the country and of its
// highest bodies capitalised ("Президиума Высшего Арбитражного Суда"), abbreviations (capitals
// without vowels, "ФНС") kept. Empty when the paragraph is not in capitals
// or does not open with the type and more words.
std::string IssuerInHeading(std::string_view type, std::string_view paragraph);

// How a document is named by its kind, date and number: "Письмо от 06.11.2010 № 25-50/0310"; the
// parts left empty are left out with their words, without a leading blank.
std::string DocumentDesignation(const CitationSource& source);

}  // namespace Norik
