#pragma once
// The column chooser: a small tool window listing the grid's hidden columns.
// A column dragged from it onto the header is shown again; so is one
// double-clicked. A header dragged out of the grid lands here.
#include <QWidget>

class DataGrid;
class QListWidget;

class GridColumnChooser : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kMimeType = "application/x-pelloran-grid-column";
    explicit GridColumnChooser(DataGrid* grid);
    void refresh();
    QListWidget* list() const { return list_; }

private:
    DataGrid* grid_;
    QListWidget* list_;
};
