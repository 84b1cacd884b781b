#include "frame/qt/PictureEx.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <string_view>

#include "Helpers/GifFrames.h"

namespace Norik {

namespace {

bool FitsBounds(QSize size) {
    return size.width() > 0 && size.height() > 0 && size.width() <= CPictureEx::kMaxSide &&
           size.height() <= CPictureEx::kMaxSide;
}

}  // namespace

CPictureEx::CPictureEx(QWidget* parent) : QWidget(parent) {
    m_timer.setParent(this);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &CPictureEx::ShowNextFrame);
}

CPictureEx::~CPictureEx() { Stop(); }

bool CPictureEx::Load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Clear();
        return false;
    }
    // A picture larger than the largest GIF this control accepts is no picture for it.
    constexpr qint64 kMaxBytes = qint64{64} * 1024 * 1024;
    if (file.size() > kMaxBytes) {
        Clear();
        return false;
    }
    return Load(file.readAll());
}

bool CPictureEx::Load(const QByteArray& bytes) {
    Clear();
    std::string_view data(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    GifStructure gif = WalkGif(data);
    if (!gif.isGif) return LoadStill(bytes);
    if (gif.images.empty()) return false;
    if (gif.images.size() == 1) return LoadStill(bytes);

    QSize screen(gif.width, gif.height);
    if (screen.isEmpty()) {
        // Some encoders leave the screen size 0; the images then define it.
        QRect bounds;
        for (const GifImage& image : gif.images) bounds |= QRect(image.left, image.top, image.width, image.height);
        screen = QSize(bounds.right() + 1, bounds.bottom() + 1);
    }
    if (!FitsBounds(screen)) return false;
    const QRect screenRect(QPoint(0, 0), screen);

    // QImage decodes a one-image GIF to a picture of the whole screen, so each decoding costs the
    // screen's area whatever the frame's size; the budget counts that.
    const qint64 screenPixels = qint64{screen.width()} * screen.height();
    qint64 decodedPixels = 0;
    for (std::size_t i = 0; i < gif.images.size(); ++i) {
        if (decodedPixels + screenPixels > kMaxDecodedPixels) break;
        decodedPixels += screenPixels;
        const GifImage& image = gif.images[i];
        QRect rect = QRect(image.left, image.top, image.width, image.height).intersected(screenRect);
        if (rect.isEmpty()) continue;
        std::string single = SingleImageGif(data, gif, i);
        QImage decoded =
            QImage::fromData(reinterpret_cast<const uchar*>(single.data()), static_cast<int>(single.size()), "GIF");
        if (decoded.isNull()) continue;
        Frame frame;
        frame.rect = rect;
        frame.picture = decoded.size() == screen ? decoded.copy(rect) : decoded.copy(QRect(QPoint(0, 0), rect.size()));
        frame.delayMs = GifFrameDelayMs(image);
        frame.disposal = image.disposal;
        m_frames.push_back(std::move(frame));
    }
    if (m_frames.empty()) return false;
    m_imageSize = screen;
    updateGeometry();
    return true;
}

bool CPictureEx::LoadStill(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    if (reader.canRead() && reader.size().isValid() && !FitsBounds(reader.size())) return false;
    QImage picture = reader.read();
    if (picture.isNull() || !FitsBounds(picture.size())) return false;
    Frame frame;
    frame.rect = QRect(QPoint(0, 0), picture.size());
    frame.picture = std::move(picture);
    m_frames.push_back(std::move(frame));
    m_imageSize = m_frames.front().rect.size();
    updateGeometry();
    return true;
}

void CPictureEx::Clear() {
    Stop();
    m_frames.clear();
    m_imageSize = QSize();
    m_canvas = QImage();
    m_savedArea = QImage();
    m_current = 0;
}

void CPictureEx::PrepareCanvas() {
    if (m_canvas.size() == m_imageSize) return;
    setFixedSize(m_imageSize);
    m_canvas = QImage(m_imageSize, QImage::Format_ARGB32_Premultiplied);
    // The background the frames are composed on is the colour the surrounding dialog is painted with.
    m_background = palette().color(QPalette::Button);
    m_canvas.fill(m_background);
}

void CPictureEx::Draw() {
    if (m_frames.empty() || m_timer.isActive()) return;
    PrepareCanvas();
    if (m_frames.size() == 1) {
        RenderCurrent();
        return;
    }
    // A frame still on screen from before a Stop ends as its disposal says before it shows again.
    DisposeCurrent();
    RenderCurrent();
    m_timer.start(m_frames[static_cast<std::size_t>(m_current)].delayMs);
}

void CPictureEx::Stop() { m_timer.stop(); }

void CPictureEx::ShowNextFrame() {
    if (m_frames.size() < 2 || m_canvas.isNull()) return;
    DisposeCurrent();
    if (++m_current >= FrameCount()) {
        m_current = 0;
        FillBackground(m_canvas.rect());
    }
    RenderCurrent();
    m_timer.start(m_frames[static_cast<std::size_t>(m_current)].delayMs);
}

void CPictureEx::RenderCurrent() {
    const Frame& frame = m_frames[static_cast<std::size_t>(m_current)];
    if (frame.disposal == kGifDisposeToPrevious) m_savedArea = m_canvas.copy(frame.rect);
    QPainter painter(&m_canvas);
    painter.drawImage(frame.rect.topLeft(), frame.picture);
    painter.end();
    update();
}

void CPictureEx::DisposeCurrent() {
    const Frame& frame = m_frames[static_cast<std::size_t>(m_current)];
    if (frame.disposal == kGifDisposeToBackground) {
        FillBackground(frame.rect);
    } else if (frame.disposal == kGifDisposeToPrevious && !m_savedArea.isNull()) {
        QPainter painter(&m_canvas);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(frame.rect.topLeft(), m_savedArea);
        painter.end();
        m_savedArea = QImage();
        update();
    }
}

void CPictureEx::FillBackground(const QRect& rect) {
    QPainter painter(&m_canvas);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect, m_background);
    painter.end();
    update(rect);
}

QSize CPictureEx::sizeHint() const { return m_imageSize.isValid() ? m_imageSize : QSize(0, 0); }

void CPictureEx::paintEvent(QPaintEvent*) {
    if (m_canvas.isNull()) return;
    QPainter painter(this);
    painter.drawImage(0, 0, m_canvas);
}

}  // namespace Norik
