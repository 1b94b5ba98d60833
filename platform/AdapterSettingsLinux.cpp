#ifdef __linux__
#include "platform/AdapterSettingsLinux.h"

#include "platform/PortMapping.h"
#include "platform/PosixSerialOs.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace fs = std::filesystem;

LinuxAdapterSettings::LinuxAdapterSettings(const PosixSerialOs* os, std::string sysfsRoot)
    : os_(os), root_(std::move(sysfsRoot)), lowLatency_(&LinuxAdapterSettings::requestLowLatency) {}

bool LinuxAdapterSettings::requestLowLatency(int fd) {
    serial_struct ss{};
    if (ioctl(fd, TIOCGSERIAL, &ss) != 0)
        return false;
    if (ss.flags & ASYNC_LOW_LATENCY)
        return true;
    ss.flags |= ASYNC_LOW_LATENCY;
    return ioctl(fd, TIOCSSERIAL, &ss) == 0;
}

std::string LinuxAdapterSettings::ttyName(const std::string& devicePath) {
    if (devicePath.empty())
        return {};
    std::error_code ec;
    fs::path p = fs::canonical(devicePath, ec);
    if (ec)
        p = devicePath;
    return p.filename().string();
}

bool LinuxAdapterSettings::isFtdi(const std::string& tty) const {
    if (tty.empty() || tty.find('/') != std::string::npos || tty == "." || tty == "..")
        return false;
    std::error_code ec;
    const fs::path link = fs::read_symlink(fs::path(root_) / "class/tty" / tty / "device/driver", ec);
    return !ec && link.filename() == "ftdi_sio";
}

std::string LinuxAdapterSettings::latencyPath(const std::string& tty) const {
    return (fs::path(root_) / "bus/usb-serial/devices" / tty / "latency_timer").string();
}

int LinuxAdapterSettings::readLatency(const std::string& tty) const {
    const int fd = ::open(latencyPath(tty).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    char buf[32] = {};
    const ssize_t n = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (n <= 0 || buf[0] < '0' || buf[0] > '9')
        return -1;
    char* end = nullptr;
    const long v = std::strtol(buf, &end, 10);
    if (v < 0 || v > INT_MAX || (*end != '\0' && *end != '\n'))
        return -1;
    return static_cast<int>(v);
}

bool LinuxAdapterSettings::writeLatency(const std::string& tty, int ms) const {
    const int fd = ::open(latencyPath(tty).c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    const std::string text = std::to_string(ms) + "\n";
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return ::close(fd) == 0 && ok;
}

std::string LinuxAdapterSettings::remedyText(const std::string& devicePath) {
    return "Не удалось установить время задержки переходника USB/RK (" + devicePath +
           ", драйвер ftdi_sio) равным 1 мс: ответы модема будут запаздывать, и модем может быть не найден.\n"
           "Установите его правилом udev: создайте файл /etc/udev/rules.d/99-usb-rk.rules со строкой\n"
           "ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", ATTR{latency_timer}=\"1\"\n"
           "выполните «sudo udevadm control --reload» и подключите переходник заново.\n"
           "Для доступа к порту пользователь должен входить в группу dialout: "
           "«sudo usermod -aG dialout $USER», затем войдите в систему снова.";
}

bool LinuxAdapterSettings::SetAdapterBufferSizes(int, int, const std::string& portName,
                                                 std::string& errorText) {
    // The buffer sizes are the Windows driver's affair; here only the latency counts.
    std::string path;
    int fd = -1;
    if (os_ && os_->isOpen()) {
        path = os_->devicePath();
        fd = os_->fd();
    } else {
        path = portmap::devicePathForName(portName, os_ ? os_->devicePattern() : std::string());
    }
    const std::string tty = ttyName(path);
    if (!isFtdi(tty))
        return true;
    if (readLatency(tty) == 1)
        return true;
    if (fd >= 0 && lowLatency_ && lowLatency_(fd) && readLatency(tty) == 1)
        return true;
    if (writeLatency(tty, 1) && readLatency(tty) == 1)
        return true;
    errorText = remedyText(path);
    return false;
}
#endif
