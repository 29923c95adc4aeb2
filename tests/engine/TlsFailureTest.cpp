// Secured connections that must not be made: each case runs one check
// against a scripted server on 127.0.0.1 and asserts the failure's number
// and words, its reaction (a transient error through the error report, the
// connection closed), that it ended within its limit, that nothing of the
// login went out, and that no descriptor is left open; and that what must
// work over TLS does, a flood inside TLS included.
#include "Certificates.h"
#include "ProcessFigures.h"
#include "RealHarness.h"
#include "support/ScriptedPop3Server.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace vindel::test {
namespace {

constexpr int limitMs = 400;

// Weak certificates are refused by the client's own floor, not by the TLS
// library's security level: the whole process runs at level 0.
const bool anySecurityLevel = qputenv("OPENSSL_CONF", VINDEL_ANY_SECURITY_LEVEL);

ServerScript login(ServerScript script)
{
    return script.expect("USER vindel\r\n")
        .send("+OK\r\n")
        .expect("PASS secret\r\n")
        .send("+OK\r\n")
        .expect("STAT\r\n")
        .send("+OK 2 320\r\n")
        .expect("QUIT\r\n")
        .send("+OK bye\r\n")
        .stayOpen();
}

ServerScript afterStls(const QByteArray& answer)
{
    return ServerScript().send("+OK ready\r\n").expect("STLS\r\n").send(answer);
}

struct TlsCase {
    const char* name;
    QString scheme;           // "pop3s://", "pop3+stls://" or "" (plain)
    QString identity;         // the server's certificate; empty: a server without TLS
    QString pin;              // the certificate whose fingerprint is pinned, or empty
    int number;               // 0: the check counts "2"
    QString words;            // what the message must say
    ServerScript script = {}; // none: a whole login, after STLS for the STLS form
    int withinMs = limitMs + 1500;
    QString host = QStringLiteral("localhost"); // the setting's host, looked up as 127.0.0.1

    // A server with a certificate starts TLS at once unless it waits for STLS.
    bool implicitTls() const { return !identity.isEmpty() && scheme != "pop3+stls://"; }
    ServerScript serverScript() const
    {
        if (!script.steps().isEmpty())
            return script;
        if (scheme == "pop3+stls://")
            return login(afterStls("+OK begin\r\n").startTls()); // no second greeting
        return login(ServerScript().send("+OK ready\r\n"));
    }
};

std::vector<TlsCase> cases()
{
    ServerScript plainAfterOk = afterStls("+OK\r\n");
    plainAfterOk.silence(100).send("+OK go on in the clear\r\n").stayOpen();
    const QString none;
    const QString timedOut = QStringLiteral("timed out");
    const QString handshakeFailed = QStringLiteral("The TLS handshake with the server failed");
    return {
        // What the certificate says is checked, and named in the message.
        {"WrongHostName", "pop3s://", "other", none, 12038,
         "The server's certificate is for mail.other.test, not localhost"},
        {"ExpiredCertificate", "pop3s://", "expired", none, 12037, "expired on 2020-12-31 00:00 UTC"},
        {"SelfSignedWithoutPin", "pop3s://", "self", none, 12045,
         "(for localhost, 127.0.0.1) is self-signed"},
        // A certificate's names are the sender's words: they start no line.
        {"ControlCharactersInTheName", "pop3s://", "forged", none, 12045,
         "(for localhost\\x0Aforged\\x0D\\x1B[2J) is self-signed"},
        // A pin stands in for the authorities, never for a weak key or signature.
        {"PinnedWeakRsaKey", "pop3s://", "weak", "weak", 12169,
         "(for localhost, 127.0.0.1) has a 1024-bit RSA key; at least 2048 bits are needed"},
        {"PinnedSha1Signature", "pop3+stls://", "sha1", "sha1", 12169,
         "(for localhost, 127.0.0.1) is signed with SHA-1"},
        {"WeakKeyTheAuthoritiesVouchFor", "pop3s://", "rsa1024", none, 12169, "has a 1024-bit RSA key"},
        {"PinOfAnotherCertificate", "pop3s://", "self", "server", 12181,
         "The server's certificate has changed: the setting expects SHA-256 "},
        {"PinOfAnotherCertificateAuthoritiesVouchFor", "pop3+stls://", "server", "self", 12181,
         "the server showed "},
        // A rejected reply inside TLS, then a flood: as in plain, the check
        // reads no more of it and the flood stalls with the server.
        {"FloodInsideTlsAfterARejectedReply", "pop3s://", "self", "self", 99999, " go away\r\n",
         ServerScript().send("-ERR go away\r\n").flood('A', 256 * 1024 * 1024)},
        // STLS is all or nothing.
        {"RefusesStls", "pop3+stls://", none, none, 12180,
         "The server refused STLS, so the connection cannot be encrypted: -ERR not here",
         afterStls("-ERR not here\r\n").stayOpen()},
        {"AgreesToStlsThenTalksPlain", "pop3+stls://", none, none, 12157, handshakeFailed, plainAfterOk},
        {"PlainTextBehindTheOkToStls", "pop3+stls://", none, none, 12157, "after agreeing to STLS",
         afterStls("+OK\r\n+OK injected\r\n").stayOpen()},
        // Silence in the handshake ends at the reply limit.
        {"StallsInTheStlsHandshake", "pop3+stls://", none, none, 10060, timedOut,
         afterStls("+OK\r\n").stayOpen()},
        {"StallsInTheHandshake", "pop3s://", none, none, 10060, timedOut, ServerScript().stayOpen()},
        // The wrong kind of server on the port.
        {"PlainServerOnTheTlsPort", "pop3s://", none, none, 12157, handshakeFailed},
        {"TlsServerOnAPlainPort", "", "server", none, 10060, timedOut},
        // IMAP: a literal announcing gigabytes is refused unread, whatever
        // follows; untagged data is no answer, and the limit ends the wait.
        {"ImapLiteralOfGigabytesThenTheBytes", "imaps://", "self", "self", 99999, "Reply longer than 65536",
         ServerScript()
             .send("* OK\r\n")
             .expect("v2 LOGIN \"vindel\" \"secret\"\r\n")
             .send("v2 OK\r\n")
             .expect("v3 STATUS INBOX (UNSEEN)\r\n")
             .send("* STATUS {4000000000}\r\n")
             .flood('\n', 256 * 1024 * 1024)},
        {"ImapNoTaggedAnswer", "imaps://", "self", "self", 10060, timedOut,
         ServerScript()
             .send("* PREAUTH\r\n")
             .expect("v3 STATUS INBOX (UNSEEN)\r\n")
             .send("* 1 EXISTS\r\n")
             .stayOpen()},
        // And what must work: a pinned certificate whatever its dates, the
        // host's name with the root's final dot, and the pinned self-signed
        // certificate over both forms.
        {"PinnedExpired", "pop3s://", "expired", "expired", 0, {}},
        {"HostNameWithAFinalDot", "pop3s://", "server", none, 0, none, ServerScript(), limitMs + 1500,
         "localhost."},
        {"PinnedSelfSigned", "pop3s://", "self", "self", 0, {}},
        {"PinnedSelfSignedOverStls", "pop3+stls://", "self", "self", 0, {}},
    };
}

void PrintTo(const TlsCase& c, std::ostream* out)
{
    *out << c.name;
}

class TlsFailure : public ::testing::TestWithParam<TlsCase> {
protected:
    static void SetUpTestSuite()
    {
        // One secured check first, so that what the TLS library opens once per
        // process is open before the descriptors are counted.
        ASSERT_TRUE(Certificates::get().made);
        run(cases().back());
    }

    static void run(const TlsCase& c,
                    const std::function<void(RealHarness&, ScriptedPop3Server&, qint64)>& then = {})
    {
        const Certificates& certificates = Certificates::get();
        ScriptedPop3Server server(c.serverScript());
        ASSERT_TRUE(server.isListening());
        if (!c.identity.isEmpty())
            server.setTlsIdentity({certificates.certificate(c.identity)}, certificates.key(c.identity),
                                  c.implicitTls());
        const QString host = c.scheme.isEmpty() ? QStringLiteral("127.0.0.1") : c.host;
        platform::QtTcpClient::Options options;
        options.lookup = [](const QString&) { return QHostInfo::fromName(QStringLiteral("127.0.0.1")); };
        RealHarness h(c.scheme + QStringLiteral("%1:%2").arg(host).arg(server.port()) +
                          (c.pin.isEmpty() ? QString() : certificates.pin(c.pin)),
                      "secret", options);
        h.tcp.addCaCertificates({certificates.certificate("ca")});
        h.popChk.setReplyLimit(limitMs);
        QElapsedTimer clock;
        clock.start();
        const bool ended = h.runFirstCheck(c.withinMs + 2000);
        const qint64 elapsed = clock.elapsed();
        if (!h.checkSucceeded())
            h.checkTimer.setEnabled(false); // no retry from here
        ASSERT_TRUE(ended) << h.journal.join('\n').toStdString();
        if (then)
            then(h, server, elapsed);
    }
};

TEST_P(TlsFailure, EndsAsItShould)
{
    const TlsCase& c = GetParam();
    const int descriptorsBefore = ProcessFigures::openDescriptors();
    const bool peakResets = ProcessFigures::resetPeak();
    const qint64 residentBefore = ProcessFigures::residentKiB();
    run(c, [&](RealHarness& h, ScriptedPop3Server& server, qint64 elapsed) {
        EXPECT_LE(elapsed, c.withinMs);
        if (c.number == 99999) {
            EXPECT_TRUE(h.firstMessage().startsWith("message 48 Error 99999\r\n\r\n" + c.words));
            QSignalSpy finished(&server, &ScriptedPop3Server::scriptFinished);
            EXPECT_FALSE(server.isFinished(0) || finished.wait(1000)) << "the flood was read on";
            if (peakResets) {
                EXPECT_LT(ProcessFigures::peakResidentKiB() - residentBefore, 16 * 1024);
            }
            return;
        }
        EXPECT_FALSE(h.tcp.isOpen());
        if (c.number == 0) {
            EXPECT_TRUE(h.checkSucceeded()) << h.journal.join('\n').toStdString();
            EXPECT_EQ(h.window.status, "You have 2 Mail(s)");
            EXPECT_TRUE(server.mismatches().isEmpty()) << server.mismatches().join('\n').toStdString();
            return;
        }
        // A transient failure: the message, then the dialog and a retry; the
        // program goes on.
        const QString message = h.firstMessage();
        EXPECT_TRUE(message.startsWith(QStringLiteral("message 48 Error %1\r\n\r\n").arg(c.number)))
            << message.toStdString();
        EXPECT_TRUE(message.contains(c.words)) << message.toStdString();
        // It says what is wrong; it never offers pinning as the way round.
        EXPECT_FALSE(message.contains("pin", Qt::CaseInsensitive) || message.contains("anyway"));
        EXPECT_TRUE(h.journal.contains("dialog")) << h.journal.join('\n').toStdString();
        EXPECT_FALSE(h.journal.contains("quit"));
        // Counted once: one failure, one line in the system log, and no text
        // of the server's starts a line of its own.
        EXPECT_EQ(h.systemLog.lines.size(), 1);
        EXPECT_TRUE(h.systemLog.lines.value(0).contains(c.words)) << h.systemLog.lines.value(0).toStdString();
        EXPECT_FALSE(h.systemLog.lines.value(0).contains(QRegularExpression("[\\x00-\\x1f]")));
        if (c.number == 10060) {
            EXPECT_GE(elapsed, limitMs - 20) << "ended before the reply limit";
        }
        // Nothing of the login ever left the program.
        EXPECT_FALSE(h.wire.sent.contains("USER")) << h.wire.sent.toStdString();
        EXPECT_FALSE(server.received(0).contains("USER"));
        EXPECT_FALSE(server.received(0).contains("secret"));
    });
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(ProcessFigures::openDescriptors(), descriptorsBefore) << "a descriptor was left open";
}

INSTANTIATE_TEST_SUITE_P(Cases, TlsFailure, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<TlsCase>& info) { return info.param.name; });

} // namespace
} // namespace vindel::test
