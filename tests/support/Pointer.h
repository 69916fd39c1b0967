#pragma once

#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QWidget>

namespace korsa::test {

// A click, or with clicks 2 a double-click: a click and then the second click, which Qt reports as
// the double-click. delay: milliseconds since the last event, -1 for Qt's default.
inline void Click(QWidget *widget, QPoint at, int clicks = 1, Qt::KeyboardModifiers keys = {}, int delay = -1)
{
    QTest::mouseClick(widget, Qt::LeftButton, keys, at, delay);
    if (clicks == 2)
        QTest::mouseDClick(widget, Qt::LeftButton, keys, at);
}

// The centre of a horizontal scroll bar's thumb, where a user takes it.
inline QPoint ThumbCentre(QScrollBar *bar)
{
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = Qt::Horizontal;
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.pageStep = bar->pageStep();
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, bar).center();
}

} // namespace korsa::test
