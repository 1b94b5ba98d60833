// The settings file of the main window: read once in FormCreate, written once in FormClose.
#include "app/CentralPushPanel.h"
#include "app/TRadioGroup.h"
#include "app/TfrmKestrovane.h"
#include "files/ChannelRange.h"
#include "files/IniFile.h"
#include "ui/WindowBounds.h"
#include "widgets/TNumSpinEdit.h"
#include "widgets/TOnOffSwitch.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QScreen>
#include <QSlider>
#include <algorithm>

void TfrmKestrovane::readSettings() {
    const IniFile ini(settingsPath().toStdString());

    const int top = ini.readInteger("Main", "Top", 0);
    const int left = ini.readInteger("Main", "Left", 0);
    // A first start fills most of a laptop's screen, so that the comments and the values after
    // them read whole; a small screen keeps the design's 800 x 512.
    const QRect screen = QGuiApplication::primaryScreen()
                             ? QGuiApplication::primaryScreen()->availableGeometry()
                             : QRect(0, 0, 800, 600);
    const bool roomy = screen.width() >= 1024;
    const int height =
        ini.readInteger("Main", "Height", roomy ? std::clamp(screen.height() * 4 / 5, 512, 720) : 512);
    const int width =
        ini.readInteger("Main", "Width", roomy ? std::clamp(screen.width() * 9 / 10, 800, 1200) : 800);
    ui::placeWindow(*this, left, top, width, height);

    SpinPortNum->setValue(ini.readInteger("Settings", "Port", 6));
    const ChannelRange channels = ChannelRange::fromSettings(ini);
    SpinModChannel->setMinimum(channels.minimum);
    SpinModChannel->setMaximum(channels.maximum);
    SpinLogChannel->setMinimum(SpinModChannel->minimum());
    SpinLogChannel->setMaximum(SpinModChannel->maximum());
    SpinModChannel->setValue(std::clamp(ini.readInteger("Settings", "Channel", 20), 0, 255));
    SoundMode = ini.readInteger("Settings", "SoundMode", 1);
    showSoundPicture();
    PortDevice = QString::fromStdString(ini.readString("Settings", "PortDevice", ""));
    LastGroup = QString::fromStdString(ini.readString("Settings", "LastGroup", ""));

    TrackBarDataBlockSize->setValue(ini.readInteger("Strategy", "DataBlockSize", 1));
    RadioGrPower1->setItemIndex(ini.readInteger("Strategy", "Power1", 0));
    RadioGrPower2->setItemIndex(ini.readInteger("Strategy", "Power2", 1));
    RadioGrPower3->setItemIndex(ini.readInteger("Strategy", "Power3", 2));
    CheckBoxAttempt1->setChecked(ini.readBool("Strategy", "Attempt1", true));
    CheckBoxAttempt2->setChecked(ini.readBool("Strategy", "Attempt2", true));
    CheckBoxAttempt3->setChecked(ini.readBool("Strategy", "Attempt3", false));
    CheckBoxOnlyNew->setChecked(ini.readBool("Strategy", "OnlyNew", false));
    SpinClockAllowance->setValue(std::clamp(ini.readInteger("Strategy", "ClockAllowance", 0), 0, 3600));
    ActionClockCheckOnly->setChecked(ini.readBool("Strategy", "ClockCheckOnly", false));
    openLinkLog(ini);
    // Read, never written: the address is the user's to set.
    central_ = std::make_unique<CentralPushPanel>([this] { showPanel1(); });
    central_->configure(ini, archivePath().toStdString());
}

bool TfrmKestrovane::writeSettings() {
    // A failure here shows as the first key's write error below.
    Locations.prepareSettingsFolder();
    IniFile ini(settingsPath().toStdString());
    const QRect main = ui::outerBounds(*this);
    const QRect analyzer = analyzer_ ? ui::outerBounds(*analyzer_) : QRect(0, 512, 800, 300);
    struct Key {
        const char* section;
        const char* key;
        int value;
    };
    const Key keys[] = {
        {"Main", "Top", main.y()},
        {"Main", "Left", main.x()},
        {"Main", "Height", main.height()},
        {"Main", "Width", main.width()},
        {"Analyzer", "Top", analyzer.y()},
        {"Analyzer", "Left", analyzer.x()},
        {"Analyzer", "Height", analyzer.height()},
        {"Analyzer", "Width", analyzer.width()},
        {"Settings", "Port", SpinPortNum->valueRounded()},
        {"Settings", "Channel", SpinModChannel->valueRounded()},
        {"Settings", "SoundMode", SoundMode},
        {"Strategy", "DataBlockSize", TrackBarDataBlockSize->value()},
        {"Strategy", "Power1", RadioGrPower1->itemIndex()},
        {"Strategy", "Power2", RadioGrPower2->itemIndex()},
        {"Strategy", "Power3", RadioGrPower3->itemIndex()},
        {"Strategy", "Attempt1", CheckBoxAttempt1->isChecked() ? 1 : 0},
        {"Strategy", "Attempt2", CheckBoxAttempt2->isChecked() ? 1 : 0},
        {"Strategy", "Attempt3", CheckBoxAttempt3->isChecked() ? 1 : 0},
        {"Strategy", "OnlyNew", CheckBoxOnlyNew->isChecked() ? 1 : 0},
        {"Strategy", "ClockAllowance", SpinClockAllowance->valueRounded()},
        {"Strategy", "ClockCheckOnly", ActionClockCheckOnly->isChecked() ? 1 : 0},
    };
    for (const Key& k : keys) {
        if (!ini.writeInteger(k.section, k.key, k.value)) {
            // The keys after a failed one are not written.
            messages_.errorText(QString("Unable to write to %1").arg(settingsPath()));
            return false;
        }
    }
    // The next start opens the same group; a program that opened none keeps the last one named.
    if (!table.ConfigFileName.empty() && !ini.writeString("Settings", "LastGroup", table.ConfigFileName)) {
        messages_.errorText(QString("Unable to write to %1").arg(settingsPath()));
        return false;
    }
    return true;
}

bool TfrmKestrovane::FormClose() {
    SwitchConnect->setOn(false);
    PortDrv.ClosePort();
    flushArchiveAtClose();
    return writeSettings();
}
