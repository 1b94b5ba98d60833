#pragma once
#include <QButtonGroup>
#include <QGroupBox>
#include <QList>
#include <QRadioButton>

// A titled column of unlabelled radio buttons whose selection is an item index; -1 selects none.
class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    TRadioGroup(const QString& caption, int itemCount, QWidget* parent = nullptr);

    int itemIndex() const;
    // Values outside -1 .. count-1 are brought to the nearer end, as a settings file may hold anything.
    void setItemIndex(int index);
    int count() const { return static_cast<int>(buttons_.size()); }
    QRadioButton* button(int i) const { return buttons_.value(i); }

private:
    QButtonGroup group_;
    QList<QRadioButton*> buttons_;
};
