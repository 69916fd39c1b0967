#include "presentation/Controls.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <utility>

namespace korsa {

void DrawFocusMark(QPainter &painter, const QRectF &line, int width)
{
    painter.save();
    painter.setPen(QPen(FrameGrey, width));
    painter.drawRect(line);
    painter.setPen(QPen(Qt::white, width, Qt::DotLine));
    painter.drawRect(line);
    painter.restore();
}

namespace {

const char *const KeyboardFocus = "keyboardFocus";

} // namespace

bool ShowsFocusMark(const QWidget *widget) { return widget->hasFocus() && widget->property(KeyboardFocus).toBool(); }

void NoteFocusIn(QWidget *widget, const QFocusEvent *event)
{
    switch (event->reason()) {
    case Qt::ActiveWindowFocusReason:
    case Qt::PopupFocusReason:
    case Qt::MenuBarFocusReason:
        return;
    default:
        widget->setProperty(KeyboardFocus, event->reason() != Qt::MouseFocusReason);
    }
}

PictureBox::PictureBox(QWidget *parent) : QWidget(parent)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::SetImage(const QImage &image)
{
    image_ = image;
    update();
}

bool PictureBox::event(QEvent *event)
{
    if (!isEnabled() && event->type() == QEvent::MouseMove) {
        if (onDisabledMove)
            onDisabledMove();
        return true;
    }
    if (event->type() == QEvent::FocusIn)
        NoteFocusIn(this, static_cast<QFocusEvent *>(event));
    return QWidget::event(event);
}

void PictureBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    // Painted straight from the image: a pixmap copy of it would double its memory.
    if (!image_.isNull())
        painter.drawImage(QPoint(0, 0), image_);
    // The frame over the picture shows its focus.
}

void PictureBox::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
    if (onMouseMove)
        onMouseMove();
}

void PictureBox::mousePressEvent(QMouseEvent *event) { pressed_ = event->button() == Qt::LeftButton; }

void PictureBox::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    if (click && onClick)
        onClick();
}

void PictureBox::keyPressEvent(QKeyEvent *event)
{
    // Space or Enter picks the focused section, as a click does.
    if ((event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && onClick) {
        onClick();
        return;
    }
    QWidget::keyPressEvent(event);
}

ImageControl::ImageControl(QWidget *parent) : QWidget(parent) { setMouseTracking(true); }

void ImageControl::SetStretchedPicture(const QImage &stretched, const QImage &patch, QPoint patchAt,
                                       std::function<QImage()> picture)
{
    // Over the same base only the old and the new patch's places change: a hover repaints those,
    // not the whole map.
    const bool sameBase = !stretched.isNull() && stretched.cacheKey() == stretched_.cacheKey();
    const QRect changed = PatchRect().united(PatchRect(patch, patchAt));
    source_ = std::move(picture);
    stretched_ = stretched;
    patch_ = patch;
    patchAt_ = patchAt;
    if (sameBase)
        update(changed);
    else
        update();
}

QRect ImageControl::PatchRect(const QImage &patch, QPoint at) const
{
    if (patch.isNull())
        return {};
    const qreal scale = devicePixelRatioF();
    return QRectF(QPointF(at) / scale, QSizeF(patch.size()) / scale).toAlignedRect();
}

QRect ImageControl::PatchRect() const { return PatchRect(patch_, patchAt_); }

QImage ImageControl::Picture() const { return source_ ? source_() : QImage(); }

void ImageControl::paintEvent(QPaintEvent *)
{
    // Stretched in the screen's own pixels, so a scaled desktop shows the map crisp.
    const qreal scale = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * scale).toSize();
    if (stretched_.size() != pixels && !(stretched_.isNull() && patch_.size() == pixels)) {
        const QImage picture = Picture();
        if (picture.isNull())
            return;
        stretched_ = picture.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        patch_ = QImage();
    }
    stretched_.setDevicePixelRatio(scale);
    patch_.setDevicePixelRatio(scale);
    QPainter painter(this);
    if (!stretched_.isNull())
        painter.drawImage(QPointF(0, 0), stretched_);
    if (!patch_.isNull())
        painter.drawImage(QPointF(patchAt_) / scale, patch_);
    if (!std::exchange(painted_, true) && onFirstPaint)
        onFirstPaint();
}

void ImageControl::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
    if (onMouseMove)
        onMouseMove();
}

ShapeControl::ShapeControl(Form form, QColor colour, QWidget *parent) : QWidget(parent), form_(form), colour_(colour)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ShapeControl::SetBorderWidth(int pixels)
{
    borderWidth_ = pixels;
    update();
}

void ShapeControl::SetColour(QColor colour)
{
    if (colour == colour_)
        return;
    colour_ = colour;
    update();
}

void ShapeControl::SetLine(QPointF from, QPointF to)
{
    from_ = from;
    to_ = to;
    update();
}

void ShapeControl::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (form_ == Form::Rectangle) {
        // The border lies inside the part of the rectangle that its container shows, so the
        // whole frame is seen even where the rectangle reaches a little past the picture.
        QRect box = rect();
        if (parentWidget())
            box = box.intersected(parentWidget()->rect().translated(-pos()));
        const int w = borderWidth_;
        painter.fillRect(box.left(), box.top(), box.width(), w, colour_);
        painter.fillRect(box.left(), box.bottom() + 1 - w, box.width(), w, colour_);
        painter.fillRect(box.left(), box.top(), w, box.height(), colour_);
        painter.fillRect(box.right() + 1 - w, box.top(), w, box.height(), colour_);
        // The picture it frames has the keyboard's focus: a dotted line along the middle of the border.
        if (parentWidget() && ShowsFocusMark(parentWidget()))
            DrawFocusMark(painter, QRectF(box).adjusted(w / 2.0, w / 2.0, -w / 2.0, -w / 2.0), std::max(1, w / 4));
        return;
    }
    painter.setPen(QPen(colour_, borderWidth_));
    painter.drawLine(from_ - pos(), to_ - pos());
}

} // namespace korsa
