// The floor of bench_start: a bare Qt window, nothing else linked in. Started the way the program is;
// prints what bench_start reads (see StartMark.h).
#include "StartMark.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Floor"));
    window.resize(475, 309);
    StartMark mark(&window);
    window.show();
    return app.exec();
}
