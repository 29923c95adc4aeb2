// The yardstick for memory: a bare Qt tray program, one icon with a tip and
// a menu. It ends by itself after the given seconds.
//
//   bare_tray [seconds]
#include <QApplication>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>

#include <cstdlib>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QPixmap picture(16, 16);
    picture.fill(Qt::darkBlue);
    QMenu menu;
    menu.addAction(QStringLiteral("Exit"), &app, &QApplication::quit);
    QSystemTrayIcon tray{QIcon(picture)};
    tray.setToolTip(QStringLiteral("bare tray"));
    tray.setContextMenu(&menu);
    tray.show();
    QTimer::singleShot((argc > 1 ? std::atoi(argv[1]) : 60) * 1000, &app, &QApplication::quit);
    return app.exec();
}
