#pragma once
#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

// The painted controls of a logger row. A group may hold ten thousand loggers, twelve controls
// each, so these are bare widgets that only paint: no layouts, no size hints, no signals.

class RowShape : public QWidget {
public:
    enum Kind { RoundRect, Circle, Rect };
    RowShape(Kind kind, QColor brush, QWidget* parent);
    void setBrushColour(const QColor& c);
    QColor brushColour() const { return brush_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    Kind kind_;
    QColor brush_;
};

class RowPicture : public QWidget {
public:
    explicit RowPicture(QWidget* parent);
    // index -1 (or a null image) clears the picture.
    void setPicture(const QImage* image, int index);
    int pictureIndex() const { return index_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    const QImage* image_ = nullptr;
    int index_ = -1;
};

// A label sized to its text. An invalid colour means the normal window text colour.
class RowText : public QWidget {
public:
    explicit RowText(QWidget* parent);
    void setText(const QString& text);
    const QString& text() const { return text_; }
    void setTextColour(const QColor& c);
    QColor textColour() const; // the colour actually painted

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString text_;
    QColor colour_;
};
