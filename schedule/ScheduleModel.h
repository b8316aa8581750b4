#pragma once
// The schedule query's rows as a table model for the task list grid. The
// query keeps the rows; the model only tells the grid when they were read
// again (after each open or re-run, in one reset) or dropped (after a close).
#include <QAbstractTableModel>
#include <QPointer>
#include <QStringList>
#include <vector>

class DbQuery;
enum class FieldKind;

class ScheduleModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ScheduleModel(DbQuery* query, QObject* parent = nullptr);

    DbQuery* query() const { return query_; }
    const QStringList& fields() const { return fields_; }
    // -1 when the query has no column of that name.
    int fieldIndex(const QString& field) const { return int(fields_.indexOf(field)); }
    // Reads the query's rows and columns again (done on its afterOpen/afterClose).
    void reload();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QPointer<DbQuery> query_;
    QStringList fields_;
    std::vector<FieldKind> kinds_;
    int rows_ = 0;
};
