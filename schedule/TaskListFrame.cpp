#include "schedule/TaskListFrame.h"

#include "data/GlobalData.h"
#include "data/ProjectData.h"
#include "schedule/ScheduleModel.h"
#include "widgets/DataGrid.h"
#include "widgets/PriorityIcons.h"

#include <QAction>
#include <QMenu>
#include <QScopedValueRollback>
#include <QVBoxLayout>
#include <algorithm>

const QString TfraTaskList::kTaskID = QStringLiteral("Task ID");
const QString TfraTaskList::kFeature = QStringLiteral("Feature");
const QString TfraTaskList::kTask = QStringLiteral("Task");
const QString TfraTaskList::kPriority = QStringLiteral("Priority");
const QString TfraTaskList::kCurrentEstimate = QStringLiteral("Current Estimate");
const QString TfraTaskList::kElapsedTime = QStringLiteral("Elapsed Time");
const QString TfraTaskList::kTimeRemaining = QStringLiteral("Time Remaining");
const QString TfraTaskList::kOriginalEstimate = QStringLiteral("Original Estimate");
const QString TfraTaskList::kStatus = QStringLiteral("Status");
const QString TfraTaskList::kDeveloper = QStringLiteral("Developer");
const QString TfraTaskList::kNotes = QStringLiteral("Notes");

namespace {
GridColumn textColumn(const QString& field, const QString& caption, int width) {
    GridColumn c;
    c.field = field;
    c.caption = caption;
    c.width = width;
    return c;
}
GridColumn hoursColumn(const QString& field, const QString& caption, int width) {
    GridColumn c = textColumn(field, caption, width);
    c.kind = GridDisplayKind::Number;
    c.alignment = Qt::AlignRight | Qt::AlignVCenter;
    c.footerSum = true;
    return c;
}
} // namespace

QList<GridColumn> TfraTaskList::designedColumns() {
    GridColumn priority = textColumn(kPriority, QStringLiteral("!"), 49);
    priority.kind = GridDisplayKind::Icon;
    priority.headerAlignment = Qt::AlignCenter;
    priority.iconPainter = PriorityIcons::painter();
    return {textColumn(kFeature, QStringLiteral("Feature"), 101),
            textColumn(kTask, QStringLiteral("Task"), 128),
            priority,
            hoursColumn(kCurrentEstimate, QStringLiteral("Cur Est"), 62),
            hoursColumn(kElapsedTime, QStringLiteral("Elapsed"), 65),
            hoursColumn(kTimeRemaining, QStringLiteral("Remain"), 63),
            hoursColumn(kOriginalEstimate, QStringLiteral("Orig Est"), 72),
            textColumn(kStatus, QStringLiteral("Status"), 97),
            textColumn(kDeveloper, QStringLiteral("Developer"), 72)};
}

TfraTaskList::TfraTaskList(TdmProjects& projects, QWidget* parent)
    : QFrame(parent)
    , projects_(projects) {
    setObjectName(QStringLiteral("fraTaskList"));
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    gridSchedule = new DataGrid(this);
    gridSchedule->setObjectName(QStringLiteral("gridSchedule"));
    gridSchedule->setFrameShape(QFrame::NoFrame);
    lay->addWidget(gridSchedule);
    popGrid = new QMenu(this);
    popGrid->setObjectName(QStringLiteral("popGrid"));

    model_ = new ScheduleModel(projects_.sqlSchedule, this);
    gridSchedule->setColumns(designedColumns());
    gridSchedule->setKeyField(kTaskID);
    gridSchedule->setPreviewField(kNotes, 8);
    gridSchedule->setPreviewVisible(false);
    gridSchedule->setDetailProvider(
        {QStringLiteral("Action"), QStringLiteral("Modified")},
        [this](const QVariant& key) { return loadHistory(key.toInt()); });
    gridSchedule->setSortOrder({{kFeature, Qt::AscendingOrder}, {kPriority, Qt::AscendingOrder}});
    gridSchedule->setGroupPanelVisible(false);
    if (dmGlobals)
        gridSchedule->setColorScheme(dmGlobals->StyleRepository.slate());
    gridSchedule->setSourceModel(model_);
    // The query is authoritative after it opens; the grid reports the user's moves.
    scheduleScrolled();

    DbQuery* q = projects_.sqlSchedule;
    connect(q, &DbDataset::afterOpen, this, &TfraTaskList::scheduleReread);
    connect(q, &DbDataset::afterClose, this, &TfraTaskList::scheduleReread);
    connect(q, &DbDataset::afterScroll, this, &TfraTaskList::scheduleScrolled);
    connect(gridSchedule, &DataGrid::focusedKeyChanged, this, &TfraTaskList::gridFocusChanged);
    connect(gridSchedule, &DataGrid::editRequested, this, &TfraTaskList::DoEditTask);
    connect(gridSchedule, &DataGrid::contextMenuRequested, this,
            &TfraTaskList::cxGridPopupMenu1PopupMenus0Popup);
}

TfraTaskList::~TfraTaskList() {
    // The query outlives the frame: it must not call into a half-destroyed one.
    if (projects_.sqlSchedule)
        projects_.sqlSchedule->disconnect(this);
    gridSchedule->disconnect(this);
}

void TfraTaskList::setContextActions(const QList<QAction*>& actions) {
    popGrid->clear();
    for (QAction* a : actions) {
        if (a)
            popGrid->addAction(a);
        else
            popGrid->addSeparator();
    }
}

QVariant TfraTaskList::currentTaskKey() const {
    DbQuery* q = projects_.sqlSchedule;
    if (!q->active() || !q->hasCurrent())
        return {};
    return q->fieldByName(kTaskID).value();
}

void TfraTaskList::scheduleReread() {
    {
        // The grid keeps its focused task (or, when it is gone, takes its
        // neighbour), its expanded rows and groups and its scroll position
        // across the re-read; its own focus moves are not the user's here.
        const QScopedValueRollback guard(syncing_, true);
        model_->reload();
    }
    // The query opened on its first row; it follows the grid, not the other
    // way round, so the view does not move. A caller that wants another task
    // locates it afterwards, and the grid follows that move.
    gridFocusChanged(gridSchedule->focusedKey());
}

void TfraTaskList::scheduleScrolled() {
    if (syncing_)
        return;
    const QVariant key = currentTaskKey();
    if (!key.isValid())
        return;
    const QVariant shown = gridSchedule->focusedKey();
    if (shown.isValid() && shown.toInt() == key.toInt())
        return;
    bool found = false;
    {
        const QScopedValueRollback guard(syncing_, true);
        found = gridSchedule->setFocusedKey(key);
    }
    // A task the filter hides cannot have the focus: the query follows the grid.
    if (!found)
        gridFocusChanged(gridSchedule->focusedKey());
}

void TfraTaskList::gridFocusChanged(const QVariant& key) {
    if (syncing_ || !key.isValid())
        return;
    const QVariant current = currentTaskKey();
    if (current.isValid() && current.toInt() == key.toInt())
        return;
    const QScopedValueRollback guard(syncing_, true);
    projects_.sqlSchedule->locate(kTaskID, key);
}

bool TfraTaskList::hasFocusedTask() const {
    return gridSchedule->focusedKey().isValid();
}

int TfraTaskList::focusedTaskID() const {
    return gridSchedule->focusedKey().toInt();
}

bool TfraTaskList::focusedTaskExpanded() const {
    const QVariant key = gridSchedule->focusedKey();
    return key.isValid() && gridSchedule->isRowExpanded(key);
}

void TfraTaskList::setFocusedTaskExpanded(bool expanded) {
    const QVariant key = gridSchedule->focusedKey();
    if (key.isValid())
        gridSchedule->setRowExpanded(key, expanded);
}

void TfraTaskList::setNotesVisible(bool visible) {
    gridSchedule->setPreviewVisible(visible);
}

bool TfraTaskList::notesVisible() const {
    return gridSchedule->isPreviewVisible();
}

void TfraTaskList::setGroupPanelVisible(bool visible) {
    gridSchedule->setGroupPanelVisible(visible);
}

bool TfraTaskList::groupPanelVisible() const {
    return gridSchedule->isGroupPanelVisible();
}

void TfraTaskList::showColumnChooser() {
    gridSchedule->showColumnChooser();
}

void TfraTaskList::setColorScheme(const GridStyleSheet& sheet) {
    gridSchedule->setColorScheme(sheet);
}

const GridStyleSheet& TfraTaskList::colorScheme() const {
    return gridSchedule->colorScheme();
}

void TfraTaskList::setMyIncompleteTasksFilter(const QString& userName) {
    GridFilter filter;
    filter.conditions.append({kDeveloper, GridCondition::Op::Equals, userName});
    filter.conditions.append({kStatus, GridCondition::Op::NotEquals, QStringLiteral("Complete")});
    gridSchedule->setFilter(filter);
    gridSchedule->setFilterEnabled(true);
}

QList<GridDetailRow> TfraTaskList::loadHistory(int taskID) {
    // A cursor of our own, limited to the task: only its rows are read.
    if (!taskHistory_) {
        taskHistory_ =
            std::make_unique<DbTable>(projects_.dbHistory->connection(), QStringLiteral("History"));
        taskHistory_->setIndexName(QStringLiteral("TASK ID"));
        taskHistory_->setRange(kTaskID, taskID);
        taskHistory_->open();
    } else {
        taskHistory_->setRange(kTaskID, taskID);
    }
    struct Entry {
        QDateTime modified;
        qint64 id;
        GridDetailRow row;
    };
    std::vector<Entry> entries;
    DbTable& h = *taskHistory_;
    for (h.first(); !h.eof(); h.next()) {
        QString change = h.fieldByName(QStringLiteral("Change Description")).asString();
        change.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        while (change.endsWith(u'\n') || change.endsWith(u'\r'))
            change.chop(1);
        const QDateTime modified = h.fieldByName(QStringLiteral("Modified Datestamp")).asDateTime();
        entries.push_back(
            {modified,
             h.fieldByName(QStringLiteral("Task History ID")).value().toLongLong(),
             {{h.fieldByName(QStringLiteral("Action Description")).asString(), modified}, change}});
    }
    // Oldest change first; rows stamped alike keep the order they were written in.
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.modified != b.modified)
            return a.modified < b.modified;
        return a.id < b.id;
    });
    QList<GridDetailRow> out;
    out.reserve(qsizetype(entries.size()));
    for (auto& e : entries)
        out.append(std::move(e.row));
    return out;
}

void TfraTaskList::DoEditTask(const QVariant& key) {
    // The grid asks only for task rows (cells, notes line, Enter on a row).
    if (!key.isValid())
        return;
    gridFocusChanged(key);
    const QVariant current = currentTaskKey();
    emit editTaskRequested(current.isValid() ? current.toInt() : 0);
}

void TfraTaskList::cxGridPopupMenu1PopupMenus0Popup(const QPoint& globalPos, const GridHit&) {
    // Rows, cells, history lines or empty space: the same menu of commands.
    if (!popGrid->isEmpty())
        popGrid->popup(globalPos);
}
