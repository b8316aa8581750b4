#include "data/DbDataset.h"

#include "data/Errors.h"

DbDataset::DbDataset(DbConnection& conn, QObject* parent)
    : QObject(parent)
    , conn_(conn) {}

DbDataset::~DbDataset() = default;

void DbDataset::open() {
    if (active())
        return;
    doOpen();
    state_ = State::Browse;
    emit afterOpen(this);
}

void DbDataset::close() {
    if (!active())
        return;
    doClose();
    state_ = State::Inactive;
    clearCurrent();
    emit afterClose(this);
}

DbField* DbDataset::findField(const QString& name) {
    for (DbField& f : fields_)
        if (f.name().compare(name, Qt::CaseInsensitive) == 0)
            return &f;
    return nullptr;
}

DbField& DbDataset::fieldByName(const QString& name) {
    if (DbField* f = findField(name))
        return *f;
    throw FieldNotFoundError(displayName() + QStringLiteral(": Field '") + name +
                             QStringLiteral("' not found"));
}

void DbDataset::append() {
    requireWritable("Append");
}
void DbDataset::edit() {
    requireWritable("Edit");
}
void DbDataset::post() {
    requireWritable("Post");
}
void DbDataset::cancel() {
    requireWritable("Cancel");
}
void DbDataset::deleteRecord() {
    requireWritable("Delete");
}

void DbDataset::requireWritable(const char* op) const {
    throw DataError(displayName() + QStringLiteral(": ") + QLatin1String(op) +
                    QStringLiteral(" is not possible on a read-only dataset"));
}

void DbDataset::disableControls() {
    ++disabled_;
}

void DbDataset::enableControls() {
    if (disabled_ > 0 && --disabled_ == 0 && scrolledWhileDisabled_) {
        scrolledWhileDisabled_ = false;
        emit afterScroll(this);
    }
}

void DbDataset::setCurrent(QVariantList values) {
    current_ = std::move(values);
    eof_ = false;
}

void DbDataset::clearCurrent() {
    current_.clear();
    eof_ = true;
}

void DbDataset::markScrolled() {
    if (disabled_ > 0)
        scrolledWhileDisabled_ = true;
    else
        emit afterScroll(this);
}

void DbDataset::setFieldValue(int index, QVariant value) {
    if (state_ != State::Edit && state_ != State::Insert)
        throw DataError(displayName() + QStringLiteral(": Dataset not in edit or insert mode"));
    current_[index] = std::move(value);
    modified_[size_t(index)] = true;
}
