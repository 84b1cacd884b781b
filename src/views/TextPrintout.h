// The printed form of a text window's text: the same text on printer pages, with the document's
// title at the head of each page and "Страница N из M" with the date of the base at its foot.
//
// Units: pages are laid out as the screen lays the text out, in pixels of 1/96 inch (the unit of
// the rich-text builder: 15 twips), so indents, margins and tab stops keep their size on paper. A
// painter is scaled to these units before a page is painted on it (UnitsScale).
//
// The text is copied, a slice of paragraphs and tables at a time, from the document the window
// shows into a document of the printout's own, which lays each slice out for the page as it comes.
// So the first pages are ready after the first slice, and a text of many megabytes never holds
// the window: Continue copies and lays out for a given time, and readyPages says how many pages
// will not change any more. The number of pages is known once the whole text is laid out.
// (Cloning the document would take a second and more for a long text, in one piece.)
//
// User-interface thread only: fonts and layouts belong to it. The shown document must stay as it is
// while the printout lives (a text window's whole text does); should it go, the printout ends where
// it was.
#pragma once

#include <QImage>
#include <QPointer>
#include <QSizeF>
#include <QString>
#include <QTextDocument>
#include <QTextFrame>
#include <chrono>
#include <memory>

class QPainter;
class QPaintDevice;

namespace Norik {

class TextPrintout {
public:
    static constexpr qreal kUnitsPerInch = 96;

    // A printout of source with title at the head of its pages and baseDate at their foot.
    TextPrintout(const QTextDocument& source, QString title, QString baseDate);
    ~TextPrintout();
    TextPrintout(const TextPrintout&) = delete;
    TextPrintout& operator=(const TextPrintout&) = delete;

    // The scale that turns the units of a page into the pixels of device.
    static qreal UnitsScale(const QPaintDevice& device);

    // The area inside the page margins, in units; a new size starts the layout from the beginning.
    void SetPageSize(const QSizeF& printable);
    QSizeF pageSize() const { return m_printable; }

    // Copies and lays out further for about budget (at least one slice); true once the whole text
    // is laid out (at once when it is).
    bool Continue(std::chrono::milliseconds budget);
    bool isComplete() const { return m_complete; }
    // How far the copy is, in characters of the shown text, out of progressMaximum.
    int progress() const { return m_copiedTo; }
    int progressMaximum() const;

    // The pages laid out for good, from the first: all of them once complete.
    int readyPages() const;
    // The number of pages once complete; 0 before.
    int pageCount() const { return m_complete ? m_pageCount : 0; }

    // Paints a ready page (from 0) with the painter's origin at the top left of the area inside the
    // margins and the painter scaled to units.
    void PaintPage(QPainter& painter, int page) const;
    // The words at the foot of a page (from 0): "Страница N из M" once the count is known.
    QString FooterText(int page) const;

    // The text laid out for print.
    const QTextDocument& printDocument() const { return *m_print; }

private:
    void Restart();
    bool CopySlice();
    qreal LaidOutHeight() const;

    QPointer<const QTextDocument> m_source;
    QString m_title;
    QString m_baseDate;
    // The device the layout measures fonts on: 96 dots per inch, whatever the screen.
    QImage m_device;
    std::unique_ptr<QTextDocument> m_print;
    QSizeF m_printable;
    qreal m_headerHeight = 0;
    qreal m_footerHeight = 0;
    qreal m_bodyHeight = 0;
    // The next paragraph or table of the shown text to copy, and where the copy has reached.
    QTextFrame::iterator m_next;
    int m_copiedTo = 0;
    bool m_complete = false;
    int m_pageCount = 0;
};

}  // namespace Norik
