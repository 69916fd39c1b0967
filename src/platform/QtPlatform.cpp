#include "platform/QtPlatform.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QGridLayout>
#include <QMessageBox>
#include <QScreen>

#include <cstdio>
#include <cstdlib>

#ifdef KORSA_COVERAGE
extern "C" void __gcov_dump();
#endif

namespace korsa {

namespace {

// Window managers set a caption in a larger, bold face between the window's icon and its buttons; a
// box only as wide as its text has its caption cut short ("Korsa...rainer"). The box is kept wide
// enough for the caption in such a face with room for six buttons' worth beside it, by a blank
// item across the box's layout; its texts, icon and buttons stay as they are.
void KeepCaptionWidth(QMessageBox &box)
{
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (!grid)
        return;
    QFont face = box.font();
    face.setBold(true);
    face.setPointSizeF(face.pointSizeF() * 1.25);
    const QFontMetrics metrics(face);
    const int width = metrics.horizontalAdvance(box.windowTitle()) + 6 * metrics.height();
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Ignored), 0, 0, 1, grid->columnCount());
}

} // namespace

void QtPlatform::ShowMessage(const QString &text, const QString &caption)
{
    QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, QApplication::activeWindow());
    box.setObjectName(QStringLiteral("message"));
    KeepCaptionWidth(box);
    box.exec();
}

void QtPlatform::Terminate(int status)
{
    std::fflush(stdout);
    std::fflush(stderr);
#ifdef KORSA_COVERAGE
    // Ending at once skips the exit handlers that would write a coverage build's counters.
    __gcov_dump();
#endif
    std::_Exit(status);
}

int QtPlatform::ScreenHeightPixels() const
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? qRound(screen->geometry().height() * screen->devicePixelRatio()) : 0;
}

QString QtPlatform::ProgramFolder() const { return QDir::toNativeSeparators(QCoreApplication::applicationDirPath()); }

SaveAnswer QtPlatform::AskToSave(const QString &text, const QString &caption)
{
    QMessageBox box(QMessageBox::Question, caption, text,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QApplication::activeWindow());
    box.setObjectName(QStringLiteral("question"));
    KeepCaptionWidth(box);
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save:
        return SaveAnswer::Save;
    case QMessageBox::Discard:
        return SaveAnswer::Discard;
    default:
        return SaveAnswer::Cancel;
    }
}

} // namespace korsa
