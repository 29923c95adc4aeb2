// The demo mailbox: a POP3 server on 127.0.0.1 whose count of messages grows
// while you watch, so the program can be tried without a mail account.
#include "DemoPop3Server.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

using vindel::demo::DemoPop3Server;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vindel-demo-server"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A demo POP3 mailbox on 127.0.0.1 for trying Vindel out."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port (0: any free one)."),
                                        QStringLiteral("port"), QStringLiteral("0"));
    const QCommandLineOption countOption(QStringLiteral("count"), QStringLiteral("Messages at start."),
                                         QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption everyOption(QStringLiteral("every"),
                                         QStringLiteral("Add a message every so many seconds (0: never)."),
                                         QStringLiteral("seconds"), QStringLiteral("60"));
    const QCommandLineOption passwordOption(QStringLiteral("password"),
                                            QStringLiteral("Password to demand (default: any)."),
                                            QStringLiteral("password"));
    const QCommandLineOption portFileOption(QStringLiteral("port-file"),
                                            QStringLiteral("Write the port number to this file once listening."),
                                            QStringLiteral("file"));
    parser.addOptions({portOption, countOption, everyOption, passwordOption, portFileOption});
    parser.process(app);

    DemoPop3Server server;
    server.setPassword(parser.value(passwordOption));
    server.setCount(parser.value(countOption).toInt());
    if (!server.listen(static_cast<quint16>(parser.value(portOption).toUInt()))) {
        std::fprintf(stderr, "vindel-demo-server: cannot listen: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    std::printf("Demo mailbox on 127.0.0.1:%u with %d message(s).\n", server.port(), server.count());
    std::printf("Press Enter to add a message, type 0 and Enter to empty the mailbox.\n");
    std::fflush(stdout);
    if (parser.isSet(portFileOption)) {
        QFile file(parser.value(portFileOption));
        if (file.open(QIODevice::WriteOnly))
            file.write(QByteArray::number(server.port()) + '\n');
    }

    QObject::connect(&server, &DemoPop3Server::countChanged, [](int count) {
        std::printf("Mailbox now holds %d message(s).\n", count);
        std::fflush(stdout);
    });

    QTimer grow;
    const int every = parser.value(everyOption).toInt();
    if (every > 0) {
        QObject::connect(&grow, &QTimer::timeout, [&server] { server.setCount(server.count() + 1); });
        grow.start(every * 1000);
    }

    // Keys in the terminal, when there is one.
    QSocketNotifier keys(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&keys, &QSocketNotifier::activated, [&server, &keys] {
        char buffer[256];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            keys.setEnabled(false); // no terminal (or it closed): keep serving
            return;
        }
        const QByteArray typed = QByteArray(buffer, got).trimmed();
        server.setCount(typed == "0" ? 0 : server.count() + 1);
    });

    return app.exec();
}
