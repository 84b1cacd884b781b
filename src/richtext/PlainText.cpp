#include "richtext/PlainText.h"

#include "richtext/CodePages.h"

namespace Norik {

std::string PlainTextOutput::TakeText() {
    std::string taken = std::move(m_text);
    m_text.clear();
    return taken;
}

void PlainTextOutput::Append(std::string_view utf8) {
    if (m_pending) {
        m_text.push_back(m_pending);
        m_pending = 0;
    }
    if (m_encoding == TextEncoding::Utf8) {
        m_text.append(utf8);
    } else {
        AppendUtf8AsCp1251(m_text, utf8);
    }
    m_lineOpen = true;
}

void PlainTextOutput::EndLine() {
    m_pending = 0;
    m_text.push_back('\n');
    m_lineOpen = false;
}

void PlainTextOutput::Text(std::string_view utf8, const CharFormat&) { Append(utf8); }

// Inside a table cell a paragraph or line break is a space: a row stays on one line.
void PlainTextOutput::CellSpace() {
    if (m_lineOpen && m_pending == 0) m_pending = ' ';
}

void PlainTextOutput::ParagraphEnd(const ParagraphFormat& format) {
    if (format.tableLevel() > 0) {
        CellSpace();
        return;
    }
    EndLine();
}

void PlainTextOutput::LineBreak() {
    if (m_tableLevel > 0) {
        CellSpace();
        return;
    }
    EndLine();
}

void PlainTextOutput::TableRowStart(int level, const RowFormat&) { m_tableLevel = level; }

void PlainTextOutput::TableCellEnd(int, const ParagraphFormat&) {
    // An empty cell still takes its place in the row.
    if (m_pending == '\t') m_text.push_back('\t');
    m_pending = '\t';
    m_lineOpen = true;
}

void PlainTextOutput::TableRowEnd(int level, const RowFormat&) {
    // Nested rows stay inside the cell that holds them.
    if (level > 1) return;
    EndLine();
}

void PlainTextOutput::TableEnd(int level) { m_tableLevel = level - 1; }

void PlainTextOutput::DocumentEnd(const ParagraphFormat&) {
    if (m_lineOpen) EndLine();
    m_pending = 0;
}

PlainTextExtractor::PlainTextExtractor(TextEncoding encoding) : m_output(encoding), m_reader(m_output) {}

std::string RtfToPlainText(std::string_view rtf, TextEncoding encoding) {
    PlainTextOutput output(encoding);
    ReadRtf(rtf, output);
    return output.TakeText();
}

}  // namespace Norik
