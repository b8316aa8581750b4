#pragma once
// The numbers behind the remaining-work chart: for each day, the total time
// remaining (current estimate minus elapsed time), elapsed time and original
// estimate of a project's tasks, rebuilt from the History table. Each task's
// dated rows are walked backwards from today's values, undoing the
// "Current Estimate", "Elapsed Time" and "Original Estimate" changes they
// describe. The row that records the adding of a task carries no date, so a
// task starts on the day of the nearest earlier dated row in table order.
#include <QDate>
#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

class DbConnection;

namespace RemainingWork {

// A task as it stands today.
struct TaskValues {
    int taskID = 0;
    double currentEstimate = 0;
    double elapsedTime = 0;
    double originalEstimate = 0;
};

// A History row: its task, the local day of its datestamp (null on an
// undated row) and its change description.
struct HistoryEntry {
    int taskID = 0;
    QDate day;
    QString change;
};

// Totals over the tasks that exist on a day, as they stood at its end.
struct DayTotals {
    double remaining = 0;
    double elapsed = 0;
    double original = 0;
    bool operator==(const DayTotals&) const = default;
};

struct Chart {
    QDate from, to;                  // the days covered, both included
    std::vector<DayTotals> project;  // one per day from `from` to `to`: every task
    std::vector<DayTotals> filtered; // the same for the tasks asked for
    int taskCount = 0;
    int filteredCount = 0;
    // Tasks whose start was taken from the nearest earlier dated History row,
    // and those added before any dated row, which start on the first one after.
    int placedByEarlierRow = 0;
    int placedByLaterRow = 0;

    int dayCount() const { return int(project.size()); }
    QDate dayAt(int i) const { return from.addDays(i); }
};

// Rebuilds the totals per day from `from` to `to` (today). An invalid `from`
// means the first day the project's rows know of. `rows` are the History
// rows in table order; rows of tasks not in `tasks` (deleted since, or of
// another project) count only as dated neighbours. `filteredIDs` picks the
// tasks of the second series (sorted or not).
Chart reconstruct(const std::vector<TaskValues>& tasks, const std::vector<HistoryEntry>& rows,
                  const std::vector<int>& filteredIDs, QDate from, QDate to);

// A number as the history writes it (general form, 15 significant digits),
// with either a point or a comma as decimal separator; an empty text is 0.
std::optional<double> parseHours(QStringView text);

// What a change line undoes; nullopt for lines about other fields.
struct FieldChange {
    enum class Field { CurrentEstimate, ElapsedTime, OriginalEstimate };
    Field field;
    std::optional<double> from; // nullopt when the old value cannot be read
};
std::optional<FieldChange> parseChangeLine(QStringView line);

// The rows of one project as the chart needs them: its tasks (those whose
// feature belongs to the project, as the schedule lists them) and every
// History row in table order, with change descriptions only for those tasks.
struct ProjectRows {
    std::vector<TaskValues> tasks;
    std::vector<HistoryEntry> rows;
};
ProjectRows loadProjectRows(DbConnection& conn, int projectID);
// The two statements it runs, parameter :ProjectID.
extern const char* const kProjectTasksSql;
extern const char* const kHistorySql;

} // namespace RemainingWork
