// SPDX-License-Identifier: GPL-3.0-or-later
// Serial ports on QSerialPort in blocking use. A port whose device disappears (a USB adapter
// pulled, a simulator restarted) fails every operation until the device is back at the same
// path; then it is reopened with the configuration it had, unseen by the caller.
#include "io.h"
#include "platform_internal.h"
#include "seams.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QSerialPort>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {

constexpr double kDefaultTimeout = 5.0;  // seconds, until SetComTime sets one

struct Port {
    std::unique_ptr<QSerialPort> sp;
    QString device;
    bool configured = false;  // opened once: reopen with this configuration when lost
    qint32 baud = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    double timeout = kDefaultTimeout;
    std::string pending;             // bytes read past a terminator, for the next read
    platform::Line* line = nullptr;  // set: the far end is in this process, no device
    bool justWritten = false;        // the last operation was a write: what arrives now answers it
};

Port ports[kMaxPort + 1];
int rs232err = 0;

int fail(int code) {
    rs232err = code;
    return code;
}

QSerialPort::Parity toParity(int p) {
    switch (p) {
    case 1:
        return QSerialPort::OddParity;
    case 2:
        return QSerialPort::EvenParity;
    case 3:
        return QSerialPort::MarkParity;
    case 4:
        return QSerialPort::SpaceParity;
    default:
        return QSerialPort::NoParity;
    }
}

// One line on stderr naming the device and the system's reason, and for a permission
// problem the group that owns the device.
void reportOpenFailure(const Port& p) {
    QFileInfo info(p.device);
    QByteArray dev = p.device.toLocal8Bit();
    QByteArray why = p.sp ? p.sp->errorString().toLocal8Bit() : QByteArray("unknown error");
    if (!info.exists()) {
        std::fprintf(stderr, "pavro: cannot open serial device %s: no such device\n", dev.constData());
    } else if (p.sp && p.sp->error() == QSerialPort::PermissionError) {
        QByteArray group = QFileInfo(info.canonicalFilePath()).group().toLocal8Bit();
        std::fprintf(stderr,
                     "pavro: cannot open serial device %s: %s (the device belongs to group '%s'; "
                     "join it, then log in again)\n",
                     dev.constData(), why.constData(), group.constData());
    } else {
        std::fprintf(stderr, "pavro: cannot open serial device %s: %s\n", dev.constData(), why.constData());
    }
}

// A device that fails reads or writes has gone (a pty whose other end closed reports
// read errors, a pulled adapter resource errors); a time-out is no such failure.
bool lost(const QSerialPort* sp) {
    switch (sp->error()) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        return true;
    default:
        return false;
    }
}

bool openDevice(Port& p) {
    p.pending.clear();
    p.sp = std::make_unique<QSerialPort>();
    p.sp->setPortName(p.device);
    // A device that fails while the event loop runs is closed at once, so its notifier
    // cannot spin; the next operation reopens it when it is back.
    QSerialPort* sp = p.sp.get();
    QObject::connect(
        sp, &QSerialPort::errorOccurred, sp,
        [sp](QSerialPort::SerialPortError) {
            if (lost(sp) && sp->isOpen()) sp->close();
        },
        Qt::QueuedConnection);
    if (!p.sp->open(QIODevice::ReadWrite)) return false;
    bool ok = p.sp->setBaudRate(p.baud) && p.sp->setParity(p.parity) && p.sp->setDataBits(p.dataBits) &&
              p.sp->setStopBits(p.stopBits) && p.sp->setFlowControl(QSerialPort::NoFlowControl);
    if (!ok) p.sp->close();
    return ok;
}

// The open port for `port`, reopening a lost one when its device is back; null otherwise.
QSerialPort* live(int port) {
    if (port < 1 || port > kMaxPort) {
        fail(kRs232BadPort);
        return nullptr;
    }
    Port& p = ports[port];
    if (p.sp && p.sp->isOpen()) {
        if (!lost(p.sp.get())) return p.sp.get();
        p.sp->close();  // the device went away under us
    }
    if (p.configured && QFileInfo::exists(p.device) && openDevice(p)) return p.sp.get();
    fail(kRs232NotOpen);
    return nullptr;
}

#ifndef Q_OS_UNIX
// Marks a port whose device has gone, so the next operation tries to reopen it.
void checkLost(QSerialPort* sp) {
    if (lost(sp)) sp->close();
}
#endif

int msLeft(const QDeadlineTimer& d) {
    qint64 ms = d.remainingTime();
    return ms < 0 ? 0 : static_cast<int>(ms);
}

// The port's far end when it is in this process, else null.
platform::Line* inProcess(int port) { return port < 1 || port > kMaxPort ? nullptr : ports[port].line; }

}  // namespace

void platform::useLine(int port, Line* line) {
    if (port < 1 || port > kMaxPort) return;
    Port& p = ports[port];
    p.sp.reset();
    p.pending.clear();
    p.configured = false;
    p.line = line;
}

int OpenComConfig(int port, const char* name, long baud, int parity, int dataBits, int stopBits, int /*inputQueue*/,
                  int /*outputQueue*/) {
    if (port < 1 || port > kMaxPort) return fail(kRs232BadPort);
    Port& p = ports[port];
    char dev[kMaxPathname];
    ComPortDevice(port, dev, sizeof dev);
    p.device = name && *name ? QString::fromUtf8(name) : QString::fromUtf8(dev);
    p.baud = static_cast<qint32>(baud);
    p.parity = toParity(parity);
    p.dataBits = static_cast<QSerialPort::DataBits>(dataBits >= 5 && dataBits <= 8 ? dataBits : 8);
    p.stopBits = stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop;
    p.configured = false;
    if (p.line) {
        p.configured = true;
        return rs232err = 0;
    }
    if (!openDevice(p)) {
        reportOpenFailure(p);
        p.sp.reset();
        return fail(kRs232CannotOpen);
    }
    p.configured = true;
    rs232err = 0;
    return 0;
}

void platform::forgetPorts() {
    for (Port& p : ports) {
        p.sp.reset();
        p.pending.clear();
        p.configured = false;
    }
}

int ComPortConfigured(int port) { return port >= 1 && port <= kMaxPort && ports[port].configured ? 1 : 0; }

int SetComTime(int port, double seconds) {
    if (port < 1 || port > kMaxPort) return fail(kRs232BadPort);
    ports[port].timeout = seconds > 0 ? seconds : 0.0;
    return 0;
}

int FlushOutQ(int port) {
    if (inProcess(port)) return rs232err = 0;
    QSerialPort* sp = live(port);
    if (!sp) return rs232err;
    if (sp->bytesToWrite() > 0) sp->clear(QSerialPort::Output);
#ifdef Q_OS_UNIX
    // Bytes the driver still holds go too; asking first is cheap, tcflush is not.
    int fd = static_cast<int>(sp->handle());
    int queued = 0;
    if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued > 0) ::tcflush(fd, TCOFLUSH);
#endif
    rs232err = 0;
    return 0;
}

// The data path. On POSIX systems bytes go straight through the port's descriptor: one
// write per command, and reads that stop at the terminator; QSerialPort opens, configures
// and locks the port. Elsewhere QSerialPort's own blocking calls carry the bytes.

#ifdef Q_OS_UNIX
// Reads off and drops what waits on the line. Costs microseconds, where tcflush on a pty costs
// a millisecond; the port reads without waiting (VMIN 0): 0 bytes is "nothing there".
// False on a hard error (EIO on a hung-up line): the device has gone and the port is closed.
static bool dropWaiting(QSerialPort* sp) {
    sp->skip(sp->bytesAvailable());
    char sink[256];
    for (;;) {
        ssize_t got = ::read(static_cast<int>(sp->handle()), sink, sizeof sink);
        if (got > 0) continue;
        if (got == 0 || errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return true;
        sp->close();
        return false;
    }
}
#endif

// Discards what was received before the latest write. Right after a write what waits is
// the answer to it (a module cannot answer before it is asked), so it stays: a program that
// the system holds back for a moment between its write and this flush loses no reply. What
// came before the write was dropped by the write itself.
int FlushInQ(int port) {
    if (platform::Line* l = inProcess(port)) {
        l->flushIn();
        return rs232err = 0;
    }
    QSerialPort* sp = live(port);
    if (!sp) return rs232err;
    Port& p = ports[port];
    p.pending.clear();
#ifdef Q_OS_UNIX
    if (p.justWritten) {
        p.justWritten = false;
        return rs232err = 0;
    }
    if (!dropWaiting(sp)) return fail(kRs232NotOpen);
#else
    sp->skip(sp->bytesAvailable());
    while (sp->waitForReadyRead(0)) sp->skip(sp->bytesAvailable());
    checkLost(sp);
#endif
    rs232err = 0;
    return 0;
}

int ComWrt(int port, const char* buffer, int count) {
    if (platform::Line* l = inProcess(port)) {
        if (count <= 0) return rs232err = 0;
        l->write(std::string(buffer, static_cast<std::size_t>(count)));
        rs232err = 0;
        return count;
    }
    QSerialPort* sp = live(port);
    if (!sp) return rs232err;
    if (count <= 0) {
        rs232err = 0;
        return 0;
    }
    QDeadlineTimer deadline(static_cast<qint64>(ports[port].timeout * 1000.0));
#ifdef Q_OS_UNIX
    // What waits from before this command is no answer to it: dropped now, so the flush that
    // follows the write can keep what arrives after it.
    ports[port].pending.clear();
    if (!dropWaiting(sp)) return fail(kRs232NotOpen);
    ports[port].justWritten = false;
    int fd = static_cast<int>(sp->handle());
    int done = 0;
    while (done < count) {
        ssize_t n = ::write(fd, buffer + done, static_cast<std::size_t>(count - done));
        if (n > 0) {
            done += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            sp->close();
            return fail(kRs232NotOpen);
        }
        pollfd pf{fd, POLLOUT, 0};
        if (deadline.hasExpired() || ::poll(&pf, 1, msLeft(deadline)) <= 0) return fail(kRs232WriteFailed);
    }
#else
    if (sp->write(buffer, count) != count) {
        checkLost(sp);
        return fail(kRs232WriteFailed);
    }
    while (sp->bytesToWrite() > 0) {
        if (!sp->waitForBytesWritten(msLeft(deadline)) || deadline.hasExpired()) {
            if (sp->bytesToWrite() == 0) break;
            checkLost(sp);
            return fail(kRs232WriteFailed);
        }
    }
#endif
    ports[port].justWritten = true;
    rs232err = 0;
    return count;
}

bool platform::take(std::string& from, char* buffer, int maxCount, int terminator, int& n) {
    std::size_t i = 0;
    bool done = false;
    while (i < from.size() && n < maxCount) {
        char c = from[i++];
        if (static_cast<unsigned char>(c) == terminator) {
            done = true;
            break;
        }
        buffer[n++] = c;
    }
    from.erase(0, i);
    return done || n >= maxCount;
}

int ComRdTerm(int port, char* buffer, int maxCount, int terminator) {
    if (platform::Line* l = inProcess(port)) {
        bool complete = false;
        int n = l->read(buffer, maxCount, terminator, &complete);
        if (complete) return rs232err = 0, n;
        return fail(kRs232Timeout), n;  // nothing more will come: no waiting
    }
    QSerialPort* sp = live(port);
    if (!sp) return rs232err;
    Port& p = ports[port];
    p.justWritten = false;
    QDeadlineTimer deadline(static_cast<qint64>(p.timeout * 1000.0), Qt::PreciseTimer);
    int n = 0;
    if (sp->bytesAvailable() > 0) p.pending += sp->readAll().toStdString();
    if (platform::take(p.pending, buffer, maxCount, terminator, n)) return rs232err = 0, n;
#ifdef Q_OS_UNIX
    int fd = static_cast<int>(sp->handle());
    char chunk[64];
    bool hungUp = false;  // the last poll reported a hang-up
    for (;;) {
        ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got > 0) {
            p.pending.append(chunk, static_cast<std::size_t>(got));
            if (platform::take(p.pending, buffer, maxCount, terminator, n)) return rs232err = 0, n;
            continue;
        }
        if ((got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) || (got == 0 && hungUp)) {
            sp->close();  // the device has gone
            return fail(kRs232NotOpen), n;
        }
        if (deadline.hasExpired()) return fail(kRs232Timeout), n;
        pollfd pf{fd, POLLIN, 0};
        hungUp = ::poll(&pf, 1, msLeft(deadline) > 0 ? msLeft(deadline) : 1) > 0 &&
                 (pf.revents & (POLLHUP | POLLERR | POLLNVAL));
    }
#else
    for (;;) {
        if (sp->bytesAvailable() > 0) {
            p.pending += sp->readAll().toStdString();
            if (platform::take(p.pending, buffer, maxCount, terminator, n)) return rs232err = 0, n;
        }
        if (deadline.hasExpired()) return fail(kRs232Timeout), n;
        if (!sp->waitForReadyRead(msLeft(deadline) > 0 ? msLeft(deadline) : 1) && lost(sp)) {
            sp->close();
            return fail(kRs232NotOpen), n;
        }
    }
#endif
}

int ReturnRS232Err() { return rs232err; }

int* _GetRs232Err() { return &rs232err; }
