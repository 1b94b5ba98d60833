#include "app/DemoMode.h"

#include "files/IniFile.h"
#include "platform/Clock.h"
#include "platform/FileLocations.h"
#include "sim/SimDevices.h"
#include "sim/SimSerialOs.h"

#include <QDir>
#include <QFile>

struct DemoMode::Parts {
    std::unique_ptr<SimDevices> devices;
    std::unique_ptr<SimSerialOs> serialOs;
};

DemoMode::DemoMode() : parts_(std::make_unique<Parts>()) {}
DemoMode::~DemoMode() = default;

ISerialOs& DemoMode::serialOs() {
    return *parts_->serialOs;
}

std::unique_ptr<DemoMode> DemoMode::prepare(const QString& programDir, const QByteArray& scenarioJson,
                                            const QByteArray& groupFile, QString& error) {
    const ScenarioResult scenario = parseScenario(
        std::string_view(scenarioJson.constData(), static_cast<size_t>(scenarioJson.size())), "demo.json");
    if (!scenario.ok) {
        error = QString::fromStdString(scenario.error);
        return nullptr;
    }
    const FileLocations real = FileLocations::forProgram(programDir.toStdString());
    std::unique_ptr<DemoMode> demo(new DemoMode);
    demo->folder_ = QDir::cleanPath(QString::fromStdString(real.dataDir) + "/demo");
    QDir dir(demo->folder_);
    for (const char* sub : {"ini", "Cfg", "Archive", "sound"}) {
        if (!dir.mkpath(QString::fromLatin1(sub))) {
            error = QStringLiteral("Не удается создать папку ") + dir.filePath(QString::fromLatin1(sub));
            return nullptr;
        }
    }
    // The notices sound as in the real program.
    const QDir sounds(QString::fromStdString(real.soundDir));
    for (const QString& name : sounds.entryList({QStringLiteral("*.wav")}, QDir::Files)) {
        const QString target = dir.filePath("sound/" + name);
        if (!QFile::exists(target))
            QFile::copy(sounds.filePath(name), target);
    }
    // The group is written afresh each time: a channel change of the last demonstration moved it.
    const QString group = dir.filePath(QStringLiteral("Cfg/demo.cfg"));
    QFile out(group);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(groupFile) != groupFile.size()) {
        error = QStringLiteral("Не удается записать ") + QDir::toNativeSeparators(group);
        return nullptr;
    }
    out.close();
    // The simulated modem answers on its port; the group opens at start as the last one would.
    IniFile ini(dir.filePath(QStringLiteral("ini/ProgSet.ini")).toStdString());
    const std::vector<int>& ports = scenario.scenario.modem.ports;
    ini.writeInteger("Settings", "Port", ports.empty() ? 1 : ports.front());
    ini.writeString("Settings", "LastGroup", group.toStdString());

    demo->parts_->devices = std::make_unique<SimDevices>(scenario.scenario, SystemClock::instance());
    demo->parts_->serialOs = std::make_unique<SimSerialOs>(*demo->parts_->devices);
    return demo;
}
