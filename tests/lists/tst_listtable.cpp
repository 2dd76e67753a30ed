#include "db/DataTank.h"
#include "lists/ListTable.h"
#include "lists/ListTableModel.h"
#include "support/TestHome.h"

#include <QAbstractItemModelTester>
#include <QTest>

using db::Database;

namespace {

// A blank list holding the rows (address, first name, company); Company is a user column.
QString makeList(const QList<QStringList>& rows, bool keyed = true) {
    QString path = DataTank::CreateBlankDatabase();
    Database database = Database::open(path);
    if (!keyed) {
        // A list that lost its key, as a clean leaves it.
        database.exec(QStringLiteral("ALTER TABLE AddressList RENAME TO Old"));
        database.exec(
            QStringLiteral("CREATE TABLE AddressList (EAddress TEXT(255) COLLATE NOCASE NOT NULL, "
                           "FirstName TEXT(255) COLLATE NOCASE, LastName TEXT(255) COLLATE NOCASE)"));
        database.exec(QStringLiteral("DROP TABLE Old"));
    }
    database.exec(QStringLiteral("ALTER TABLE AddressList ADD COLUMN Company TEXT(255) COLLATE NOCASE"));
    db::Transaction transaction(database);
    for (const QStringList& row : rows)
        database.exec(
            QStringLiteral("INSERT INTO AddressList (EAddress, FirstName, Company) VALUES (?, ?, ?)"),
            {row.value(0), row.value(1).isEmpty() ? QVariant() : row.value(1),
             row.value(2).isEmpty() ? QVariant() : row.value(2)});
    transaction.commit();
    return path;
}

QStringList column(const ListTableModel& model, int c) {
    QStringList values;
    for (int row = 0; row < model.recordCount(); ++row)
        values << model.index(row, c).data().toString();
    return values;
}

} // namespace

class TestListTable : public QObject {
    Q_OBJECT

private:
    TestHome home;
    std::unique_ptr<ListTableModel> openModel(const QString& path) {
        auto table = ListTable::open(path);
        if (!table)
            return nullptr;
        auto model = std::make_unique<ListTableModel>(std::move(table), home.prompter);
        new QAbstractItemModelTester(model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest,
                                     model.get());
        return model;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(home.start()); }

    void opensInAddressOrderWithANewRowAtTheEnd() {
        auto model = openModel(makeList({{"c@x.org", "C"}, {"A@x.org", "A"}, {"b@x.org", "B"}}));
        QVERIFY(model);
        QCOMPARE(model->recordCount(), 3);
        QCOMPARE(model->rowCount(), 4);
        QCOMPARE(column(*model, 0), (QStringList{"A@x.org", "b@x.org", "c@x.org"}));
        QCOMPARE(model->headerData(3, Qt::Vertical).toString(), QStringLiteral("*"));
        QVERIFY(model->table().hasPrimaryKey());
        // The new row takes its address first.
        QVERIFY(!(model->flags(model->index(3, 1)) & Qt::ItemIsEditable));
        QVERIFY(model->flags(model->index(3, 0)) & Qt::ItemIsEditable);
    }

    void aRepeatedAddressIsRefusedWhateverItsCaseAndTheOldValueStays() {
        auto model = openModel(makeList({{"a@x.org"}, {"b@x.org"}}));
        const int before = int(home.prompter.shown().size());
        QVERIFY(!model->setData(model->index(1, 0), QStringLiteral("A@X.ORG")));
        QCOMPARE(model->index(1, 0).data().toString(), QStringLiteral("b@x.org"));
        QCOMPARE(home.prompter.shown().size(), before + 1);
        QCOMPARE(home.prompter.shown().last().text, ListTableModel::duplicateAddressText("A@X.ORG"));
        QCOMPARE(home.prompter.shown().last().icon, Prompter::Icon::Exclamation);
        // The same address in another case is no duplicate of itself.
        QVERIFY(model->setData(model->index(0, 0), QStringLiteral("A@x.org")));
        QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("A@x.org"));
    }

    void anEmptyAddressIsRefusedAndAnEmptyNewRowIsAbandoned() {
        auto model = openModel(makeList({{"a@x.org"}}));
        QVERIFY(!model->setData(model->index(0, 0), QStringLiteral("   ")));
        QCOMPARE(home.prompter.shown().last().text, ListTableModel::blankAddressText());
        QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("a@x.org"));
        const int shown = int(home.prompter.shown().size());
        QVERIFY(!model->setData(model->index(1, 0), QString()));
        QCOMPARE(home.prompter.shown().size(), shown);
        QCOMPARE(model->recordCount(), 1);
    }

    void anAddressWithAControlCharacterIsRefused_data() {
        QTest::addColumn<QString>("address");
        QTest::newRow("line break and command") << QStringLiteral("b@x.org\r\nDATA");
        QTest::newRow("tab") << QStringLiteral("b@x.org\tc@x.org");
        QTest::newRow("NUL") << QString::fromLatin1("b@x.org\0", 8);
        QTest::newRow("DEL") << QStringLiteral("b\x7f@x.org");
    }
    void anAddressWithAControlCharacterIsRefused() {
        QFETCH(QString, address);
        auto model = openModel(makeList({{"a@x.org"}}));
        QVERIFY(!model->setData(model->index(0, 0), address));
        QCOMPARE(home.prompter.shown().last().text, ListTableModel::controlCharacterAddressText());
        QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("a@x.org"));
        QVERIFY(!model->setData(model->index(1, 0), address));
        QCOMPARE(home.prompter.shown().last().text, ListTableModel::controlCharacterAddressText());
        QCOMPARE(column(*model, 0), QStringList{"a@x.org"});
    }

    void typingIntoTheNewRowAppendsARowAndWritesThrough() {
        const QString path = makeList({{"a@x.org"}});
        auto model = openModel(path);
        QVERIFY(model->setData(model->index(1, 0), QStringLiteral("new@x.org")));
        QCOMPARE(model->recordCount(), 2);
        QVERIFY(model->setData(model->index(1, 1), QStringLiteral("Nina")));
        QVERIFY(!model->setData(model->index(2, 0), QStringLiteral("NEW@x.org")));
        QCOMPARE(model->recordCount(), 2);
        // Written at once: another connection sees it.
        auto other = openModel(path);
        QCOMPARE(column(*other, 1), (QStringList{"", "Nina"}));
    }

    void sortingByAnyColumnKeepsEveryRow_data() {
        QTest::addColumn<int>("sortColumn");
        QTest::addColumn<int>("order");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("company ascending")
            << 8 << int(Qt::AscendingOrder) << QStringList{"", "Acme", "acme", "Zeta"};
        QTest::newRow("company descending")
            << 8 << int(Qt::DescendingOrder) << QStringList{"Zeta", "Acme", "acme", ""};
    }
    void sortingByAnyColumnKeepsEveryRow() {
        QFETCH(int, sortColumn);
        QFETCH(int, order);
        QFETCH(QStringList, expected);
        auto model = openModel(makeList(
            {{"a@x.org", "", "Zeta"}, {"b@x.org", "", "Acme"}, {"c@x.org"}, {"d@x.org", "", "acme"}}));
        QCOMPARE(model->headerData(sortColumn, Qt::Horizontal).toString(), QStringLiteral("Company"));
        model->sort(sortColumn, Qt::SortOrder(order));
        QCOMPARE(model->recordCount(), 4);
        QCOMPARE(column(*model, sortColumn), expected);
        QStringList all = column(*model, 0);
        all.sort();
        QCOMPARE(all, (QStringList{"a@x.org", "b@x.org", "c@x.org", "d@x.org"}));
    }

    void deletingRowsRemovesExactlyThem() {
        auto model = openModel(makeList({{"a@x.org"}, {"b@x.org"}, {"c@x.org"}, {"d@x.org"}, {"e@x.org"}}));
        QVERIFY(model->deleteRecords({3, 0, 1}));
        QCOMPARE(column(*model, 0), (QStringList{"c@x.org", "e@x.org"}));
        auto reopened = openModel(model->table().path());
        QCOMPARE(reopened->recordCount(), 2);
    }

    void pagesAreReadLazily() {
        QList<QStringList> rows;
        for (int i = 0; i < 1000; ++i)
            rows << QStringList{QStringLiteral("p%1@x.org").arg(i, 4, 10, QChar(u'0'))};
        auto model = openModel(makeList(rows));
        QCOMPARE(model->recordCount(), 1000);
        QCOMPARE(model->index(999, 0).data().toString(), QStringLiteral("p0999@x.org"));
        QCOMPARE(model->index(500, 0).data().toString(), QStringLiteral("p0500@x.org"));
    }

    void findCriteria_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("exact");
        QTest::addColumn<QString>("criterion");
        QTest::newRow("exact") << "Ann" << true << "[FirstName] = \"Ann\"";
        QTest::newRow("like") << "An" << false << "[FirstName] Like \"*An*\"";
        QTest::newRow("blank") << "" << true << "[FirstName] = NULL Or [FirstName] = \"\"";
        QTest::newRow("quote doubled") << "a\"b" << true << "[FirstName] = \"a\"\"b\"";
    }
    void findCriteria() {
        QFETCH(QString, text);
        QFETCH(bool, exact);
        QFETCH(QString, criterion);
        QCOMPARE(ListTable::findCriterion(QStringLiteral("FirstName"), text, exact), criterion);
    }

    void findGoesOnFromTheCurrentRowBothWays() {
        auto model =
            openModel(makeList({{"a@x.org", "Ann"}, {"b@x.org", "Bob"}, {"c@x.org", "ann"}, {"d@x.org"}}));
        QCOMPARE(model->findRow(1, QStringLiteral("ann"), true, 0, true), std::optional<int>(0));
        QCOMPARE(model->findRow(1, QStringLiteral("ann"), true, 1, true), std::optional<int>(2));
        QCOMPARE(model->findRow(1, QStringLiteral("ann"), true, 3, true), std::optional<int>(-1));
        QCOMPARE(model->findRow(1, QStringLiteral("ann"), true, 1, false), std::optional<int>(0));
        QCOMPARE(model->findRow(1, QStringLiteral("o"), false, 0, true), std::optional<int>(1));
        QCOMPARE(model->findRow(1, QStringLiteral("o"), true, 0, true), std::optional<int>(-1));
        QCOMPARE(model->findRow(1, QString(), true, 0, true), std::optional<int>(3));
        // A quote in the text is searched for, not taken as the end of the text.
        QCOMPARE(model->findRow(1, QStringLiteral("a\" Or \"1"), true, 0, true), std::optional<int>(-1));
    }

    void replaceChangesEqualValuesOnly() {
        auto model =
            openModel(makeList({{"a@x.org", "Ann"}, {"b@x.org", "ANN"}, {"c@x.org", "Anne"}, {"d@x.org"}}));
        ListTable& table = model->table();
        QCOMPARE(table.countEqual(1, QStringLiteral("ann")), 2);
        QCOMPARE(table.replaceEqual(1, QStringLiteral("ann"), QStringLiteral("Anna")), 2);
        QCOMPARE(table.countEqual(1, QString()), 1);
        QCOMPARE(table.replaceEqual(1, QString(), QStringLiteral("Nobody")), 1);
        model->reload();
        QCOMPARE(column(*model, 1), (QStringList{"Anna", "Anna", "Anne", "Nobody"}));
        // Two rows cannot take the same address: nothing changes.
        QCOMPARE(table.replaceEqual(0, QStringLiteral("a@x.org"), QStringLiteral("b@x.org")), -1);
        QCOMPARE(table.countEqual(0, QStringLiteral("a@x.org")), 1);
    }

    void repeatedAddressesOfAListWithoutItsKeyAreAllDeleted() {
        auto model =
            openModel(makeList({{"a@x.org"}, {"b@x.org"}, {"A@X.org"}, {"c@x.org"}, {"c@x.org"}}, false));
        ListTable& table = model->table();
        QVERIFY(!table.hasPrimaryKey());
        QCOMPARE(table.duplicateAddressRows().size(), 4);
        QCOMPARE(table.duplicateAddressRows(1).size(), 1);
        QCOMPARE(table.deleteDuplicateAddresses(), 4);
        model->reload();
        QCOMPARE(column(*model, 0), QStringList{"b@x.org"});
    }

    void aReadOnlyTableShowsRowsAndTakesNoEdits() {
        const QString path = makeList({{"a@x.org"}});
        auto table = ListTable::open(path, QStringLiteral("AddressList"), true);
        QVERIFY(table);
        ListTableModel model(std::move(table), home.prompter);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 1);
        QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
        QVERIFY(!model.setData(model.index(0, 0), QStringLiteral("b@x.org")));
        QVERIFY(!ListTable::open(path, QStringLiteral("NoSuchTable")));
    }
};

QTEST_GUILESS_MAIN(TestListTable)
#include "tst_listtable.moc"
