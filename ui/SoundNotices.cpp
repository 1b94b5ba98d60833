#include "ui/SoundNotices.h"

const std::vector<int>& SoundNotices::toneSequence(Notice notice) {
    static const std::vector<int> completed = {500, 2000, 5000};
    static const std::vector<int> missed = {200, 100, 50};
    static const std::vector<int> finished = [] {
        std::vector<int> v;
        for (int i = 0; i < 8; ++i) {
            v.push_back(1000);
            v.push_back(2000);
        }
        return v;
    }();
    switch (notice) {
    case Notice::Completed:
        return completed;
    case Notice::Missed:
        return missed;
    case Notice::Finished:
        break;
    }
    return finished;
}

void SoundNotices::play(Notice notice, int mode, const QByteArray& wav) {
    if (mode == 1) {
        if (wav.size() > kMaxAbsentBytes)
            output_.playWav(std::vector<uint8_t>(wav.begin(), wav.end()));
    } else if (mode == 2) {
        for (int hz : toneSequence(notice))
            output_.tone(hz, kToneMs);
    }
}

int SoundNotices::click(int mode, const QByteArray& completedWav) {
    if (mode >= 2)
        return 0;
    ++mode;
    play(Notice::Completed, mode, completedWav);
    return mode;
}
