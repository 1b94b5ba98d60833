#pragma once
#include <QDialog>

class QLabel;
class QTextBrowser;

// The about box: its picture, and beside it a short guide to a day in the field; fixed size,
// always on top, only a close button.
class TfrmAbout : public QDialog {
public:
    explicit TfrmAbout(QWidget* parent = nullptr);
    // Shows the box (not modally) centred on owner, or brings it to the front when showing.
    void showCentredOn(QWidget* owner);
    QLabel* ImageAbout = nullptr;
    QTextBrowser* TextGuide = nullptr;

    static constexpr int kGuideWidth = 480;
    // The guide as the box shows it (HTML).
    static QString guideText();
    // What the colours of the status lights mean, as lines of plain text.
    static QString lightsLegend();
};
