#ifndef _WIN32
#include "platform/PosixSerialOs.h"

#include "platform/PortMapping.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

speed_t standardSpeed(uint32_t rate) {
    switch (rate) {
    case 50:
        return B50;
    case 75:
        return B75;
    case 110:
        return B110;
    case 134:
        return B134;
    case 150:
        return B150;
    case 200:
        return B200;
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 1800:
        return B1800;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
#ifdef B460800
    case 460800:
        return B460800;
    case 921600:
        return B921600;
#endif
    default:
        return B0;
    }
}

} // namespace

PosixSerialOs::~PosixSerialOs() {
    close();
}

bool PosixSerialOs::fail(const char* what, int err) {
    // What a removed USB adapter or a hung-up terminal answers; a busy or absent port at open is
    // no loss of an open device.
    if (fd_ >= 0 && (err == EIO || err == ENXIO || err == ENODEV))
        gone_ = true;
    lastError_ = std::string(what) + ": " + std::strerror(err);
    return false;
}

std::string PosixSerialOs::deviceName(const std::string& portName) const {
    const std::string path = portmap::devicePathForName(portName, pattern_);
    return path.empty() ? portName : path;
}

bool PosixSerialOs::failOpen(const char* what, int err) {
    switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case EIO: // a ttyS without its hardware
        openFailure_ = SerialOpenFailure::Absent;
        break;
    case EBUSY:
    case EWOULDBLOCK:
        openFailure_ = SerialOpenFailure::Busy;
        break;
    case EACCES:
    case EPERM:
        openFailure_ = SerialOpenFailure::Denied;
        break;
    default:
        openFailure_ = SerialOpenFailure::Other;
        break;
    }
    return fail(what, err);
}

bool PosixSerialOs::open(const std::string& name) {
    if (fd_ >= 0)
        return true;
    openFailure_ = SerialOpenFailure::Absent;
    const std::string path = portmap::devicePathForName(name, pattern_);
    if (path.empty()) {
        lastError_ = "no device for " + name;
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return failOpen(path.c_str(), errno);
    // Only a terminal will do: a regular file or a FIFO would "open" and swallow the modem's bytes.
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || !isatty(fd)) {
        ::close(fd);
        lastError_ = path + ": not a serial device";
        openFailure_ = SerialOpenFailure::Other;
        return false;
    }
    // TIOCEXCL does not stop root, so the advisory lock carries the exclusion among our programs.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        return failOpen(path.c_str(), err);
    }
    if (ioctl(fd, TIOCEXCL) != 0) {
        const int err = errno;
        ::close(fd);
        return failOpen(path.c_str(), err);
    }
    openFailure_ = SerialOpenFailure::None;
    fd_ = fd;
    path_ = path;
    gone_ = false;
    // Linux raises DTR and RTS at open; nothing is signalled until the settings say so.
    setLine(TIOCM_DTR, false);
    setLine(TIOCM_RTS, false);
    return true;
}

void PosixSerialOs::close() {
    if (fd_ < 0)
        return;
    ioctl(fd_, TIOCNXCL);
    ::close(fd_); // also drops the flock
    fd_ = -1;
    path_.clear();
}

bool posixLineAttributes(const SerialLineSettings& s, termios& t, bool& customRate, std::string& error) {
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
#ifdef CMSPAR
    t.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
    switch (s.dataBits) {
    case 5:
        t.c_cflag |= CS5;
        break;
    case 6:
        t.c_cflag |= CS6;
        break;
    case 7:
        t.c_cflag |= CS7;
        break;
    case 8:
        t.c_cflag |= CS8;
        break;
    default:
        error = "unsupported data bits";
        return false;
    }
    switch (s.parity) {
    case 0:
        break;
    case 1:
        t.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        t.c_cflag |= PARENB;
        break;
#ifdef CMSPAR
    case 3:
        t.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case 4:
        t.c_cflag |= PARENB | CMSPAR;
        break;
#endif
    default:
        error = "unsupported parity";
        return false;
    }
    // One and a half stop bits exist only with 5 data bits, where CSTOPB means exactly that.
    if (s.stopBits == 2 || (s.stopBits == 1 && s.dataBits == 5)) {
        t.c_cflag |= CSTOPB;
    } else if (s.stopBits != 0) {
        error = "unsupported stop bits";
        return false;
    }
    if (s.rtsCtsFlow)
        t.c_cflag |= CRTSCTS;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    if (s.xonXoffFlow) {
        t.c_iflag |= IXON | IXOFF;
        t.c_cc[VSTART] = 0x11;
        t.c_cc[VSTOP] = 0x13;
    }
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (s.baudRate == 0) {
        error = "baud rate 0";
        return false;
    }
    const speed_t speed = standardSpeed(s.baudRate);
    customRate = speed == B0;
    cfsetispeed(&t, customRate ? B38400 : speed);
    cfsetospeed(&t, customRate ? B38400 : speed);
    return true;
}

bool PosixSerialOs::configure(const SerialLineSettings& s) {
    if (fd_ < 0)
        return false;
    termios t{};
    if (tcgetattr(fd_, &t) != 0)
        return fail("tcgetattr", errno);
    bool custom = false;
    if (!posixLineAttributes(s, t, custom, lastError_))
        return false;
    if (tcsetattr(fd_, TCSANOW, &t) != 0)
        return fail("tcsetattr", errno);
    if (custom && !posixSetCustomBaud(fd_, s.baudRate))
        return fail("custom baud rate", errno);
    // Applying the settings puts the lines where they say, as the Windows driver state does.
    setLine(TIOCM_DTR, s.dtrOn);
    if (!s.rtsCtsFlow)
        setLine(TIOCM_RTS, s.rtsOn);
    return true;
}

bool PosixSerialOs::setQueueSizes(uint32_t, uint32_t) {
    // The kernel sizes its own queues; the request is only a recommendation anyway.
    return fd_ >= 0;
}

bool PosixSerialOs::purge(bool input, bool output) {
    if (fd_ < 0)
        return false;
    if (!input && !output)
        return true;
    const int which = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    if (tcflush(fd_, which) != 0)
        return fail("tcflush", errno);
    return true;
}

bool PosixSerialOs::queueCounts(uint32_t& inQueue, uint32_t& outQueue) {
    inQueue = outQueue = 0;
    if (fd_ < 0)
        return false;
    // A hang-up shows in poll before any ioctl fails on some drivers; CLOCAL keeps a dropped
    // carrier from hanging the line up, so a hang-up here is the device itself going away.
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLNVAL))) {
        gone_ = true;
        lastError_ = "the device was disconnected";
        return false;
    }
    int in = 0;
    if (ioctl(fd_, FIONREAD, &in) != 0)
        return fail("FIONREAD", errno);
    int out = 0;
    if (ioctl(fd_, TIOCOUTQ, &out) != 0) {
        const int err = errno;
        if (err == EIO || err == ENXIO || err == ENODEV)
            return fail("TIOCOUTQ", err);
        out = 0; // not every device reports it; a pty always says 0
    }
    inQueue = in > 0 ? static_cast<uint32_t>(in) : 0;
    outQueue = out > 0 ? static_cast<uint32_t>(out) : 0;
    return true;
}

bool PosixSerialOs::read(uint8_t* buffer, uint32_t count, uint32_t& got) {
    got = 0;
    if (fd_ < 0)
        return false;
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, count);
        if (n >= 0) {
            got = static_cast<uint32_t>(n);
            return true;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return true;
        return fail("read", errno);
    }
}

bool PosixSerialOs::write(const uint8_t* data, uint32_t count, uint32_t& written) {
    written = 0;
    if (fd_ < 0)
        return false;
    for (;;) {
        const ssize_t n = ::write(fd_, data, count);
        if (n >= 0) {
            written = static_cast<uint32_t>(n);
            return true;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return true;
        return fail("write", errno);
    }
}

bool PosixSerialOs::setLine(int bit, bool on) {
    if (fd_ < 0)
        return false;
    // A pseudo-terminal has no lines and answers ENOTTY; the caller goes on regardless.
    if (ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) != 0)
        return fail(on ? "TIOCMBIS" : "TIOCMBIC", errno);
    return true;
}

bool PosixSerialOs::setDtr(bool on) {
    return setLine(TIOCM_DTR, on);
}

bool PosixSerialOs::setRts(bool on) {
    return setLine(TIOCM_RTS, on);
}

bool PosixSerialOs::modemLines(uint32_t& lines) {
    lines = 0;
    if (fd_ < 0)
        return false;
    int status = 0;
    if (ioctl(fd_, TIOCMGET, &status) != 0)
        return fail("TIOCMGET", errno);
    if (status & TIOCM_CTS)
        lines |= kLineCts;
    if (status & TIOCM_DSR)
        lines |= kLineDsr;
    if (status & TIOCM_RNG)
        lines |= kLineRing;
    if (status & TIOCM_CAR)
        lines |= kLineRlsd;
    return true;
}
#endif
