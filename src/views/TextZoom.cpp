#include "views/TextZoom.h"

#include <QAbstractTextDocumentLayout>
#include <QLabel>
#include <QPixmap>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>

#include "views/Cvelda1Doc.h"
#include "views/TextPage.h"

namespace Norik {

namespace {

constexpr std::array kSteps = {50, 67, 75, 80, 90, 100, 110, 125, 150, 175, 200, 250, 300};
// A slice: about a screen of text, and a few milliseconds.
constexpr int kSliceCharacters = 4096;
constexpr std::chrono::milliseconds kSliceBudget{8};
constexpr double kInchesPerMeter = 39.3700787;

}  // namespace

int FirstCharacterShown(const QTextEdit& view) {
    // A point between two paragraphs hits no line, and in a text laid out only in part the search
    // then runs on over the paragraphs not laid out yet and ends anywhere up to the end of the text.
    // A hit counts only when the paragraph found lies on the screen; else a point a little lower is
    // tried. (A paragraph in a table lies in its cell's place, not the page's: the plain answer.)
    constexpr int kStep = 2;
    const int top = view.verticalScrollBar()->value();
    const int height = view.viewport()->height();
    for (int y = 0; y < height; y += kStep) {
        const int position = view.cursorForPosition(QPoint(0, y)).position();
        const QTextLayout* layout = view.document()->findBlock(position).layout();
        if (!layout || layout->lineCount() == 0) continue;
        const QRectF bounds = layout->boundingRect().translated(layout->position());
        if (bounds.bottom() >= top && bounds.top() <= top + height) return position;
    }
    return view.cursorForPosition(QPoint(0, 0)).position();
}

TextZoom::TextZoom(QTextEdit* view, Cvelda1Doc* doc)
    : QObject(view), m_view(view), m_doc(doc), m_device(1, 1, QImage::Format_RGB32) {
    m_slices.setInterval(0);
    connect(&m_slices, &QTimer::timeout, this, &TextZoom::Continue);
}

int TextZoom::NextPercent(int percent, bool larger) {
    if (larger) {
        for (int step : kSteps)
            if (step > percent) return step;
        return kMaxPercent;
    }
    for (auto it = kSteps.rbegin(); it != kSteps.rend(); ++it)
        if (*it < percent) return *it;
    return kMinPercent;
}

void TextZoom::SetPercent(int percent) {
    percent = std::clamp(percent, kMinPercent, kMaxPercent);
    if (percent == m_percent) return;
    const double scale = static_cast<double>(percent) / m_percent;
    KeepPlace();
    ShowPicture(scale);
    SetDevice(percent);
    BeginTextPage(*m_view->document(), m_view->viewport()->width(), device());
    emit changed(percent);
    m_slices.start();
}

void TextZoom::FitWidth() {
    KeepPlace();
    // A picture of the text as it was stands over it while the new layout, after its first slice,
    // has not reached the place being read.
    const QPixmap shot = m_view->viewport()->isVisible() ? m_view->viewport()->grab() : QPixmap();
    BeginTextPage(*m_view->document(), m_view->viewport()->width(), device());
    m_slices.start();
    Continue();
    if (isSettling() && !shot.isNull()) ShowPicture(1.0, shot);
}

void TextZoom::ContinueLayout() {
    if (!m_slices.isActive()) m_slices.start();
}

void TextZoom::KeepPlace() {
    // The first character on the screen, kept through a layout still settling.
    if (m_keptPosition < 0) m_keptPosition = std::max(FirstCharacterShown(*m_view), 0);
}

void TextZoom::Restore(int percent) { SetDevice(std::clamp(percent, kMinPercent, kMaxPercent)); }

void TextZoom::SetDevice(int percent) {
    m_percent = percent;
    const double dpi = m_view->logicalDpiY() * percent / 100.0;
    const int dotsPerMeter = static_cast<int>(std::lround(dpi * kInchesPerMeter));
    m_device.setDotsPerMeterX(dotsPerMeter);
    m_device.setDotsPerMeterY(dotsPerMeter);
    m_doc->SetPageDevice(device());
}

void TextZoom::ShowPicture(double scale, const QPixmap& taken) {
    QWidget* viewport = m_view->viewport();
    if (!m_picture) {
        // Over the viewport rather than on it: the viewport's children move with its scrolling, and
        // the scroll range shrinks to the little laid out while the new layout starts.
        m_picture = new QLabel(m_view);
        m_picture->setAutoFillBackground(true);
        m_picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    // A layout begun again before the last one settled scales the picture still shown: the text
    // under it is not at the place being read yet.
    const QPixmap shot = m_picture->isVisible() ? m_picture->pixmap() : taken.isNull() ? viewport->grab() : taken;
    m_picture->setPixmap(shot.scaled(shot.size() * scale, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                             .copy(QRect(QPoint(0, 0), viewport->size())));
    m_picture->setGeometry(viewport->geometry());
    m_picture->show();
    m_picture->raise();
}

void TextZoom::Continue() {
    QTextDocument& text = *m_view->document();
    const bool done = ContinueTextPage(text, kSliceBudget, kSliceCharacters);
    // Laid out a screen past the place being read: it can be shown.
    if (m_keptPosition >= 0 && (done || PreparedCharacters(text) >= m_keptPosition + kSliceCharacters)) {
        Settle();
    } else if (m_keptPosition < 0) {
        // The scroll range follows the layout down the text.
        AnnounceLaidOutSize(text);
    }
    if (done) {
        m_slices.stop();
        EndKeepingPreparedPage(text);
        AnnounceLaidOutSize(text);
    }
}

void TextZoom::Settle() {
    QTextDocument& text = *m_view->document();
    const int position = std::min(m_keptPosition, std::max(text.characterCount() - 1, 0));
    m_keptPosition = -1;
    const QTextBlock block = text.findBlock(position);
    // The beginning of the text shows its margin above it, as it did.
    double top = position == 0 ? 0 : text.documentLayout()->blockBoundingRect(block).top();
    if (const QTextLayout* layout = position == 0 ? nullptr : block.layout()) {
        const QTextLine line = layout->lineForTextPosition(position - block.position());
        if (line.isValid()) top += line.y();
    }
    AnnounceLaidOutSize(text);
    m_view->verticalScrollBar()->setValue(static_cast<int>(top));
    if (m_picture) m_picture->hide();
    emit settled();
}

}  // namespace Norik
