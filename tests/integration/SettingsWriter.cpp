// Saves two settings records alternately in a tight loop until it is killed,
// for the test that kills it with SIGKILL in the middle of a save. Prints
// "ready" once the first save is on disk. Ends by itself after a minute in
// case nobody kills it.
#include "Fakes.h"
#include "SettingsRecords.h"
#include "platform/IniSettingsStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    using namespace vindel;
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <settings folder>\n", argv[0]);
        return 2;
    }
    platform::IniSettingsStore store(QString::fromLocal8Bit(argv[1]));
    settings::WindowPlacement window;
    settings::Globals globals;
    settings::ConfigStore config(globals, store);

    const settings::ConfigRecord records[] = {test::settingsRecordA(), test::settingsRecordB()};
    QElapsedTimer running;
    running.start();
    for (quint64 saves = 0; running.elapsed() < 60000; ++saves) {
        globals.config = records[saves % 2];
        config.saveConfig();
        if (saves == 0) {
            std::puts("ready");
            std::fflush(stdout);
        }
    }
    return 1;
}
