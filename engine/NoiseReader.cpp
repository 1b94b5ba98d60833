#include "engine/NoiseReader.h"

void NoiseReader::process(const uint8_t* data, size_t n, TDateTime now, std::vector<NoisePoint>& out) {
    if (resync_) {
        // Only a quiet tick ends resynchronisation; the next byte after it is a length byte.
        if (n == 0) {
            resync_ = false;
            position_ = 0;
        }
        return;
    }
    if (n == 0 || data == nullptr)
        return;
    if (n > kBufferSize)
        n = kBufferSize;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = data[i];
        if (position_ == 0) {
            length_ = static_cast<uint8_t>(b + 1);
            if (length_ < 4 || length_ > 63) {
                startResync();
                return;
            }
        }
        if (position_ == length_ - 2)
            out.push_back({now, levelFromByte(b), length_ == 4});
        if (position_ == length_ - 1 && b < 0x80) {
            startResync();
            return;
        }
        ++position_;
        if (position_ >= length_)
            position_ = 0;
    }
}
