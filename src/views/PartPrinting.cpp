#include "views/PartPrinting.h"

#include <QPrintDialog>
#include <QPrinter>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <algorithm>
#include <memory>

#include "Helpers/Cp1251.h"
#include "Helpers/qt/QtText.h"
#include "platform/UserPort.h"
#include "showdata/ListDoc.h"
#include "views/Cvelda1Doc.h"
#include "views/Cvelda1View.h"
#include "views/TextPrinting.h"
#include "views/TextPrintout.h"

namespace Norik {

namespace {

const char* const kNoArticle = "Курсор стоит вне статьи: печатать нечего.";

}  // namespace

std::optional<std::pair<int, int>> PartAround(const DocumentOutline& outline, int position, int textEnd) {
    const OutlineEntry* entry = EnclosingArticle(outline, position);
    if (!entry) {
        const int at = OutlineEntryAt(outline, position);
        if (at < 0) return std::nullopt;
        entry = &outline[static_cast<std::size_t>(at)];
    }
    const auto next = std::find_if(outline.begin() + (entry - outline.data()) + 1, outline.end(),
                                   [entry](const OutlineEntry& later) { return later.depth <= entry->depth; });
    const int end = next == outline.end() ? textEnd : next->position;
    if (end <= entry->position) return std::nullopt;
    return std::pair{entry->position, end};
}

std::optional<std::pair<int, int>> CaretArticle(Cvelda1View& view) {
    if (!view.GetDocument()->EnsureWhole()) return std::nullopt;
    return PartAround(view.GetDocument()->outline(), view.textCursor().position(),
                      std::max(0, view.document()->characterCount() - 1));
}

bool PrintRange(Cvelda1View& view, QPrinter& printer, std::pair<int, int> range) {
    if (!view.GetDocument()->EnsureWhole()) return false;
    QTextDocument* text = view.document();
    QTextCursor part(text);
    part.setPosition(std::clamp(range.first, 0, std::max(0, text->characterCount() - 1)));
    part.setPosition(std::clamp(range.second, 0, std::max(0, text->characterCount() - 1)), QTextCursor::KeepAnchor);
    // The part keeps the formats of the text it comes from: fonts, indents, tables.
    QTextDocument copy;
    copy.setDefaultFont(text->defaultFont());
    copy.setDocumentMargin(text->documentMargin());
    QTextCursor start(&copy);
    start.insertFragment(QTextDocumentFragment(part));
    // The fragment's first paragraph joins the copy's empty first block, which keeps its own format:
    // it takes the indents and alignment of the paragraph it comes from.
    start.setPosition(0);
    start.setBlockFormat(text->findBlock(part.selectionStart()).blockFormat());
    TextPrintout printout(copy, view.GetDocument()->title(), ToQString(ShowData::BaseDateText()));
    return PrintPages(printout, printer, &view);
}

void PrintCaretArticle(Cvelda1View& view) {
    const std::optional<std::pair<int, int>> article = CaretArticle(view);
    if (!article) {
        if (IUserPort* port = view.GetDocument()->userPort())
            port->MessageBox(Utf8ToCp1251(kNoArticle), Utf8ToCp1251(Cvelda1Doc::kCaption), MessageButtons::Ok,
                             MessageIcon::Information);
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    SetPrintMargins(printer);
    printer.setDocName(view.GetDocument()->title());
    QPrintDialog dialog(&printer, &view);
    OfferPdfFileName(dialog, view.GetDocument()->OfferedFileName());
    if (dialog.exec() == QDialog::Accepted) PrintRange(view, printer, *article);
}

}  // namespace Norik
