#pragma once
// A drop-down list of rows of a table, keyed by an id and showing one name:
// the project selector, the feature, developer and project choosers. Typing
// the beginning of a name moves to the first match, ignoring case.
#include <QComboBox>
#include <QList>
#include <QPair>

class DbDataset;

class LookupCombo : public QComboBox {
    Q_OBJECT
public:
    explicit LookupCombo(QWidget* parent = nullptr);

    using Item = QPair<int, QString>; // key, shown text
    void setItems(const QList<Item>& items);
    // Reads every record of the dataset (from its first) as key field and list
    // field; the dataset's position is restored and its controls stay frozen meanwhile.
    void loadFrom(DbDataset& dataset, const QString& keyField, const QString& listField);

    // The key of the chosen row; 0 when none is chosen.
    int keyValue() const;
    // Chooses the row with that key; with no such row, nothing is chosen.
    void setKeyValue(int key);

    // Rows shown when the list drops down.
    void setDropDownRows(int rows) { setMaxVisibleItems(rows); }

signals:
    // The user chose a row (not emitted for setKeyValue or setItems).
    void keyChosen(int key);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QString typed_;
};
