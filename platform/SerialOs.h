#pragma once
#include <cstdint>
#include <string>

// Line settings as the serial driver derives them from its properties.
struct SerialLineSettings {
    uint32_t baudRate = 9600;
    int dataBits = 8; // 5..8
    int parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int stopBits = 0; // 0 one, 1 one and a half, 2 two
    bool rtsCtsFlow = false;
    bool xonXoffFlow = false;
    bool dtrOn = false; // DTR state the driver wants when the settings are applied at open
    bool rtsOn = false; // RTS state likewise (raised only for "no flow control, RTS on")
    uint32_t xonLimit = 0;
    uint32_t xoffLimit = 0;
};

// Modem status lines as returned by modemLines().
enum SerialModemLine : uint32_t {
    kLineCts = 1u << 0,
    kLineDsr = 1u << 1,
    kLineRing = 1u << 2,
    kLineRlsd = 1u << 3,
};

// Why the last open() failed, as far as the user can act on it.
enum class SerialOpenFailure {
    None,
    Absent, // no such device
    Busy,   // held by another program
    Denied, // no right to the device
    Other,
};

// The operating system's side of one serial port. Every call returns an explicit result;
// nothing throws. The production backend is POSIX termios; tests and the in-process
// simulator provide their own.
class ISerialOs {
public:
    virtual ~ISerialOs() = default;
    // name is the driver's PortName ("\\.\Com6" and the like); the backend maps it to a device.
    virtual bool open(const std::string& name) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual bool configure(const SerialLineSettings& settings) = 0;
    virtual bool setQueueSizes(uint32_t inSize, uint32_t outSize) = 0;
    virtual bool purge(bool input, bool output) = 0;
    // Bytes waiting in the input queue and still queued for output; also clears line errors.
    virtual bool queueCounts(uint32_t& inQueue, uint32_t& outQueue) = 0;
    virtual bool read(uint8_t* buffer, uint32_t count, uint32_t& got) = 0;
    virtual bool write(const uint8_t* data, uint32_t count, uint32_t& written) = 0;
    virtual bool setDtr(bool on) = 0;
    virtual bool setRts(bool on) = 0;
    virtual bool modemLines(uint32_t& lines) = 0;
    // The system's error text of the last failure, for messages.
    virtual std::string lastError() const { return {}; }
    virtual SerialOpenFailure openFailure() const { return SerialOpenFailure::Other; }
    // The device a port name stands for here, as the user knows it ("/dev/ttyUSB0").
    virtual std::string deviceName(const std::string& portName) const { return portName; }
    // The device went away under the open handle (a pulled USB adapter, a closed pty): every
    // call fails from now on until the port is closed and opened again. "No bytes yet" is not this.
    virtual bool deviceGone() const { return false; }
    // A descriptor that polls readable when bytes arrive, for reading them at once; -1 where
    // the system offers none.
    virtual int readyDescriptor() const { return -1; }
};
