#pragma once

#include "../unit/Fakes.h"
#include "shell/AppControl.h"
#include "shell/Commands.h"

#include <QCoreApplication>
#include <QStringList>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

// Fakes of the interfaces only the windows call; the others are those of the
// unit tests. Calls are written to an optional shared journal so that tests
// can check the order of steps across fakes.

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
        if (whileYielding)
            whileYielding();
    }
    void quit() override { ++quits; }
    void endNow(int exitCode) override { endedWith = exitCode; }

    int pendingEventRuns = 0;
    int quits = 0;
    std::optional<int> endedWith;
    QStringList* journal = nullptr;
    std::function<void()> whileYielding; // what queued events do during a yield
};

} // namespace vindel::test
