#include "app/TRadioGroup.h"

#include <QVBoxLayout>
#include <algorithm>

TRadioGroup::TRadioGroup(const QString& caption, int itemCount, QWidget* parent)
    : QGroupBox(caption, parent), group_(this) {
    setAlignment(Qt::AlignHCenter);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < itemCount; ++i) {
        auto* b = new QRadioButton(this);
        b->setFocusPolicy(Qt::TabFocus);
        group_.addButton(b, i);
        buttons_.append(b);
        layout->addWidget(b);
    }
}

int TRadioGroup::itemIndex() const {
    return group_.checkedId();
}

void TRadioGroup::setItemIndex(int index) {
    index = std::clamp(index, -1, count() - 1);
    if (index < 0) {
        // An exclusive group cannot uncheck its last button; lift the rule for the moment.
        group_.setExclusive(false);
        for (auto* b : buttons_)
            b->setChecked(false);
        group_.setExclusive(true);
        return;
    }
    buttons_[index]->setChecked(true);
}
