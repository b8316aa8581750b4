#include "widgets/GridFilterPopup.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {
const char* const kAll = "(All)";
const char* const kCustom = "(Custom...)";
} // namespace

GridFilterPopup::GridFilterPopup(const QStringList& values, int visibleRows, QWidget* parent)
    : QFrame(parent, Qt::Popup)
    , list_(new QListWidget(this)) {
    setFrameShape(QFrame::Box);
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(1, 1, 1, 1);
    lay->addWidget(list_);
    list_->addItem(QLatin1String(kAll));
    list_->addItem(QLatin1String(kCustom));
    for (const auto& v : values) {
        auto* item = new QListWidgetItem(v.isEmpty() ? tr("(Blanks)") : v, list_);
        item->setData(Qt::UserRole, v);
    }
    // At most visibleRows rows at a time; the rest scroll.
    const int rowH =
        list_->sizeHintForRow(0) > 0 ? list_->sizeHintForRow(0) : fontMetrics().height() + 2;
    const int rows = std::min(visibleRows, list_->count());
    list_->setFixedHeight(rows * rowH + 2 * list_->frameWidth());
    list_->setMinimumWidth(std::max(140, list_->sizeHintForColumn(0) + 30));
    connect(list_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        const int row = list_->row(item);
        close();
        // Emitted after the popup is gone, so a dialog opened in answer is
        // not parented to a closing popup.
        if (row == 0)
            emit allChosen();
        else if (row == 1)
            emit customChosen();
        else
            emit valueChosen(item->data(Qt::UserRole).toString());
    });
}

GridConditionDialog::GridConditionDialog(const QString& caption, const QStringList& values,
                                         QWidget* parent)
    : QDialog(parent)
    , op_(new QComboBox(this))
    , value_(new QComboBox(this)) {
    setWindowTitle(tr("Custom Filter"));
    op_->addItem(tr("equals"), int(GridCondition::Op::Equals));
    op_->addItem(tr("does not equal"), int(GridCondition::Op::NotEquals));
    op_->addItem(tr("contains"), int(GridCondition::Op::Contains));
    value_->setEditable(true);
    value_->addItems(values);
    value_->setCurrentText(QString());
    auto* form = new QFormLayout;
    form->addRow(new QLabel(tr("Show rows where %1").arg(caption), this));
    form->addRow(op_, value_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(form);
    lay->addWidget(buttons);
}

void GridConditionDialog::setCondition(const GridCondition& c) {
    op_->setCurrentIndex(op_->findData(int(c.op)));
    value_->setCurrentText(c.value.toString());
}

GridCondition GridConditionDialog::condition() const {
    GridCondition c;
    c.op = static_cast<GridCondition::Op>(op_->currentData().toInt());
    c.value = value_->currentText();
    return c;
}
