// SPDX-License-Identifier: GPL-3.0-or-later
// Port numbers and the devices they stand for.
#include "io.h"
#include "platform_internal.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

int ComPortDevice(int port, char* device, std::size_t size) {
    if (port < 1 || port > kMaxPort) return kRs232BadPort;
    QString path;
#ifdef Q_OS_WIN
    path = QStringLiteral("COM%1").arg(port);
#else
    QString link = QDir(platform::projectDir()).filePath(QStringLiteral("ports/com%1").arg(port));
    QFileInfo li(link);
    if (li.isSymLink() || li.exists())
        path = link;
    else if (port <= 32)
        path = QStringLiteral("/dev/ttyS%1").arg(port - 1);
    else if (port <= 64)
        path = QStringLiteral("/dev/ttyUSB%1").arg(port - 33);
    else
        path = QStringLiteral("/dev/ttyACM%1").arg(port - 65);
#endif
    QByteArray b = path.toUtf8();
    if (!device || size == 0) return 0;
    std::size_t n = static_cast<std::size_t>(b.size()) < size ? static_cast<std::size_t>(b.size()) : size - 1;
    std::memcpy(device, b.constData(), n);
    device[n] = '\0';
    return 0;
}

int ComPortInfoOf(int port, ComPortInfo* info) {
    if (int r = ComPortDevice(port, info->device, sizeof info->device); r != 0) return r;
    QFileInfo fi(QString::fromUtf8(info->device));
    info->exists = fi.exists();
#ifdef Q_OS_UNIX
    info->mayOpen = info->exists && ::access(info->device, R_OK | W_OK) == 0;
#else
    info->mayOpen = info->exists;
#endif
    QByteArray g = info->exists ? QFileInfo(fi.canonicalFilePath()).group().toUtf8() : QByteArray();
    std::size_t n = std::min(static_cast<std::size_t>(g.size()), sizeof info->group - 1);
    std::memcpy(info->group, g.constData(), n);
    info->group[n] = '\0';
    return 0;
}
