#pragma once
// The features list: the features of the current project, to add, edit and
// delete them.
#include <QAbstractTableModel>
#include <QDialog>
#include <memory>

class DbTable;
class QAction;
class QFrame;
class QMenu;
class QPushButton;
class QTableView;

// The rows of the features list, by name.
class FeatureListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { colName, colFeatureID, colProjectID, colDescription, ColumnCount };
    struct Row {
        int featureID = 0;
        int projectID = 0;
        QString name;
        QString description;
    };

    using QAbstractTableModel::QAbstractTableModel;

    // Replaces the rows, sorted by name.
    void setRows(QList<Row> rows);
    const Row& row(int r) const { return rows_.at(r); }
    // The row of that feature, or -1.
    int rowOf(int featureID) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QList<Row> rows_;
};

class TfrmFeaturesList : public QDialog {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 10000;
    static constexpr int kClientWidth = 249;
    static constexpr int kClientHeight = 262;

    // Opens the dialog's own cursor; errors propagate.
    explicit TfrmFeaturesList(QWidget* parent = nullptr);
    ~TfrmFeaturesList() override;

    int helpContext() const { return kHelpContext; }

    // The selected feature's id, or 0.
    int selectedFeatureID() const;
    // Selects that feature; false when the list does not show it.
    bool selectFeature(int featureID);

    QTableView* gridFeatures = nullptr;
    FeatureListModel* gridFeaturesModel = nullptr;
    QPushButton* btnAdd = nullptr;
    QPushButton* btnEdit = nullptr;
    QPushButton* btnDelete = nullptr;
    QFrame* Bevel1 = nullptr;
    QPushButton* btnCancel = nullptr;
    QMenu* popFeatures = nullptr;
    QAction* AddFeature1 = nullptr;
    QAction* EditFeature1 = nullptr;
    QAction* DeleteFeature1 = nullptr;

    std::unique_ptr<DbTable> dbFeatures;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormCreate();
    // Reads the rows again, keeping the selection on `featureID` when it is listed.
    void reload(int featureID);
    void AddFeature1Click();
    void EditFeature1Click();
    void DeleteFeature1Click();
};

// Shows the features list of the current project, positioned on the feature
// when one is given (0: none).
void ShowFeaturesList(int featureID, QWidget* parent = nullptr);
