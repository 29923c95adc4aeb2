#pragma once

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
class LogFile : public LogSink {
public:
    static constexpr qint64 sizeLimit = 60000; // bytes; a larger file is deleted at start
    static QString fileName() { return QStringLiteral("Vindel.log"); }

    explicit LogFile(const QString& path);

    // Opens for appending; the failure is a start-up error.
    std::optional<Failure> open();
    bool append(const QString& text, EventType type) override;

    // Deletes the file at start when it is larger than the limit.
    static std::optional<Failure> trim(const QString& path);

    // The log's folder: the program's own when the user may write there,
    // otherwise the per-user state folder (created when missing).
    static QString chooseFolder(const QString& programFolder, const QString& stateFolder);

private:
    QFile m_file;
};

} // namespace vindel::diag
