#include "port_holder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

#include <dirent.h>
#include <unistd.h>

namespace {

// The folders a lock file may be in, in the order Qt's serial port tries
// them when it creates one.
QStringList LockFolders() {
    return {QStringLiteral("/var/lock"),
            QStringLiteral("/etc/locks"),
            QStringLiteral("/var/spool/locks"),
            QStringLiteral("/var/spool/uucp"),
            QStringLiteral("/tmp"),
            QStringLiteral("/var/tmp"),
            QStringLiteral("/var/lock/lockdev"),
            QStringLiteral("/run/lock"),
            QStandardPaths::writableLocation(QStandardPaths::TempLocation)};
}

// "LCK..ttyUSB0" for /dev/ttyUSB0, "LCK..pts_3" for /dev/pts/3.
QString LockFileName(const QString& systemLocation) {
    QString name = systemLocation;
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("LCK..") + name;
}

bool IsLiveOtherProcess(qint64 pid) {
    return pid > 0 && pid != getpid() && QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
}

QString ProgramName(qint64 pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return QStringLiteral("another program");
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}

// The pid on the first line of a lock file (Qt writes it as text, UUCP
// programs as ten characters padded with blanks).
qint64 LockFilePid(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return file.readLine(64).trimmed().toLongLong();
}

qint64 PidFromLockFiles(const QString& systemLocation) {
    const QString name = LockFileName(systemLocation);
    for (const QString& folder : LockFolders()) {
        const qint64 pid = LockFilePid(folder + QLatin1Char('/') + name);
        if (IsLiveOtherProcess(pid))
            return pid;
    }
    return 0;
}

// A process other than this one with an open descriptor on `device`.
qint64 PidWithDeviceOpen(const QByteArray& device) {
    DIR* proc = opendir("/proc");
    if (proc == nullptr)
        return 0;
    qint64 found = 0;
    while (found == 0) {
        const dirent* entry = readdir(proc);
        if (entry == nullptr)
            break;
        bool numeric = false;
        const qint64 pid = QByteArray(entry->d_name).toLongLong(&numeric);
        if (!numeric || !IsLiveOtherProcess(pid))
            continue;
        const QByteArray fdFolder = "/proc/" + QByteArray::number(pid) + "/fd";
        DIR* fds = opendir(fdFolder.constData());
        if (fds == nullptr)
            continue;
        while (const dirent* fd = readdir(fds)) {
            char target[4096];
            const QByteArray link = fdFolder + '/' + fd->d_name;
            const ssize_t size = readlink(link.constData(), target, sizeof target);
            if (size > 0 && QByteArray(target, static_cast<int>(size)) == device) {
                found = pid;
                break;
            }
        }
        closedir(fds);
    }
    closedir(proc);
    return found;
}

} // namespace

std::optional<PortHolder> FindPortHolder(const QString& systemLocation) {
    // A stable name (/dev/serial/by-id/...) is a link to the device itself.
    const QString device = QFileInfo(systemLocation).canonicalFilePath();
    if (device.isEmpty())
        return std::nullopt;
    qint64 pid = PidFromLockFiles(device);
    if (pid == 0)
        pid = PidWithDeviceOpen(QFile::encodeName(device));
    if (pid == 0)
        return std::nullopt;
    return PortHolder{pid, ProgramName(pid)};
}

QString PortHolderText(const PortHolder& holder) {
    return QStringLiteral("%1 (process %2)").arg(holder.program).arg(holder.pid);
}
