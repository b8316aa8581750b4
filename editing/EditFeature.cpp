#include "editing/EditFeature.h"

#include "data/Dataset.h"
#include "data/GlobalData.h"
#include "data/ProjectData.h"
#include "editing/EditingHelp.h"
#include "widgets/DialogFlags.h"
#include "widgets/ErrorHandling.h"
#include "widgets/LookupCombo.h"
#include "widgets/MessageBoxes.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {
constexpr int kNameWidth = 60;
const QString kFeatureID = QStringLiteral("Feature ID");
const QString kProjectID = QStringLiteral("Project ID");
const QString kName = QStringLiteral("Name");
const QString kDescription = QStringLiteral("Description");
} // namespace

TfrmEditFeature::TfrmEditFeature(TdmGlobals& globals, TdmProjects& projects, QWidget* parent)
    : QDialog(parent, kFixedDialogFlags)
    , globals_(globals)
    , projects_(projects) {
    setObjectName(QStringLiteral("frmEditFeature"));
    setWindowTitle(QStringLiteral("Edit Feature"));

    labProject = new QLabel(QStringLiteral("Project:"), this);
    labProject->setObjectName(QStringLiteral("labProject"));
    cmbProject = new LookupCombo(this);
    cmbProject->setObjectName(QStringLiteral("cmbProject"));
    labProject->setBuddy(cmbProject);

    labFeatureName = new QLabel(QStringLiteral("Feature name:"), this);
    labFeatureName->setObjectName(QStringLiteral("labFeatureName"));
    txtFeatureName = new QLineEdit(this);
    txtFeatureName->setObjectName(QStringLiteral("txtFeatureName"));
    txtFeatureName->setMaxLength(kNameWidth);
    labFeatureName->setBuddy(txtFeatureName);

    labDescription = new QLabel(QStringLiteral("Description:"), this);
    labDescription->setObjectName(QStringLiteral("labDescription"));
    memDescription = new QPlainTextEdit(this);
    memDescription->setObjectName(QStringLiteral("memDescription"));
    memDescription->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memDescription->setTabChangesFocus(true);
    labDescription->setBuddy(memDescription);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);

    auto* form = new QFormLayout;
    form->addRow(labProject, cmbProject);
    form->addRow(labFeatureName, txtFeatureName);
    auto* strip = new QHBoxLayout;
    strip->addStretch(1);
    strip->addWidget(btnOK);
    strip->addWidget(btnCancel);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(6, 6, 6, 6);
    outer->addLayout(form);
    outer->addWidget(labDescription);
    outer->addWidget(memDescription, 1);
    outer->addLayout(strip);
    const QSize hint = outer->sizeHint();
    setFixedSize(qMax(kClientWidth, hint.width()), qMax(kClientHeight, hint.height()));

    connect(btnOK, &QPushButton::clicked, this, [this] {
        try {
            btnOKClick();
        } catch (...) {
            ErrorHandling::handleUnexpected(std::current_exception());
        }
    });
    connect(btnCancel, &QPushButton::clicked, this, &TfrmEditFeature::btnCancelClick);
    // The project choice goes into the record at once.
    connect(cmbProject, &LookupCombo::keyChosen, this, [this](int key) {
        if (!loading_)
            dbFeatures->fieldByName(kProjectID).setAsInteger(key);
    });

    txtFeatureName->setFocus();
    FormCreate();
}

TfrmEditFeature::~TfrmEditFeature() {
    dbFeatures.reset();
    dbProjects.reset();
}

void TfrmEditFeature::FormCreate() {
    DbConnection& conn = globals_.Connection();
    dbFeatures = std::make_unique<DbTable>(conn, QStringLiteral("Features"));
    dbFeatures->setObjectName(QStringLiteral("dbFeatures"));
    dbFeatures->setIndexName(QStringLiteral("PROJECT ID"));
    connect(dbFeatures.get(), &DbDataset::newRecord, this, &TfrmEditFeature::dbFeaturesNewRecord);
    dbProjects = std::make_unique<DbTable>(conn, QStringLiteral("Projects"));
    dbProjects->setObjectName(QStringLiteral("dbProjects"));
    dbProjects->setIndexName(QStringLiteral("PROJECT ID"));
    dbFeatures->open();
    dbProjects->open();
    cmbProject->loadFrom(*dbProjects, kProjectID, kName);
}

int TfrmEditFeature::featureID() const {
    return dbFeatures->hasCurrent() ? dbFeatures->fieldByName(kFeatureID).asInteger() : 0;
}

void TfrmEditFeature::dbFeaturesNewRecord() {
    if (const int projectID = projects_.currentProjectID())
        dbFeatures->fieldByName(kProjectID).setAsInteger(projectID);
}

void TfrmEditFeature::beginAdd() {
    setWindowTitle(QStringLiteral("Add Feature"));
    dbFeatures->append();
    showRecord();
}

bool TfrmEditFeature::beginEdit(int id) {
    if (!dbFeatures->locate(kFeatureID, id))
        return false;
    try {
        dbFeatures->edit();
    } catch (const DataError&) {
        DbTable check(globals_.Connection(), QStringLiteral("Features"));
        check.open();
        if (!check.locate(kFeatureID, id))
            return false; // deleted by another user a moment ago
        throw;
    }
    showRecord();
    return true;
}

void TfrmEditFeature::showRecord() {
    loading_ = true;
    cmbProject->setKeyValue(dbFeatures->fieldByName(kProjectID).asInteger());
    txtFeatureName->setText(dbFeatures->fieldByName(kName).asString());
    txtFeatureName->setModified(false);
    memDescription->setPlainText(dbFeatures->fieldByName(kDescription).asString());
    memDescription->document()->setModified(false);
    loading_ = false;
}

void TfrmEditFeature::btnOKClick() {
    const bool adding = dbFeatures->state() == DbDataset::State::Insert;
    if (!adding) {
        DbTable check(globals_.Connection(), QStringLiteral("Features"));
        check.open();
        if (!check.locate(kFeatureID, dbFeatures->fieldByName(kFeatureID).asInteger())) {
            // Another copy of the program deleted it meanwhile.
            Msg::information(this,
                             QStringLiteral("This feature has been deleted by another user."));
            reject();
            return;
        }
    }
    if (txtFeatureName->text().trimmed().isEmpty()) {
        Msg::information(this, QStringLiteral("You must enter a name for this feature."));
        txtFeatureName->setFocus();
        return;
    }
    // Only what the user changed is written, so another user's change to a
    // field this dialog did not touch survives the save.
    if (adding || txtFeatureName->isModified())
        dbFeatures->fieldByName(kName).setAsString(txtFeatureName->text());
    if (memDescription->document()->isModified())
        dbFeatures->fieldByName(kDescription).setAsString(memDescription->toPlainText());
    dbFeatures->post();
    // Re-runs everything that follows the current project: the schedule and
    // an open task editor's feature list.
    projects_.dbProjects->refresh();
    accept();
}

void TfrmEditFeature::btnCancelClick() {
    reject();
}

void TfrmEditFeature::reject() {
    if (dbFeatures)
        dbFeatures->cancel();
    QDialog::reject();
}

int AddNewFeature(QWidget* parent) {
    TfrmEditFeature dialog(*dmGlobals, *dmProjects, parent ? parent : EditingHelp::defaultParent());
    dialog.beginAdd();
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    return dialog.featureID();
}

void EditFeature(int featureID, QWidget* parent) {
    TfrmEditFeature dialog(*dmGlobals, *dmProjects, parent ? parent : EditingHelp::defaultParent());
    if (dialog.beginEdit(featureID))
        dialog.exec();
}
