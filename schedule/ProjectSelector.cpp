#include "schedule/ProjectSelector.h"

#include <QHBoxLayout>
#include <QLabel>

ProjectSelectorAction::ProjectSelectorAction(QObject* parent)
    : QWidgetAction(parent) {
    setText(QStringLiteral("Pro&ject:"));
    setStatusTip(QStringLiteral("Project:"));
    setToolTip(QStringLiteral("Project:"));
}

QWidget* ProjectSelectorAction::createWidget(QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* lay = new QHBoxLayout(box);
    lay->setContentsMargins(4, 1, 4, 1);
    auto* label = new QLabel(QStringLiteral("Pro&ject:"), box);
    auto* combo = new LookupCombo(box);
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
    connect(combo, &LookupCombo::keyChosen, this, [this](int key) {
        setKeyValue(key);
        emit projectChosen(key);
    });
    combos_.append(combo);
    return box;
}

void ProjectSelectorAction::setItems(const QList<LookupCombo::Item>& items) {
    items_ = items;
    for (const auto& c : combos_)
        if (c) {
            c->setItems(items_);
            c->setKeyValue(key_);
        }
}

void ProjectSelectorAction::setKeyValue(int key) {
    key_ = key;
    for (const auto& c : combos_)
        if (c && c->keyValue() != key)
            c->setKeyValue(key);
}

QString ProjectSelectorAction::shownName() const {
    for (const auto& item : items_)
        if (item.first == key_)
            return item.second;
    return {};
}

QList<LookupCombo*> ProjectSelectorAction::combos() const {
    QList<LookupCombo*> out;
    for (const auto& c : combos_)
        if (c)
            out << c;
    return out;
}
