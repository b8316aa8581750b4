#pragma once
// The drop-down of a column header's filter button: "(All)", "(Custom...)"
// and the column's distinct values; and the dialog of a custom condition.
#include "widgets/GridTypes.h"

#include <QDialog>
#include <QFrame>

class QComboBox;
class QListWidget;

class GridFilterPopup : public QFrame {
    Q_OBJECT
public:
    GridFilterPopup(const QStringList& values, int visibleRows, QWidget* parent);
    QListWidget* list() const { return list_; }

signals:
    void allChosen();
    void customChosen();
    void valueChosen(const QString& value);

private:
    QListWidget* list_;
};

class GridConditionDialog : public QDialog {
    Q_OBJECT
public:
    GridConditionDialog(const QString& caption, const QStringList& values, QWidget* parent);
    void setCondition(const GridCondition& c);
    // Field left empty: the caller knows the column.
    GridCondition condition() const;

private:
    QComboBox* op_;
    QComboBox* value_;
};
