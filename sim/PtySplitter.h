#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A pseudo-terminal carries no RTS, so kestrovane-sim tells modem commands from air data by
// their content: "#" and a known command letter at the start of a write is a command of known
// length; a known logger's name starts a request of name + 7 bytes. Anything else is held until
// the line has been quiet for a few milliseconds and then goes on the air as it is.
class PtySplitter {
public:
    struct Piece {
        bool command;
        std::vector<uint8_t> bytes;
    };
    static constexpr uint64_t kQuietMs = 5;

    explicit PtySplitter(std::vector<std::string> loggerNames) : names_(std::move(loggerNames)) {}

    // Bytes as read from the line at nowMs; returns the pieces now complete.
    std::vector<Piece> feed(const uint8_t* data, size_t size, uint64_t nowMs);
    // Whatever is left once the line has been quiet long enough.
    std::vector<Piece> flush(uint64_t nowMs);
    bool holding() const { return !buffer_.empty(); }
    // When flush would next give something, if holding.
    uint64_t deadlineMs() const { return lastByteMs_ + kQuietMs; }

private:
    void split(std::vector<Piece>& out, bool force);

    std::vector<std::string> names_;
    std::vector<uint8_t> buffer_;
    uint64_t lastByteMs_ = 0;
};
