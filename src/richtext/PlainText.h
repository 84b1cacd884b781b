// Plain text of an RTF document: for the word index of the base builder and for
// "norik-tool cat --text".
//
// Paragraphs become lines ending with "\n", \line a "\n" as well, table cells are separated by
// "\t" and a row ends with "\n" (a paragraph or line break inside a cell becomes a space), links show as
// their visible text, pictures and hidden text show as nothing. Text that is not RTF comes back
// as it is (converted to the chosen encoding).
//
// Pure functions and a single-owner streaming class; any thread. Never fails: bad RTF gives
// best-effort text (see RtfReader.h). In Windows-1251 output, characters without a Windows-1251
// byte become "?".
#pragma once

#include <string>
#include <string_view>

#include "richtext/RtfReader.h"

namespace Norik {

enum class TextEncoding { Utf8, Windows1251 };

// The plain text of a whole document.
std::string RtfToPlainText(std::string_view rtf, TextEncoding encoding = TextEncoding::Utf8);

// The plain-text output of the reader, collecting into a string.
class PlainTextOutput : public IRtfOutput {
public:
    explicit PlainTextOutput(TextEncoding encoding = TextEncoding::Utf8) : m_encoding(encoding) {}

    // The text collected so far; TakeText hands it over and starts a new string.
    const std::string& text() const { return m_text; }
    std::string TakeText();

    void Text(std::string_view utf8, const CharFormat& format) override;
    void ParagraphEnd(const ParagraphFormat& format) override;
    void LineBreak() override;
    void TableRowStart(int level, const RowFormat& row) override;
    void TableCellEnd(int level, const ParagraphFormat& lastParagraph) override;
    void TableRowEnd(int level, const RowFormat& row) override;
    void TableEnd(int level) override;
    void DocumentEnd(const ParagraphFormat& lastParagraph) override;

private:
    void Append(std::string_view utf8);
    void EndLine();
    void CellSpace();

    TextEncoding m_encoding;
    std::string m_text;
    bool m_lineOpen = false;  // text was written since the last line end
    // A separator owed before the next text of the line: ' ' between paragraphs of a cell, '\t'
    // after a cell. Held back so that a row never ends with one, whatever was taken already.
    char m_pending = 0;
    int m_tableLevel = 0;  // the table level of the open row; 0 outside tables
};

// Streaming extraction: feed the document in chunks, take the text as it comes.
//     PlainTextExtractor extractor;
//     while (...) { extractor.Feed(block); Index(extractor.TakeText()); }
//     extractor.Finish(); Index(extractor.TakeText());
class PlainTextExtractor {
public:
    explicit PlainTextExtractor(TextEncoding encoding = TextEncoding::Utf8);
    void Feed(std::string_view chunk) { m_reader.Feed(chunk); }
    void Finish() { m_reader.Finish(); }
    std::string TakeText() { return m_output.TakeText(); }
    const std::string& text() const { return m_output.text(); }

private:
    PlainTextOutput m_output;
    RtfReader m_reader;
};

}  // namespace Norik
