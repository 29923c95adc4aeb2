// Long runs: thousands of checks in a row through the real socket and timers
// against the demo mailbox and against dovecot, one check right after the
// other. Resident memory and open descriptors are taken after a warm-up and
// at the end; both must stay flat.
#include "DemoPop3Server.h"
#include "ProcessFigures.h"
#include "RealHarness.h"
#include "support/DovecotServer.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>

namespace vindel::test {
namespace {

constexpr qint64 residentGrowthBoundKiB = 2048;

int checksToRun()
{
    bool ok = false;
    const int count = qEnvironmentVariableIntValue("VINDEL_SOAK_CHECKS", &ok);
    return ok && count > 0 ? count : 10000;
}

struct Figures {
    int descriptors = 0;
    qint64 residentKiB = 0;
};

Figures takeFigures()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return {ProcessFigures::openDescriptors(), ProcessFigures::residentKiB()};
}

// Runs `checks` checks one after the other, the next started by the check
// command as soon as the one before has ended, and returns how many ended
// well. Figures are taken after the warm-up and at the end.
int runChecks(RealHarness& h, const QString& expectedStatus, int checks, Figures& start, Figures& end,
              qint64& elapsedMs)
{
    const int warmUp = std::min(200, checks / 10);
    int done = 0;
    bool failed = false;
    QEventLoop loop;
    // Only a hang ends the run early: no check ending for twice the time a
    // silent server may take. How long the run takes is a figure, not a verdict.
    QTimer stalled;
    stalled.setSingleShot(true);
    stalled.setInterval(120000);
    QObject::connect(&stalled, &QTimer::timeout, &loop, [&] {
        failed = true;
        loop.quit();
    });
    const auto checkEnded = [&] {
        if (!h.checkSucceeded() || h.window.status != expectedStatus || !h.firstMessage().isEmpty()) {
            failed = true;
            loop.quit();
            return;
        }
        ++done;
        stalled.start();
        h.journal.clear(); // the fakes' transcript is the test's memory, not the program's
        if (done == warmUp)
            start = takeFigures();
        if (done == checks)
            loop.quit();
        else
            h.popChk.checkNow();
    };
    // The timer is switched on when a check ends, well or not; the next step
    // runs from the event loop, outside the handler that ended the check.
    h.checkTimer.onEnabled = [&] {
        if (h.checkSucceeded() || !h.firstMessage().isEmpty())
            QTimer::singleShot(0, &loop, checkEnded);
    };
    QElapsedTimer clock;
    clock.start();
    if (h.popChk.start({}, QDir::tempPath()) != shell::PopChk::StartResult::Running)
        return 0;
    h.popChk.checkNow();
    stalled.start();
    loop.exec();
    h.checkTimer.onEnabled = nullptr;
    elapsedMs = clock.elapsed();
    // The server's side of the last connection goes a moment later.
    static_cast<void>(QTest::qWaitFor([&] { return takeFigures().descriptors <= start.descriptors; }, 2000));
    end = takeFigures();
    if (failed)
        ADD_FAILURE() << "check " << done + 1 << (stalled.isActive() ? " went wrong:\n" : " hung:\n")
                      << h.journal.join('\n').toStdString();
    return done;
}

void report(const char* server, int checks, const Figures& start, const Figures& end, qint64 elapsedMs)
{
    std::printf("[ figures  ] %s: %d checks in %.1f s (%.2f ms each); descriptors %d -> %d; resident "
                "memory %lld KiB -> %lld KiB (%+lld KiB)\n",
                server, checks, elapsedMs / 1000.0, double(elapsedMs) / checks, start.descriptors,
                end.descriptors, static_cast<long long>(start.residentKiB),
                static_cast<long long>(end.residentKiB),
                static_cast<long long>(end.residentKiB - start.residentKiB));
}

void expectFlat(const Figures& start, const Figures& end)
{
    EXPECT_EQ(end.descriptors, start.descriptors) << "descriptors grew";
    EXPECT_LT(end.residentKiB - start.residentKiB, residentGrowthBoundKiB) << "resident memory grew";
}

TEST(Soak, ThousandsOfChecksAgainstTheDemoMailbox)
{
    const int checks = checksToRun();
    demo::DemoPop3Server server;
    ASSERT_TRUE(server.listen());
    server.setCount(4);
    RealHarness h(local(server.port()));
    Figures start, end;
    qint64 elapsedMs = 0;
    EXPECT_EQ(runChecks(h, "You have 4 Mail(s)", checks, start, end, elapsedMs), checks);
    EXPECT_EQ(server.sessions(), checks);
    report("demo mailbox", checks, start, end, elapsedMs);
    expectFlat(start, end);
}

TEST(Soak, ThousandsOfChecksAgainstDovecot)
{
    const int checks = checksToRun();
    DovecotServer dovecot;
    const quint16 port = dovecot.start(3, "soak-password");
    ASSERT_NE(port, 0) << dovecot.log().toStdString();
    RealHarness h(local(port), "soak-password");
    Figures start, end;
    qint64 elapsedMs = 0;
    EXPECT_EQ(runChecks(h, "You have 3 Mail(s)", checks, start, end, elapsedMs), checks);
    report("dovecot", checks, start, end, elapsedMs);
    expectFlat(start, end);
}

} // namespace
} // namespace vindel::test
