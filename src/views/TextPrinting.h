// Printing a text window's text and showing it before print: the printer's page with margins of
// 720 twips, the pages of a TextPrintout painted on it, the wait for a long text's layout with
// "Подождите, идёт подготовка к печати" and a cancel button, the file name "Печать в файл (PDF)"
// offers, and the print preview.
//
// The preview shows the pages as they are laid out: the first at once, the rest in short slices
// while the window stays free, each painted only when it is scrolled into view. Its "Печать"
// closes it with Accepted, so that the caller prints through the print dialog.
//
// User-interface thread only.
#pragma once

#include <QDialog>
#include <QMarginsF>
#include <QSizeF>
#include <QString>

class QLabel;
class QPrintDialog;
class QPrinter;
class QScrollArea;
class QSpinBox;
class QTimer;

namespace Norik {

class TextPrintout;

// Page margins of a printed text, in twips, on all four sides.
inline constexpr int kPrintMarginTwips = 720;

// Gives printer the margins of a printed text.
void SetPrintMargins(QPrinter& printer);

// The area inside the margins of printer's page, in the units of a printout.
QSizeF PrintableSize(const QPrinter& printer);

// Lays printout out for printer's page, all of it (with a progress dialog over parent when that
// takes a moment), then paints the pages the printer's range asks for (all when it names none).
// False when the user cancelled or the printer failed. A PDF goes to a new file beside the one
// chosen, which it replaces only once whole: a print that stops leaves the chosen file as it was.
bool PrintPages(TextPrintout& printout, QPrinter& printer, QWidget* parent);

// Offers name + ".pdf" in the folder the dialog proposes as the file "Печать в файл (PDF)" writes
// to, unless the printer names a file already (the user's last choice).
void OfferPdfFileName(QPrintDialog& dialog, const QString& name);

class PreviewPages;

class TextPrintPreview : public QDialog {
    Q_OBJECT
public:
    // Shows printout laid out for printer's page; printout must outlive the dialog.
    TextPrintPreview(TextPrintout& printout, const QPrinter& printer, QWidget* parent = nullptr);
    ~TextPrintPreview() override;

    // The pages that can be seen now; all of them once the layout is complete.
    int shownPages() const;
    bool layoutComplete() const;
    QString statusText() const;
    void ZoomBy(qreal factor);
    // Scrolls page (from 1) to the top; the page field ("Страница", Ctrl+G) shows "N из M" and does
    // it for the number typed.
    void GoToPage(int page);
    QSpinBox* pageField() const { return m_pageField; }

private:
    void LayOutMore();
    void UpdateStatus();

    TextPrintout& m_printout;
    PreviewPages* m_pages;
    QScrollArea* m_scroll;
    QLabel* m_status;
    QSpinBox* m_pageField;
    QTimer* m_layoutTimer;
};

}  // namespace Norik
