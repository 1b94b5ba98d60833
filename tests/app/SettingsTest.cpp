// The settings file as the program reads it at start-up and writes it at close.
#include "AppTestSupport.h"

#include "app/TImageButton.h"
#include "app/TRadioGroup.h"
#include "app/TfrmKestrovane.h"
#include "widgets/TNumSpinEdit.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QScreen>
#include <QSlider>
#include <QtTest>

class SettingsTest : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir_;

    QString iniPath() const { return dir_->path() + "/ini/ProgSet.ini"; }
    TfrmKestrovane* start() {
        createProgramWindows();
        return qobject_cast<TfrmKestrovane*>(programWindow("frmKestrovane"));
    }
    // The key names in the order they stand in the file.
    static QStringList keysInOrder(const QByteArray& text) {
        QStringList out;
        QString section;
        for (const QString& raw : QString::fromLatin1(text).split('\n')) {
            const QString line = raw.trimmed();
            if (line.startsWith('['))
                section = line.mid(1, line.indexOf(']') - 1);
            else if (line.contains('=') && !line.startsWith(';'))
                out << section + "/" + line.section('=', 0, 0);
        }
        return out;
    }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        setProgramDirForTests(dir_->path());
    }
    void cleanup() { destroyProgramWindows(); }

    void valuesAreRead() {
        writeFile(iniPath(), "[Main]\r\nTop=40\r\nLeft=0x20\r\nHeight=600\r\nWidth=900\r\n"
                             "[settings]\r\nport=0x0A\r\nMinChannel=10\r\nMaxChannel=30\r\nChannel=28\r\n"
                             "SoundMode=2\r\nPortDevice=/tmp/sim/ttySIM%d\r\n"
                             "[Strategy]\r\nDataBlockSize=3\r\nPower1=2\r\nPower2=0\r\nPower3=1\r\n"
                             "Attempt1=0\r\nAttempt2=5\r\nAttempt3=1\r\n");
        TfrmKestrovane* w = start();
        QCOMPARE(w->pos(), QPoint(32, 40));
        QCOMPARE(w->size(), QSize(892, 566)); // outer bounds in the file, the client area less the frame
        QCOMPARE(w->SpinPortNum->value(), 10.0);
        QCOMPARE(w->SpinModChannel->minimum(), 10.0);
        QCOMPARE(w->SpinModChannel->maximum(), 30.0);
        QCOMPARE(w->SpinLogChannel->minimum(), 10.0);
        QCOMPARE(w->SpinLogChannel->maximum(), 30.0);
        QCOMPARE(w->SpinModChannel->value(), 28.0);
        QCOMPARE(w->SpinLogChannel->value(), 28.0); // follows through SpinModChannelChange
        QCOMPARE(w->LabelModFreq->text(), TfrmKestrovane::frequencyText(28));
        QCOMPARE(w->SoundMode, 2);
        QCOMPARE(w->ImageSound->pixmap().toImage(), w->ImageListSound[2].toImage());
        QCOMPARE(w->PortDevice, QString("/tmp/sim/ttySIM%d"));
        QCOMPARE(w->TrackBarDataBlockSize->value(), 3);
        QCOMPARE(w->RadioGrPower1->itemIndex(), 2);
        QCOMPARE(w->RadioGrPower2->itemIndex(), 0);
        QCOMPARE(w->RadioGrPower3->itemIndex(), 1);
        QVERIFY(!w->CheckBoxAttempt1->isChecked());
        QVERIFY(w->CheckBoxAttempt2->isChecked());
        QVERIFY(w->CheckBoxAttempt3->isChecked());
        QVERIFY(!w->RadioGrPower1->isEnabled());
        QVERIFY(w->RadioGrPower2->isEnabled());
        QVERIFY(w->RadioGrPower3->isEnabled());
    }

    // Garbage and out-of-range values: defaults or the controls' own ranges, never a crash.
    void garbageAndOutOfRange() {
        QByteArray text = "[Main]\nTop=abc\nLeft=12x\nHeight=99999999999999\nWidth=\n"
                          "[Settings]\nPort=1000\nMinChannel=-40\nMaxChannel=300\nChannel=0x1F\n"
                          "SoundMode=7\n[Strategy]\nDataBlockSize=9\nPower1=-3\nPower2=17\nPower3=zz\n"
                          "Attempt1=\x01\x02\nAttempt3=0x0\n";
        text += QByteArray(3, '\0') + "\n" + QByteArray(100000, 'q') + "\n";
        writeFile(iniPath(), text);
        TfrmKestrovane* w = start();
        QCOMPARE(w->pos(), QPoint(0, 0));
        QCOMPARE(w->size(), QSize(792, 478));
        QCOMPARE(w->SpinPortNum->value(), 255.0);
        // The channel range is brought into the one-byte range of "#C".
        QCOMPARE(w->SpinModChannel->minimum(), 0.0);
        QCOMPARE(w->SpinModChannel->maximum(), 255.0);
        QCOMPARE(w->SpinModChannel->value(), 31.0);
        QCOMPARE(w->SoundMode, 7);
        QVERIFY(w->ImageSound->pixmap().isNull());
        QCOMPARE(w->TrackBarDataBlockSize->value(), 3);
        QCOMPARE(w->RadioGrPower1->itemIndex(), -1);
        QCOMPARE(w->RadioGrPower2->itemIndex(), 2);
        QCOMPARE(w->RadioGrPower3->itemIndex(), 2);
        QVERIFY(w->CheckBoxAttempt1->isChecked()); // not an integer: the default
        QVERIFY(!w->CheckBoxAttempt3->isChecked());
    }

    // A file from another monitor layout: the window comes back onto a screen, within sane sizes.
    void windowNoScreenShowsIsBroughtBack() {
        writeFile(iniPath(), "[Main]\r\nTop=-900000\r\nLeft=2000000\r\nHeight=10\r\nWidth=99999999\r\n");
        TfrmKestrovane* w = start();
        QVERIFY(w->width() <= 8192);
        QCOMPARE(w->height(), 478);
        bool seen = false;
        for (const QScreen* s : QGuiApplication::screens())
            seen = seen || s->availableGeometry().intersects(QRect(w->pos(), w->size()));
        QVERIFY(seen);
    }

    void channelRangeTurnedAround() {
        writeFile(iniPath(), "[Settings]\nMinChannel=40\nMaxChannel=12\nChannel=5\n");
        TfrmKestrovane* w = start();
        QCOMPARE(w->SpinModChannel->minimum(), 12.0);
        QCOMPARE(w->SpinModChannel->maximum(), 40.0);
        QCOMPARE(w->SpinModChannel->value(), 12.0);
        QCOMPARE(w->modemChannel(), 12);
    }

    void settingsFileIsADirectory() {
        QDir().mkpath(iniPath());
        TfrmKestrovane* w = start();
        QCOMPARE(w->SpinModChannel->value(), 20.0);
        BoxRecorder boxes;
        w->close();
        QCOMPARE(boxes.texts, QStringList{"Unable to write to " + QDir::toNativeSeparators(iniPath())});
    }

    // Closing writes every key but MinChannel and MaxChannel, in order, and leaves the rest.
    void closeWritesKeysInOrder() {
        QDir().mkpath(dir_->path() + "/ini");
        TfrmKestrovane* w = start();
        w->move(15, 25);
        w->resize(1000, 700);
        w->SpinPortNum->setValue(33);
        w->SpinModChannel->setValue(17);
        w->TrackBarDataBlockSize->setValue(2);
        w->RadioGrPower2->setItemIndex(2);
        w->CheckBoxAttempt3->setChecked(true);
        BoxRecorder boxes;
        QVERIFY(w->close());
        QVERIFY(boxes.texts.isEmpty());
        const QByteArray text = readFile(iniPath());
        QCOMPARE(keysInOrder(text), QStringList({"Main/Top",
                                                 "Main/Left",
                                                 "Main/Height",
                                                 "Main/Width",
                                                 "Analyzer/Top",
                                                 "Analyzer/Left",
                                                 "Analyzer/Height",
                                                 "Analyzer/Width",
                                                 "Settings/Port",
                                                 "Settings/Channel",
                                                 "Settings/SoundMode",
                                                 "Strategy/DataBlockSize",
                                                 "Strategy/Power1",
                                                 "Strategy/Power2",
                                                 "Strategy/Power3",
                                                 "Strategy/Attempt1",
                                                 "Strategy/Attempt2",
                                                 "Strategy/Attempt3",
                                                 "Strategy/OnlyNew",
                                                 "Strategy/ClockAllowance",
                                                 "Strategy/ClockCheckOnly"}));
        QVERIFY(text.contains("Top=25"));
        QVERIFY(text.contains("Left=15"));
        QVERIFY(text.contains("Width=1008"));
        QVERIFY(text.contains("Height=734"));
        QVERIFY(text.contains("Port=33"));
        QVERIFY(text.contains("Channel=17"));
        QVERIFY(text.contains("DataBlockSize=2"));
        QVERIFY(text.contains("Power2=2"));
        QVERIFY(text.contains("Attempt3=1"));

        // What the program wrote, it reads back.
        destroyProgramWindows();
        w = start();
        QCOMPARE(w->SpinPortNum->value(), 33.0);
        QCOMPARE(w->SpinModChannel->value(), 17.0);
        QCOMPARE(w->size(), QSize(1000, 700));
        QVERIFY(w->RadioGrPower3->isEnabled());
    }

    void foreignKeysAndCommentsKept() {
        writeFile(iniPath(), "; kept comment\r\n[Settings]\r\nMinChannel=18\r\nExtra=keep me\r\nPort=7\r\n"
                             "[Foreign]\r\nKey=1\r\n");
        TfrmKestrovane* w = start();
        QCOMPARE(w->SpinModChannel->minimum(), 18.0);
        QCOMPARE(w->SpinModChannel->value(), 20.0);
        w->SpinPortNum->setValue(9);
        w->close();
        const QByteArray text = readFile(iniPath());
        QVERIFY(
            text.startsWith("; kept comment\r\n[Settings]\r\nMinChannel=18\r\nExtra=keep me\r\nPort=9\r\n"));
        QVERIFY(text.contains("[Foreign]\r\nKey=1\r\n"));
        QVERIFY(!text.contains("MaxChannel"));
    }

    // No ini folder: nothing is created and the user is told once; the window closes anyway.
    void missingFolderReportsOnceAndCloses() {
        TfrmKestrovane* w = start();
        BoxRecorder boxes;
        QVERIFY(w->close());
        QVERIFY(!w->isVisible());
        QCOMPARE(boxes.texts.size(), 1);
        QCOMPARE(boxes.names, QStringList{"msgError"});
        QVERIFY(!QFileInfo::exists(iniPath()));
        // A second close does not write or report again.
        w->show();
        w->close();
        QCOMPARE(boxes.texts.size(), 1);
    }
};

QTEST_MAIN(SettingsTest)
#include "SettingsTest.moc"
