#include "ui/RowControls.h"

#include <QPainter>

#include <algorithm>

RowShape::RowShape(Kind kind, QColor brush, QWidget* parent) : QWidget(parent), kind_(kind), brush_(brush) {}

void RowShape::setBrushColour(const QColor& c) {
    if (c == brush_)
        return;
    brush_ = c;
    update();
}

void RowShape::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(brush_);
    const QRect r = rect().adjusted(0, 0, -1, -1);
    if (r.width() < 0 || r.height() < 0)
        return;
    switch (kind_) {
    case RoundRect:
        p.setRenderHint(QPainter::Antialiasing);
        p.drawRoundedRect(QRectF(r).translated(0.5, 0.5), 2, 2);
        break;
    case Circle:
        p.setRenderHint(QPainter::Antialiasing);
        p.drawEllipse(QRectF(r).translated(0.5, 0.5));
        break;
    case Rect:
        p.drawRect(r);
        break;
    }
}

RowPicture::RowPicture(QWidget* parent) : QWidget(parent) {}

void RowPicture::setPicture(const QImage* image, int index) {
    if (image == nullptr || image->isNull())
        index = -1;
    if (index < 0)
        image = nullptr;
    if (image == image_ && index == index_)
        return;
    image_ = image;
    index_ = index;
    update();
}

void RowPicture::paintEvent(QPaintEvent*) {
    if (image_ == nullptr)
        return;
    QPainter p(this);
    p.drawImage(0, 0, *image_);
}

RowText::RowText(QWidget* parent) : QWidget(parent) {}

void RowText::setText(const QString& text) {
    if (text == text_)
        return;
    text_ = text;
    // At most a row high, so that a label never reaches into the next row.
    resize(text_.isEmpty() ? 0 : fontMetrics().horizontalAdvance(text_) + 2,
           std::min(fontMetrics().height(), 14));
    update();
}

void RowText::setTextColour(const QColor& c) {
    if (c == colour_)
        return;
    colour_ = c;
    update();
}

QColor RowText::textColour() const {
    return colour_.isValid() ? colour_ : palette().color(QPalette::WindowText);
}

void RowText::paintEvent(QPaintEvent*) {
    if (text_.isEmpty())
        return;
    QPainter p(this);
    p.setPen(textColour());
    p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, text_);
}
