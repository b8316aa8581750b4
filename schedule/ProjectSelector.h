#pragma once
// The project selector: a drop-down of every project's name, on the Projects
// toolbar and in the Projects menu. Each place gets a combo of its own; all
// show the same list and the same choice.
#include <QList>
#include <QPointer>
#include <QWidgetAction>

#include "widgets/LookupCombo.h"

class ProjectSelectorAction : public QWidgetAction {
    Q_OBJECT
public:
    static constexpr int kComboWidth = 145;
    static constexpr int kDropDownRows = 7;

    explicit ProjectSelectorAction(QObject* parent = nullptr);

    void setItems(const QList<LookupCombo::Item>& items);
    const QList<LookupCombo::Item>& items() const { return items_; }
    // Shows the project with that id in every combo (none when 0 or unknown).
    void setKeyValue(int key);
    int keyValue() const { return key_; }
    // The shown name ("" when none).
    QString shownName() const;
    QList<LookupCombo*> combos() const;

signals:
    // The user chose a project in one of the combos.
    void projectChosen(int projectID);

protected:
    QWidget* createWidget(QWidget* parent) override;

private:
    QList<LookupCombo::Item> items_;
    int key_ = 0;
    QList<QPointer<LookupCombo>> combos_;
};
