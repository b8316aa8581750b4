#include "users/Options.h"

#include "data/Dataset.h"
#include "data/GlobalData.h"
#include "users/UserAdmin.h"
#include "widgets/DataGrid.h"
#include "widgets/DialogFlags.h"
#include "widgets/ErrorHandling.h"
#include "widgets/GridTableModel.h"
#include "widgets/HelpRouter.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidget>

namespace {
constexpr int kClientWidth = 401;
constexpr int kClientHeight = 292;
constexpr int kTreeWidth = 121;
constexpr int kPageLeft = 8 + kTreeWidth + 8;
constexpr int kPageWidth = kClientWidth - kPageLeft - 8;
constexpr int kPageHeight = 245;
constexpr int kPreviewWidth = 241;
constexpr int kPreviewHeight = 157;
// The grid's row indicator at the left of the columns.
constexpr int kIndicatorWidth = 12;

const QString kViewNode = QStringLiteral("View");
const QString kGridNode = QStringLiteral("Grid");
const QString kSideBarNode = QStringLiteral("SideBar");
const QString kUserSetupNode = QStringLiteral("User Setup");

const QString kIdField = QStringLiteral("Developer ID");
const QString kLoginField = QStringLiteral("LoginName");
const QString kNameField = QStringLiteral("Name");
const QString kDefaultProjectField = QStringLiteral("Default Project ID");

// Designed widths spread over the room the grid has, as the lists do.
QList<GridColumn> spread(QList<GridColumn> columns, const DataGrid* grid) {
    const int room = grid->width() - 2 * grid->frameWidth() - kIndicatorWidth;
    int designed = 0;
    for (const GridColumn& c : columns)
        if (c.visible)
            designed += c.width;
    if (designed <= 0 || room <= 0)
        return columns;
    int left = room;
    GridColumn* last = nullptr;
    for (GridColumn& c : columns) {
        if (!c.visible)
            continue;
        const int w = c.width * room / designed;
        left -= w;
        c.width = w;
        last = &c;
    }
    if (last)
        last->width += left;
    return columns;
}

GridColumn textColumn(const QString& field, const QString& caption, int width,
                      bool visible = true) {
    GridColumn c;
    c.field = field;
    c.caption = caption;
    c.width = width;
    c.visible = visible;
    return c;
}
} // namespace

TfrmOptions::TfrmOptions(IOptionsTarget& target, QWidget* parent)
    : QDialog(parent, kFixedDialogFlags)
    , target_(target) {
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Options"));
    setFixedSize(kClientWidth, kClientHeight);

    tvOptions = new QTreeWidget(this);
    tvOptions->setObjectName(QStringLiteral("tvOptions"));
    tvOptions->setGeometry(8, 8, kTreeWidth, kPageHeight);
    tvOptions->setHeaderHidden(true);
    tvOptions->setRootIsDecorated(true);
    // The chosen node stays highlighted while the focus is elsewhere.
    QPalette pal = tvOptions->palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight,
                 pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    tvOptions->setPalette(pal);
    nodeView = new QTreeWidgetItem(tvOptions, {kViewNode});
    nodeGrid = new QTreeWidgetItem(nodeView, {kGridNode});
    nodeSideBar = new QTreeWidgetItem(nodeView, {kSideBarNode});
    nodeUserSetup = new QTreeWidgetItem(tvOptions, {kUserSetupNode});

    pcOptions = new QStackedWidget(this);
    pcOptions->setObjectName(QStringLiteral("pcOptions"));
    pcOptions->setGeometry(kPageLeft, 8, kPageWidth, kPageHeight);

    tsView = makePage("tsView", QStringLiteral("View Options"));
    auto* viewText = new QLabel(
        QStringLiteral("The view options allow you to customize your display. You can alter how "
                       "the main grid looks, what dialogs appear, as well as what items appear on "
                       "the SideBar."),
        tsView);
    viewText->setWordWrap(true);
    viewText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    viewText->setGeometry(0, 24, kPageWidth, 60);

    tsViewGrid = makePage("tsViewGrid", QStringLiteral("Grid Options"));
    buildGridPage();

    tsViewSideBar = makePage("tsViewSideBar", QStringLiteral("SideBar Options"));
    cbShowSidebar = new QCheckBox(QStringLiteral("Show Side&Bar"), tsViewSideBar);
    cbShowSidebar->setObjectName(QStringLiteral("cbShowSidebar"));
    cbShowSidebar->setGeometry(0, 24, kPageWidth, 17);

    tsUserSetup = makePage("tsUserSetup", QStringLiteral("User Setup Options"));
    buildUserSetupPage();

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(kClientWidth - 8 - 75 - 6 - 75, kClientHeight - 8 - 25, 75, 25);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    btnCancel->setGeometry(kClientWidth - 8 - 75, kClientHeight - 8 - 25, 75, 25);

    connect(btnOK, &QPushButton::clicked, this, &TfrmOptions::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(tvOptions, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* node) { tvOptionsChange(node); });
    // FormHelp: F1 opens the topic of the page on display; the router says
    // "No context sensitive help available" for a page without one.
    HelpRouter::attach(this, [this] { return helpContext(); });

    FormCreate();
}

TfrmOptions::~TfrmOptions() = default;

QWidget* TfrmOptions::makePage(const char* name, const QString& heading) {
    auto* page = new QWidget(pcOptions);
    page->setObjectName(QString::fromLatin1(name));
    page->setProperty("helpContext", kHelpContext);
    auto* label = new QLabel(heading, page);
    label->setObjectName(QStringLiteral("lab") + page->objectName().mid(2) +
                         QStringLiteral("Heading"));
    QFont bold(QStringLiteral("MS Sans Serif"), 8);
    bold.setBold(true);
    label->setFont(bold);
    label->setGeometry(0, 0, kPageWidth, 17);
    pcOptions->addWidget(page);
    return page;
}

void TfrmOptions::buildGridPage() {
    cmbStyles = new QComboBox(tsViewGrid);
    cmbStyles->setObjectName(QStringLiteral("cmbStyles"));
    cmbStyles->setEditable(false); // a choice from the list only
    cmbStyles->setGeometry(0, 40, kPreviewWidth, 21);
    auto* styleLabel = new QLabel(QStringLiteral("Grid &style:"), tsViewGrid);
    styleLabel->setGeometry(0, 24, kPreviewWidth, 15);
    styleLabel->setBuddy(cmbStyles);
    auto* previewLabel = new QLabel(QStringLiteral("Preview:"), tsViewGrid);
    previewLabel->setGeometry(0, 68, kPreviewWidth, 15);

    gridPreview = new DataGrid(tsViewGrid);
    gridPreview->setObjectName(QStringLiteral("gridPreview"));
    gridPreview->setGeometry(0, 84, kPreviewWidth, kPreviewHeight);
    // Only to look at: no clicks, focus or scrolling.
    gridPreview->setEnabled(false);
    gridPreview->setFocusPolicy(Qt::NoFocus);
    gridPreview->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    gridPreview->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    gridPreviewModel = new GridTableModel(
        {QStringLiteral("Feature"), QStringLiteral("Task"), QStringLiteral("Priority")}, this);
}

void TfrmOptions::buildUserSetupPage() {
    userAdmin = new UserAdmin(this);
    constexpr int buttonTop = kPageHeight - 25;
    gridUsers = new DataGrid(tsUserSetup);
    gridUsers->setObjectName(QStringLiteral("gridUsers"));
    gridUsers->setGeometry(0, 24, kPageWidth, buttonTop - 6 - 24);
    gridUsersModel =
        new GridTableModel({kIdField, kLoginField, kNameField, kDefaultProjectField}, this);

    btnAddUser = UserAdmin::makeButton(userAdmin->actAddUser, tsUserSetup);
    btnEditUser = UserAdmin::makeButton(userAdmin->actEditUser, tsUserSetup);
    btnDeleteUser = UserAdmin::makeButton(userAdmin->actDeleteUser, tsUserSetup);
    constexpr int gap = 6;
    constexpr int buttonWidth = (kPageWidth - 2 * gap) / 3;
    btnAddUser->setGeometry(0, buttonTop, buttonWidth, 25);
    btnEditUser->setGeometry(buttonWidth + gap, buttonTop, buttonWidth, 25);
    btnDeleteUser->setGeometry(2 * (buttonWidth + gap), buttonTop, buttonWidth, 25);

    connect(userAdmin, &UserAdmin::usersChanged, this, &TfrmOptions::readUsers);
    connect(gridUsers, &DataGrid::focusedKeyChanged, this, &TfrmOptions::gridUsersFocusChanged);
    // A double-click (or Enter) on a row edits it; the command is disabled for
    // users who are not administrators, and then nothing opens.
    connect(gridUsers, &DataGrid::editRequested, userAdmin->actEditUser, &QAction::trigger);
    connect(
        gridUsers, &DataGrid::contextMenuRequested, this,
        [this](const QPoint& globalPos, const GridHit&) { userAdmin->popUsers->popup(globalPos); });
}

void TfrmOptions::FormCreate() {
    // 1. Edit and Delete are enabled for administrators only (UserAdmin did so).
    // 2. Every node expanded, starting on "View".
    tvOptions->expandAll();
    tvOptions->setCurrentItem(nodeView);
    pcOptions->setCurrentWidget(tsView);
    // 3.
    cbShowSidebar->setChecked(target_.sideBarVisible());
    // 4. Captions in repository order, so a list position is a repository position.
    const GridStyleRepository& repository = dmGlobals->StyleRepository;
    QStringList captions;
    for (int i = 0; i < repository.count(); ++i)
        captions.append(repository.sheet(i).caption);
    cmbStyles->addItems(captions);
    // 5. The scheme the schedule shows now; a name no scheme has selects nothing.
    const int current = repository.indexOf(target_.styleSheetName());
    cmbStyles->setCurrentIndex(current);
    // 6. Only now, so that step 5 does not run it.
    connect(cmbStyles, &QComboBox::currentIndexChanged, this,
            &TfrmOptions::cmbStylesPropertiesChange);
    // 7.
    gridPreview->setColorScheme(current >= 0 ? repository.sheet(current) : repository.slate());
    // 8. Three text rows.
    gridPreview->setSourceModel(gridPreviewModel);
    gridPreview->setKeyField(QStringLiteral("Feature"));
    gridPreview->setColumns(
        spread({textColumn(QStringLiteral("Feature"), QStringLiteral("Feature"), 100),
                textColumn(QStringLiteral("Task"), QStringLiteral("Task"), 82),
                textColumn(QStringLiteral("Priority"), QStringLiteral("Priority"), 57)},
               gridPreview));
    QList<QVariantList> rows;
    for (int i = 1; i <= 3; ++i)
        rows.append({QStringLiteral("Feature %1").arg(i), QStringLiteral("Task %1").arg(i),
                     QString::number(i)});
    gridPreviewModel->setRows(std::move(rows));

    // The users list: always Slate, whatever the schedule shows.
    gridUsers->setColorScheme(repository.slate());
    gridUsers->setSourceModel(gridUsersModel);
    gridUsers->setKeyField(kIdField);
    gridUsers->setColumns(
        spread({textColumn(kIdField, kIdField, 80, false),
                textColumn(kLoginField, QStringLiteral("Login"), 80),
                textColumn(kNameField, QStringLiteral("Full Name"), 167),
                textColumn(kDefaultProjectField, kDefaultProjectField, 80, false)},
               gridUsers));
    readUsers();
}

int TfrmOptions::helpContext() const {
    const QWidget* page = pcOptions->currentWidget();
    return page ? page->property("helpContext").toInt() : 0;
}

void TfrmOptions::tvOptionsChange(QTreeWidgetItem* node) {
    if (!node)
        return;
    const QString caption = node->text(0);
    if (caption == kViewNode)
        pcOptions->setCurrentWidget(tsView);
    else if (caption == kGridNode)
        pcOptions->setCurrentWidget(tsViewGrid);
    else if (caption == kSideBarNode)
        pcOptions->setCurrentWidget(tsViewSideBar);
    else if (caption == kUserSetupNode)
        pcOptions->setCurrentWidget(tsUserSetup);
}

void TfrmOptions::cmbStylesPropertiesChange(int index) {
    const GridStyleRepository& repository = dmGlobals->StyleRepository;
    if (index >= 0 && index < repository.count())
        gridPreview->setColorScheme(repository.sheet(index));
}

void TfrmOptions::btnOKClick() {
    const GridStyleRepository& repository = dmGlobals->StyleRepository;
    const int index = cmbStyles->currentIndex();
    // Without a chosen scheme the schedule keeps its own.
    if (index >= 0 && index < repository.count())
        target_.setStyleSheetName(repository.sheet(index).name);
    target_.setSideBarVisible(cbShowSidebar->isChecked());
    accept();
}

void TfrmOptions::readUsers() {
    DbTable* users = dmGlobals->dbUsers;
    readingUsers_ = true;
    const QVariant current =
        users->hasCurrent() ? QVariant(users->fieldByName(kIdField).asInteger()) : QVariant();
    QList<QVariantList> rows;
    for (users->first(); !users->eof(); users->next())
        rows.append({users->fieldByName(kIdField).asInteger(),
                     users->fieldByName(kLoginField).asString(),
                     users->fieldByName(kNameField).asString(),
                     users->fieldByName(kDefaultProjectField).value()});
    gridUsersModel->setRows(std::move(rows));
    // Walking the table moved its cursor: back to the row it was on.
    if (!current.isValid() || !users->locate(kIdField, current))
        users->first();
    if (users->hasCurrent())
        gridUsers->setFocusedKey(users->fieldByName(kIdField).asInteger());
    readingUsers_ = false;
}

void TfrmOptions::gridUsersFocusChanged(const QVariant& key) {
    // The list's focused row is the users table's current row.
    if (readingUsers_ || !key.isValid())
        return;
    // Runs from the event loop: an engine error goes to the central handler.
    try {
        dmGlobals->dbUsers->locate(kIdField, key);
    } catch (...) {
        ErrorHandling::handleUnexpected(std::current_exception());
    }
}

bool ShowOptions(IOptionsTarget& target, QWidget* parent) {
    TfrmOptions dialog(target, parent);
    return dialog.exec() == QDialog::Accepted;
}
