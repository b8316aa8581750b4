#pragma once
// The project selector: a drop-down of every project's name, on the Projects
// toolbar and in the Projects menu. Each place gets a combo of its own; all
// show the same list and the same choice.
#include <QList>
#include <QPointer>
#include <QWidgetAction>

#include "widgets/LookupCombo.h"

class TProjectSelectorAction : public QWidgetAction {
    Q_OBJECT
public:
    static constexpr int kComboWidth = 145;
    static constexpr int kDropDownRows = 7;

    explicit TProjectSelectorAction(QObject* parent = nullptr);

    void setItems(const QList<TLookupCombo::Item>& items);
    const QList<TLookupCombo::Item>& items() const { return items_; }
    // Shows the project with that id in every combo (none when 0 or unknown).
    void setKeyValue(int key);
    int keyValue() const { return key_; }
    // The shown name ("" when none).
    QString shownName() const;
    QList<TLookupCombo*> combos() const;

signals:
    // The user chose a project in one of the combos.
    void projectChosen(int projectID);

protected:
    QWidget* createWidget(QWidget* parent) override;

private:
    QList<TLookupCombo::Item> items_;
    int key_ = 0;
    QList<QPointer<TLookupCombo>> combos_;
};
