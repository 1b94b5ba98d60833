#pragma once
#include "platform/SerialOs.h"

class LinkLog;

// The serial port's system side with a link log beside it: every call goes through unchanged,
// and while the log is open it notes the bytes read and written, opening, closing, purges and
// the RTS and DTR lines. Polls of the queue counts and the modem lines are not noted.
class LinkLogSerialOs final : public ISerialOs {
public:
    LinkLogSerialOs(ISerialOs& inner, LinkLog& log) : inner_(inner), log_(log) {}

    bool open(const std::string& name) override;
    void close() override;
    bool isOpen() const override { return inner_.isOpen(); }
    bool configure(const SerialLineSettings& settings) override;
    bool setQueueSizes(uint32_t inSize, uint32_t outSize) override {
        return inner_.setQueueSizes(inSize, outSize);
    }
    bool purge(bool input, bool output) override;
    bool queueCounts(uint32_t& inQueue, uint32_t& outQueue) override {
        return inner_.queueCounts(inQueue, outQueue);
    }
    bool read(uint8_t* buffer, uint32_t count, uint32_t& got) override;
    bool write(const uint8_t* data, uint32_t count, uint32_t& written) override;
    bool setDtr(bool on) override;
    bool setRts(bool on) override;
    bool modemLines(uint32_t& lines) override { return inner_.modemLines(lines); }
    std::string lastError() const override { return inner_.lastError(); }
    SerialOpenFailure openFailure() const override { return inner_.openFailure(); }
    std::string deviceName(const std::string& portName) const override { return inner_.deviceName(portName); }
    bool deviceGone() const override { return inner_.deviceGone(); }
    int readyDescriptor() const override { return inner_.readyDescriptor(); }

    ISerialOs& inner() { return inner_; }
    LinkLog& log() { return log_; }

private:
    ISerialOs& inner_;
    LinkLog& log_;
};
