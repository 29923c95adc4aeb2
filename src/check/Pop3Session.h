#pragma once

#include "check/CheckVariables.h"
#include "check/ReplyFramer.h"
#include "check/TcpClient.h"
#include "check/Timer.h"
#include "diag/ErrorReporter.h"
#include "diag/EventLog.h"
#include "settings/ConfigRecord.h"
#include "shell/StatusView.h"

#include <functional>

namespace vindel::settings {
class ConfigStore;
}

namespace vindel::check {

class MailCountReport;

// One POP3 conversation: the greeting, USER, PASS, STAT and QUIT, one step
// per "+OK" reply. A reply that does not start with "+OK" is reported as
// error 99999 and leaves state and connection as they are; the rest of what
// that connection sends is ignored until the next check connects. A check that gets
// no complete reply within the reply limit ends as connection error 10060.
//
// Only the four commands ever reach the server: a user name or password that
// holds CR, LF or NUL (which would end the command and start another) is not
// sent; the check closes the connection and fails as error 5.
class Pop3Session {
public:
    static constexpr int rejectedReplyNumber = 99999;
    static constexpr int unsendableNumber = 5;
    static constexpr int defaultReplyLimitMs = 60000;

    Pop3Session(settings::Globals& globals, CheckVariables& variables, TcpClient& tcp, Timer& checkTimer,
                Timer& replyTimer, shell::StatusView& view, diag::EventLog& log,
                diag::ErrorReporter& reporter, MailCountReport& report);

    // Where a check that outlived the reply limit goes: the connection-error
    // handling, with 10060.
    void setTimeoutHandler(std::function<void(const diag::Failure&)> handler);
    void setReplyLimit(int milliseconds) { m_replyLimitMs = milliseconds; }
    // Where the user name and password get the bytes they are sent as (their
    // stored bytes); without one they go as UTF-8.
    void setConfigStore(const settings::ConfigStore& config) { m_config = &config; }

    // A check has opened its connection: forget old bytes, start waiting.
    void connectionOpened();
    // The check ended on a connection error: stop waiting.
    void stopWaiting();

    // Bytes from the server, in any pieces.
    void dataArrived(const QByteArray& bytes);
    // One complete reply, line end included.
    void handleReply(const QByteArray& reply);

private:
    void handleRejected(const QString& errorText);
    // Sends a credential command, or ends the check when the value cannot be sent.
    void sendCredential(const QString& newState, const QString& status, const QString& logWords,
                        const QByteArray& word, const QByteArray& value, const QString& what);
    void refuseToSend(const QString& description);
    void advance(const QString& newState, const QString& status, const QString& logWords,
                 const QByteArray& command);
    void send(const QByteArray& command);
    void armReplyLimit();

    settings::Globals& m_globals;
    CheckVariables& m_variables;
    TcpClient& m_tcp;
    Timer& m_checkTimer;
    Timer& m_replyTimer;
    shell::StatusView& m_view;
    diag::EventLog& m_log;
    diag::ErrorReporter& m_reporter;
    MailCountReport& m_report;
    std::function<void(const diag::Failure&)> m_timeoutHandler;
    const settings::ConfigStore* m_config = nullptr;

    ReplyFramer m_framer;
    bool m_draining = false;
    bool m_rejected = false; // a rejected reply ended the check on this connection
    int m_replyLimitMs = defaultReplyLimitMs;
};

} // namespace vindel::check
