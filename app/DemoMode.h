#pragma once
#include <QString>

#include <memory>

class ISerialOs;

// "kestrovane --demo": the program against the simulated modem and loggers inside the process, for
// a user who has just installed it and has no hardware at hand. The demonstration runs in a
// folder of its own (its settings, group, saved files and record archive), so nothing of it mixes
// with the user's real group files, settings or archive.
class DemoMode {
public:
    // Makes (or refreshes) the demonstration's folder under the program's data folder and the
    // simulated port serving the scenario. Empty error on success.
    static std::unique_ptr<DemoMode> prepare(const QString& programDir, const QByteArray& scenarioJson,
                                             const QByteArray& groupFile, QString& error);
    ~DemoMode();

    // The folder to run the program from: its portable layout holds everything of the demo.
    const QString& folder() const { return folder_; }
    ISerialOs& serialOs();

private:
    DemoMode();
    struct Parts;
    std::unique_ptr<Parts> parts_;
    QString folder_;
};
