#pragma once
#include <QDialog>

class QLabel;

// The about box: one picture, nothing else; fixed size, always on top, only a close button.
class TfrmAbout : public QDialog {
public:
    explicit TfrmAbout(QWidget* parent = nullptr);
    // Shows the box (not modally) centred on owner, or brings it to the front when showing.
    void showCentredOn(QWidget* owner);
    QLabel* ImageAbout = nullptr;
};
