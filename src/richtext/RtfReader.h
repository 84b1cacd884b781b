// A streaming reader of Rich Text Format.
//
// RtfReader takes the bytes of one document in chunks of any size (down to one byte) and reports
// what they mean to an IRtfOutput as it goes: runs of text with their character format (UTF-8),
// paragraph ends with their paragraph format, table rows and cells, pictures, and the start and
// end of links. It never holds the document whole: it keeps the group stack, the font, colour and
// style tables, the text of the current run and the data of the picture being read.
//
// It reads RichEdit-style and word-processor RTF: \'hh decoded by the current font's charset
// (then \ansicpg), \uN with \ucN fallback skipping, fields (HYPERLINK becomes a link, other
// fields show their result), tables with nesting and merges, pictures, hidden text left out.
// Unknown "\*" destinations and document metadata are skipped.
//
// Bad input never fails: unbalanced braces, hostile nesting, huge \bin counts, absurd numbers and
// NUL bytes give a best-effort result; memory stays within a small multiple of the input (the
// group stack has a fixed depth, field instructions and font names are capped). Input whose first
// non-blank byte is not "{" is taken as plain text: each line a paragraph, UTF-8 when the line is
// valid UTF-8, Windows-1251 otherwise.
//
// One reader reads one document. Not thread-safe; distinct readers may run on distinct threads.
#pragma once

#include <memory>
#include <string_view>

#include "richtext/RtfFormat.h"

namespace Norik {

// Receives the content of a document in reading order. Text, breaks and pictures belong to the
// paragraph that the next ParagraphEnd, TableCellEnd or DocumentEnd closes.
class IRtfOutput {
public:
    virtual ~IRtfOutput() = default;

    // A run of visible text in UTF-8 (tabs as "\t"); never empty.
    virtual void Text(std::string_view utf8, const CharFormat& format) = 0;
    // \par: the paragraph ends.
    virtual void ParagraphEnd(const ParagraphFormat& format) = 0;
    // \line: a line break inside the paragraph.
    virtual void LineBreak() {}
    // \page, \sect: the paragraph ends and a new page begins.
    virtual void PageBreak(const ParagraphFormat& format) { ParagraphEnd(format); }

    // Tables. Levels count from 1 (top-level table). A row starts before its first content with
    // the row definition known at that moment; TableRowEnd repeats the definition as it stands at
    // the end of the row (writers may give it only there), and that one is authoritative.
    // TableCellEnd also ends the cell's last paragraph. TableEnd comes when content outside the
    // table (or at a lower level) follows, or at the end of the document.
    virtual void TableRowStart(int level, const RowFormat& row) { (void)level, (void)row; }
    virtual void TableCellEnd(int level, const ParagraphFormat& lastParagraph) { (void)level, (void)lastParagraph; }
    virtual void TableRowEnd(int level, const RowFormat& row) { (void)level, (void)row; }
    virtual void TableEnd(int level) { (void)level; }

    // Pictures: data holds the decoded bytes of the picture (hex or \bin) when WantsPictureData()
    // is true, else it is empty and the reader does not collect them.
    virtual bool WantsPictureData() const { return false; }
    virtual void Picture(const PictureInfo& info, std::string_view data) { (void)info, (void)data; }

    // A link: the text between LinkStart and LinkEnd is its visible text; target is the
    // HYPERLINK argument in UTF-8 ("#name" for a bookmark link). Links do not nest.
    virtual void LinkStart(std::string_view target) { (void)target; }
    virtual void LinkEnd() {}

    // The end of the input: the last paragraph, when not ended by \par, has this format.
    virtual void DocumentEnd(const ParagraphFormat& lastParagraph) { (void)lastParagraph; }
};

class RtfReader {
public:
    // The output must outlive the reader.
    explicit RtfReader(IRtfOutput& output);
    ~RtfReader();
    RtfReader(const RtfReader&) = delete;
    RtfReader& operator=(const RtfReader&) = delete;

    // Reads the next bytes of the document.
    void Feed(std::string_view chunk);
    // Ends the document: emits what is pending, closes open links and tables, then DocumentEnd.
    // Further Feed calls are ignored.
    void Finish();

    // Whether the input was read as RTF (false: taken as plain text). Known after the first
    // non-blank byte.
    bool isRtf() const;

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

// Reads a whole document held in memory: Feed + Finish.
void ReadRtf(std::string_view rtf, IRtfOutput& output);

}  // namespace Norik
