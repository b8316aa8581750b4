// How a typed feature name finds its feature in the current project: the
// stored form of the name, the existence test that ignores letter case, the
// question before adding, and the error when there is still no feature.
#include "data/FeatureRules.h"
#include "data/GlobalData.h"
#include "tests/common/TestRows.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestFeatureRules : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<TdmGlobals> globals_;
    int apollo_ = 0, zephyr_ = 0, accounts_ = 0, billing_ = 0;

    DbConnection& conn() { return globals_->Connection(); }
    int addFeatureRow(int project, const QString& name) {
        return addRow(conn(), QStringLiteral("Features"),
                      {{"Project ID", project}, {"Name", name}});
    }
    int count(const QString& sql, const QVariantList& params = {}) {
        DbQuery q(conn(), sql);
        for (int i = 0; i < params.size(); ++i)
            q.params()[i].setValue(params[i]);
        q.open();
        return q.field(0).asInteger();
    }
    int featuresOfApollo() {
        return count(QStringLiteral("select count(*) from features where \"Project ID\" = :P"),
                     {apollo_});
    }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        globals_ = std::make_unique<TdmGlobals>(dir_->path());
        apollo_ = addRow(conn(), QStringLiteral("Projects"), {{"Name", "Apollo"}});
        zephyr_ = addRow(conn(), QStringLiteral("Projects"), {{"Name", "Zephyr"}});
        accounts_ = addFeatureRow(apollo_, QStringLiteral("Accounts"));
        billing_ = addFeatureRow(apollo_, QStringLiteral("Billing"));
        addFeatureRow(apollo_, QStringLiteral("Ärger"));
        addFeatureRow(zephyr_, QStringLiteral("Elsewhere"));
    }
    void cleanup() {
        globals_.reset();
        dir_.reset();
    }

    void storedName_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        const QString sixty = QString(58, u'x') + QStringLiteral("yz");
        QTest::newRow("plain") << "Accounts"
                               << "Accounts";
        QTest::newRow("trailing blanks dropped") << "Accounts   "
                                                 << "Accounts";
        QTest::newRow("leading blank kept") << " Accounts"
                                            << " Accounts";
        QTest::newRow("inner blanks kept") << "A  B"
                                           << "A  B";
        QTest::newRow("blanks only") << "   "
                                     << "";
        QTest::newRow("cut to 60") << sixty + QStringLiteral("TAIL") << sixty;
        QTest::newRow("blanks at the cut are dropped too")
            << QString(58, u'x') + QStringLiteral("  tail") << QString(58, u'x');
    }
    void storedName() {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QCOMPARE(storedFeatureName(typed), stored);
    }

    void findOrAdd_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("yes");      // the answer to the question, if it is asked
        QTest::addColumn<QString>("asked"); // the name asked about; empty: no question
        QTest::addColumn<QString>("found"); // name of the feature returned; empty: 0
        QTest::addColumn<int>("features");  // features of Apollo afterwards
        const QString sixty = QString(58, u'x') + QStringLiteral("yz");
        QTest::newRow("existing feature") << "Billing" << false << ""
                                          << "Billing" << 3;
        QTest::newRow("trailing blanks name the feature") << "Billing  " << false << ""
                                                          << "Billing" << 3;
        QTest::newRow("other letter case names the feature") << "bILLING" << false << ""
                                                             << "Billing" << 3;
        QTest::newRow("unknown feature, no") << "Reports" << false << "Reports"
                                             << "" << 3;
        QTest::newRow("unknown feature, yes") << "Reports" << true << "Reports"
                                              << "Reports" << 4;
        QTest::newRow("leading blank makes another feature") << " Accounts" << true << " Accounts"
                                                             << " Accounts" << 4;
        QTest::newRow("feature of another project is unknown here")
            << "Elsewhere" << false << "Elsewhere"
            << "" << 3;
        QTest::newRow("longer than the field: added cut to 60")
            << sixty + QStringLiteral("TAIL") << true << sixty << sixty << 4;
        // Only the letters a to z are compared without case, as the engine does.
        QTest::newRow("other case of a letter beyond z is another name")
            << "äRGER" << true << "äRGER"
            << "äRGER" << 4;
    }
    void findOrAdd() {
        QFETCH(QString, typed);
        QFETCH(bool, yes);
        QFETCH(QString, asked);
        QFETCH(QString, found);
        QFETCH(int, features);
        QStringList questions;
        const int id = findOrAddFeature(conn(), apollo_, typed, [&](const QString& name) {
            questions << name;
            return yes;
        });
        QCOMPARE(questions, asked.isEmpty() ? QStringList{} : QStringList{asked});
        QCOMPARE(id == 0, found.isEmpty());
        if (id != 0)
            QCOMPARE(featureNameOf(conn(), id).value_or(QStringLiteral("(none)")), found);
        QCOMPARE(featuresOfApollo(), features);
    }

    void exactNameBeforeOtherLetterCase() {
        const int shouting = addFeatureRow(apollo_, QStringLiteral("BILLING"));
        QCOMPARE(findFeature(conn(), apollo_, QStringLiteral("BILLING")), shouting);
        QCOMPARE(findFeature(conn(), apollo_, QStringLiteral("Billing")), billing_);
        // Neither exact: the oldest of the two.
        QCOMPARE(findFeature(conn(), apollo_, QStringLiteral("billing")), billing_);
        QVERIFY(projectHasFeature(conn(), apollo_, QStringLiteral("billing")));
        QVERIFY(!projectHasFeature(conn(), zephyr_, QStringLiteral("billing")));
        QCOMPARE(findFeature(conn(), zephyr_, QStringLiteral("Billing")), 0);
    }

    // Storing the new feature fails: dropped, and the lookup reports it.
    void failedAddEndsInCannotFind() {
        conn().execute(QStringLiteral("create temp trigger no_features before insert on "
                                      "\"Features\" begin select raise(abort, 'full'); end"));
        QString message;
        try {
            findOrAddFeature(conn(), apollo_, QStringLiteral("Reports  "),
                             [](const QString&) { return true; });
        } catch (const PelloranError& e) {
            message = e.message();
        }
        QCOMPARE(message, QStringLiteral("Cannot find feature Reports!"));
        QCOMPARE(featuresOfApollo(), 3);
        QCOMPARE(addFeature(conn(), apollo_, QStringLiteral("Reports")), 0);
    }

    void nameOfAFeature() {
        QCOMPARE(featureNameOf(conn(), accounts_).value_or(QString()), QStringLiteral("Accounts"));
        conn().execute(QStringLiteral("delete from features where \"Feature ID\" = ?"),
                       {accounts_});
        QVERIFY(!featureNameOf(conn(), accounts_).has_value());
    }
};

QTEST_GUILESS_MAIN(TestFeatureRules)
#include "tst_featurerules.moc"
