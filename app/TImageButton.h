#pragma once
#include <QLabel>

// A picture (or a caption) that acts on a left click, like the picture buttons of the top bar,
// the two arrows and the label "команды". It takes no focus, as a picture does not.
class TImageButton : public QLabel {
    Q_OBJECT
public:
    explicit TImageButton(QWidget* parent = nullptr);
    void setPicture(const QPixmap& picture); // a null pixmap clears the picture

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
