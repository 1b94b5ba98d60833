#pragma once
#include <QString>
#include <QWidget>

#include <functional>

// A command switch: a glyph (on or off) with its caption. Setting the state stores it, repaints
// and only then runs the matching handler, so a handler that runs long already shows the new
// state. Setting the state it already has runs nothing.
class TOnOffSwitch : public QWidget {
    Q_OBJECT
public:
    explicit TOnOffSwitch(const QString& caption, QWidget* parent = nullptr);

    bool isOn() const { return on_; }
    void setOn(bool on);

    void setOnHandler(std::function<void()> handler) { onHandler_ = std::move(handler); }
    void setOffHandler(std::function<void()> handler) { offHandler_ = std::move(handler); }
    std::function<void()> onHandler() const { return onHandler_; }
    // The program detaches the off handler to put a refused switch back without running it.
    std::function<void()> offHandler() const { return offHandler_; }

    QString caption() const { return caption_; }
    void setCaption(const QString& caption);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QRect glyphRect() const;

    QString caption_;
    bool on_ = false;
    bool pressed_ = false;
    std::function<void()> onHandler_;
    std::function<void()> offHandler_;
};
