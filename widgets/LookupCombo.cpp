#include "widgets/LookupCombo.h"

#include "data/Dataset.h"

#include <QKeyEvent>

LookupCombo::LookupCombo(QWidget* parent)
    : QComboBox(parent) {
    setEditable(false);
    setInsertPolicy(QComboBox::NoInsert);
    connect(this, &QComboBox::activated, this,
            [this](int index) { emit keyChosen(itemData(index).toInt()); });
}

void LookupCombo::setItems(const QList<Item>& items) {
    const QSignalBlocker block(this);
    clear();
    for (const Item& item : items)
        addItem(item.second, item.first);
    setCurrentIndex(-1);
}

void LookupCombo::loadFrom(DbDataset& dataset, const QString& keyField, const QString& listField) {
    QList<Item> items;
    if (dataset.active()) {
        const QVariantList at = dataset.currentValues();
        const int atKey = dataset.hasCurrent() ? dataset.fieldByName(keyField).asInteger() : 0;
        dataset.disableControls();
        for (dataset.first(); !dataset.eof(); dataset.next())
            items.append({dataset.fieldByName(keyField).asInteger(),
                          dataset.fieldByName(listField).asString()});
        if (!at.isEmpty())
            dataset.locate(keyField, atKey);
        dataset.enableControls();
    }
    const int key = keyValue();
    setItems(items);
    setKeyValue(key);
}

int LookupCombo::keyValue() const {
    return currentIndex() < 0 ? 0 : currentData().toInt();
}

void LookupCombo::setKeyValue(int key) {
    const QSignalBlocker block(this);
    setCurrentIndex(findData(key));
}

void LookupCombo::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).isPrint() &&
        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        // Incremental prefix search over the names, ignoring case.
        typed_ += text;
        for (int i = 0; i < count(); ++i) {
            if (itemText(i).startsWith(typed_, Qt::CaseInsensitive)) {
                if (i != currentIndex()) {
                    setCurrentIndex(i);
                    emit activated(i);
                }
                event->accept();
                return;
            }
        }
        typed_ = text; // no name goes on like that: start again with this key
        for (int i = 0; i < count(); ++i) {
            if (itemText(i).startsWith(typed_, Qt::CaseInsensitive)) {
                setCurrentIndex(i);
                emit activated(i);
                break;
            }
        }
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Backspace) {
        typed_.chop(1);
        event->accept();
        return;
    }
    typed_.clear();
    QComboBox::keyPressEvent(event);
}

void LookupCombo::focusOutEvent(QFocusEvent* event) {
    typed_.clear();
    QComboBox::focusOutEvent(event);
}
