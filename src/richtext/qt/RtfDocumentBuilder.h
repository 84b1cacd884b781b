// Builds a QTextDocument from RTF bytes: the counterpart of streaming RTF into a rich-edit control.
//
// RtfDocumentBuilder is an output of the core RtfReader that writes into a detached QTextDocument
// through one QTextCursor inside one edit block, with undo switched off. Build on a worker thread
// if you like (QTextDocument and QTextCursor are reentrant; nothing here touches a widget or
// lays the document out), then moveToThread() the document to the UI thread and show it in a
// read-only QTextBrowser with openLinks/openExternalLinks off.
//
// Links keep their target as the anchor href (the HYPERLINK argument as written) and carry the
// document number they lead to, when they lead to one, in the character property
// kLinkDocumentNumberProperty; LinkAt() recovers target, visible text and number at a position.
// Pictures in PNG and JPEG are decoded by QImage and shown at their stated size; other formats,
// pictures that fail to decode, and pictures past a bound of their own or past the document's
// budget for decoded pictures (judged from their headers before decoding) show as an empty frame
// of that size.
//
// What the window lays out in one step is bounded: a paragraph past a length goes on in new blocks
// (the first keeps the space before and the first-line indent, the last the space after), a word
// past a length gets zero-width spaces where a line may break, and a row has a bounded number of
// cells, the rest joining its last cell.
// Never fails: bad RTF gives a best-effort document.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextFormat>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "richtext/DocumentOutline.h"
#include "richtext/RtfReader.h"

class QTextDocument;
class QTextTable;

namespace Norik {

// Character property of link text: the document number (int) the link leads to.
inline constexpr int kLinkDocumentNumberProperty = QTextFormat::UserProperty + 1;

class RtfDocumentBuilder : public IRtfOutput {
public:
    // Writes into document, which must be empty and outlive the builder. The caller owns it.
    explicit RtfDocumentBuilder(QTextDocument* document);
    ~RtfDocumentBuilder() override;

    // Call once after the reader's Finish (closes the edit block).
    void Close();
    // Where the text written so far ends, in characters of the document.
    int position() const { return m_cursor.position(); }

    void Text(std::string_view utf8, const CharFormat& format) override;
    void ParagraphEnd(const ParagraphFormat& format) override;
    void LineBreak() override;
    void PageBreak(const ParagraphFormat& format) override;
    void TableRowStart(int level, const RowFormat& row) override;
    void TableCellEnd(int level, const ParagraphFormat& lastParagraph) override;
    void TableRowEnd(int level, const RowFormat& row) override;
    void TableEnd(int level) override;
    bool WantsPictureData() const override { return true; }
    void Picture(const PictureInfo& info, std::string_view data) override;
    void LinkStart(std::string_view target) override;
    void LinkEnd() override;
    void DocumentEnd(const ParagraphFormat& lastParagraph) override;

private:
    struct TableContext;
    void EnterPendingCell();
    void OpenBlock();
    // The cursor went to a block of a new paragraph (or a new cell).
    void StartParagraph();
    void InsertBoundedText(const QString& text, const QTextCharFormat& format);
    void ApplyBlockFormat(const ParagraphFormat& format);
    void ApplyBorders(const ParagraphFormat& format, QTextBlockFormat& block, const QTextBlock& first);
    QImage DecodePicture(const PictureInfo& info, std::string_view data, QSize& statedSize);
    const QTextCharFormat& QtFormat(const CharFormat& format);

    QTextDocument* m_document;
    QTextCursor m_cursor;
    std::vector<TableContext> m_tables;
    CharFormat m_lastFormat;
    QTextCharFormat m_lastQtFormat;
    bool m_formatValid = false;
    bool m_inLink = false;
    QString m_linkTarget;
    int m_linkStart = 0;
    int m_pictureCount = 0;
    bool m_pageBreakPending = false;
    // A paragraph ended: the block for the next one is opened when content comes, so that a table
    // right after a paragraph follows it directly instead of an empty block.
    bool m_blockPending = false;
    // The first block of the cell (or the part of the document after a table) being written.
    QTextBlock m_frameFirstBlock;
    // Characters in the cursor's block, and in the word it ends with.
    qsizetype m_blockLength = 0;
    qsizetype m_wordLength = 0;
    // Blocks the paragraph being written was continued from, when it grew too long for one.
    int m_continuations = 0;
    // Text of a cell joined to the one before it is set off from that cell's text by a space.
    bool m_separatorPending = false;
    // Pixels of the pictures decoded so far (or being decoded).
    qint64 m_picturePixels = 0;
    bool m_closed = false;
};

// Reads a whole RTF document into a new detached document (parentless, owned by the caller).
std::unique_ptr<QTextDocument> BuildTextDocument(std::string_view rtf);

// Streaming form: feed decompressed blocks as they come, then take the document, and with it the
// document's outline (its offsets are the document's positions).
class RtfDocumentLoader {
public:
    RtfDocumentLoader();
    ~RtfDocumentLoader();
    void Feed(std::string_view chunk);
    // Finishes reading and hands the document over; the loader is spent afterwards.
    std::unique_ptr<QTextDocument> TakeDocument();
    // After TakeDocument: the headings found.
    DocumentOutline TakeOutline();

private:
    std::unique_ptr<QTextDocument> m_document;
    std::unique_ptr<RtfDocumentBuilder> m_builder;
    std::unique_ptr<DocumentOutlineFinder> m_outline;
    std::unique_ptr<RtfReader> m_reader;
    DocumentOutline m_found;
};

// What the link at a character position is: its target, its whole visible text and the document
// number it leads to; nothing when the position is not inside a link.
struct LinkInfo {
    QString target;
    QString text;
    std::optional<int> documentNumber;
};
std::optional<LinkInfo> LinkAt(const QTextDocument& document, int position);

}  // namespace Norik
