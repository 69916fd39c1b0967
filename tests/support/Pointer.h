#pragma once

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

} // namespace korsa::test
