#pragma once

#include "diag/Clock.h"
#include "diag/Failure.h"
#include "diag/LogSink.h"

#include <QFile>
#include <QString>

#include <optional>

namespace vindel::diag {

// The log file "Vindel.log": one event per write, appended and flushed, kept
// open until the program ends. A line reads "INFO  ", "WARN  " or "ERROR "
// followed by the event text; a text that already ends in a line break (a
// server reply keeps its own CR LF) gets no second one.
//
// The file never grows past sizeLimit: larger ones are deleted at start, and
// a write that would take it past the limit while the program runs starts
// the file afresh, with a line saying so.
class LogFile : public LogSink {
public:
    static constexpr qint64 sizeLimit = 60000; // bytes
    static QString fileName() { return QStringLiteral("Vindel.log"); }

    LogFile(const QString& path, const Clock& clock);

    // Opens for appending, creating the file owner-only when missing. Only a
    // regular file is taken: a FIFO, device, folder or symbolic link at the
    // path is refused without being opened for writing, so nothing can block
    // here. The failure is a start-up error.
    std::optional<Failure> open();
    bool append(const QString& text, EventType type) override;

    // Deletes the file at start when it is larger than the limit.
    static std::optional<Failure> trim(const QString& path);

    // The log's folder: the program's own when mayWriteBeside() allows it,
    // otherwise the per-user state folder (created when missing).
    static QString chooseFolder(const QString& programFolder, const QString& stateFolder);
    // The program's folder takes the log only when it is the user's own:
    // owned by the user, writable by the user, not writable by everyone, and
    // not inside the system's own tree (/usr, /opt, /etc, /var, /bin, /lib...,
    // after symbolic links are resolved). So a copy installed system-wide,
    // even one run as root, never writes into a system folder, and no other
    // user can plant a file or link where the log is written.
    static bool mayWriteBeside(const QString& programFolder);

private:
    bool startAfresh();

    QString m_path;
    const Clock& m_clock;
    QFile m_file;
};

} // namespace vindel::diag
