#pragma once
#include <QLineEdit>
#include <QWidget>

#include <functional>

class QToolButton;

// A number shown as text in an edit field with up and down buttons. A value the program sets is
// brought into [minimum, maximum] at once; a typed one when the field loses the focus. No bound
// applies while minimum equals maximum. Every change of the text runs the change handler.
class TNumSpinEdit : public QWidget {
    Q_OBJECT
public:
    explicit TNumSpinEdit(QWidget* parent = nullptr);

    double value() const { return value_; }
    // Round half to even, as every reader of the controls takes it.
    int valueRounded() const;
    // What a reader that acts on the value takes: a typed value brought into the range and
    // rounded now, since a click elsewhere need not take the focus; the field then shows it.
    int valueUsed();
    // The same number without touching the field: what the getters and the change handlers that
    // run while typing read.
    int valueInRange() const;
    void setValue(double value);

    double minimum() const { return minimum_; }
    double maximum() const { return maximum_; }
    // The current value stays as it is until it is next set or the field loses the focus.
    void setMinimum(double minimum) { minimum_ = minimum; }
    void setMaximum(double maximum) { maximum_ = maximum; }

    int decimals() const { return decimals_; }
    void setDecimals(int decimals);
    double increment() const { return increment_; }
    void setIncrement(double increment) { increment_ = increment; }

    void setOnChange(std::function<void()> handler) { onChange_ = std::move(handler); }

    // What the field said when it last brought a typed value into its range ("значение
    // ограничено: 1…99"), shown as a hint beside it while the field flashes; empty before.
    const QString& boundNote() const { return boundNote_; }
    bool flashing() const { return flashing_; }

    QLineEdit* editor() const { return editor_; }
    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

    // The value brought into the range as the control applies it (exposed for the readers that
    // must know what a value would become).
    double bounded(double value) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    static int roundedInt(double value);
    QString format(double value) const;
    bool parse(const QString& text, double& out) const;
    void step(int direction);
    void commitTyped();
    void textEdited(const QString& text);
    // A typed value did not fit: the user sees that it was changed, and to what range.
    void tellBounded();

    QLineEdit* editor_;
    QToolButton* up_;
    QToolButton* down_;
    double value_ = 0;
    double minimum_ = 0;
    double maximum_ = 0;
    double increment_ = 1;
    int decimals_ = 0;
    std::function<void()> onChange_;
    QString boundNote_;
    bool flashing_ = false;
};
