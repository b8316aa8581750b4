#pragma once
// What tables and queries have in common: a current record with its fields,
// moving through the records, the edit states and the events other datasets
// and views follow.
#include "data/DbConnection.h"
#include "data/DbField.h"

#include <QObject>
#include <QString>
#include <QVariant>

#include <vector>

class DbDataset : public QObject {
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };

    explicit DbDataset(DbConnection& conn, QObject* parent = nullptr);
    ~DbDataset() override;

    DbConnection& connection() const { return conn_; }

    void open();
    void close();
    bool active() const { return state_ != State::Inactive; }
    State state() const { return state_; }

    // Fields of the current record. fieldByName raises FieldNotFoundError for
    // a name the dataset does not have; names match without regard to case.
    DbField& fieldByName(const QString& name);
    DbField* findField(const QString& name);
    DbField& field(int i) { return fields_.at(i); }
    int fieldCount() const { return int(fields_.size()); }

    // One field and value, or "A;B" with one value each. Exact match. Moves to
    // the first match in the dataset's order and returns true; on no match the
    // current record stays and false comes back.
    virtual bool locate(const QString& fieldNames, const QVariantList& values) = 0;
    bool locate(const QString& fieldName, const QVariant& value) {
        return locate(fieldName, QVariantList{value});
    }

    virtual void first() = 0;
    virtual void next() = 0;
    bool eof() const { return eof_; }
    bool isEmpty() { return recordCount() == 0; }
    virtual int recordCount() = 0;
    virtual void refresh() = 0;

    // Writing, for tables. Queries are read-only and raise on these.
    virtual void append();
    virtual void edit();
    virtual void post();
    virtual void cancel();
    virtual void deleteRecord();

    // While controls are disabled, detail datasets do not follow moves; the
    // last enableControls makes them catch up once.
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return disabled_ > 0; }

    // Values of the current record; an empty list when there is none.
    const QVariantList& currentValues() const { return current_; }
    bool hasCurrent() const { return !current_.isEmpty(); }

signals:
    void afterOpen(DbDataset* ds);
    void afterClose(DbDataset* ds);
    void newRecord(DbDataset* ds);
    void afterPost(DbDataset* ds);
    void afterScroll(DbDataset* ds); // the current record changed

protected:
    friend class DbField;
    virtual void doOpen() = 0;
    virtual void doClose() = 0;
    void setCurrent(QVariantList values);
    void clearCurrent();
    void markScrolled();
    void requireWritable(const char* op) const;
    virtual QString displayName() const = 0;
    void setFieldValue(int index, QVariant value);

    DbConnection& conn_;
    std::vector<DbField> fields_;
    QVariantList current_;
    std::vector<bool> modified_;
    State state_ = State::Inactive;
    bool eof_ = true;
    int disabled_ = 0;
    bool scrolledWhileDisabled_ = false;
};
