// The baseline for the start-up benchmark: the least a Qt program with one main window does
// before its window shows.

#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Bare Window"));
    window.show();
    return QApplication::exec();
}
