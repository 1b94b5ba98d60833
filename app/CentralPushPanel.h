#pragma once
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string>

class BackgroundPush;
class IniFile;
struct PushReport;

// The window's side of the team's central archive: the settings key naming the database, a push
// on a thread of its own whenever asked (after each download), and panel 1's word on how many
// records went and whether any wait. Without libpq in the build the key is noted and not used.
class CentralPushPanel : public QObject {
    Q_OBJECT
public:
    // Section [Settings]; the file holds the name in Windows-1251.
    static constexpr const char* kSettingsKey = "Центральный архив";

    // changed runs on the window's thread whenever note() changes.
    explicit CentralPushPanel(std::function<void()> changed, QObject* parent = nullptr);
    ~CentralPushPanel() override;

    // Reads the key; a push starts at once for what earlier sessions left. An address carrying a
    // password is refused with a note and nothing is pushed.
    void configure(const IniFile& settings, const std::string& archivePath);
    bool active() const { return push_ != nullptr; }
    void pushSoon();
    const QString& note() const { return note_; }

private:
    struct Relay;
    void received(const PushReport& report);

    std::shared_ptr<Relay> relay_;
    std::unique_ptr<BackgroundPush> push_;
    std::function<void()> changed_;
    QString note_;
};
