#pragma once
// The remaining-work window: a chart of the current project over time, the
// total time remaining and elapsed time per day rebuilt from the History
// table, with a line for the rows the task list's filter lets through (so
// "my incomplete tasks" gives the user's own burn-down). A range selector,
// the values of the day under the mouse, export to PNG and SVG, printing.
#include "data/RemainingWork.h"
#include "data/StyleRepository.h"

#include <QDialog>
#include <QWidget>

#include <vector>

class DataGrid;
class DbConnection;
class QComboBox;
class QLabel;
class QPagedPaintDevice;
class QPushButton;

// The chart, drawn with QPainter in logical coordinates: the same drawing
// serves the screen, the PNG and SVG exports and the printer, crisp at any
// scale. Its colours come from the grid's colour scheme.
class RemainingWorkChart : public QWidget {
    Q_OBJECT
public:
    explicit RemainingWorkChart(QWidget* parent = nullptr);

    void setChart(const RemainingWork::Chart& chart);
    const RemainingWork::Chart& chart() const { return chart_; }
    void setTitle(const QString& title);
    const QString& title() const { return title_; }
    void setColorScheme(const GridStyleSheet& sheet);

    QColor backgroundColor() const;
    QColor textColor() const;
    QColor remainingColor() const; // Time Remaining, and the filtered rows' line (dashed)
    QColor elapsedColor() const;
    // The filtered rows' line is drawn when the filter leaves tasks out.
    bool showsFilteredLine() const;

    // Draws the whole chart into `rect`; `marker` adds the current day's line.
    void paintChart(QPainter& p, const QRectF& rect, bool marker = false) const;
    // Where a day's value lies in a chart drawn into `rect`.
    QPointF pointAt(const QRectF& rect, int day, double value) const;
    // The chart in an image of `size` logical pixels at the given pixel ratio.
    QImage renderImage(const QSize& size, qreal devicePixelRatio) const;

    // The day whose values are shown (under the mouse, or moved to with the
    // arrow keys); -1 for none.
    int currentDay() const { return currentDay_; }
    void setCurrentDay(int day);
    // The date and the values of one day, as the hover text shows them.
    QString valuesText(int day) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void currentDayChanged(int day);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    struct Frame;
    Frame frameFor(const QRectF& rect) const;
    QFont labelFont() const;
    QFont titleFont() const;

    RemainingWork::Chart chart_;
    GridStyleSheet scheme_;
    QString title_;
    int currentDay_ = -1;
};

class RemainingWorkWindow : public QDialog {
    Q_OBJECT
public:
    enum class Range { TwoWeeks, SixWeeks, All };

    // rows: the project's rows as read; filteredIDs: the tasks the grid's
    // filter lets through; today: the last day of the chart.
    RemainingWorkWindow(RemainingWork::ProjectRows rows, std::vector<int> filteredIDs,
                        const QString& projectName, const GridStyleSheet& scheme, QDate today,
                        QWidget* parent = nullptr);

    void setRange(Range range);
    Range range() const;

    // The chart as files; false (after saying why) when the file cannot be written.
    bool writePng(const QString& path);
    bool writeSvg(const QString& path);
    // Paints the chart on one page of the device; returns the pages printed.
    int printChart(QPagedPaintDevice& device) const;

    QLabel* lblRange = nullptr;
    QComboBox* cmbRange = nullptr;
    RemainingWorkChart* chartRemaining = nullptr;
    QLabel* lblValues = nullptr;
    QLabel* lblPlaced = nullptr;
    QPushButton* btnExportPNG = nullptr;
    QPushButton* btnExportSVG = nullptr;
    QPushButton* btnPrint = nullptr;
    QPushButton* btnClose = nullptr;

private:
    void cmbRangeChange();
    void btnExportPNGClick();
    void btnExportSVGClick();
    void btnPrintClick();
    void showValues(int day);
    QString askPath(const QString& filter, const QString& suffix);

    RemainingWork::ProjectRows rows_;
    std::vector<int> filteredIDs_;
    QDate today_;
};

// "How many tasks were placed" as the window says it; empty when none was.
QString placedTasksText(const RemainingWork::Chart& chart);

// View > "Remaining Work...": reads the project's rows and shows the window
// for the rows the grid's filter lets through, in the grid's colour scheme.
void ShowRemainingWork(QWidget* parent, DbConnection& conn, int projectID,
                       const QString& projectName, const DataGrid& grid);
