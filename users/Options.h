#pragma once
// The options dialog: the schedule's colour scheme with a live preview, the
// main window's side panel, and user administration. Changes to the main
// window take effect on OK only; user administration is written at once.
#include <QDialog>
#include <QString>

class DataGrid;
class GridTableModel;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;
class UserAdmin;

// What the options dialog reads and sets in the main window.
class IOptionsTarget {
public:
    virtual ~IOptionsTarget() = default;
    virtual bool sideBarVisible() const = 0;
    virtual void setSideBarVisible(bool visible) = 0;
    // Identifier of the schedule grid's colour scheme ("GridTableViewStyleSheetSlate").
    virtual QString styleSheetName() const = 0;
    // Gives the schedule grid the scheme with that identifier; it redraws at once.
    virtual void setStyleSheetName(const QString& name) = 0;
};

class TfrmOptions : public QDialog {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 100300;

    explicit TfrmOptions(IOptionsTarget& target, QWidget* parent = nullptr);
    ~TfrmOptions() override;

    // The help context of the page on display (below 1: none).
    int helpContext() const;

    QTreeWidget* tvOptions = nullptr;
    QTreeWidgetItem* nodeView = nullptr;
    QTreeWidgetItem* nodeGrid = nullptr;
    QTreeWidgetItem* nodeSideBar = nullptr;
    QTreeWidgetItem* nodeUserSetup = nullptr;
    QStackedWidget* pcOptions = nullptr;
    QWidget* tsView = nullptr;
    QWidget* tsViewGrid = nullptr;
    QWidget* tsViewSideBar = nullptr;
    QWidget* tsUserSetup = nullptr;

    QComboBox* cmbStyles = nullptr;
    DataGrid* gridPreview = nullptr;
    GridTableModel* gridPreviewModel = nullptr;
    QCheckBox* cbShowSidebar = nullptr;

    DataGrid* gridUsers = nullptr;
    GridTableModel* gridUsersModel = nullptr;
    UserAdmin* userAdmin = nullptr;
    QPushButton* btnAddUser = nullptr;
    QPushButton* btnEditUser = nullptr;
    QPushButton* btnDeleteUser = nullptr;

    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

private:
    QWidget* makePage(const char* name, const QString& heading);
    void buildGridPage();
    void buildUserSetupPage();
    void FormCreate();
    void tvOptionsChange(QTreeWidgetItem* node);
    void cmbStylesPropertiesChange(int index);
    void btnOKClick();
    // Re-reads the users list from dmGlobals->dbUsers, focused on its current row.
    void readUsers();
    void gridUsersFocusChanged(const QVariant& key);

    IOptionsTarget& target_;
    bool readingUsers_ = false;
};

// Shows the options dialog modally for the main window and disposes of it.
// True when the user pressed OK (the changes were applied to `target`).
bool ShowOptions(IOptionsTarget& target, QWidget* parent = nullptr);
