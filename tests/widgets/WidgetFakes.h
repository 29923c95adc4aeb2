#pragma once

#include "settings/SettingsStore.h"
#include "settings/WindowPlacement.h"
#include "shell/AppControl.h"
#include "shell/Commands.h"
#include "shell/MessageBoxes.h"
#include "shell/ProcessLauncher.h"
#include "shell/SoundPlayer.h"

#include <QCoreApplication>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

// Fakes of the interfaces the windows call. Calls are written to an optional
// shared journal so that tests can check the order of steps across fakes.

namespace vindel::test {

class FakeCommands : public shell::Commands {
public:
    void checkNow() override { note("checkNow"); }
    void launchMailer() override { note("launchMailer"); }
    void editSettings() override { note("editSettings"); }
    void toggleTopMost() override { note("toggleTopMost"); }
    void showAbout() override { note("showAbout"); }
    void exitProgram() override { note("exitProgram"); }
    void windowMoved(int leftTwips, int topTwips) override
    {
        moves.emplace_back(leftTwips, topTwips);
        note("windowMoved");
    }
    shell::MenuState windowMenuState() const override
    {
        journalNote("windowMenuState");
        return windowState;
    }
    shell::MenuState trayMenuState() const override
    {
        journalNote("trayMenuState");
        return trayState;
    }

    QStringList calls; // commands run, in order
    std::vector<std::pair<int, int>> moves;
    shell::MenuState windowState;
    shell::MenuState trayState;
    QStringList* journal = nullptr;

private:
    void note(const QString& what)
    {
        calls << what;
        journalNote(what);
    }
    void journalNote(const QString& what) const
    {
        if (journal)
            *journal << what;
    }
};

class FakeAppControl : public shell::AppControl {
public:
    void processPendingEvents() override
    {
        ++pendingEventRuns;
        if (journal)
            *journal << "events";
        QCoreApplication::processEvents();
    }
    void quit() override { ++quits; }
    void endNow(int exitCode) override { endedWith = exitCode; }

    int pendingEventRuns = 0;
    int quits = 0;
    std::optional<int> endedWith;
    QStringList* journal = nullptr;
};

class FakeMessageBoxes : public shell::MessageBoxes {
public:
    void show(const QString& text, shell::MessageStyle style) override
    {
        texts << text;
        styles.push_back(style);
    }

    QStringList texts;
    std::vector<shell::MessageStyle> styles;
};

class FakeSoundPlayer : public shell::SoundPlayer {
public:
    void play(const QString& path) override { played << path; }

    QStringList played;
};

class FakeLauncher : public shell::ProcessLauncher {
public:
    std::optional<QString> start(const QString& commandLine) override
    {
        started << commandLine;
        return failure;
    }
    void openUrl(const QString& url) override { opened << url; }

    QStringList started;
    QStringList opened;
    std::optional<QString> failure; // what start() reports
};

class MemorySettingsStore : public settings::SettingsStore {
public:
    QString get(const QString& app, const QString& section, const QString& key) const override
    {
        return values.value(app + u'/' + section + u'/' + key);
    }
    bool save(const QString& app, const QString& section, const QString& key, const QString& value) override
    {
        values.insert(app + u'/' + section + u'/' + key, value);
        savedKeys << key;
        return true;
    }

    QMap<QString, QString> values; // "app/section/key" -> text
    QStringList savedKeys;
};

// Only what loading and saving the settings asks of the status window.
class FakeWindowPlacement : public settings::WindowPlacement {
public:
    int windowWidthTwips() const override { return 2190; }
    int windowHeightTwips() const override { return 315; }
    int screenWidthTwips() const override { return 19200; }
    int screenHeightTwips() const override { return 14400; }
    int leftTwips() const override { return 0; }
    int topTwips() const override { return 0; }
    void setLeftTwips(int) override {}
    void setTopTwips(int) override {}
    void setTopMost(bool) override {}
};

} // namespace vindel::test
