// A picture control that plays an animated GIF.
//
// Load reads the picture: data that is not a GIF, or a GIF with exactly one image, is decoded
// whole as a still picture; a GIF with several images is walked block by block (Helpers/GifFrames)
// and every image is cut out as a GIF of its own and decoded by QImage. A frame QImage cannot
// decode is left out and the others play. Draw sizes the control to the picture and shows it;
// with several frames a timer plays them in a loop, each for its delay (GifFrameDelayMs), and
// applies each frame's disposal method once its time is over: 2 restores its rectangle to the
// background colour, 3 restores what the rectangle held before the frame was drawn. After the
// last frame the picture starts again from the background. The GIF's own repetition count is not
// used. Stop halts the animation where it is; Draw continues it.
//
// Frames are composed on an off-screen image that painting copies. Everything runs on the
// user-interface thread (the timer is part of its event loop), so a frame is never copied while
// it is being drawn. Outside bytes: pictures larger than kMaxSide on a side are refused, and
// decoding stops, keeping the frames decoded so far, once kMaxDecodedPixels were decoded (every
// frame decodes to a picture of the whole screen), so a hostile file can make the control neither
// allocate nor work without bound.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRect>
#include <QTimer>
#include <QWidget>
#include <vector>

namespace Norik {

class CPictureEx : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMaxSide = 2048;
    static constexpr qint64 kMaxDecodedPixels = qint64{16} * 1024 * 1024;

    explicit CPictureEx(QWidget* parent = nullptr);
    ~CPictureEx() override;

    // Loads the picture of a resource (for example ":/wait/wait.gif") or a file; false when it
    // cannot be read or holds no picture. A failed load leaves the control empty.
    bool Load(const QString& path);
    bool Load(const QByteArray& bytes);

    void Draw();
    void Stop();

    int FrameCount() const { return static_cast<int>(m_frames.size()); }
    int CurrentFrame() const { return m_current; }
    bool IsAnimating() const { return m_timer.isActive(); }
    QSize ImageSize() const { return m_imageSize; }
    // What the control shows: the composed picture.
    const QImage& Canvas() const { return m_canvas; }

    // Ends the current frame (its disposal) and shows the next one; the timer calls this when the
    // frame's time is over.
    void ShowNextFrame();

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Frame {
        QImage picture;  // the frame's own rectangle only
        QRect rect;      // within the picture
        int delayMs = 100;
        int disposal = 0;
    };

    void Clear();
    bool LoadStill(const QByteArray& bytes);
    void PrepareCanvas();
    void RenderCurrent();
    void DisposeCurrent();
    void FillBackground(const QRect& rect);

    std::vector<Frame> m_frames;
    QSize m_imageSize;
    QImage m_canvas;
    QImage m_savedArea;  // what a frame with disposal 3 covered; null when nothing is saved
    QColor m_background = Qt::white;
    int m_current = 0;
    QTimer m_timer;
};

}  // namespace Norik
