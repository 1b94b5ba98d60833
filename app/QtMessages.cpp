#include "app/QtMessages.h"

#include <QMessageBox>
#include <cstdio>

namespace {
std::function<int(QMessageBox&)>& hook() {
    static std::function<int(QMessageBox&)> h;
    return h;
}

// The boxes keep the program's caption, as a Windows message box of the main window would.
const char* kCaption = "Kestrovane";
} // namespace

void QtMessages::setHookForTests(std::function<int(QMessageBox&)> h) {
    hook() = std::move(h);
}

int QtMessages::run(QMessageBox& box) {
    // The program's texts break lines with CR LF; a label wants LF alone.
    box.setText(box.text().replace("\r\n", "\n"));
    if (unattended_) {
        std::fprintf(stderr, "%s: %s\n", kCaption, box.text().toUtf8().constData());
        std::fflush(stderr);
        return box.escapeButton() ? box.standardButton(box.escapeButton()) : QMessageBox::Ok;
    }
    ++depth_;
    const int result = hook() ? hook()(box) : box.exec();
    --depth_;
    return result;
}

void QtMessages::errorText(const QString& text) {
    QMessageBox box(QMessageBox::Critical, kCaption, text, QMessageBox::Ok, owner_);
    box.setObjectName("msgError");
    run(box);
}

void QtMessages::infoText(const QString& text) {
    QMessageBox box(QMessageBox::Information, kCaption, text, QMessageBox::Ok, owner_);
    box.setObjectName("msgInfo");
    run(box);
}

bool QtMessages::questionText(const QString& text) {
    QMessageBox box(QMessageBox::Question, kCaption, text, QMessageBox::Yes | QMessageBox::No, owner_);
    box.setObjectName("msgQuestion");
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return run(box) == QMessageBox::Yes;
}

QtMessages::Answer QtMessages::questionYesNoCancel(const QString& text) {
    QMessageBox box(QMessageBox::Question, kCaption, text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, owner_);
    box.setObjectName("msgQuestion");
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (run(box)) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

void QtMessages::error(const std::string& text) {
    errorText(QString::fromStdString(text));
}
void QtMessages::info(const std::string& text) {
    infoText(QString::fromStdString(text));
}
bool QtMessages::question(const std::string& text) {
    return questionText(QString::fromStdString(text));
}
