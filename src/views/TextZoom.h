// The zoom of a text window: the text shown larger or smaller, in steps from kMinPercent to
// kMaxPercent of its size, the place being read kept at the top of the window.
//
// The text is laid out for a device of a resolution scaled by the zoom, so that fonts, indents and
// pictures grow together and lines break for the window's width. A new layout starts from the
// beginning of the text, a slice at a time (each about a screen of text), so the window never waits
// for more than one slice: until the layout has passed the place being read, a picture of the
// window scaled to the new size stands over the text, and then the text is shown from that place.
// The rest of a long text is laid out in the same slices after that. A new width of the window is
// laid out the same way (FitWidth), and so is the rest of a text shown before its layout ended.
//
// It belongs to a view whose document is a Cvelda1Doc; user-interface thread only.
#pragma once

#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <memory>

class QLabel;
class QTextEdit;

namespace Norik {

class Cvelda1Doc;

// The first character on the screen of view.
int FirstCharacterShown(const QTextEdit& view);

class TextZoom : public QObject {
    Q_OBJECT
public:
    static constexpr int kMinPercent = 50;
    static constexpr int kMaxPercent = 300;

    TextZoom(QTextEdit* view, Cvelda1Doc* doc);

    int percent() const { return m_percent; }
    // The next step up or down from percent, within the bounds.
    static int NextPercent(int percent, bool larger);

    // Takes percent (bounded) before any text is shown: nothing is laid out again.
    void Restore(int percent);
    // Shows the text at percent (bounded); a change lays the text out again as described above.
    void SetPercent(int percent);
    void Step(bool larger) { SetPercent(NextPercent(m_percent, larger)); }
    // Lays the text out again for the width of the view's viewport as a new zoom does, the place
    // being read kept; a short text is laid out before this returns.
    void FitWidth();
    // Goes on laying out, in the same slices, a text shown before the layout begun for it with
    // BeginTextPage reached its end.
    void ContinueLayout();
    // A layout for a new zoom is still on its way to the place being read.
    bool isSettling() const { return m_keptPosition >= 0; }
    // The character that was at the top when the zoom changed, shown there again once settled.
    int keptPosition() const { return m_keptPosition; }
    // The device the text is laid out for; null at 100 percent (the screen).
    QPaintDevice* device() { return m_percent == 100 ? nullptr : &m_device; }

signals:
    void changed(int percent);
    // The layout has reached the place being read and shows it at the top.
    void settled();

private:
    void Continue();
    void Settle();
    void KeepPlace();
    // Shows taken (none: a picture of the viewport taken now), scaled, over the text.
    void ShowPicture(double scale, const QPixmap& taken = QPixmap());
    void SetDevice(int percent);

    QTextEdit* m_view;
    Cvelda1Doc* m_doc;
    int m_percent = 100;
    QImage m_device;
    // The character shown at the top when the zoom changed; -1 once it is shown again.
    int m_keptPosition = -1;
    QPointer<QLabel> m_picture;
    QTimer m_slices;
};

}  // namespace Norik
