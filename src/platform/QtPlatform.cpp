#include "platform/QtPlatform.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QMessageBox>
#include <QScreen>

#include <cstdio>
#include <cstdlib>

#ifdef KORSA_COVERAGE
extern "C" void __gcov_dump();
#endif

namespace korsa {

void QtPlatform::ShowMessage(const QString &text, const QString &caption)
{
    QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, QApplication::activeWindow());
    box.setObjectName(QStringLiteral("message"));
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
