#include "app/CentralPushPanel.h"

#include "files/Cp1251.h"
#include "files/IniFile.h"
#ifdef KV_HAVE_CENTRAL
#include "central/BackgroundPush.h"
#include "central/CentralArchive.h"
#else
// Never made in a build without libpq; complete for the pointer that stays empty.
class BackgroundPush {};
#endif

#include <mutex>

// The push's thread reaches the window through this: a report posted while the panel lives is
// delivered on the window's thread, one after its end (a push left to finish at close) is dropped.
struct CentralPushPanel::Relay {
    std::mutex lock;
    CentralPushPanel* panel = nullptr;
};

CentralPushPanel::CentralPushPanel(std::function<void()> changed, QObject* parent)
    : QObject(parent), relay_(std::make_shared<Relay>()), changed_(std::move(changed)) {
    relay_->panel = this;
}

CentralPushPanel::~CentralPushPanel() {
    {
        std::lock_guard<std::mutex> lock(relay_->lock);
        relay_->panel = nullptr;
    }
    push_.reset();
}

void CentralPushPanel::configure(const IniFile& settings, const std::string& archivePath) {
    const std::string address = cp1251ToUtf8(settings.readString("Settings", utf8ToCp1251(kSettingsKey), ""));
    if (address.empty())
        return;
#ifdef KV_HAVE_CENTRAL
    const std::string problem = CentralArchive::addressProblem(address);
    if (!problem.empty()) {
        note_ = QString::fromStdString(problem) + QStringLiteral(" — ключ «Центральный архив» не учтен");
        changed_();
        return;
    }
    std::weak_ptr<Relay> relay = relay_;
    push_ = std::make_unique<BackgroundPush>(archivePath, address, [relay](const PushReport& report) {
        const std::shared_ptr<Relay> r = relay.lock();
        if (!r)
            return;
        std::lock_guard<std::mutex> lock(r->lock);
        if (CentralPushPanel* panel = r->panel)
            QMetaObject::invokeMethod(
                panel, [panel, report] { panel->received(report); }, Qt::QueuedConnection);
    });
    pushSoon();
#else
    (void)archivePath;
    note_ = QStringLiteral("Центральный архив не поддерживается этой сборкой программы (без libpq): ключ "
                           "«Центральный архив» не учтен");
    changed_();
#endif
}

void CentralPushPanel::pushSoon() {
#ifdef KV_HAVE_CENTRAL
    if (push_)
        push_->pushSoon();
#endif
}

void CentralPushPanel::received(const PushReport& report) {
#ifdef KV_HAVE_CENTRAL
    QString text = QString::fromStdString(pushSummary(report));
    if (!report.ok && !report.errorText.empty())
        text += QStringLiteral(" (новая попытка через минуту)");
    note_ = text;
    changed_();
#else
    (void)report;
#endif
}
