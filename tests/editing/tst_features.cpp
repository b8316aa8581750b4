// The features list and the feature dialog driven through their event loops:
// listing the current project's features, add, edit, move to another project,
// delete refused while the feature has tasks, blank names, awkward names,
// incremental search and other copies' changes while the list is open.
#include "data/DataChangeWatcher.h"
#include "editing/EditFeature.h"
#include "editing/FeatureListForm.h"
#include "widgets/LookupCombo.h"

#include "EditingFixture.h"

#include <QAbstractItemModelTester>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>

class TestFeatures : public QObject {
    Q_OBJECT
    std::unique_ptr<EditingFixture> f;

    static QStringList listed(TfrmFeaturesList* d) {
        QStringList names;
        const auto* m = d->gridFeaturesModel;
        for (int r = 0; r < m->rowCount(); ++r)
            names << m->index(r, FeatureListModel::colName).data().toString();
        return names;
    }
    QString featureName(int id) {
        auto r = f->row(QStringLiteral("Features"), QStringLiteral("Feature ID"), id);
        return r ? r->fieldByName(QStringLiteral("Name")).asString() : QStringLiteral("<gone>");
    }

private slots:
    void init() { f = std::make_unique<EditingFixture>(); }
    void cleanup() { f.reset(); }

    void listsTheCurrentProjectByName();
    void addFromTheList();
    void featureNameRules_data();
    void featureNameRules();
    void editingMovesTheFeatureAndItsTasks();
    void deleteOnlyWithoutTasks_data();
    void deleteOnlyWithoutTasks();
    void emptyListEditsAndDeletesNothing();
    void typingSearchesTheNames();
    void awkwardNamesShownExactly();
    void editOfAMissingFeatureShowsNothing();
    void modelIsConsistent();
    void changedMeanwhile_data();
    void changedMeanwhile();
    void anotherCopysFeaturesShowWhileOpen();
};

void TestFeatures::listsTheCurrentProjectByName() {
    f->addFeature(f->apollo, QStringLiteral("Billing")); // two may share a name
    const int catalogue = f->addFeature(f->apollo, QStringLiteral("Catalogue"));
    QVERIFY(whileModal<TfrmFeaturesList>(
        [&] { ShowFeaturesList(catalogue); },
        [&](TfrmFeaturesList* d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("Features List"));
            QCOMPARE(d->helpContext(), 10000);
            QCOMPARE(listed(d), (QStringList{"Accounts", "Billing", "Billing", "Catalogue"}));
            QCOMPARE(d->selectedFeatureID(), catalogue);
        }));
}

void TestFeatures::addFromTheList() {
    int added = 0;
    QVERIFY(whileModal<TfrmFeaturesList>(
        [] { ShowFeaturesList(0); },
        [&](TfrmFeaturesList* d) {
            QVERIFY(whileModal<TfrmEditFeature>(
                [&] { QTest::keyClick(d->gridFeatures, Qt::Key_Insert); },
                [&](TfrmEditFeature* fd) {
                    QCOMPARE(fd->windowTitle(), QStringLiteral("Add Feature"));
                    QCOMPARE(fd->cmbProject->currentText(), QStringLiteral("Apollo"));
                    typeInto(fd->txtFeatureName, QStringLiteral("Catalogue"));
                    QTest::keyClicks(fd->memDescription, "What we sell");
                    QTest::mouseClick(fd->btnOK, Qt::LeftButton);
                }));
            QCOMPARE(listed(d), (QStringList{"Accounts", "Billing", "Catalogue"}));
            added = d->selectedFeatureID();
        }));
    QCOMPARE(featureName(added), QStringLiteral("Catalogue"));
    auto r = f->row(QStringLiteral("Features"), QStringLiteral("Feature ID"), added);
    QCOMPARE(r->fieldByName(QStringLiteral("Project ID")).asInteger(), f->apollo);
    QCOMPARE(r->fieldByName(QStringLiteral("Description")).asString(),
             QStringLiteral("What we sell"));
}

void TestFeatures::featureNameRules_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored"); // empty: refused
    QTest::newRow("blanks only are refused") << "   "
                                             << "";
    QTest::newRow("leading blanks are kept") << "  Lead"
                                             << "  Lead";
    QTest::newRow("cut to sixty") << QString(70, u'n') << QString(60, u'n');
}

void TestFeatures::featureNameRules() {
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    if (stored.isEmpty())
        Msg::pushAnswer(Msg::Answer::Ok);
    int result = -1;
    bool open = false;
    QVERIFY(whileModal<TfrmEditFeature>([&] { result = AddNewFeature(); },
                                        [&](TfrmEditFeature* fd) {
                                            typeInto(fd->txtFeatureName, typed);
                                            QTest::mouseClick(fd->btnOK, Qt::LeftButton);
                                            if (fd->isVisible())
                                                QCOMPARE(fd->focusWidget(), fd->txtFeatureName);
                                        },
                                        &open));
    if (stored.isEmpty()) {
        QVERIFY(open);
        QCOMPARE(result, 0);
        const QList<Msg::Shown> shown = Msg::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.constFirst().text,
                 QStringLiteral("You must enter a name for this feature."));
        QCOMPARE(f->count(QStringLiteral("select count(*) from features")), 3);
    } else {
        QVERIFY(!open);
        QCOMPARE(featureName(result), stored);
    }
}

void TestFeatures::editingMovesTheFeatureAndItsTasks() {
    const int task = f->addTask({{"Feature ID", f->billing}});
    QVERIFY(f->scheduled().contains(task));
    QVERIFY(whileModal<TfrmFeaturesList>(
        [&] { ShowFeaturesList(f->billing); },
        [&](TfrmFeaturesList* d) {
            QVERIFY(whileModal<TfrmEditFeature>(
                [&] { QTest::mouseClick(d->btnEdit, Qt::LeftButton); },
                [&](TfrmEditFeature* fd) {
                    QCOMPARE(fd->windowTitle(), QStringLiteral("Edit Feature"));
                    QCOMPARE(fd->txtFeatureName->text(), QStringLiteral("Billing"));
                    fd->cmbProject->setFocus();
                    QTest::keyClicks(fd->cmbProject, "z");
                    QTest::mouseClick(fd->btnOK, Qt::LeftButton);
                }));
            QCOMPARE(listed(d), QStringList{"Accounts"});
        }));
    auto r = f->row(QStringLiteral("Features"), QStringLiteral("Feature ID"), f->billing);
    QCOMPARE(r->fieldByName(QStringLiteral("Project ID")).asInteger(), f->zephyr);
    QCOMPARE(r->fieldByName(QStringLiteral("Name")).asString(), QStringLiteral("Billing"));
    // The schedule was run again by the dialog's OK and no longer lists the task here...
    QVERIFY(!f->projects->sqlSchedule->locate(QStringLiteral("Task ID"), task));
    // ...but lists it under Zephyr.
    QVERIFY(f->projects->dbProjects->locate(QStringLiteral("Project ID"), f->zephyr));
    QVERIFY(f->scheduled().contains(task));
}

void TestFeatures::deleteOnlyWithoutTasks_data() {
    QTest::addColumn<int>("tasks");
    QTest::addColumn<bool>("yes"); // the answer to the question, where it is asked
    QTest::addColumn<QString>("refusal");
    QTest::newRow("no task, Yes deletes") << 0 << true << "";
    QTest::newRow("no task, No keeps") << 0 << false << "";
    QTest::newRow("one task: refused")
        << 1 << true << "Feature Billing still has 1 task. Move or delete it first.";
    QTest::newRow("three tasks: refused")
        << 3 << true << "Feature Billing still has 3 tasks. Move or delete them first.";
}

// A feature with tasks would take them out of every schedule: it stays, with
// its tasks and their history, until they are moved or deleted.
void TestFeatures::deleteOnlyWithoutTasks() {
    QFETCH(int, tasks);
    QFETCH(bool, yes);
    QFETCH(QString, refusal);
    QList<int> ids;
    for (int i = 0; i < tasks; ++i) {
        ids << f->addTask({{"Feature ID", f->billing}});
        f->add(QStringLiteral("History"),
               {{"Task ID", ids.last()}, {"Action Description", "Task added by x"}});
    }
    const bool deleted = refusal.isEmpty() && yes;
    Msg::pushAnswer(!refusal.isEmpty() ? Msg::Answer::Ok
                    : yes              ? Msg::Answer::Yes
                                       : Msg::Answer::No);
    QVERIFY(whileModal<TfrmFeaturesList>(
        [&] { ShowFeaturesList(f->billing); },
        [&](TfrmFeaturesList* d) {
            QTest::keyClick(d->gridFeatures, Qt::Key_Delete);
            QCOMPARE(listed(d),
                     deleted ? QStringList{"Accounts"} : (QStringList{"Accounts", "Billing"}));
        }));
    const QList<Msg::Shown> shown = Msg::takeShown();
    QCOMPARE(shown.size(), 1);
    if (refusal.isEmpty()) {
        QCOMPARE(shown.constFirst().title, QStringLiteral("Confirm"));
        QCOMPARE(shown.constFirst().text,
                 QStringLiteral("Are you sure you want to delete the Billing feature?"));
    } else {
        QCOMPARE(shown.constFirst().kind, Msg::Kind::Information);
        QCOMPARE(shown.constFirst().text, refusal);
    }
    QCOMPARE(featureName(f->billing) == QStringLiteral("<gone>"), deleted);
    for (int task : ids) {
        QVERIFY(f->row(QStringLiteral("Tasks"), QStringLiteral("Task ID"), task));
        QCOMPARE(f->history(task).size(), 1);
        QVERIFY(f->scheduled().contains(task));
    }
    QVERIFY(f->errors.isEmpty());
}

void TestFeatures::emptyListEditsAndDeletesNothing() {
    QVERIFY(f->projects->dbProjects->locate(QStringLiteral("Project ID"), f->zephyr));
    f->conn().execute(QStringLiteral("delete from features"));
    QVERIFY(whileModal<TfrmFeaturesList>(
        [] { ShowFeaturesList(0); },
        [&](TfrmFeaturesList* d) {
            QCOMPARE(listed(d), QStringList());
            QVERIFY(!whileModal<TfrmEditFeature>(
                [&] { QTest::mouseClick(d->btnEdit, Qt::LeftButton); }, [](TfrmEditFeature*) {}));
            QTest::mouseClick(d->btnDelete, Qt::LeftButton);
        }));
    QVERIFY(Msg::takeShown().isEmpty());
    QVERIFY(f->errors.isEmpty());
}

void TestFeatures::typingSearchesTheNames() {
    f->addFeature(f->apollo, QStringLiteral("Catalogue"));
    QVERIFY(whileModal<TfrmFeaturesList>(
        [] { ShowFeaturesList(0); },
        [&](TfrmFeaturesList* d) {
            d->gridFeatures->setFocus();
            QTest::keyClicks(d->gridFeatures, "ca");
            QCOMPARE(featureName(d->selectedFeatureID()), QStringLiteral("Catalogue"));
            QTest::qWait(QApplication::keyboardInputInterval() + 50);
            QTest::keyClicks(d->gridFeatures, "b");
            QCOMPARE(d->selectedFeatureID(), f->billing);
        }));
}

void TestFeatures::awkwardNamesShownExactly() {
    const QString name = QStringLiteral(R"(<b>50%</b> "O'Hara" \n'; drop table features; --)");
    const int awkward = f->addFeature(f->apollo, name);
    Msg::pushAnswer(Msg::Answer::No);
    QVERIFY(whileModal<TfrmFeaturesList>(
        [&] { ShowFeaturesList(awkward); },
        [&](TfrmFeaturesList* d) {
            QVERIFY(listed(d).contains(name));
            QVERIFY(whileModal<TfrmEditFeature>(
                [&] { QTest::keyClick(d->gridFeatures, Qt::Key_Return, Qt::AltModifier); },
                [&](TfrmEditFeature* fd) {
                    QCOMPARE(fd->txtFeatureName->text(), name);
                    QTest::mouseClick(fd->btnOK, Qt::LeftButton);
                }));
            QTest::mouseClick(d->btnDelete, Qt::LeftButton);
        }));
    const QList<Msg::Shown> shown = Msg::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.constFirst().text, QStringLiteral("Are you sure you want to delete the ") +
                                          name + QStringLiteral(" feature?"));
    QCOMPARE(featureName(awkward), name);
}

void TestFeatures::editOfAMissingFeatureShowsNothing() {
    QVERIFY(!whileModal<TfrmEditFeature>([] { EditFeature(0); }, [](TfrmEditFeature*) {}));
    QVERIFY(!whileModal<TfrmEditFeature>([&] { EditFeature(f->elsewhere + 100); },
                                         [](TfrmEditFeature*) {}));
}

void TestFeatures::modelIsConsistent() {
    FeatureListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setRows(
        {{3, 1, QStringLiteral("b"), {}}, {1, 1, QStringLiteral("a"), QStringLiteral("d")}});
    QCOMPARE(model.rowOf(3), 1);
    QCOMPARE(model.index(0, FeatureListModel::colDescription).data().toString(),
             QStringLiteral("d"));
    model.setRows({});
    QCOMPARE(model.rowCount(), 0);
}

// Someone else renames the feature while the dialog holds it open: nothing
// is saved over that without the user saying so.
void TestFeatures::changedMeanwhile_data() {
    QTest::addColumn<int>("choice");        // -1: nobody else changed it, nothing asked
    QTest::addColumn<bool>("open");         // the dialog still open after OK
    QTest::addColumn<QString>("shownName"); // in the name box after OK
    QTest::addColumn<QString>("storedName");
    QTest::addColumn<QString>("storedDescription");
    QTest::newRow("nobody else: saved without a question") << -1 << false << "Mine"
                                                           << "Mine"
                                                           << "first";
    QTest::newRow("overwrite: my name, their description kept") << 0 << false << "Mine"
                                                                << "Mine"
                                                                << "theirs";
    QTest::newRow("reload: theirs shown, nothing written") << 1 << true << "Theirs"
                                                           << "Theirs"
                                                           << "theirs";
    QTest::newRow("back to editing: my input kept, nothing written") << 2 << true << "Mine"
                                                                     << "Theirs"
                                                                     << "theirs";
}

void TestFeatures::changedMeanwhile() {
    QFETCH(int, choice);
    QFETCH(bool, open);
    QFETCH(QString, shownName);
    QFETCH(QString, storedName);
    QFETCH(QString, storedDescription);
    f->conn().execute(R"(update features set "Description" = 'first' where "Feature ID" = ?)",
                      {f->accounts});
    bool stillOpen = false;
    QString shown;
    QVERIFY(whileModal<TfrmEditFeature>([&] { EditFeature(f->accounts); },
                                        [&](TfrmEditFeature* d) {
                                            typeInto(d->txtFeatureName, QStringLiteral("Mine"));
                                            if (choice >= 0) {
                                                f->conn().execute(
                                                    R"(update features set "Name" = 'Theirs',
"Description" = 'theirs' where "Feature ID" = ?)",
                                                    {f->accounts});
                                                Msg::pushChoice(choice);
                                            }
                                            QTest::mouseClick(d->btnOK, Qt::LeftButton);
                                            stillOpen = d->isVisible();
                                            shown = d->txtFeatureName->text();
                                        }));
    QCOMPARE(stillOpen, open);
    QCOMPARE(shown, shownName);
    QVERIFY(f->errors.isEmpty());
    const QList<Msg::Shown> asked = Msg::takeShown();
    if (choice < 0) {
        QVERIFY(asked.isEmpty());
    } else {
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].text, u"This feature was changed by someone else since you opened it. "
                                u"Overwrite their changes, or reload?");
    }
    QCOMPARE(featureName(f->accounts), storedName);
    auto r = f->row(QStringLiteral("Features"), QStringLiteral("Feature ID"), f->accounts);
    QCOMPARE(r->fieldByName(QStringLiteral("Description")).asString(), storedDescription);
}

void TestFeatures::anotherCopysFeaturesShowWhileOpen() {
    const int catalogue = f->addFeature(f->apollo, QStringLiteral("Catalogue"));
    const int billing = f->billing;
    f->globals->changeWatcher->start();
    QVERIFY(whileModal<TfrmFeaturesList>(
        [&] { ShowFeaturesList(billing); },
        [&](TfrmFeaturesList* d) {
            // Another copy adds one, renames one and deletes the selected one.
            DbConnection other(f->globals->dataFolder());
            other.execute(QStringLiteral("insert into features (\"Project ID\", \"Name\") "
                                         "values (?, 'Delivery')"),
                          {f->apollo});
            other.execute(QStringLiteral("update features set \"Name\" = 'Cart' where "
                                         "\"Feature ID\" = ?"),
                          {catalogue});
            other.execute(QStringLiteral("delete from features where \"Feature ID\" = ?"),
                          {billing});
            QTRY_COMPARE_WITH_TIMEOUT(listed(d), (QStringList{"Accounts", "Cart", "Delivery"}),
                                      2000);
            // The selected feature is gone: the selection stays where it was.
            QCOMPARE(d->selectedFeatureID(), catalogue);
        }));
    f->globals->changeWatcher->stop();
}

QTEST_MAIN(TestFeatures)

#include "tst_features.moc"
