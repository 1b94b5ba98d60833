// Qt's standard buttons and file dialogs speak the interface's language, whatever the system's.
#include "AppTestSupport.h"

#include "app/TfrmKestrovane.h"
#include "widgets/QtRussian.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

class RussianDialogsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void initTestCase() {
        QVERIFY2(installQtRussian(*qApp), "qtbase_ru.qm not found (package qt6-translations-l10n)");
        setProgramDirForTests(dir_.path());
        createProgramWindows();
    }
    void cleanupTestCase() { destroyProgramWindows(); }

    void questionBoxAnswersDaOrNet() {
        auto* w = qobject_cast<TfrmKestrovane*>(programWindow("frmKestrovane"));
        QStringList buttons;
        QtMessages::setHookForTests([&](QMessageBox& box) {
            for (QAbstractButton* b : box.buttons())
                buttons << b->text();
            return int(QMessageBox::No);
        });
        w->qtMessages().questionText("Заменить?");
        QtMessages::setHookForTests({});
        buttons.sort();
        QCOMPARE(buttons, QStringList({"&Да", "&Нет"}));
    }

    void openDialogIsRussian() {
        auto* w = qobject_cast<TfrmKestrovane*>(programWindow("frmKestrovane"));
        QFileDialog* d = w->OpenDialogCfg;
        QStringList texts;
        for (const char* name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"})
            texts << d->findChild<QLabel*>(name)->text();
        auto* box = d->findChild<QDialogButtonBox*>("buttonBox");
        for (QAbstractButton* b : box->buttons())
            texts << b->text();
        QCOMPARE(texts, QStringList({"Перейти к:", "&Имя файла:", "Типы файлов:", "&Открыть", "Отмена"}));
    }
};

QTEST_MAIN(RussianDialogsTest)
#include "RussianDialogsTest.moc"
