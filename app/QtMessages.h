#pragma once
#include "engine/UiSeams.h"

#include <QString>
#include <functional>

class QWidget;
class QMessageBox;

// The program's message boxes as real QMessageBox windows (object names msgError, msgInfo,
// msgQuestion) so that tests and assistive tools can find and answer them. While one is open,
// depth() is above zero and the window's timer ticks keep out of the engine.
class QtMessages final : public IMessages {
public:
    explicit QtMessages(QWidget* owner) : owner_(owner) {}

    void error(const std::string& text) override;
    void info(const std::string& text) override;
    bool question(const std::string& text) override;

    void errorText(const QString& text);
    void infoText(const QString& text);
    bool questionText(const QString& text);
    enum class Answer { Yes, No, Cancel };
    // Yes, No and Cancel; Escape and closing the box mean Cancel.
    Answer questionYesNoCancel(const QString& text);

    // When the program is told to stop by the system, no one is there to click: every box goes to
    // standard error instead, and a question takes its safe answer (No, or Cancel).
    void setUnattended(bool unattended) { unattended_ = unattended; }
    bool unattended() const { return unattended_; }

    int depth() const { return depth_; }
    // When set, every box is handed to the hook instead of being run; the hook returns the button
    // pressed (QMessageBox::StandardButton). Tests use it to answer boxes without an event loop.
    static void setHookForTests(std::function<int(QMessageBox&)> hook);

private:
    int run(QMessageBox& box);
    QWidget* owner_;
    int depth_ = 0;
    bool unattended_ = false;
};
