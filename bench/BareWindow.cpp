// The yardstick for start-up: a bare Qt window program with one label, the
// size of the status window. It ends by itself after the given seconds.
//
//   bare_window [seconds]
#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <cstdlib>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("You have No mail"));
    window.setWindowTitle(QStringLiteral("bare window"));
    window.resize(146, 21);
    window.show();
    QTimer::singleShot((argc > 1 ? std::atoi(argv[1]) : 60) * 1000, &app, &QApplication::quit);
    return app.exec();
}
