#include "data/RemainingWork.h"

#include "data/Dataset.h"

#include <QHash>
#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace RemainingWork {

namespace {

// Julian day numbers; a row or start with no known day lies before every day.
using Day = qint64;
constexpr Day kBeforeAll = std::numeric_limits<qint64>::min() / 4;

// Task id to its index in the task list: a plain array when the ids are
// dense enough, a hash otherwise.
class TaskIndex {
public:
    explicit TaskIndex(const std::vector<TaskValues>& tasks) {
        if (tasks.empty())
            return;
        const auto [lo, hi] = std::minmax_element(
            tasks.begin(), tasks.end(),
            [](const TaskValues& a, const TaskValues& b) { return a.taskID < b.taskID; });
        const qint64 span = qint64(hi->taskID) - lo->taskID + 1;
        if (span <= qint64(tasks.size()) * 4 + 4096) {
            base_ = lo->taskID;
            dense_.assign(size_t(span), -1);
            for (size_t i = 0; i < tasks.size(); ++i)
                dense_[size_t(tasks[i].taskID - base_)] = int(i);
        } else {
            sparse_.reserve(qsizetype(tasks.size()));
            for (size_t i = 0; i < tasks.size(); ++i)
                sparse_.insert(tasks[i].taskID, int(i));
        }
    }
    int find(int taskID) const {
        if (!dense_.empty()) {
            const qint64 at = qint64(taskID) - base_;
            return at >= 0 && at < qint64(dense_.size()) ? dense_[size_t(at)] : -1;
        }
        return sparse_.value(taskID, -1);
    }

private:
    int base_ = 0;
    std::vector<int> dense_;
    QHash<int, int> sparse_;
};

// A History row of one of the tasks, with the day it counts on.
struct Link {
    int row;
    int task;
    Day day;
};

enum class Start { Unbounded, Earlier, Later };

struct TaskTrack {
    bool added = false;
    Start start = Start::Unbounded;
    Day startDay = kBeforeAll;
};

struct Values {
    double current, elapsed, original;
};

struct Diff {
    double remaining = 0, elapsed = 0, original = 0;
};

void undo(Values& v, QStringView change) {
    qsizetype at = 0;
    while (at < change.size()) {
        qsizetype end = change.indexOf(u'\n', at);
        if (end < 0)
            end = change.size();
        QStringView line = change.mid(at, end - at);
        at = end + 1;
        if (line.endsWith(u'\r'))
            line.chop(1);
        const std::optional<FieldChange> c = parseChangeLine(line);
        if (!c || !c->from)
            continue;
        switch (c->field) {
        case FieldChange::Field::CurrentEstimate:
            v.current = *c->from;
            break;
        case FieldChange::Field::ElapsedTime:
            v.elapsed = *c->from;
            break;
        case FieldChange::Field::OriginalEstimate:
            v.original = *c->from;
            break;
        }
    }
}

// Sums of many hours added and taken away again leave float dust; the chart
// shows totals to well under a second.
double tidy(double v) {
    const double r = std::round(v * 1e9) / 1e9;
    return r == 0 ? 0.0 : r;
}

int dayOfText(QStringView s, int from, int len) {
    int v = 0;
    for (int i = from; i < from + len; ++i) {
        const char16_t c = s[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        v = v * 10 + (c - u'0');
    }
    return v;
}

// The local day of a stored datestamp; null for an empty one.
QDate dayOf(const QVariant& v) {
    if (!v.isValid() || v.isNull())
        return {};
    if (v.typeId() == QMetaType::QString) {
        // The stored form starts "yyyy-MM-dd"; read it without building a date-time.
        const QString s = v.toString();
        if (s.size() >= 10 && s[4] == u'-' && s[7] == u'-') {
            const int y = dayOfText(s, 0, 4), m = dayOfText(s, 5, 2), d = dayOfText(s, 8, 2);
            const QDate day(y, m, d);
            if (y > 0 && m > 0 && d > 0 && day.isValid())
                return day;
        }
    }
    const QVariant dt =
        v.typeId() == QMetaType::QDateTime ? v : DbField::materialize(FieldKind::DateTime, v);
    return dt.typeId() == QMetaType::QDateTime ? dt.toDateTime().date() : QDate();
}

} // namespace

const char* const kProjectTasksSql = R"(select tasks."Task ID",
       tasks."Current Estimate",
       tasks."Elapsed Time",
       tasks."Original Estimate"
from features inner join tasks on (features."Feature ID" = tasks."Feature ID")
where (features."Project ID" = :ProjectID))";

const char* const kHistorySql = R"(select history."Task ID",
       history."Modified Datestamp",
       case when ours."Task ID" is null then null else history."Change Description" end
from history left outer join
     (select tasks."Task ID"
      from features inner join tasks on (features."Feature ID" = tasks."Feature ID")
      where (features."Project ID" = :ProjectID)) ours on (ours."Task ID" = history."Task ID")
order by history."Task History ID")";

std::optional<double> parseHours(QStringView text) {
    const QStringView t = text.trimmed();
    if (t.isEmpty())
        return 0.0;
    char buf[64];
    bool plain = t.size() < qsizetype(sizeof buf);
    for (qsizetype i = 0; plain && i < t.size(); ++i) {
        const char16_t c = t[i].unicode();
        if (c >= 0x80)
            plain = false;
        else
            buf[i] = c == u',' ? '.' : char(c);
    }
    if (plain) {
        double d = 0;
        const char* end = buf + t.size();
        const auto [ptr, ec] = std::from_chars(buf, end, d);
        if (ec == std::errc() && ptr == end)
            return d;
    }
    // Digits or separators of the user's own locale.
    bool ok = false;
    const double d = QLocale().toDouble(t, &ok);
    if (ok)
        return d;
    return std::nullopt;
}

std::optional<FieldChange> parseChangeLine(QStringView line) {
    static const QString kCurrent = QStringLiteral("Current Estimate changed from ");
    static const QString kElapsed = QStringLiteral("Elapsed Time changed from ");
    static const QString kOriginal = QStringLiteral("Original Estimate changed from ");
    static const QString kTo = QStringLiteral(" to ");
    if (line.isEmpty())
        return std::nullopt;
    FieldChange c;
    qsizetype prefix = 0;
    const char16_t first = line[0].unicode();
    if (first == u'C' && line.startsWith(kCurrent)) {
        c.field = FieldChange::Field::CurrentEstimate;
        prefix = kCurrent.size();
    } else if (first == u'E' && line.startsWith(kElapsed)) {
        c.field = FieldChange::Field::ElapsedTime;
        prefix = kElapsed.size();
    } else if (first == u'O' && line.startsWith(kOriginal)) {
        c.field = FieldChange::Field::OriginalEstimate;
        prefix = kOriginal.size();
    } else {
        return std::nullopt;
    }
    const QStringView rest = line.mid(prefix);
    // An empty old value ("changed from  to 3") leaves " to " at the start.
    const qsizetype to = rest.indexOf(kTo);
    if (to >= 0)
        c.from = parseHours(rest.left(to));
    return c;
}

Chart reconstruct(const std::vector<TaskValues>& tasks, const std::vector<HistoryEntry>& rows,
                  const std::vector<int>& filteredIDs, QDate from, QDate to) {
    Chart chart;
    chart.taskCount = int(tasks.size());
    if (!to.isValid())
        return chart;
    const Day toDay = to.toJulianDay();
    const TaskIndex index(tasks);

    // One pass in table order: each row of our tasks gets the day it counts
    // on (its own, or that of the nearest earlier dated row of any task); the
    // first undated row of a task marks its start.
    std::vector<TaskTrack> track(tasks.size());
    std::vector<Link> links;
    links.reserve(rows.size());
    Day lastDated = kBeforeAll;
    bool anyDated = false;
    std::vector<int> pendingLinks, pendingStarts; // before the first dated row
    Day firstDay = toDay;
    for (size_t r = 0; r < rows.size(); ++r) {
        const HistoryEntry& h = rows[r];
        const bool dated = h.day.isValid();
        if (dated) {
            lastDated = h.day.toJulianDay();
            if (!anyDated) {
                // Rows before the first dated one happened before it.
                anyDated = true;
                for (int l : pendingLinks)
                    links[size_t(l)].day = lastDated;
                for (int t : pendingStarts) {
                    track[size_t(t)].start = Start::Later;
                    track[size_t(t)].startDay = lastDated;
                }
                if ((!pendingLinks.empty() || !pendingStarts.empty()) && lastDated < firstDay)
                    firstDay = lastDated;
            }
        }
        const int t = index.find(h.taskID);
        if (t < 0)
            continue;
        TaskTrack& tr = track[size_t(t)];
        const Day day = anyDated ? lastDated : kBeforeAll;
        if (!dated && !tr.added) {
            tr.added = true;
            if (anyDated) {
                tr.start = Start::Earlier;
                tr.startDay = lastDated;
            } else {
                pendingStarts.push_back(t);
            }
        }
        if (!anyDated)
            pendingLinks.push_back(int(links.size()));
        else if (day < firstDay)
            firstDay = day;
        links.push_back({int(r), t, day});
    }
    for (const TaskTrack& tr : track) {
        if (tr.start == Start::Earlier)
            ++chart.placedByEarlierRow;
        else if (tr.start == Start::Later)
            ++chart.placedByLaterRow;
    }

    const Day fromDay = from.isValid() ? from.toJulianDay() : firstDay;
    chart.from = QDate::fromJulianDay(fromDay);
    chart.to = to;
    if (fromDay > toDay)
        return chart;
    const size_t days = size_t(toDay - fromDay + 1);
    std::vector<Diff> all(days + 1), some(days + 1);

    std::vector<char> chosen(tasks.size(), 0);
    for (int id : filteredIDs) {
        const int t = index.find(id);
        if (t >= 0 && !chosen[size_t(t)]) {
            chosen[size_t(t)] = 1;
            ++chart.filteredCount;
        }
    }

    // Each state of a task holds from the day of the change that made it to
    // the day before the next one; the days are kept from rising as the walk
    // goes back, so rows out of date order still give one state per day.
    auto addSpan = [&](Day a, Day b, const Values& v, bool filtered) {
        a = std::max(a, fromDay);
        b = std::min(b, toDay);
        if (a > b)
            return;
        const double remaining = v.current - v.elapsed;
        for (std::vector<Diff>* d : {&all, filtered ? &some : nullptr}) {
            if (!d)
                continue;
            Diff& in = (*d)[size_t(a - fromDay)];
            Diff& out = (*d)[size_t(b - fromDay + 1)];
            in.remaining += remaining;
            in.elapsed += v.elapsed;
            in.original += v.original;
            out.remaining -= remaining;
            out.elapsed -= v.elapsed;
            out.original -= v.original;
        }
    };
    // One walk back through the rows in table order (the rows and their texts
    // are read in the order they lie in memory), each task's state kept apart.
    struct Walk {
        Values v;
        Day hi, effective;
    };
    std::vector<Walk> walk(tasks.size());
    for (size_t t = 0; t < tasks.size(); ++t) {
        const TaskValues& now = tasks[t];
        walk[t] = {{now.currentEstimate, now.elapsedTime, now.originalEstimate}, toDay, toDay};
    }
    for (auto link = links.rbegin(); link != links.rend(); ++link) {
        Walk& w = walk[size_t(link->task)];
        w.effective = std::min(link->day, w.effective);
        addSpan(w.effective, w.hi, w.v, chosen[size_t(link->task)] != 0);
        w.hi = w.effective - 1;
        undo(w.v, rows[size_t(link->row)].change);
    }
    // Before its first row a task holds its oldest values, from its start
    // (or always, when its start is unknown).
    for (size_t t = 0; t < tasks.size(); ++t) {
        const Walk& w = walk[t];
        const Day start = track[t].start == Start::Unbounded
                              ? kBeforeAll
                              : std::min(track[t].startDay, w.effective);
        addSpan(start, w.hi, w.v, chosen[t] != 0);
    }

    chart.project.resize(days);
    chart.filtered.resize(days);
    Diff a, s;
    for (size_t d = 0; d < days; ++d) {
        a.remaining += all[d].remaining;
        a.elapsed += all[d].elapsed;
        a.original += all[d].original;
        s.remaining += some[d].remaining;
        s.elapsed += some[d].elapsed;
        s.original += some[d].original;
        chart.project[d] = {tidy(a.remaining), tidy(a.elapsed), tidy(a.original)};
        chart.filtered[d] = {tidy(s.remaining), tidy(s.elapsed), tidy(s.original)};
    }
    return chart;
}

ProjectRows loadProjectRows(DbConnection& conn, int projectID) {
    ProjectRows out;
    // The tasks the schedule lists for the project: their feature belongs to it.
    DbQuery tasks(conn, QString::fromUtf8(kProjectTasksSql));
    tasks.paramByName(QStringLiteral("ProjectID")).setAsInteger(projectID);
    tasks.open();
    out.tasks.reserve(size_t(tasks.rowCount()));
    for (int r = 0; r < tasks.rowCount(); ++r)
        out.tasks.push_back({tasks.valueAt(r, 0).toInt(), tasks.valueAt(r, 1).toDouble(),
                             tasks.valueAt(r, 2).toDouble(), tasks.valueAt(r, 3).toDouble()});
    tasks.close();

    // Every History row, as the other tasks' dates place the adding of ours;
    // only our tasks' change descriptions are read. The rows are taken as the
    // statement steps, so the table is not held twice on its way in.
    DbStatement history(conn, QString::fromUtf8(kHistorySql));
    history.bind(QStringLiteral(":ProjectID"), projectID);
    while (history.step()) {
        const QVariant change = history.column(2);
        out.rows.push_back({int(history.columnInt64(0)), dayOf(history.column(1)),
                            change.typeId() == QMetaType::QString
                                ? change.toString()
                                : DbField::textOf(FieldKind::Memo, change)});
    }
    return out;
}

} // namespace RemainingWork
