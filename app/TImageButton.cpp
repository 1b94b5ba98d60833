#include "app/TImageButton.h"

#include <QMouseEvent>

TImageButton::TImageButton(QWidget* parent) : QLabel(parent) {
    setFocusPolicy(Qt::NoFocus);
    setAlignment(Qt::AlignCenter);
}

void TImageButton::setPicture(const QPixmap& picture) {
    if (picture.isNull())
        clear();
    else
        setPixmap(picture);
}

void TImageButton::mouseReleaseEvent(QMouseEvent* event) {
    // A press dragged off the picture is no click.
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}
