#pragma once
// Time on a CPU of every thread of a process, in nanoseconds, from the
// scheduler's own accounting (/proc/PID/task/*/schedstat): finer than the
// clock ticks of /proc/PID/stat.

#include <QDir>
#include <QFile>
#include <QString>

namespace bench {

inline long long cpuNanoseconds(qint64 pid) {
    long long total = 0;
    const QString tasks = QString("/proc/%1/task").arg(pid);
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile schedstat(tasks + "/" + task + "/schedstat");
        if (schedstat.open(QIODevice::ReadOnly)) {
            total += schedstat.readAll().split(' ').at(0).toLongLong();
        }
    }
    return total;
}

} // namespace bench
