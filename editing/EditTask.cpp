#include "editing/EditTask.h"

#include "data/Dataset.h"
#include "data/FeatureRules.h"
#include "data/GlobalData.h"
#include "data/ProjectData.h"
#include "editing/EditFeature.h"
#include "editing/EditingHelp.h"
#include "editing/TimeSpinBox.h"
#include "users/EditDeveloper.h"
#include "widgets/CrispPixmap.h"
#include "widgets/DialogFlags.h"
#include "widgets/ErrorHandling.h"
#include "widgets/LookupCombo.h"
#include "widgets/MessageBoxes.h"
#include "widgets/PriorityIcons.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>

const char* const TfrmEditTask::kFeaturesSql = R"(select features."Feature ID",
       features."Name"
from features
where features."Project ID" = :"Project ID"
order by features."Name")";

const char* const TfrmEditTask::kDevelopersSql = R"(select "Developer ID", "Name"
from Developers
order by "Name")";

namespace {
constexpr int kNameWidth = kFeatureNameWidth; // "Name" of Tasks and Features

const QString kTaskID = QStringLiteral("Task ID");
const QString kFeatureID = QStringLiteral("Feature ID");
const QString kProjectID = QStringLiteral("Project ID");
const QString kDeveloperID = QStringLiteral("Developer ID");
const QString kName = QStringLiteral("Name");
const QString kPriority = QStringLiteral("Priority");
const QString kOriginalEstimate = QStringLiteral("Original Estimate");
const QString kCurrentEstimate = QStringLiteral("Current Estimate");
const QString kElapsedTime = QStringLiteral("Elapsed Time");
const QString kStatus = QStringLiteral("Status");
const QString kNotes = QStringLiteral("Notes");

QIcon priorityIcon(int priority) {
    QPixmap pm = crispPixmap(QSize(16, 16));
    pm.fill(Qt::transparent);
    QPainter painter(&pm);
    painter.setRenderHint(QPainter::Antialiasing);
    PriorityIcons::paint(&painter, logicalRect(pm), priority);
    painter.end();
    return QIcon(pm);
}
} // namespace

TfrmEditTask::TfrmEditTask(TdmGlobals& globals, TdmProjects& projects, QWidget* parent)
    : QDialog(parent, kFixedDialogFlags)
    , globals_(globals)
    , projects_(projects) {
    setObjectName(QStringLiteral("frmEditTask"));
    setWindowTitle(QStringLiteral("Edit Task"));

    pcTask = new QTabWidget(this);
    pcTask->setObjectName(QStringLiteral("pcTask"));
    tsTask = new QWidget;
    tsTask->setObjectName(QStringLiteral("tsTask"));
    tsNotes = new QWidget;
    tsNotes->setObjectName(QStringLiteral("tsNotes"));
    pcTask->addTab(tsTask, QStringLiteral("Task"));
    pcTask->addTab(tsNotes, QStringLiteral("Notes"));

    auto label = [this](const QString& caption, const char* name) {
        auto* l = new QLabel(caption, tsTask);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    auto smallButton = [this](const char* name) {
        auto* b = new QToolButton(tsTask);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(QStringLiteral("..."));
        b->setFocusPolicy(Qt::TabFocus);
        return b;
    };
    auto timeBox = [this](const char* name) {
        auto* s = new TimeSpinBox(tsTask);
        s->setObjectName(QString::fromLatin1(name));
        return s;
    };

    labFeature = label(QStringLiteral("&Feature:"), "labFeature");
    cmbFeature = new QComboBox(tsTask);
    cmbFeature->setObjectName(QStringLiteral("cmbFeature"));
    cmbFeature->setEditable(true);
    cmbFeature->setInsertPolicy(QComboBox::NoInsert);
    // What is typed stays as typed; the list is there to pick from.
    cmbFeature->setCompleter(nullptr);
    cmbFeature->lineEdit()->setMaxLength(kNameWidth);
    labFeature->setBuddy(cmbFeature);
    btnAddFeature = smallButton("btnAddFeature");

    labTaskName = label(QStringLiteral("&Task name:"), "labTaskName");
    txtTaskName = new QLineEdit(tsTask);
    txtTaskName->setObjectName(QStringLiteral("txtTaskName"));
    txtTaskName->setMaxLength(kNameWidth);
    labTaskName->setBuddy(txtTaskName);

    labPriority = label(QStringLiteral("&Priority:"), "labPriority");
    cmbPriority = new QComboBox(tsTask);
    cmbPriority->setObjectName(QStringLiteral("cmbPriority"));
    const QStringList priorities{QStringLiteral("Highest"), QStringLiteral("High"),
                                 QStringLiteral("Normal"), QStringLiteral("Low"),
                                 QStringLiteral("Lowest")};
    for (int p = 1; p <= 5; ++p)
        cmbPriority->addItem(priorityIcon(p), priorities[p - 1], p);
    labPriority->setBuddy(cmbPriority);

    labTimesNote = label(QStringLiteral("(All times are in hours)"), "labTimesNote");
    labTimesNote->setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    labTimesNote->setForegroundRole(QPalette::PlaceholderText);

    labOriginalEstimate = label(QStringLiteral("&Estimate: Original:"), "labOriginalEstimate");
    txtOriginalEstimate = timeBox("txtOriginalEstimate");
    labOriginalEstimate->setBuddy(txtOriginalEstimate);
    labCurrentEstimate = label(QStringLiteral("&Current:"), "labCurrentEstimate");
    txtCurrentEstimate = timeBox("txtCurrentEstimate");
    labCurrentEstimate->setBuddy(txtCurrentEstimate);
    labElapsedTime = label(QStringLiteral("El&apsed Time:"), "labElapsedTime");
    txtElapsedTime = timeBox("txtElapsedTime");
    labElapsedTime->setBuddy(txtElapsedTime);

    labStatus = label(QStringLiteral("&Status:"), "labStatus");
    cmbStatus = new QComboBox(tsTask);
    cmbStatus->setObjectName(QStringLiteral("cmbStatus"));
    cmbStatus->addItems({QStringLiteral("Not Started"), QStringLiteral("In Development"),
                         QStringLiteral("Testing"), QStringLiteral("Complete")});
    labStatus->setBuddy(cmbStatus);

    labDeveloper = label(QStringLiteral("&Developer:"), "labDeveloper");
    cmbDeveloper = new LookupCombo(tsTask);
    cmbDeveloper->setObjectName(QStringLiteral("cmbDeveloper"));
    labDeveloper->setBuddy(cmbDeveloper);
    btnAddDeveloper = smallButton("btnAddDeveloper");

    auto* grid = new QGridLayout(tsTask);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->setVerticalSpacing(5);
    grid->addWidget(labFeature, 0, 0);
    grid->addWidget(cmbFeature, 0, 1, 1, 3);
    grid->addWidget(btnAddFeature, 0, 4);
    grid->addWidget(labTaskName, 1, 0);
    grid->addWidget(txtTaskName, 1, 1, 1, 4);
    grid->addWidget(labPriority, 2, 0);
    grid->addWidget(cmbPriority, 2, 1);
    grid->addWidget(labTimesNote, 3, 0, 1, 5);
    grid->addWidget(labOriginalEstimate, 4, 0);
    grid->addWidget(txtOriginalEstimate, 4, 1);
    grid->addWidget(labCurrentEstimate, 4, 2, Qt::AlignRight);
    grid->addWidget(txtCurrentEstimate, 4, 3);
    grid->addWidget(labElapsedTime, 5, 0);
    grid->addWidget(txtElapsedTime, 5, 1);
    grid->addWidget(labStatus, 6, 0);
    grid->addWidget(cmbStatus, 6, 1, 1, 3);
    grid->addWidget(labDeveloper, 7, 0);
    grid->addWidget(cmbDeveloper, 7, 1, 1, 3);
    grid->addWidget(btnAddDeveloper, 7, 4);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(8, 1);

    memNotes = new QPlainTextEdit(tsNotes);
    memNotes->setObjectName(QStringLiteral("memNotes"));
    memNotes->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memNotes->setTabChangesFocus(true);
    auto* notesLayout = new QVBoxLayout(tsNotes);
    notesLayout->setContentsMargins(4, 4, 4, 4);
    notesLayout->addWidget(memNotes);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    btnHelp = new QPushButton(QStringLiteral("&Help"), this);
    btnHelp->setObjectName(QStringLiteral("btnHelp"));
    btnHelp->setAutoDefault(false);
    auto* strip = new QHBoxLayout;
    strip->addStretch(1);
    strip->addWidget(btnOK);
    strip->addWidget(btnCancel);
    strip->addWidget(btnHelp);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 6);
    outer->addWidget(pcTask, 1);
    outer->addLayout(strip);
    const QSize hint = outer->sizeHint();
    setFixedSize(qMax(kClientWidth, hint.width()), qMax(kClientHeight, hint.height()));

    connect(btnOK, &QPushButton::clicked, this,
            [this] { ErrorHandling::guarded([this] { btnOKClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &TfrmEditTask::btnCancelClick);
    connect(btnHelp, &QPushButton::clicked, this, &TfrmEditTask::btnHelpClick);
    connect(btnAddFeature, &QToolButton::clicked, this,
            [this] { ErrorHandling::guarded([this] { btnAddFeatureClick(); }); });
    connect(btnAddDeveloper, &QToolButton::clicked, this,
            [this] { ErrorHandling::guarded([this] { btnAddDeveloperClick(); }); });

    // The boxes below write into the record as soon as their value changes.
    connect(txtOriginalEstimate, &QDoubleSpinBox::valueChanged, this,
            &TfrmEditTask::txtOriginalEstimateChange);
    connect(txtCurrentEstimate, &QDoubleSpinBox::valueChanged, this, [this](double v) {
        if (!loading_)
            dbTasks->fieldByName(kCurrentEstimate).setAsFloat(v);
    });
    connect(txtElapsedTime, &QDoubleSpinBox::valueChanged, this, [this](double v) {
        if (!loading_)
            dbTasks->fieldByName(kElapsedTime).setAsFloat(v);
    });
    connect(cmbPriority, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!loading_ && index >= 0)
            dbTasks->fieldByName(kPriority).setAsInteger(cmbPriority->itemData(index).toInt());
    });
    connect(cmbStatus, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!loading_ && index >= 0)
            dbTasks->fieldByName(kStatus).setAsString(cmbStatus->itemText(index));
    });
    connect(cmbDeveloper, &LookupCombo::keyChosen, this, [this](int key) {
        if (!loading_)
            dbTasks->fieldByName(kDeveloperID).setAsInteger(key);
    });

    cmbFeature->setFocus();
    FormCreate();
}

TfrmEditTask::~TfrmEditTask() {
    // The cursors go before the controls that show them.
    sqlFeatures.reset();
    sqlDevelopers.reset();
    dbTasks.reset();
    dbFeatures.reset();
    dbHistory.reset();
}

void TfrmEditTask::FormCreate() {
    DbConnection& conn = globals_.Connection();
    dbTasks = std::make_unique<DbTable>(conn, QStringLiteral("Tasks"));
    dbTasks->setObjectName(QStringLiteral("dbTasks"));
    connect(dbTasks.get(), &DbDataset::newRecord, this, &TfrmEditTask::dbTasksNewRecord);
    connect(dbTasks.get(), &DbDataset::afterPost, this, &TfrmEditTask::dbTasksAfterPost);

    sqlFeatures = std::make_unique<DbQuery>(conn, QString::fromUtf8(kFeaturesSql));
    sqlFeatures->setObjectName(QStringLiteral("sqlFeatures"));
    sqlFeatures->setMasterSource(projects_.dbProjects);
    connect(sqlFeatures.get(), &DbDataset::afterOpen, this, &TfrmEditTask::sqlFeaturesAfterOpen);

    dbFeatures = std::make_unique<DbTable>(conn, QStringLiteral("Features"));
    dbFeatures->setObjectName(QStringLiteral("dbFeatures"));

    sqlDevelopers = std::make_unique<DbQuery>(conn, QString::fromUtf8(kDevelopersSql));
    sqlDevelopers->setObjectName(QStringLiteral("sqlDevelopers"));

    dbHistory = std::make_unique<DbTable>(conn, QStringLiteral("History"));
    dbHistory->setObjectName(QStringLiteral("dbHistory"));

    dbTasks->open();
    sqlFeatures->open();
    dbFeatures->open();
    dbHistory->open();
    sqlDevelopers->open();
    cmbDeveloper->loadFrom(*sqlDevelopers, kDeveloperID, kName);
}

int TfrmEditTask::taskID() const {
    return dbTasks->hasCurrent() ? dbTasks->fieldByName(kTaskID).asInteger() : 0;
}

void TfrmEditTask::sqlFeaturesAfterOpen() {
    const QSignalBlocker block(cmbFeature);
    const QString text = cmbFeature->currentText();
    cmbFeature->clear();
    for (sqlFeatures->first(); !sqlFeatures->eof(); sqlFeatures->next())
        cmbFeature->addItem(sqlFeatures->fieldByName(kName).asString());
    sqlFeatures->first();
    cmbFeature->setCurrentIndex(-1);
    cmbFeature->setEditText(text);
}

void TfrmEditTask::dbTasksNewRecord() {
    dbTasks->fieldByName(kDeveloperID)
        .setAsInteger(projects_.GetDefaultDeveloper(projects_.currentProjectID()));
    dbTasks->fieldByName(kElapsedTime).setAsFloat(0);
    dbTasks->fieldByName(kPriority).setAsInteger(3);
    dbTasks->fieldByName(kStatus).setAsString(QStringLiteral("Not Started"));
}

void TfrmEditTask::SetOldTaskValues() {
    OldTaskValues = TaskValues::of(*dbTasks);
}

void TfrmEditTask::beginAdd() {
    setWindowTitle(QStringLiteral("Add Task"));
    IsNewTask = true;
    txtCurrentEstimate->setEnabled(false);
    dbTasks->append();
    showRecord();
}

bool TfrmEditTask::beginEdit(int id) {
    IsNewTask = false;
    if (!dbTasks->locate(kTaskID, id))
        return false;
    SetOldTaskValues();
    const DbField& original = dbTasks->fieldByName(kOriginalEstimate);
    if (original.isNull() || original.asFloat() == 0)
        txtCurrentEstimate->setEnabled(false);
    else
        txtOriginalEstimate->setEnabled(false);
    if (dbFeatures->locate(kFeatureID, OldTaskValues.featureID)) {
        const QSignalBlocker block(cmbFeature);
        cmbFeature->setEditText(dbFeatures->fieldByName(kName).asString());
    }
    try {
        dbTasks->edit();
    } catch (const DataError&) {
        if (!taskStillStored())
            return false; // deleted by another user a moment ago
        throw;
    }
    showRecord();
    return true;
}

void TfrmEditTask::showRecord() {
    loading_ = true;
    txtTaskName->setText(dbTasks->fieldByName(kName).asString());
    txtTaskName->setModified(false);
    cmbPriority->setCurrentIndex(
        cmbPriority->findData(dbTasks->fieldByName(kPriority).asInteger()));
    txtOriginalEstimate->setValue(dbTasks->fieldByName(kOriginalEstimate).asFloat());
    txtCurrentEstimate->setValue(dbTasks->fieldByName(kCurrentEstimate).asFloat());
    txtElapsedTime->setValue(dbTasks->fieldByName(kElapsedTime).asFloat());
    cmbStatus->setCurrentIndex(cmbStatus->findText(dbTasks->fieldByName(kStatus).asString(),
                                                   Qt::MatchExactly | Qt::MatchCaseSensitive));
    cmbDeveloper->setKeyValue(dbTasks->fieldByName(kDeveloperID).asInteger());
    memNotes->setPlainText(dbTasks->fieldByName(kNotes).asString());
    memNotes->document()->setModified(false);
    loading_ = false;
}

void TfrmEditTask::storeTaskName() {
    // Only what the user changed is written, so another user's change to a
    // field this dialog did not touch survives the save.
    if (IsNewTask || txtTaskName->isModified())
        dbTasks->fieldByName(kName).setAsString(txtTaskName->text());
}

void TfrmEditTask::storeNotes() {
    if (memNotes->document()->isModified())
        dbTasks->fieldByName(kNotes).setAsString(memNotes->toPlainText());
}

void TfrmEditTask::txtOriginalEstimateChange(double value) {
    if (loading_)
        return;
    dbTasks->fieldByName(kOriginalEstimate).setAsFloat(value);
    // The current estimate follows the original one.
    dbTasks->fieldByName(kCurrentEstimate).setAsFloat(value);
    const QSignalBlocker block(txtCurrentEstimate);
    txtCurrentEstimate->setValue(value);
}

bool TfrmEditTask::taskStillStored() {
    DbTable tasks(globals_.Connection(), QStringLiteral("Tasks"));
    tasks.open();
    return tasks.locate(kTaskID, dbTasks->fieldByName(kTaskID).asInteger());
}

void TfrmEditTask::btnOKClick() {
    if (!IsNewTask && !taskStillStored()) {
        // Another copy of the program deleted the task meanwhile: there is
        // nothing left to save the changes into.
        taskGone_ = true;
        Msg::information(this, QStringLiteral("This task has been deleted by another user."));
        reject();
        return;
    }
    const QString typed = cmbFeature->currentText();
    if (typed.trimmed().isEmpty()) {
        Msg::information(this, QStringLiteral("You must specify a feature name."));
        cmbFeature->setFocus();
        return;
    }
    if (txtTaskName->text().trimmed().isEmpty()) {
        Msg::information(this, QStringLiteral("You must specify a task name."));
        txtTaskName->setFocus();
        return;
    }

    const int featureID = findOrAddFeature(
        globals_.Connection(), projects_.currentProjectID(), typed, [this](const QString& name) {
            return Msg::question(this, QStringLiteral("Add new feature?"),
                                 QStringLiteral("This project does not have the feature \"") +
                                     name + QStringLiteral("\". Would you like to add it now?"));
        });
    if (featureID == 0)
        return; // the user would not add the feature

    storeTaskName();
    storeNotes();
    DbField& feature = dbTasks->fieldByName(kFeatureID);
    if (feature.isNull() || feature.asInteger() != featureID)
        feature.setAsInteger(featureID);

    DbField& current = dbTasks->fieldByName(kCurrentEstimate);
    if (IsNewTask) {
        current.setAsFloat(dbTasks->fieldByName(kOriginalEstimate).asFloat());
    } else {
        const double elapsed = dbTasks->fieldByName(kElapsedTime).asFloat();
        if (elapsed > current.asFloat())
            current.setAsFloat(elapsed);
    }

    // The History row is written by dbTasksAfterPost inside the same
    // transaction: if it fails, the task is not stored either.
    dbTasks->post();
    accept();
}

void TfrmEditTask::dbTasksAfterPost() {
    TaskNames names;
    names.featureName = [this](int id) { return featureNameOf(globals_.Connection(), id); };
    // The developer is named as the dialog's developer list shows it.
    names.developerName = [this](int id) -> std::optional<QString> {
        if (!sqlDevelopers->locate(kDeveloperID, id))
            return std::nullopt;
        return sqlDevelopers->fieldByName(kName).asString();
    };
    recordTaskSave(*dbHistory, taskID(), globals_.CurrentUserID, globals_.CurrentUserName,
                   IsNewTask, OldTaskValues, TaskValues::of(*dbTasks), names);
}

void TfrmEditTask::btnCancelClick() {
    reject();
}

void TfrmEditTask::reject() {
    // Cancel, Escape and the close box all drop the pending add or edit.
    if (dbTasks)
        dbTasks->cancel();
    QDialog::reject();
}

void TfrmEditTask::btnHelpClick() {
    EditingHelp::showTopic(kHelpContext);
}

void TfrmEditTask::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        btnHelpClick();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrmEditTask::btnAddFeatureClick() {
    const int featureID = AddNewFeature(this);
    sqlFeatures->close();
    sqlFeatures->open();
    if (featureID == 0) {
        cmbFeature->setFocus();
        return;
    }
    if (dbFeatures->locate(kFeatureID, featureID)) {
        const int index =
            cmbFeature->findText(dbFeatures->fieldByName(kName).asString(), Qt::MatchFixedString);
        if (index >= 0)
            cmbFeature->setCurrentIndex(index);
    }
    txtTaskName->setFocus();
}

void TfrmEditTask::btnAddDeveloperClick() {
    const int developerID = AddDeveloper(this);
    sqlDevelopers->close();
    sqlDevelopers->open();
    cmbDeveloper->loadFrom(*sqlDevelopers, kDeveloperID, kName);
    if (developerID != 0) {
        dbTasks->fieldByName(kDeveloperID).setAsInteger(developerID);
        cmbDeveloper->setKeyValue(developerID);
    }
    cmbDeveloper->setFocus();
}

void AddTask(QWidget* parent) {
    if (dmProjects->GetProjectCount() == 0)
        return;
    TfrmEditTask dialog(*dmGlobals, *dmProjects, parent ? parent : EditingHelp::defaultParent());
    dialog.beginAdd();
    if (dialog.exec() == QDialog::Accepted)
        dmProjects->reopenScheduleAt(dialog.taskID());
}

void EditTaskID(int taskID, QWidget* parent) {
    TfrmEditTask dialog(*dmGlobals, *dmProjects, parent ? parent : EditingHelp::defaultParent());
    if (!dialog.beginEdit(taskID))
        return;
    const int result = dialog.exec();
    // A task deleted elsewhere leaves the schedule too.
    if (result == QDialog::Accepted || dialog.taskWasDeleted())
        dmProjects->reopenScheduleAt(taskID);
}
