#pragma once
// The real main window over the in-process simulator of a scenario, on a fake clock, in a program
// folder of its own, with a group file in its Cfg folder. Boxes nobody expected fail the test.
#include "app/ProgramWindows.h"
#include "app/TfrmKestrovane.h"
#include "engine/TaskDriver.h"
#include "platform/FakeClock.h"
#include "sim/Scenario.h"
#include "sim/SimDevices.h"
#include "sim/SimSerialOs.h"
#include "tests/support/MessageBoxRecorder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <stdexcept>

namespace rig {

struct WindowRig {
    // beforeWindow puts in the program folder what the window reads as it opens (sounds, settings).
    WindowRig(const char* scenarioJson, const QByteArray& group,
              const std::function<void(const QString& folder)>& beforeWindow = {})
        : devices(scenario(scenarioJson), clock), os(devices) {
        setProgramDirForTests(dir.path());
        QDir().mkpath(dir.path() + "/Archive");
        put(groupFile(), group);
        if (beforeWindow)
            beforeWindow(dir.path());
        newWindow();
    }
    ~WindowRig() { window.reset(); }

    // A window opened afresh on the same folder, as the program started again.
    TfrmKestrovane* newWindow() {
        window.reset();
        window = std::make_unique<TfrmKestrovane>(clock, os);
        window->openDocument = [](const QString&) {};
        return window.get();
    }

    QString groupFile() const { return dir.path() + "/Cfg/group.cfg"; }
    static void put(const QString& path, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            throw std::runtime_error("cannot write " + path.toStdString());
    }
    void loadGroup() { LoadConfiguration(groupFile().toStdString(), window->table, *window); }

    // The timers as the event loop fires them: the reception tick every 50 ms and, with timeLimit,
    // the logger's limit once no request went out for as long; until the task ends or stop() says so.
    void runTask(const std::function<bool()>& stop = {}, bool timeLimit = false, int maxMs = 10 * 60 * 1000) {
        size_t requests = os.airRequests().size();
        uint32_t quietMs = 0;
        for (int ms = 0; window->taskRunning() && ms < maxMs; ms += static_cast<int>(TaskDriver::kTickMs)) {
            if (stop && stop())
                return;
            clock.advanceMs(TaskDriver::kTickMs);
            window->TimerReadStreamTimer();
            const size_t now = os.airRequests().size();
            quietMs = now == requests ? quietMs + TaskDriver::kTickMs : 0;
            requests = now;
            if (timeLimit && quietMs >= TaskDriver::kLimitMs && window->taskRunning()) {
                window->TimerSkipDevTimer();
                quietMs = 0;
            }
        }
    }

    QTemporaryDir dir;
    FakeClock clock;
    SimDevices devices;
    SimSerialOs os;
    MessageBoxRecorder unexpectedBoxes{MessageBoxRecorder::Strict};
    std::unique_ptr<TfrmKestrovane> window;

private:
    static Scenario scenario(const char* json) {
        ScenarioResult r = parseScenario(json, "window.json");
        if (!r.ok)
            throw std::invalid_argument(r.error);
        return r.scenario;
    }
};

} // namespace rig
