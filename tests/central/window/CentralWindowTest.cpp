// The window with "Центральный архив" set: a download goes to the central database on the push's
// own thread, and panel 1 tells how many records went and whether any wait; an address with a
// password in it is refused there.
#include "app/CentralPushPanel.h"
#include "app/TfrmKestrovane.h"
#include "files/Cp1251.h"
#include "tests/app/AppTestSupport.h"
#include "tests/archive/ArchiveTestSupport.h"
#include "tests/central/CentralTestSupport.h"
#include "tests/support/WindowRig.h"
#include "widgets/TOnOffSwitch.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QtTest>

namespace {
const char* const kScenario = R"({"modem": {"port": 6, "channel": 20}, "loggers": [
    {"name": "D0000000A01", "sensors": [1, 2], "measuring": false, "generate": {"count": 100}},
    {"name": "D0000000B02", "sensors": [1, 2, 3], "measuring": false, "generate": {"count": 200}}]})";
} // namespace

class CentralWindowTest : public QObject {
    Q_OBJECT
    std::unique_ptr<rig::WindowRig> r_;
    TfrmKestrovane* w_ = nullptr;
    std::string db_;

    void openWindow(const std::string& address, bool earlierRecord = false) {
        r_ = std::make_unique<rig::WindowRig>(
            kScenario, "Channel 20\r\nD0000000A01\r\nD0000000B02\r\n", [&](const QString& folder) {
                if (earlierRecord) {
                    RecordArchive earlier;
                    QVERIFY(earlier.open((folder + "/archive.sqlite").toStdString()));
                    QCOMPARE(store(earlier, testBlock("D0000000Z09", 2, 0, 1)).added, 1);
                }
                writeFile(folder + "/ini/ProgSet.ini",
                          QByteArray::fromStdString("[Settings]\r\n" +
                                                    utf8ToCp1251(CentralPushPanel::kSettingsKey) + "=" +
                                                    address + "\r\n"));
            });
        w_ = r_->window.get();
        w_->CheckBoxRunOrmix->setChecked(false);
    }
    void download() {
        BoxRecorder boxes;
        r_->loadGroup();
        w_->SwitchConnect->setOn(true);
        w_->SwitchDownload->setOn(true);
        r_->runTask();
    }
    long centralRecords() const {
        return pgtest::Cluster::get().server().count(db_, "SELECT count(*) FROM kestrovane.record");
    }

private slots:
    void init() {
        if (!pgtest::Server::missing().empty() && !std::getenv("KV_REQUIRE_POSTGRES"))
            QSKIP(pgtest::Server::missing().c_str());
        QVERIFY2(pgtest::Cluster::get().ready(), pgtest::Cluster::get().why().c_str());
        db_ = pgtest::Cluster::get().freshDatabase();
        QVERIFY2(pgtest::Cluster::get().why().empty(), pgtest::Cluster::get().why().c_str());
    }
    void cleanup() { r_.reset(); }

    // The server stalls (held with SIGSTOP) as the window starts and pushes what an earlier session
    // left: the download runs on regardless, and what it brought goes once the server answers again.
    void aStalledServerHoldsNoDownloadUpAndPanel1TellsWhatWent() {
        const pid_t server = pgtest::Cluster::get().server().pid();
        QVERIFY(server > 0);
        kill(server, SIGSTOP);
        QElapsedTimer took;
        took.start();
        openWindow(pgtest::Cluster::get().pusherUrl(db_), true);
        download();
        const qint64 downloadMs = took.elapsed();
        kill(server, SIGCONT);
        QVERIFY2(downloadMs < 5000, qPrintable(QString::number(downloadMs)));
        QCOMPARE(w_->table.LoadedRecordCount, 300);
        QTRY_VERIFY2_WITH_TIMEOUT(w_->StatusPanel1->text().contains(
                                      "Центральный архив: отправлено записей 301, все записи отправлены"),
                                  qPrintable(w_->StatusPanel1->text()), 20000);
        QCOMPARE(centralRecords(), 301L);
    }

    void anAddressWithAPasswordIsRefusedInPanel1() {
        openWindow(pgtest::Cluster::get().pusherUrl(db_) + "&password=" + pgtest::kPusherPassword);
        QVERIFY2(w_->StatusPanel1->text().contains("~/.pgpass"), qPrintable(w_->StatusPanel1->text()));
        download();
        QTest::qWait(300);
        QCOMPARE(centralRecords(), 0L);
    }
};

QTEST_MAIN(CentralWindowTest)
#include "CentralWindowTest.moc"
