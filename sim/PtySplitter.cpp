#include "sim/PtySplitter.h"

#include <algorithm>
#include <cstring>

namespace {

size_t commandLength(uint8_t letter) {
    switch (letter) {
    case '?':
        return 2;
    case 'C':
    case 'P':
        return 3;
    case 'T':
        return 5;
    default:
        return 0;
    }
}

} // namespace

std::vector<PtySplitter::Piece> PtySplitter::feed(const uint8_t* data, size_t size, uint64_t nowMs) {
    std::vector<Piece> out;
    if (size == 0)
        return out;
    // A stale fragment before a long pause is not glued to what follows.
    if (!buffer_.empty() && nowMs >= deadlineMs())
        split(out, true);
    buffer_.insert(buffer_.end(), data, data + size);
    lastByteMs_ = nowMs;
    split(out, false);
    return out;
}

std::vector<PtySplitter::Piece> PtySplitter::flush(uint64_t nowMs) {
    std::vector<Piece> out;
    if (!buffer_.empty() && nowMs >= deadlineMs())
        split(out, true);
    return out;
}

void PtySplitter::split(std::vector<Piece>& out, bool force) {
    auto take = [&](bool command, size_t n) {
        out.push_back(Piece{command, std::vector<uint8_t>(buffer_.begin(), buffer_.begin() + long(n))});
        buffer_.erase(buffer_.begin(), buffer_.begin() + long(n));
    };
    while (!buffer_.empty()) {
        if (buffer_[0] == '#') {
            if (buffer_.size() < 2) {
                if (force)
                    take(true, 1);
                return;
            }
            size_t n = commandLength(buffer_[1]);
            if (n == 0)
                n = 2; // an unknown command: the modem ignores it
            if (buffer_.size() < n) {
                if (force)
                    take(true, buffer_.size());
                return;
            }
            take(true, n);
            continue;
        }
        // The longest known name that the buffer starts with.
        size_t full = 0;
        for (const std::string& name : names_) {
            const size_t common = std::min(name.size(), buffer_.size());
            if (std::memcmp(buffer_.data(), name.data(), common) != 0)
                continue;
            if (buffer_.size() >= name.size())
                full = std::max(full, name.size());
        }
        if (full > 0 && buffer_.size() >= full + 7) {
            take(false, full + 7);
            continue;
        }
        if (force) {
            take(false, buffer_.size());
            return;
        }
        return; // known or not, an incomplete request waits for more bytes or for quiet
    }
}
