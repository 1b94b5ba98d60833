#ifndef _WIN32
// Kept apart from PosixSerialOs.h: its termios helpers use the C library's struct termios,
// which the kernel header below defines differently.
#include <cstdint>

bool posixSetCustomBaud(int fd, uint32_t rate);

#ifdef __linux__
#include <asm/termbits.h>
#include <sys/ioctl.h>

bool posixSetCustomBaud(int fd, uint32_t rate) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD);
    t.c_cflag |= BOTHER;
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD << IBSHIFT);
    t.c_cflag |= BOTHER << IBSHIFT;
    t.c_ispeed = rate;
    t.c_ospeed = rate;
    return ioctl(fd, TCSETS2, &t) == 0;
}
#else
bool posixSetCustomBaud(int, uint32_t) {
    return false;
}
#endif
#endif
