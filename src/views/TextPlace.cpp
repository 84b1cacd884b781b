#include "views/TextPlace.h"

#include <QAbstractTextDocumentLayout>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>
#include <algorithm>

#include "Helpers/Cp1251.h"
#include "Helpers/qt/QtText.h"
#include "richtext/DocumentOutline.h"
#include "showdata/DayCode.h"
#include "showdata/ListDoc.h"
#include "views/Cvelda1Doc.h"
#include "views/Cvelda1View.h"
#include "views/TextZoom.h"

namespace Norik {

namespace {

// How far up a heading is looked for: a paragraph count that an article never reaches, so that
// a text without headings costs no more than this.
constexpr int kMaxParagraphsUp = 20000;
constexpr qsizetype kShortTitleLength = 60;

void ScrollTo(Cvelda1View& view, int position) {
    QTextDocument* text = view.document();
    const int clamped = std::clamp(position, 0, std::max(text->characterCount() - 1, 0));
    QTextCursor caret(text);
    caret.setPosition(clamped);
    view.setTextCursor(caret);
    const QTextBlock block = text->findBlock(clamped);
    // Laying the block out first makes the scroll range reach it.
    const QRectF bounds = text->documentLayout()->blockBoundingRect(block);
    qreal top = bounds.top();
    if (const QTextLayout* layout = block.layout()) {
        const QTextLine line = layout->lineForTextPosition(clamped - block.position());
        if (line.isValid()) top += line.y();
    }
    view.verticalScrollBar()->setValue(static_cast<int>(top));
}

}  // namespace

int ReadingPosition(const Cvelda1View& view) {
    const QTextCursor caret = view.textCursor();
    if (caret.hasSelection()) return caret.selectionStart();
    // Where the caret is would be known only by laying a text still taking a new zoom out down to it.
    if (!view.zoom().isSettling() && view.viewport()->rect().intersects(view.cursorRect(caret)))
        return caret.position();
    return view.TopPosition();
}

void ShowPosition(Cvelda1View& view, int position) {
    Cvelda1Doc* doc = view.GetDocument();
    if (!doc->isWhole() && position >= view.document()->characterCount() - 1) {
        QObject::connect(
            doc, &Cvelda1Doc::textDocumentReplaced, &view, [&view, position] { ScrollTo(view, position); },
            Qt::SingleShotConnection);
        return;
    }
    ScrollTo(view, position);
    // A window just opened takes its size once its events are handled, and the lines move with it.
    QTimer::singleShot(0, &view, [&view, position] { ScrollTo(view, position); });
}

QString HeadingAbove(const QTextDocument& text, int position) {
    static const QRegularExpression heading(
        QStringLiteral(R"(^\s*(статья|глава|раздел)\s+((?:\d+|[IVXLCDM]+)(?:\.\d+)*)(?:\.|\s*$))"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    QTextBlock block = text.findBlock(position);
    for (int looked = 0; block.isValid() && looked < kMaxParagraphsUp; ++looked, block = block.previous()) {
        const QRegularExpressionMatch match = heading.match(block.text());
        if (!match.hasMatch()) continue;
        const QString word = match.captured(1).toLower();
        const QString abbreviation = word == QStringLiteral("статья")  ? QStringLiteral("ст.")
                                     : word == QStringLiteral("глава") ? QStringLiteral("гл.")
                                                                       : QStringLiteral("разд.");
        return abbreviation + ' ' + match.captured(2);
    }
    return {};
}

QString ShortTitle(const QString& title) {
    static const QRegularExpression code(
        QStringLiteral(R"(^((?:[А-Яа-яЁё-]+(?:ый|ий|ой)\s+){1,3})кодекс(?=[\s(]|$)(\s+Российской\s+Федерации)?)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    QString simplified = title.simplified();
    const QRegularExpressionMatch match = code.match(simplified);
    if (match.hasMatch()) {
        QString initials;
        for (const QString& word : match.captured(1).split(' ', Qt::SkipEmptyParts)) initials += word.front().toUpper();
        initials += QStringLiteral("К");
        if (!match.captured(2).isEmpty()) initials += QStringLiteral(" РФ");
        return initials;
    }
    if (simplified.size() <= kShortTitleLength) return simplified;
    const qsizetype cut = simplified.lastIndexOf(' ', kShortTitleLength);
    return simplified.left(cut > 0 ? cut : kShortTitleLength) + QStringLiteral("…");
}

QString BookmarkName(std::int16_t number, const QString& heading) {
    ShowData::DocItem row;
    QString name;
    if (ShowData::DocByNumber(number, row)) {
        CitationSource source;
        source.type = Cp1251ToUtf8(row.type);
        while (!source.type.empty() && source.type.front() == ' ') source.type.erase(0, 1);
        while (!source.type.empty() && source.type.back() == ' ') source.type.pop_back();
        if (row.dateOfIntroduction != 0) {
            source.day = ShowData::DayOfCode(row.dateOfIntroduction);
            source.month = ShowData::MonthOfCode(row.dateOfIntroduction);
            source.year = ShowData::YearOfCode(row.dateOfIntroduction);
        }
        source.number = Cp1251ToUtf8(row.numberText);
        name = QString::fromStdString(DocumentDesignation(source));
        // A row without a type, date or number is known by its title.
        if (name.isEmpty()) name = ShortTitle(ToQString(row.title));
    }
    if (heading.isEmpty()) return name;
    if (name.isEmpty()) return heading;
    return name + QStringLiteral(", ") + heading;
}

}  // namespace Norik
