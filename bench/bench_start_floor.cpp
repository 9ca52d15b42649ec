// The floor of bench_start: a bare Qt window, nothing else linked in. Started the way the program is;
// prints what bench_start reads (see StartMark.h). With "--text" the window shows one line of text,
// which is what loading the font system costs any window that shows words.
#include "StartMark.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Floor"));
    window.resize(475, 309);
    if (argc > 1 && QByteArray(argv[1]) == "--text")
        window.setCentralWidget(new QLabel(QStringLiteral("Floor"), &window));
    StartMark mark(&window);
    window.show();
    return app.exec();
}
