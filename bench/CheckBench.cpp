// One full check against dovecot on 127.0.0.1, timed three ways on the same
// mailbox: through the program's engine (the real socket and timers, the
// windows faked), through a minimal blocking client doing the same five
// exchanges, and through `fetchmail --check` when it is installed. Then the
// same over TLS (pop3s, the server's certificate verified against the test
// authority): the engine against a minimal blocking OpenSSL client, and the
// same for one IMAP check over TLS (imaps: LOGIN, STATUS INBOX (UNSEEN),
// LOGOUT). Prints medians side by side.
//
//   check_bench [repetitions]     (default 300)
#include "RealHarness.h"
#include "support/DovecotServer.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSslCertificate>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace vindel::bench {
namespace {

const QString password = QStringLiteral("bench-password");
constexpr int messages = 4;

double medianOf(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(fraction * values.size()))];
}

// The engine: from the check command to the answer to QUIT (the check timer
// back at its minute tick). Returns milliseconds, or -1 when the check failed.
class EngineRun {
public:
    explicit EngineRun(const QString& server, const QString& caFile = {}) : m_harness(server, password)
    {
        if (!caFile.isEmpty())
            m_harness.tcp.addCaCertificates(QSslCertificate::fromPath(caFile));
        m_harness.popChk.start({}, QDir::tempPath());
        m_guard.setSingleShot(true);
        QObject::connect(&m_guard, &QTimer::timeout, &m_loop, &QEventLoop::quit);
        m_harness.checkTimer.onEnabled = [this] {
            if (m_harness.checkSucceeded() || !m_harness.firstMessage().isEmpty()) {
                m_elapsedNs = m_clock.nsecsElapsed();
                m_loop.quit();
            }
        };
    }

    double once()
    {
        m_elapsedNs = -1;
        m_harness.journal.clear();
        m_clock.start();
        m_harness.popChk.checkNow();
        if (m_elapsedNs < 0) {
            m_guard.start(10000); // never wait for ever
            m_loop.exec();
            m_guard.stop();
        }
        if (m_elapsedNs < 0 || !m_harness.checkSucceeded()) {
            std::fprintf(stderr, "engine check failed: %s\n",
                         qPrintable(m_harness.journal.join(QStringLiteral(" | "))));
            // Let the error report's retry pass; the next run starts afresh.
            m_harness.checkTimer.setInterval(60000);
            return -1;
        }
        return m_elapsedNs / 1e6;
    }

private:
    test::RealHarness m_harness;
    QEventLoop m_loop;
    QTimer m_guard;
    QElapsedTimer m_clock;
    qint64 m_elapsedNs = -1;
};

// Reads one reply line; false on end or error.
bool readLine(int descriptor, std::string& line)
{
    line.clear();
    char byte = 0;
    while (::read(descriptor, &byte, 1) == 1) {
        line.push_back(byte);
        if (byte == '\n')
            return true;
    }
    return false;
}

// A minimal blocking client: connect, greeting, USER, PASS, STAT, QUIT.
double rawOnce(quint16 port)
{
    QElapsedTimer clock;
    clock.start();
    const int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int noDelay = 1;
    ::setsockopt(descriptor, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    bool ok = ::connect(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    const std::string commands[] = {"USER vindel\r\n", "PASS " + password.toStdString() + "\r\n", "STAT\r\n",
                                    "QUIT\r\n"};
    std::string line;
    ok = ok && readLine(descriptor, line) && line.rfind("+OK", 0) == 0;
    for (const std::string& command : commands) {
        ok =
            ok && ::write(descriptor, command.data(), command.size()) == static_cast<ssize_t>(command.size());
        ok = ok && readLine(descriptor, line) && line.rfind("+OK", 0) == 0;
    }
    const qint64 elapsedNs = clock.nsecsElapsed();
    ::close(descriptor);
    return ok ? elapsedNs / 1e6 : -1;
}

// The same five exchanges over TLS with OpenSSL alone, blocking: a fresh
// handshake each time (no session resumed), the certificate and the name
// verified as the engine does.
class RawTlsClient {
public:
    explicit RawTlsClient(const QString& caFile) : m_context(SSL_CTX_new(TLS_client_method()))
    {
        SSL_CTX_set_min_proto_version(m_context, TLS1_2_VERSION);
        SSL_CTX_set_verify(m_context, SSL_VERIFY_PEER, nullptr);
        SSL_CTX_set_session_cache_mode(m_context, SSL_SESS_CACHE_OFF);
        SSL_CTX_load_verify_locations(m_context, caFile.toLocal8Bit().constData(), nullptr);
    }
    ~RawTlsClient() { SSL_CTX_free(m_context); }

    double once(quint16 port)
    {
        return timed(port, [this](SSL* ssl) {
            const std::string commands[] = {"USER vindel\r\n", "PASS " + password.toStdString() + "\r\n",
                                            "STAT\r\n", "QUIT\r\n"};
            std::string line;
            bool ok = readLine(ssl, line) && line.rfind("+OK", 0) == 0;
            for (const std::string& command : commands) {
                ok = ok && write(ssl, command);
                ok = ok && readLine(ssl, line) && line.rfind("+OK", 0) == 0;
            }
            return ok;
        });
    }

    // The IMAP check: the greeting, then LOGIN, STATUS INBOX (UNSEEN) and
    // LOGOUT, each read up to its tagged "OK" (the tags the engine uses).
    double onceImap(quint16 port)
    {
        return timed(port, [this](SSL* ssl) {
            const std::string commands[] = {"v2 LOGIN \"vindel\" \"" + password.toStdString() + "\"\r\n",
                                            "v3 STATUS INBOX (UNSEEN)\r\n", "v4 LOGOUT\r\n"};
            std::string line;
            bool ok = readLine(ssl, line) && line.rfind("* OK", 0) == 0;
            bool counted = false;
            for (const std::string& command : commands) {
                const std::string tag = command.substr(0, 3);
                ok = ok && write(ssl, command);
                do {
                    ok = ok && readLine(ssl, line);
                    counted = counted || line.rfind("* STATUS INBOX (UNSEEN ", 0) == 0;
                } while (ok && line.rfind(tag, 0) != 0);
                ok = ok && line.rfind(tag + "OK", 0) == 0;
            }
            return ok && counted;
        });
    }

private:
    // Milliseconds from connecting to the end of the conversation, or -1
    // when it failed.
    double timed(quint16 port, const std::function<bool(SSL*)>& conversation)
    {
        QElapsedTimer clock;
        clock.start();
        int descriptor = -1;
        SSL* ssl = open(port, descriptor);
        const bool ok = ssl != nullptr && conversation(ssl);
        const qint64 elapsedNs = clock.nsecsElapsed();
        SSL_free(ssl);
        ::close(descriptor);
        return ok ? elapsedNs / 1e6 : -1;
    }

    // A connection to 127.0.0.1 with the handshake done, or null.
    SSL* open(quint16 port, int& descriptor)
    {
        descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int noDelay = 1;
        ::setsockopt(descriptor, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        bool ok = ::connect(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        SSL* ssl = SSL_new(m_context);
        SSL_set_fd(ssl, descriptor);
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), "127.0.0.1"); // as the engine checks it
        if (ok && SSL_connect(ssl) == 1)
            return ssl;
        SSL_free(ssl);
        return nullptr;
    }

    static bool write(SSL* ssl, const std::string& command)
    {
        return SSL_write(ssl, command.data(), static_cast<int>(command.size())) ==
               static_cast<int>(command.size());
    }

    // One reply line, read in blocks as a TLS client naturally would.
    bool readLine(SSL* ssl, std::string& line)
    {
        line.clear();
        for (;;) {
            const size_t end = m_pending.find('\n');
            if (end != std::string::npos) {
                line = m_pending.substr(0, end + 1);
                m_pending.erase(0, end + 1);
                return true;
            }
            char buffer[4096];
            const int got = SSL_read(ssl, buffer, sizeof buffer);
            if (got <= 0) {
                m_pending.clear();
                return false;
            }
            m_pending.append(buffer, static_cast<size_t>(got));
        }
    }

    SSL_CTX* m_context;
    std::string m_pending;
};

// `fetchmail --check` as a user would run it: the whole process.
class FetchmailRun {
public:
    FetchmailRun(quint16 port, const QString& program) : m_program(program.toStdString())
    {
        m_rc = m_folder.filePath(QStringLiteral("fetchmailrc")).toStdString();
        QFile rc(QString::fromStdString(m_rc));
        if (rc.open(QIODevice::WriteOnly)) {
            rc.write(
                QStringLiteral("set no syslog\npoll 127.0.0.1 with proto POP3 port %1 no uidl\n"
                               "  user \"vindel\" there with password \"%2\" is \"root\" here sslproto ''\n")
                    .arg(port)
                    .arg(password)
                    .toUtf8());
            rc.close();
            rc.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        }
        m_home = "FETCHMAILHOME=" + m_folder.path().toStdString();
    }

    // Milliseconds, or -1 when fetchmail did not find the mail.
    double once(bool quiet = true)
    {
        std::vector<std::string> args = {m_program, "--check", "--fetchmailrc", m_rc, "--nosyslog"};
        if (quiet)
            args.push_back("--silent");
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        std::vector<char*> env = {m_home.data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (quiet) {
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
            posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        }
        QElapsedTimer clock;
        clock.start();
        pid_t pid = 0;
        const int spawned = posix_spawn(&pid, m_program.c_str(), &actions, nullptr, argv.data(), env.data());
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0)
            return -1;
        int status = 0;
        ::waitpid(pid, &status, 0);
        const qint64 elapsedNs = clock.nsecsElapsed();
        // Exit code 0: mail is waiting (the mailbox holds some).
        return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? elapsedNs / 1e6 : -1;
    }

private:
    std::string m_program;
    QTemporaryDir m_folder;
    std::string m_rc;
    std::string m_home;
};

struct Series {
    explicit Series(const char* name) : name(name) {}
    const char* name;
    std::vector<double> ms;
    int failures = 0;
    void add(double value)
    {
        if (value < 0)
            ++failures;
        else
            ms.push_back(value);
    }
};

// Runs two clients in turn: 20 rounds to warm up, then `repetitions` timed.
void alternate(int repetitions, Series& first, const std::function<double()>& runFirst, Series& second,
               const std::function<double()>& runSecond)
{
    for (int i = 0; i < 20; ++i) {
        runFirst();
        runSecond();
    }
    for (int i = 0; i < repetitions; ++i) {
        first.add(runFirst());
        second.add(runSecond());
    }
}

} // namespace
} // namespace vindel::bench

int main(int argc, char** argv)
{
    using namespace vindel::bench;
    QCoreApplication app(argc, argv);
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;

    vindel::test::DovecotServer dovecot;
    // Over loopback dovecot takes the plain login too, so one server serves
    // the plain, the TLS and the IMAP figures (IMAP only with dovecot-imapd).
    quint16 port = dovecot.startWithImap(messages, password);
    const bool imap = port != 0;
    if (!imap)
        port = dovecot.startWithTls(messages, password);
    if (port == 0) {
        std::fprintf(stderr, "dovecot did not start:\n%s\n", qPrintable(dovecot.log()));
        return 1;
    }
    const QString fetchmail = QStandardPaths::findExecutable(QStringLiteral("fetchmail"));

    EngineRun engine(vindel::test::local(port));
    std::unique_ptr<FetchmailRun> fetch;
    const char* fetchmailNote = "not installed (apt-get install fetchmail)";
    if (!fetchmail.isEmpty()) {
        fetch = std::make_unique<FetchmailRun>(port, fetchmail);
        if (fetch->once(false) < 0) {
            fetchmailNote = "did not find the mail (see its messages above)";
            fetch.reset();
        }
    }

    Series engineSeries{"engine (vindel)"};
    Series rawSeries{"minimal raw client"};
    Series fetchSeries{"fetchmail --check"};
    // Warm up, then alternate so that drift in the server hits all alike.
    for (int i = 0; i < 20; ++i) {
        engine.once();
        rawOnce(port);
    }
    for (int i = 0; i < repetitions; ++i) {
        engineSeries.add(engine.once());
        rawSeries.add(rawOnce(port));
        if (fetch)
            fetchSeries.add(fetch->once());
    }

    std::printf("command: %s %d   (dovecot on 127.0.0.1:%u, %d messages; one check = connect, greeting, "
                "USER, PASS, STAT, QUIT answered)\n",
                argv[0], repetitions, port, messages);
    std::printf("%-22s %10s %10s %10s %9s\n", "client", "median ms", "p10 ms", "p90 ms", "failures");
    std::vector<Series*> all = {&engineSeries, &rawSeries};
    if (fetch)
        all.push_back(&fetchSeries);
    for (Series* series : all)
        std::printf("%-22s %10.3f %10.3f %10.3f %9d\n", series->name, medianOf(series->ms),
                    percentile(series->ms, 0.1), percentile(series->ms, 0.9), series->failures);
    const double engineMedian = medianOf(engineSeries.ms);
    const double rawMedian = medianOf(rawSeries.ms);
    std::printf("engine / raw client: %.3fx (goal at most 1.10x)\n", engineMedian / rawMedian);
    if (fetch)
        std::printf("fetchmail / engine: %.2fx (goal above 1: the engine faster)\n",
                    medianOf(fetchSeries.ms) / engineMedian);
    else
        std::printf("fetchmail --check: %s, left out\n", fetchmailNote);

    // The same check over TLS from the start.
    const QString caFile = dovecot.certificatePath(QStringLiteral("ca"));
    EngineRun tlsEngine(QStringLiteral("pop3s://127.0.0.1:%1").arg(dovecot.tlsPort()), caFile);
    RawTlsClient rawTls(caFile);
    Series tlsEngineSeries{"engine over TLS"};
    Series rawTlsSeries{"minimal OpenSSL client"};
    alternate(
        repetitions, tlsEngineSeries, [&] { return tlsEngine.once(); }, rawTlsSeries,
        [&] { return rawTls.once(dovecot.tlsPort()); });
    std::printf("\nover TLS (pop3s on 127.0.0.1:%u, certificate and address verified, no session resumed)\n",
                dovecot.tlsPort());
    std::printf("%-22s %10s %10s %10s %9s\n", "client", "median ms", "p10 ms", "p90 ms", "failures");
    for (Series* series : {&tlsEngineSeries, &rawTlsSeries})
        std::printf("%-22s %10.3f %10.3f %10.3f %9d\n", series->name, medianOf(series->ms),
                    percentile(series->ms, 0.1), percentile(series->ms, 0.9), series->failures);
    const double tlsEngineMedian = medianOf(tlsEngineSeries.ms);
    std::printf("TLS engine / TLS raw client: %.3fx (goal at most 1.10x); TLS engine / plain engine: %.2fx\n",
                tlsEngineMedian / medianOf(rawTlsSeries.ms), tlsEngineMedian / engineMedian);
    int failures =
        engineSeries.failures + rawSeries.failures + tlsEngineSeries.failures + rawTlsSeries.failures;

    // One IMAP check over TLS from the start.
    if (!imap) {
        std::printf("\nIMAP: dovecot-imapd is not installed, left out\n");
        return failures > 0 ? 1 : 0;
    }
    EngineRun imapEngine(QStringLiteral("imaps://127.0.0.1:%1").arg(dovecot.imapsPort()), caFile);
    Series imapEngineSeries{"engine over imaps"};
    Series rawImapSeries{"minimal OpenSSL client"};
    alternate(
        repetitions, imapEngineSeries, [&] { return imapEngine.once(); }, rawImapSeries,
        [&] { return rawTls.onceImap(dovecot.imapsPort()); });
    std::printf("\nIMAP over TLS (imaps on 127.0.0.1:%u, %d unseen; greeting, LOGIN, STATUS INBOX (UNSEEN), "
                "LOGOUT answered)\n",
                dovecot.imapsPort(), messages);
    std::printf("%-22s %10s %10s %10s %9s\n", "client", "median ms", "p10 ms", "p90 ms", "failures");
    for (Series* series : {&imapEngineSeries, &rawImapSeries})
        std::printf("%-22s %10.3f %10.3f %10.3f %9d\n", series->name, medianOf(series->ms),
                    percentile(series->ms, 0.1), percentile(series->ms, 0.9), series->failures);
    const double imapEngineMedian = medianOf(imapEngineSeries.ms);
    std::printf(
        "imaps engine / imaps raw client: %.3fx (goal at most 1.10x); imaps engine / pop3s engine: %.2fx\n",
        imapEngineMedian / medianOf(rawImapSeries.ms), imapEngineMedian / tlsEngineMedian);
    failures += imapEngineSeries.failures + rawImapSeries.failures;
    return failures > 0 ? 1 : 0;
}
