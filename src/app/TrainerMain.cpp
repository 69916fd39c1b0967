// The trainer: one main window, shown once its load handler has fitted it to the screen.

#include "KorsaResources.h"
#include "Version.h"
#include "platform/QtPlatform.h"
#include "presentation/Form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The desktop's scaling (Xft.dpi, QT_SCALE_FACTOR) is left to Qt: the window is laid out in
    // device-independent pixels of 1/96 inch, which is also the inch Qt gives fonts in points.
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korsa Sorvena Trainer"));
    QApplication::setOrganizationName(QStringLiteral("Penhallow"));
    // Desktops match the window to its desktop entry and icon by this name.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(korsa::version::ApplicationId));
    korsa::InitResources();

    korsa::QtPlatform platform;
    korsa::Form1 window(platform);
    window.Form_Load();
    window.show();
    return QApplication::exec();
}
