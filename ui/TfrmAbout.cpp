#include "ui/TfrmAbout.h"

#include "ui/Pictures.h"

#include <QLabel>

TfrmAbout::TfrmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("О программе"));
    setModal(false);
    ImageAbout = new QLabel(this);
    ImageAbout->setObjectName(QStringLiteral("ImageAbout"));
    ImageAbout->setGeometry(0, 0, 300, 300);
    ImageAbout->setPixmap(aboutPicture());
    setFixedSize(300, 300);
    setSizeGripEnabled(false);
}

void TfrmAbout::showCentredOn(QWidget* owner) {
    if (!isVisible() && owner != nullptr) {
        const QRect frame = owner->frameGeometry();
        move(frame.center() - QPoint(width() / 2, height() / 2));
    }
    show();
    raise();
    activateWindow();
}
