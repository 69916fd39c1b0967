#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

#include <functional>

class QFocusEvent;
class QPainter;
class QRectF;

namespace korsa {

// The dark grey of the section pictures' frames.
inline const QColor FrameGrey(64, 64, 64);
// The blue of the start marker on the map; the frame of the photograph whose section holds the
// start takes it too.
inline const QColor StartBlue(28, 96, 232);

// The keyboard focus mark: a line of white dots on the frames' grey, drawn along `line`'s edges.
void DrawFocusMark(QPainter &painter, const QRectF &line, int width);
// Whether the widget has the focus and shows its mark: only while the keyboard brought the focus
// there (Tab, a shortcut), not a click, as desktops do. A widget notes how each focus came from its
// focus-in handling; the window's own activation keeps what was noted.
bool ShowsFocusMark(const QWidget *widget);
void NoteFocusIn(QWidget *widget, const QFocusEvent *event);

// A picture box: keeps the image drawn into it and shows it from its top-left corner. Reports
// pointer movement and clicks (a press and a release on the box); a click also gives it the focus. A disabled box does
// not react to the pointer: its movements go to `onDisabledMove`, as if over the window's background.
class PictureBox : public QWidget
{
    Q_OBJECT

public:
    explicit PictureBox(QWidget *parent = nullptr);

    void SetImage(const QImage &image);
    const QImage &Image() const { return image_; }

    std::function<void()> onMouseMove;
    std::function<void()> onDisabledMove;
    std::function<void()> onClick;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QImage image_;
    bool pressed_ = false;
};

// An image control: stretches whatever picture it is given to its own rectangle.
class ImageControl : public QWidget
{
    Q_OBJECT

public:
    explicit ImageControl(QWidget *parent = nullptr);

    // Shows a picture already stretched to the control's size, as a base with a patch drawn over
    // it at `patchAt` (either may be null); `picture` gives back the picture it stands for, decoded
    // when asked, so the control need not keep the full-size one.
    void SetStretchedPicture(const QImage &stretched, const QImage &patch, QPoint patchAt,
                             std::function<QImage()> picture);
    // The picture the control was given.
    QImage Picture() const;

    std::function<void()> onMouseMove;
    // Whether the control has been painted yet; `onFirstPaint` is called once it has.
    bool HasBeenPainted() const { return painted_; }
    std::function<void()> onFirstPaint;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    // Where a patch drawn at `at` (in the screen's pixels) lies in the control.
    QRect PatchRect(const QImage &patch, QPoint at) const;
    QRect PatchRect() const;

    std::function<QImage()> source_;
    // The picture stretched to the control's size, made once per picture and size.
    QImage stretched_;
    QImage patch_;
    QPoint patchAt_;
    bool painted_ = false;
};

// A rectangle or a line drawn with a border width in pixels; it takes no pointer events, so the
// pointer over it counts as over what lies beneath.
class ShapeControl : public QWidget
{
    Q_OBJECT

public:
    enum class Form { Rectangle, Line };
    ShapeControl(Form form, QColor colour, QWidget *parent = nullptr);

    void SetBorderWidth(int pixels);
    void SetColour(QColor colour);
    int BorderWidth() const { return borderWidth_; }
    // A line's end points, relative to the widget's container.
    void SetLine(QPointF from, QPointF to);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Form form_;
    QColor colour_;
    int borderWidth_ = 1;
    QPointF from_, to_;
};

} // namespace korsa
