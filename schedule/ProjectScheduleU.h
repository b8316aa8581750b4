#pragma once
// The main window: the schedule of one project at a time. Created only after
// a successful login; closing it ends the program.
#include "data/ProjectData.h"

#include <QMainWindow>

class QAction;

class TfrmProjectSchedule : public QMainWindow, public IScheduleWindow {
    Q_OBJECT
public:
    static constexpr int kDesignWidth = 630;
    static constexpr int kDesignHeight = 388;

    explicit TfrmProjectSchedule(QWidget* parent = nullptr);
    ~TfrmProjectSchedule() override;

    // IScheduleWindow: what the project data module updates and asks.
    void setMyTasksItems(const QString& caption, bool enabled) override;
    bool hasFocusedTask() const override;
    bool focusedTaskExpanded() const override;
    void setFocusedTaskExpanded(bool expanded) override;

    const QString& myTasksCaption() const { return myTasksCaption_; }

    QAction* btnExit = nullptr;
    QAction* btnDeleteProject = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    // Stores the user's window settings; an error keeps the window open.
    void FormClose();
    void btnExitClick();

    QString myTasksCaption_;
    bool myTasksEnabled_ = false;
    bool shown_ = false;
};

extern TfrmProjectSchedule* frmProjectSchedule;
