#pragma once

#include <QDir>
#include <QFile>

namespace vindel::test {

// What the kernel says about this process: open descriptors and memory.
class ProcessFigures {
public:
    static int openDescriptors()
    {
        return static_cast<int>(QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::System).size());
    }
    // Resident memory now, in KiB.
    static qint64 residentKiB() { return statusField("VmRSS:"); }
    // The highest resident memory since the last resetPeak(), in KiB.
    static qint64 peakResidentKiB() { return statusField("VmHWM:"); }
    // Starts the peak over from the present; false when the kernel refuses.
    static bool resetPeak()
    {
        QFile clearRefs("/proc/self/clear_refs");
        return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
    }

private:
    static qint64 statusField(const char* name)
    {
        QFile status("/proc/self/status");
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        const QList<QByteArray> lines = status.readAll().split('\n');
        for (const QByteArray& line : lines)
            if (line.startsWith(name))
                return line.mid(qstrlen(name)).trimmed().split(' ').value(0).toLongLong();
        return -1;
    }
};

} // namespace vindel::test
