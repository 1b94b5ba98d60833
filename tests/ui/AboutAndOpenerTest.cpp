#include "ui/DocumentOpenerQt.h"
#include "ui/TfrmAbout.h"

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QUrl>
#include <QtTest>

class AboutAndOpenerTest : public QObject {
    Q_OBJECT
private slots:
    void aboutBoxIsAFixedPictureAndTheGuideOnTop() {
        TfrmAbout about;
        QCOMPARE(about.objectName(), QStringLiteral("frmAbout"));
        QCOMPARE(about.windowTitle(), QStringLiteral("О программе"));
        QCOMPARE(about.size(), QSize(300 + TfrmAbout::kGuideWidth, 300));
        QCOMPARE(about.minimumSize(), about.maximumSize());
        QVERIFY(about.windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(about.windowFlags() & Qt::WindowCloseButtonHint);
        QVERIFY(!(about.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(!about.isModal());
        auto* image = about.findChild<QLabel*>(QStringLiteral("ImageAbout"));
        QVERIFY(image == about.ImageAbout && image != nullptr);
        QCOMPARE(image->geometry(), QRect(0, 0, 300, 300));
        QCOMPARE(image->pixmap().size(), QSize(300, 300));
        // Beside the picture, the guide: how a visit goes, and what the lights say.
        QCOMPARE(about.TextGuide->geometry(), QRect(300, 0, TfrmAbout::kGuideWidth, 300));
        QVERIFY(about.TextGuide->toPlainText().startsWith("Как проходит выезд"));
    }

    void aboutBoxShowsCentredOnTheMainWindowAndStaysWhereTheUserPutIt() {
        QWidget owner;
        owner.setGeometry(100, 80, 800, 512);
        owner.show();
        TfrmAbout about;
        about.showCentredOn(&owner);
        QVERIFY(about.isVisible());
        const QPoint centre = about.frameGeometry().center();
        QVERIFY(qAbs(centre.x() - owner.frameGeometry().center().x()) <= 2);
        QVERIFY(qAbs(centre.y() - owner.frameGeometry().center().y()) <= 2);
        // A second call only brings it to the front.
        about.move(10, 10);
        about.showCentredOn(&owner);
        QCOMPARE(about.pos(), QPoint(10, 10));
        // Closing hides the box; it can be shown again.
        about.close();
        QVERIFY(!about.isVisible());
        about.showCentredOn(&owner);
        QVERIFY(about.isVisible());
    }

    void openerHandsOverOnlyExistingFiles() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("Данные 1.orx"));
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("x");
        }
        QList<QUrl> asked;
        bool desktopAnswer = false;
        DocumentOpenerQt opener([&](const QUrl& u) {
            asked.append(u);
            return desktopAnswer;
        });
        // Opened even when the desktop then fails (no viewer installed): that goes unnoticed.
        QVERIFY(opener.open(file.toStdString()));
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0], QUrl::fromLocalFile(file));
        QVERIFY(!opener.open(dir.filePath(QStringLiteral("missing.orx")).toStdString()));
        QVERIFY(!opener.open(dir.path().toStdString()));
        QVERIFY(!opener.open(std::string()));
        QCOMPARE(asked.size(), 1);
    }
};

QTEST_MAIN(AboutAndOpenerTest)
#include "AboutAndOpenerTest.moc"
