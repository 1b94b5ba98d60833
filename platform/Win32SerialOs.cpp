#ifdef _WIN32
#include "platform/Win32SerialOs.h"

#include <windows.h>

#include <cctype>
#include <cstdio>

namespace {

// One name per port, whatever spelling the caller used: "\\.\Com7" and "COM7" are the same port.
std::string claimName(const std::string& portName) {
    std::string name = "KestrovanePort-";
    for (char c : portName)
        if (c != '\\' && c != '.')
            name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

} // namespace

Win32SerialOs::~Win32SerialOs() {
    close();
}

bool Win32SerialOs::fail(const char* what) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s: error %lu", what, static_cast<unsigned long>(GetLastError()));
    lastError_ = buf;
    return false;
}

bool isDeviceGoneError(unsigned long error) {
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_OPERATION_ABORTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_GEN_FAILURE:
    case ERROR_INVALID_HANDLE:
        return true;
    default:
        return false;
    }
}

// A failure of an I/O call on an open handle with an error that a removed adapter gives.
bool Win32SerialOs::failIo(const char* what) {
    if (isDeviceGoneError(GetLastError()))
        gone_ = open_;
    return fail(what);
}

bool Win32SerialOs::open(const std::string& name) {
    if (open_)
        return true;
    lastError_.clear();
    // No sharing: a port held by another program cannot be opened.
    HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        // A serial port another program holds refuses access; one that is not there is not found.
        const DWORD error = GetLastError();
        openFailure_ =
            error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? SerialOpenFailure::Busy
            : error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? SerialOpenFailure::Absent
                                                                             : SerialOpenFailure::Other;
        return fail("CreateFileA");
    }
    // Windows' serial drivers refuse a second open, Wine's pty ports do not: a claim of our own
    // keeps two users from taking each other's bytes there too.
    HANDLE claim = CreateMutexA(nullptr, FALSE, claimName(name).c_str());
    if (claim == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
        if (claim != nullptr)
            CloseHandle(claim);
        CloseHandle(h);
        lastError_ = "CreateFileA: port in use";
        openFailure_ = SerialOpenFailure::Busy;
        return false;
    }
    openFailure_ = SerialOpenFailure::None;
    claim_ = claim;
    handle_ = h;
    open_ = true;
    gone_ = false;
    // Reads return almost at once with whatever has arrived.
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = 1;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = 1;
    t.WriteTotalTimeoutMultiplier = 0;
    t.WriteTotalTimeoutConstant = 10;
    SetCommTimeouts(h, &t);
    return true;
}

void Win32SerialOs::close() {
    if (!open_)
        return;
    CloseHandle(static_cast<HANDLE>(handle_));
    CloseHandle(static_cast<HANDLE>(claim_));
    handle_ = nullptr;
    claim_ = nullptr;
    open_ = false;
}

bool Win32SerialOs::isOpen() const {
    return open_;
}

bool Win32SerialOs::configure(const SerialLineSettings& s) {
    if (!open_)
        return false;
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = s.baudRate;
    dcb.fBinary = 1;
    dcb.fDtrControl = s.dtrOn ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    if (s.rtsCtsFlow) {
        dcb.fOutxCtsFlow = 1;
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    } else {
        dcb.fRtsControl = s.rtsOn ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    }
    if (s.xonXoffFlow) {
        dcb.fOutX = 1;
        dcb.fInX = 1;
    }
    dcb.XonLim = static_cast<WORD>(s.xonLimit);
    dcb.XoffLim = static_cast<WORD>(s.xoffLimit);
    dcb.ByteSize = static_cast<BYTE>(s.dataBits);
    dcb.Parity = static_cast<BYTE>(s.parity);
    dcb.StopBits = static_cast<BYTE>(s.stopBits);
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    if (!SetCommState(static_cast<HANDLE>(handle_), &dcb))
        return fail("SetCommState");
    return true;
}

bool Win32SerialOs::setQueueSizes(uint32_t inSize, uint32_t outSize) {
    if (!open_)
        return false;
    if (!SetupComm(static_cast<HANDLE>(handle_), inSize, outSize))
        return fail("SetupComm");
    return true;
}

bool Win32SerialOs::purge(bool input, bool output) {
    if (!open_)
        return false;
    DWORD flags = 0;
    if (output)
        flags |= PURGE_TXABORT | PURGE_TXCLEAR;
    if (input)
        flags |= PURGE_RXABORT | PURGE_RXCLEAR;
    if (!PurgeComm(static_cast<HANDLE>(handle_), flags))
        return fail("PurgeComm");
    return true;
}

bool Win32SerialOs::queueCounts(uint32_t& inQueue, uint32_t& outQueue) {
    inQueue = outQueue = 0;
    if (!open_)
        return false;
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(static_cast<HANDLE>(handle_), &errors, &stat))
        return failIo("ClearCommError");
    inQueue = stat.cbInQue;
    outQueue = stat.cbOutQue;
    return true;
}

bool Win32SerialOs::read(uint8_t* buffer, uint32_t count, uint32_t& got) {
    got = 0;
    if (!open_)
        return false;
    DWORD n = 0;
    const BOOL ok = ReadFile(static_cast<HANDLE>(handle_), buffer, count, &n, nullptr);
    // Bytes delivered before a failure are real: counting them keeps them from being lost.
    got = n;
    return ok ? true : failIo("ReadFile");
}

bool Win32SerialOs::write(const uint8_t* data, uint32_t count, uint32_t& written) {
    written = 0;
    if (!open_)
        return false;
    DWORD n = 0;
    const BOOL ok = WriteFile(static_cast<HANDLE>(handle_), data, count, &n, nullptr);
    // A write cut short still sent its first n bytes; the driver must not send them again.
    written = n;
    return ok ? true : failIo("WriteFile");
}

bool Win32SerialOs::setDtr(bool on) {
    if (!open_)
        return false;
    // Wine on a pseudo-terminal fails here (no lines to drive); callers treat it as harmless.
    if (!EscapeCommFunction(static_cast<HANDLE>(handle_), on ? SETDTR : CLRDTR))
        return fail("EscapeCommFunction");
    return true;
}

bool Win32SerialOs::setRts(bool on) {
    if (!open_)
        return false;
    if (!EscapeCommFunction(static_cast<HANDLE>(handle_), on ? SETRTS : CLRRTS))
        return fail("EscapeCommFunction");
    return true;
}

bool Win32SerialOs::modemLines(uint32_t& lines) {
    lines = 0;
    if (!open_)
        return false;
    DWORD status = 0;
    if (!GetCommModemStatus(static_cast<HANDLE>(handle_), &status))
        return fail("GetCommModemStatus");
    if (status & MS_CTS_ON)
        lines |= kLineCts;
    if (status & MS_DSR_ON)
        lines |= kLineDsr;
    if (status & MS_RING_ON)
        lines |= kLineRing;
    if (status & MS_RLSD_ON)
        lines |= kLineRlsd;
    return true;
}
#endif
