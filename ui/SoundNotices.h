#pragma once
#include "platform/SoundOutput.h"

#include <QByteArray>

#include <vector>

enum class Notice { Completed, Missed, Finished };

// The three notices in the user's sound mode: 1 plays the notice's WAV buffer, 2 a tone
// sequence, any other mode nothing.
class SoundNotices {
public:
    static constexpr int kToneMs = 50;
    // A buffer of this size or less counts as absent (a missing file leaves it empty).
    static constexpr int kMaxAbsentBytes = 100;

    explicit SoundNotices(ISoundOutput& output) : output_(output) {}

    void play(Notice notice, int mode, const QByteArray& wav);
    // ImageSoundClick: from 2 or more back to 0 in silence, otherwise one mode up with the
    // completed notice as a sample of the new mode. Returns the new mode.
    int click(int mode, const QByteArray& completedWav);

    static const std::vector<int>& toneSequence(Notice notice); // Hz, kToneMs each

private:
    ISoundOutput& output_;
};
