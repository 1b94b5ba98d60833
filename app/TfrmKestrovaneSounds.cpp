// The window's sound notices: the three files beside the program and the sound button's modes.
#include "app/TImageButton.h"
#include "app/TfrmKestrovane.h"
#include "files/FileIo.h"
#include "ui/SoundNotices.h"

#include <QTimer>

namespace {

// Sound files larger than this are not notice sounds; reading one would only waste memory.
constexpr uint64_t kMaxSoundBytes = 16 * 1024 * 1024;

} // namespace

void TfrmKestrovane::loadSounds() {
    const QString folder = QString::fromStdString(Locations.soundDir);
    // Only a regular file is read: a pipe would hang the start, a link to a device read forever.
    auto load = [&](const char* name) {
        std::string data;
        if (fileio::readWholeFile((folder + name).toStdString(), data, kMaxSoundBytes) !=
            fileio::ReadStatus::Ok)
            return QByteArray();
        return QByteArray(data.data(), static_cast<qsizetype>(data.size()));
    };
    soundCompleted = load("/Completed.wav");
    soundMissed = load("/Missed.wav");
    soundFinished = load("/Finished.wav");
}

void TfrmKestrovane::showSoundPicture() {
    // A mode read from the file outside the list shows no picture (and plays nothing).
    ImageSound->setPicture(SoundMode >= 0 && SoundMode < ImageListSound.size() ? ImageListSound[SoundMode]
                                                                               : QPixmap());
}

void TfrmKestrovane::ImageSoundClick() {
    if (soundOutput_)
        SoundMode = SoundNotices(*soundOutput_).click(SoundMode, soundCompleted);
    else
        SoundMode = SoundMode >= 2 ? 0 : SoundMode + 1;
    ImageSound->clear();
    showSoundPicture();
}

void TfrmKestrovane::TimerFinishedSoundTimer() {
    TimerFinishedSound->stop();
    playFinished();
}

void TfrmKestrovane::playNotice(Notice notice, const QByteArray& wav) {
    if (soundOutput_)
        SoundNotices(*soundOutput_).play(notice, SoundMode, wav);
}

void TfrmKestrovane::playCompleted() {
    playNotice(Notice::Completed, soundCompleted);
}

void TfrmKestrovane::playMissed() {
    playNotice(Notice::Missed, soundMissed);
}

void TfrmKestrovane::playFinished() {
    playNotice(Notice::Finished, soundFinished);
}
