// The trainer: one main window, shown once its load handler has fitted it to the screen.

#include "KorsaResources.h"
#include "platform/QtPlatform.h"
#include "presentation/Form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The window is laid out in pixels of 1/96 inch (15 twips); its fonts must use the same inch.
    if (!qEnvironmentVariableIsSet("QT_FONT_DPI"))
        qputenv("QT_FONT_DPI", "96");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korsa Sorvena Trainer"));
    QApplication::setOrganizationName(QStringLiteral("Penhallow"));
    korsa::InitResources();

    korsa::QtPlatform platform;
    korsa::Form1 window(platform);
    window.Form_Load();
    window.show();
    return QApplication::exec();
}
