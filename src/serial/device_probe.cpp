#include "device_probe.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

DeviceNodeFacts ProbeDeviceNode(const QString& systemLocation) {
    DeviceNodeFacts facts;
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(systemLocation);
    struct stat info {};
    if (::stat(path.constData(), &info) != 0) {
        facts.exists = false;
        return facts;
    }
    facts.characterDevice = S_ISCHR(info.st_mode);
    facts.accessible = ::access(path.constData(), R_OK | W_OK) == 0;
#else
    Q_UNUSED(systemLocation);
#endif
    return facts;
}

bool DescriptorHungUp(qintptr handle) {
#ifdef Q_OS_UNIX
    if (handle < 0)
        return false;
    pollfd descriptor{static_cast<int>(handle), POLLIN, 0};
    if (::poll(&descriptor, 1, 0) <= 0)
        return false;
    return (descriptor.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    Q_UNUSED(handle);
    return false;
#endif
}

bool UsesDialoutGroup() {
#ifdef Q_OS_LINUX
    return true;
#else
    return false;
#endif
}
