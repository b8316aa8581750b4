// A save against a row someone else changed meanwhile: which fields are mine
// to write, which are theirs to keep, which both changed, and the row that
// each answer stores.
#include "data/EditConflicts.h"

#include <QtTest>

#include <functional>

Q_DECLARE_METATYPE(TaskRow)

namespace {
TaskRow opened() {
    TaskRow r;
    r.values.featureID = 1;
    r.values.name = QStringLiteral("Alpha");
    r.values.priority = 3;
    r.values.currentEstimate = 5;
    r.values.elapsedTime = 3;
    r.values.status = QStringLiteral("Not Started");
    r.values.developerID = 1;
    r.originalEstimate = 5;
    r.notes = QStringLiteral("first notes");
    return r;
}

TaskRow with(const std::function<void(TaskRow&)>& change) {
    TaskRow r = opened();
    change(r);
    return r;
}

using Fields = QList<TaskRowField>;
Fields listOf(const std::vector<TaskRowField>& v) {
    return Fields(v.begin(), v.end());
}

auto status(const char* s) {
    return [s](TaskRow& r) { r.values.status = QString::fromLatin1(s); };
}
auto estimate(double e) {
    return [e](TaskRow& r) { r.values.currentEstimate = e; };
}
} // namespace

class TestEditConflicts : public QObject {
    Q_OBJECT
private slots:
    void compare_data() {
        QTest::addColumn<TaskRow>("stored");
        QTest::addColumn<TaskRow>("wanted");
        QTest::addColumn<Fields>("mine");
        QTest::addColumn<Fields>("conflicts");
        QTest::addColumn<TaskRow>("savedMine");   // stored after "Save mine"
        QTest::addColumn<TaskRow>("savedTheirs"); // stored after "Keep theirs"

        QTest::newRow("nobody changed anything")
            << opened() << opened() << Fields{} << Fields{} << opened() << opened();
        QTest::newRow("only I changed the estimate")
            << opened() << with(estimate(8)) << Fields{TaskRowField::CurrentEstimate} << Fields{}
            << with(estimate(8)) << with(estimate(8));
        QTest::newRow("only they changed the status: theirs stays")
            << with(status("Testing")) << opened() << Fields{} << Fields{}
            << with(status("Testing")) << with(status("Testing"));
        QTest::newRow("they the status, I the estimate: both kept")
            << with(status("Testing")) << with(estimate(8)) << Fields{TaskRowField::CurrentEstimate}
            << Fields{} << with([](TaskRow& r) {
                   r.values.status = QStringLiteral("Testing");
                   r.values.currentEstimate = 8;
               })
            << with([](TaskRow& r) {
                   r.values.status = QStringLiteral("Testing");
                   r.values.currentEstimate = 8;
               });
        QTest::newRow("both changed the status differently")
            << with(status("Testing")) << with(status("Complete")) << Fields{}
            << Fields{TaskRowField::Status} << with(status("Complete")) << with(status("Testing"));
        QTest::newRow("both changed the status the same way: nothing to write")
            << with(status("Complete")) << with(status("Complete")) << Fields{} << Fields{}
            << with(status("Complete")) << with(status("Complete"));
        QTest::newRow("letter case alone is a change")
            << with([](TaskRow& r) { r.values.name = QStringLiteral("ALPHA"); })
            << with([](TaskRow& r) { r.values.name = QStringLiteral("alpha"); }) << Fields{}
            << Fields{TaskRowField::Name}
            << with([](TaskRow& r) { r.values.name = QStringLiteral("alpha"); })
            << with([](TaskRow& r) { r.values.name = QStringLiteral("ALPHA"); });
        QTest::newRow("notes and original estimate are compared too")
            << with([](TaskRow& r) { r.notes = QStringLiteral("theirs"); }) << with([](TaskRow& r) {
                   r.notes = QStringLiteral("mine");
                   r.originalEstimate = 7;
               })
            << Fields{TaskRowField::OriginalEstimate} << Fields{TaskRowField::Notes}
            << with([](TaskRow& r) {
                   r.notes = QStringLiteral("mine");
                   r.originalEstimate = 7;
               })
            << with([](TaskRow& r) {
                   r.notes = QStringLiteral("theirs");
                   r.originalEstimate = 7;
               });
        QTest::newRow("a mix: one conflict, one mine, one theirs")
            << with([](TaskRow& r) {
                   r.values.status = QStringLiteral("Testing");
                   r.values.developerID = 2;
               })
            << with([](TaskRow& r) {
                   r.values.status = QStringLiteral("Complete");
                   r.values.priority = 1;
               })
            << Fields{TaskRowField::Priority} << Fields{TaskRowField::Status}
            << with([](TaskRow& r) {
                   r.values.status = QStringLiteral("Complete");
                   r.values.priority = 1;
                   r.values.developerID = 2;
               })
            << with([](TaskRow& r) {
                   r.values.status = QStringLiteral("Testing");
                   r.values.priority = 1;
                   r.values.developerID = 2;
               });
    }
    void compare() {
        QFETCH(TaskRow, stored);
        QFETCH(TaskRow, wanted);
        QFETCH(Fields, mine);
        QFETCH(Fields, conflicts);
        QFETCH(TaskRow, savedMine);
        QFETCH(TaskRow, savedTheirs);
        const EditComparison c = compareEdit(opened(), stored, wanted);
        QCOMPARE(listOf(c.mine), mine);
        QCOMPARE(listOf(c.conflicts), conflicts);
        QVERIFY(c.merged(stored, wanted, ConflictChoice::SaveMine) == savedMine);
        QVERIFY(c.merged(stored, wanted, ConflictChoice::KeepTheirs) == savedTheirs);
    }

    // My history line is written against the stored row, so another person's
    // change never appears in it.
    void historyLinesDescribeOnlyMyFields() {
        const TaskRow stored = with(status("Testing"));
        const TaskRow wanted = with(estimate(8));
        const TaskRow saved =
            compareEdit(opened(), stored, wanted).merged(stored, wanted, ConflictChoice::SaveMine);
        QCOMPARE(taskChangeLines(stored.values, saved.values, {}),
                 QStringList{QStringLiteral("Current Estimate changed from 5 to 8")});
    }

    void fieldTexts() {
        TaskNames names;
        names.developerName = [](int id) -> std::optional<QString> {
            if (id == 1)
                return QStringLiteral("Mia Example");
            return std::nullopt;
        };
        const TaskRow r = with(estimate(2.5));
        QCOMPARE(taskRowFieldText(TaskRowField::Developer, r, names), u"Mia Example");
        QCOMPARE(taskRowFieldText(TaskRowField::Feature, r, names), u"Unknown");
        QCOMPARE(taskRowFieldText(TaskRowField::CurrentEstimate, r, names), u"2.5");
    }
};

QTEST_GUILESS_MAIN(TestEditConflicts)
#include "tst_editconflicts.moc"
