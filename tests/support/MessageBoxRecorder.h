#pragma once
// The program's message boxes, answered without an event loop. Every box is recorded; a strict
// recorder also fails the test on any box it was not told to expect, so that a box nobody
// expected is a failure rather than a wait for a click that never comes.
#include "app/QtMessages.h"

#include <QMessageBox>
#include <QStringList>
#include <QtTest>
#include <functional>
#include <utility>

namespace rig {

class MessageBoxRecorder {
public:
    enum Mode { RecordAll, Strict };

    explicit MessageBoxRecorder(Mode mode = RecordAll) : mode_(mode), outer_(current()) {
        current() = this;
        QtMessages::setHookForTests([](QMessageBox& box) { return current()->take(box); });
    }
    ~MessageBoxRecorder() {
        current() = outer_;
        if (outer_)
            QtMessages::setHookForTests([](QMessageBox& box) { return current()->take(box); });
        else
            QtMessages::setHookForTests({});
        if (!unexpected.isEmpty())
            QTest::qFail(qPrintable("boxes nobody expected: " + unexpected.join(" | ")), __FILE__, __LINE__);
    }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    // A strict recorder takes a box whose text holds this, once, in the order told.
    void expect(const QString& part) { expected_ << part; }

    QStringList texts;
    QStringList names;
    QStringList unexpected;
    bool answerYes = true;
    // When set, the button pressed in every box instead (Cancel, for one).
    QMessageBox::StandardButton answer = QMessageBox::NoButton;
    // Runs while a box is open, as if something happened meanwhile.
    std::function<void()> whileOpen;

private:
    static MessageBoxRecorder*& current() {
        static MessageBoxRecorder* top = nullptr;
        return top;
    }
    int take(QMessageBox& box) {
        texts << box.text();
        names << box.objectName();
        if (mode_ == Strict) {
            if (expected_.isEmpty() || !box.text().contains(expected_.front()))
                unexpected << box.text();
            else
                expected_.removeFirst();
        }
        if (whileOpen)
            std::exchange(whileOpen, {})();
        if (answer != QMessageBox::NoButton)
            return int(answer);
        return int(answerYes ? QMessageBox::Yes : QMessageBox::No);
    }

    Mode mode_;
    MessageBoxRecorder* outer_;
    QStringList expected_;
};

} // namespace rig
