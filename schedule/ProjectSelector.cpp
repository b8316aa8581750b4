#include "schedule/ProjectSelector.h"

#include <QHBoxLayout>
#include <QLabel>

TProjectSelectorAction::TProjectSelectorAction(QObject* parent)
    : QWidgetAction(parent) {
    setText(QStringLiteral("Pro&ject:"));
    setStatusTip(QStringLiteral("Project:"));
    setToolTip(QStringLiteral("Project:"));
}

QWidget* TProjectSelectorAction::createWidget(QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* lay = new QHBoxLayout(box);
    lay->setContentsMargins(4, 1, 4, 1);
    auto* label = new QLabel(QStringLiteral("Pro&ject:"), box);
    auto* combo = new TLookupCombo(box);
    combo->setObjectName(QStringLiteral("cmbProject"));
    combo->setFixedWidth(kComboWidth);
    combo->setDropDownRows(kDropDownRows);
    combo->setToolTip(toolTip());
    combo->setStatusTip(statusTip());
    label->setBuddy(combo);
    lay->addWidget(label);
    lay->addWidget(combo);
    combo->setItems(items_);
    combo->setKeyValue(key_);
    connect(combo, &TLookupCombo::keyChosen, this, [this](int key) {
        setKeyValue(key);
        emit projectChosen(key);
    });
    combos_.append(combo);
    return box;
}

void TProjectSelectorAction::setItems(const QList<TLookupCombo::Item>& items) {
    items_ = items;
    for (const auto& c : combos_)
        if (c) {
            c->setItems(items_);
            c->setKeyValue(key_);
        }
}

void TProjectSelectorAction::setKeyValue(int key) {
    key_ = key;
    for (const auto& c : combos_)
        if (c && c->keyValue() != key)
            c->setKeyValue(key);
}

QString TProjectSelectorAction::shownName() const {
    for (const auto& item : items_)
        if (item.first == key_)
            return item.second;
    return {};
}

QList<TLookupCombo*> TProjectSelectorAction::combos() const {
    QList<TLookupCombo*> out;
    for (const auto& c : combos_)
        if (c)
            out << c;
    return out;
}
