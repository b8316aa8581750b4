#include "editing/FeatureListForm.h"

#include "data/DataChangeWatcher.h"
#include "data/Dataset.h"
#include "data/EditRules.h"
#include "data/GlobalData.h"
#include "data/ProjectData.h"
#include "editing/EditFeature.h"
#include "editing/EditingHelp.h"
#include "widgets/DialogFlags.h"
#include "widgets/ErrorHandling.h"
#include "widgets/LiveRefresh.h"
#include "widgets/MessageBoxes.h"

#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {
const QString kFeatureID = QStringLiteral("Feature ID");
const QString kProjectID = QStringLiteral("Project ID");
} // namespace

void FeatureListModel::setRows(QList<Row> rows) {
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        const int c = QString::localeAwareCompare(a.name, b.name);
        return c != 0 ? c < 0 : a.featureID < b.featureID;
    });
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

int FeatureListModel::rowOf(int featureID) const {
    for (int r = 0; r < rows_.size(); ++r)
        if (rows_[r].featureID == featureID)
            return r;
    return -1;
}

int FeatureListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int FeatureListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FeatureListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_.size() ||
        (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    const Row& r = rows_.at(index.row());
    switch (index.column()) {
    case colName:
        return r.name;
    case colFeatureID:
        return r.featureID;
    case colProjectID:
        return r.projectID;
    case colDescription:
        return r.description;
    default:
        return {};
    }
}

QVariant FeatureListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case colName:
        return QStringLiteral("Name");
    case colFeatureID:
        return QStringLiteral("Feature ID");
    case colProjectID:
        return QStringLiteral("Project ID");
    case colDescription:
        return QStringLiteral("Description");
    default:
        return {};
    }
}

TfrmFeaturesList::TfrmFeaturesList(QWidget* parent)
    : QDialog(parent, kFixedDialogFlags) {
    setObjectName(QStringLiteral("frmFeaturesList"));
    setWindowTitle(QStringLiteral("Features List"));

    gridFeaturesModel = new FeatureListModel(this);
    gridFeatures = new QTableView(this);
    gridFeatures->setObjectName(QStringLiteral("gridFeatures"));
    gridFeatures->setModel(gridFeaturesModel);
    gridFeatures->horizontalHeader()->hide();
    gridFeatures->verticalHeader()->hide();
    gridFeatures->setShowGrid(false);
    gridFeatures->setSelectionBehavior(QAbstractItemView::SelectRows);
    gridFeatures->setSelectionMode(QAbstractItemView::SingleSelection);
    gridFeatures->setEditTriggers(QAbstractItemView::NoEditTriggers);
    gridFeatures->setTabKeyNavigation(false);
    gridFeatures->setWordWrap(false);
    for (int c = FeatureListModel::colFeatureID; c < FeatureListModel::ColumnCount; ++c)
        gridFeatures->setColumnHidden(c, true);
    gridFeatures->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    gridFeatures->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    gridFeatures->setContextMenuPolicy(Qt::CustomContextMenu);

    btnAdd = new QPushButton(QStringLiteral("&Add..."), this);
    btnAdd->setObjectName(QStringLiteral("btnAdd"));
    btnEdit = new QPushButton(QStringLiteral("&Edit..."), this);
    btnEdit->setObjectName(QStringLiteral("btnEdit"));
    btnDelete = new QPushButton(QStringLiteral("&Delete"), this);
    btnDelete->setObjectName(QStringLiteral("btnDelete"));
    for (QPushButton* b : {btnAdd, btnEdit, btnDelete})
        b->setAutoDefault(false);
    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    btnCancel = new QPushButton(QStringLiteral("Close"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setDefault(true);

    popFeatures = new QMenu(this);
    popFeatures->setObjectName(QStringLiteral("popFeatures"));
    AddFeature1 = popFeatures->addAction(QStringLiteral("&Add Feature..."));
    AddFeature1->setObjectName(QStringLiteral("AddFeature1"));
    AddFeature1->setShortcut(QKeySequence(Qt::Key_Insert));
    EditFeature1 = popFeatures->addAction(QStringLiteral("&Edit Feature"));
    EditFeature1->setObjectName(QStringLiteral("EditFeature1"));
    EditFeature1->setShortcuts(
        {QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter)});
    popFeatures->addSeparator();
    DeleteFeature1 = popFeatures->addAction(QStringLiteral("&Delete Feature"));
    DeleteFeature1->setObjectName(QStringLiteral("DeleteFeature1"));
    DeleteFeature1->setShortcut(QKeySequence(Qt::Key_Delete));
    // The shortcuts work anywhere in the dialog, not only while the menu is up.
    for (QAction* a : {AddFeature1, EditFeature1, DeleteFeature1}) {
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
    }

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnAdd);
    buttons->addWidget(btnEdit);
    buttons->addWidget(btnDelete);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(btnCancel);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(6, 6, 6, 6);
    outer->addWidget(gridFeatures, 1);
    outer->addLayout(buttons);
    outer->addWidget(Bevel1);
    outer->addLayout(bottom);
    const QSize hint = outer->sizeHint();
    setFixedSize(qMax(kClientWidth, hint.width()), qMax(kClientHeight, hint.height()));

    connect(AddFeature1, &QAction::triggered, this,
            [this] { ErrorHandling::guarded([this] { AddFeature1Click(); }); });
    connect(EditFeature1, &QAction::triggered, this,
            [this] { ErrorHandling::guarded([this] { EditFeature1Click(); }); });
    connect(DeleteFeature1, &QAction::triggered, this,
            [this] { ErrorHandling::guarded([this] { DeleteFeature1Click(); }); });
    connect(btnAdd, &QPushButton::clicked, AddFeature1, &QAction::trigger);
    connect(btnEdit, &QPushButton::clicked, EditFeature1, &QAction::trigger);
    connect(btnDelete, &QPushButton::clicked, DeleteFeature1, &QAction::trigger);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(gridFeatures, &QTableView::doubleClicked, EditFeature1, &QAction::trigger);
    connect(gridFeatures, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        popFeatures->popup(gridFeatures->viewport()->mapToGlobal(pos));
    });

    gridFeatures->setFocus();
    FormCreate();
}

TfrmFeaturesList::~TfrmFeaturesList() {
    dbFeatures.reset();
}

void TfrmFeaturesList::FormCreate() {
    dbFeatures = std::make_unique<DbTable>(dmGlobals->Connection(), QStringLiteral("Features"));
    dbFeatures->setObjectName(QStringLiteral("dbFeatures"));
    dbFeatures->setIndexName(QStringLiteral("PROJECT ID"));
    dbFeatures->setMasterLink(dmProjects->dbProjects, kProjectID, kProjectID);
    dbFeatures->open();
    reload(0);
    // Features another copy adds, renames or deletes show while the list is open.
    new LiveRefresh(this, *dmGlobals->changeWatcher, [this] { reload(selectedFeatureID()); });
}

void TfrmFeaturesList::reload(int featureID) {
    QList<FeatureListModel::Row> rows;
    for (dbFeatures->first(); !dbFeatures->eof(); dbFeatures->next())
        rows.append({dbFeatures->fieldByName(kFeatureID).asInteger(),
                     dbFeatures->fieldByName(kProjectID).asInteger(),
                     dbFeatures->fieldByName(QStringLiteral("Name")).asString(),
                     dbFeatures->fieldByName(QStringLiteral("Description")).asString()});
    const int at = gridFeatures->currentIndex().row();
    gridFeaturesModel->setRows(std::move(rows));
    if (featureID != 0 && selectFeature(featureID))
        return;
    // Otherwise stay near where the selection was.
    const int n = gridFeaturesModel->rowCount();
    if (n > 0)
        gridFeatures->selectRow(qBound(0, at, n - 1));
}

int TfrmFeaturesList::selectedFeatureID() const {
    const QModelIndexList rows = gridFeatures->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return 0;
    return gridFeaturesModel->row(rows.constFirst().row()).featureID;
}

bool TfrmFeaturesList::selectFeature(int featureID) {
    const int r = gridFeaturesModel->rowOf(featureID);
    if (r < 0)
        return false;
    gridFeatures->selectRow(r);
    gridFeatures->scrollTo(gridFeaturesModel->index(r, FeatureListModel::colName));
    return true;
}

void TfrmFeaturesList::AddFeature1Click() {
    const int id = AddNewFeature(this);
    dbFeatures->refresh();
    reload(id);
}

void TfrmFeaturesList::EditFeature1Click() {
    const int id = selectedFeatureID();
    if (id == 0)
        return;
    EditFeature(id, this);
    dbFeatures->refresh();
    reload(id);
}

void TfrmFeaturesList::DeleteFeature1Click() {
    const int id = selectedFeatureID();
    if (id == 0)
        return; // an empty list has nothing to delete
    const QString name = gridFeaturesModel->row(gridFeaturesModel->rowOf(id)).name;
    // A feature with tasks would take them out of every schedule: refused.
    DbConnection& conn = dbFeatures->connection();
    QString refusal = refuseFeatureDelete(conn, id, name);
    if (refusal.isEmpty()) {
        if (!Msg::confirm(this, QStringLiteral("Are you sure you want to delete the ") + name +
                                    QStringLiteral(" feature?")))
            return;
        // Asked again in the write: another copy may have added a task meanwhile.
        DbConnection::Transaction tx(conn);
        refusal = refuseFeatureDelete(conn, id, name);
        if (refusal.isEmpty() && dbFeatures->locate(kFeatureID, id)) {
            dbFeatures->deleteRecord();
            tx.commit();
        }
    }
    if (!refusal.isEmpty())
        Msg::information(this, refusal);
    reload(0);
}

void TfrmFeaturesList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        EditingHelp::showTopic(kHelpContext);
        return;
    }
    QDialog::keyPressEvent(event);
}

void ShowFeaturesList(int featureID, QWidget* parent) {
    TfrmFeaturesList dialog(parent ? parent : EditingHelp::defaultParent());
    if (featureID != 0)
        dialog.selectFeature(featureID);
    dialog.exec();
}
