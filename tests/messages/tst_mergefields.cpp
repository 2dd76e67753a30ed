#include "ListFixtures.h"
#include "core/AppSettings.h"
#include "messages/mdlMerge.h"
#include "messages/mdlMergeFields.h"
#include "support/TestHome.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

const QStringList ListColumns = {"EAddress", "FirstName", "LastName", "Keyword1",
                                 "Keyword2", "Date",      "Sent",     "Title"};

QStringList describe(const QList<MergeFieldTag>& tags) {
    QStringList out;
    for (const MergeFieldTag& tag : tags)
        out << QStringLiteral("%1@%2+%3")
                   .arg(tag.MergeFieldName)
                   .arg(tag.MergeFieldStart)
                   .arg(tag.MergeFieldLength);
    return out;
}

// Segments written as leading|field|leading|field|...|last leading.
QString describe(const MergeSegments& segments) {
    QStringList out;
    for (const MergeSegment& segment : segments)
        out << segment.LeadingText << segment.FieldName;
    out.removeLast(); // the last field is always empty
    return out.join(u'|');
}

QString errorLogText() {
    return QString::fromUtf8(readFileBytes(appFolders().errorLog()));
}

} // namespace

class TestMergeFields : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void findsTags_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("hasRow");
        QTest::addColumn<QStringList>("tags");
        QTest::addColumn<QStringList>("invalid");

        QTest::newRow("plain") << "Dear <<FirstName>>," << true << QStringList{"FirstName@6+13"}
                               << QStringList{""};
        QTest::newRow("any case") << "<<firstname>>" << true << QStringList{"firstname@1+13"}
                                  << QStringList{""};
        QTest::newRow("escaped") << "x&lt;&lt;LastName&gt;&gt;" << true << QStringList{"LastName@2+24"}
                                 << QStringList{""};
        QTest::newRow("escaped capitals")
            << "&LT;&LT;LastName&GT;&GT;" << true << QStringList{"LastName@1+24"} << QStringList{""};
        QTest::newRow("empty and unknown") << "a <<>> b <<NoSuchColumn>> c" << true << QStringList{}
                                           << QStringList{"<<>>", "<<NoSuchColumn>>", ""};
        QTest::newRow("name kept untrimmed")
            << "<< FirstName>>" << true << QStringList{} << QStringList{"<< FirstName>>", ""};
        QTest::newRow("opener without closer")
            << "<<FirstName>> and <<LastName" << true << QStringList{"FirstName@1+13"} << QStringList{""};
        QTest::newRow("resumes inside the tag") << "<<A<<FirstName>>" << true << QStringList{"FirstName@4+13"}
                                                << QStringList{"<<A<<FirstName>>", ""};
        QTest::newRow("sorted by start, plain pair reported first")
            << "&lt;&lt;Bad&gt;&gt; &lt;&lt;Title&gt;&gt; <<Nope>> <<Sent>>" << true
            << QStringList{"Title@21+21", "Sent@52+8"} << QStringList{"<<Nope>>", "<<Bad>>", ""};
        QTest::newRow("list without rows") << "<<FirstName>> <<LastName>>" << false << QStringList{}
                                           << QStringList{"<<FirstName>>", "<<LastName>>", ""};
        QTest::newRow("no tags") << "plain text" << true << QStringList{} << QStringList{""};
    }

    void findsTags() {
        QFETCH(QString, text);
        QFETCH(bool, hasRow);
        QFETCH(QStringList, tags);
        QFETCH(QStringList, invalid);
        QStringList found{"stale"};
        const auto fields = ListFieldSet::fromColumns(ListColumns, hasRow);
        QCOMPARE(describe(GetFieldPosArray(text, fields, MergeDelimiters::standard(), found)), tags);
        QCOMPARE(found, invalid);
    }

    void segments_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("segments");
        QTest::newRow("none") << "plain <<Nope>> text"
                              << "plain <<Nope>> text";
        QTest::newRow("one") << "Dear <<FirstName>>,"
                             << "Dear |FirstName|,";
        QTest::newRow("adjacent") << "<<FirstName>><<LastName>>"
                                  << "|FirstName||LastName|";
        QTest::newRow("both forms") << "<p>&lt;&lt;Title&gt;&gt; <<LastName>></p>"
                                    << "<p>|Title| |LastName|</p>";
        QTest::newRow("invalid does not split") << "<<>>x<<Sent>>y"
                                                << "<<>>x|Sent|y";
    }

    void segments() {
        QFETCH(QString, text);
        QFETCH(QString, segments);
        QStringList invalid;
        const MergeSegments built = BuildMessageArray(text, ListFieldSet::fromColumns(ListColumns, true),
                                                      MergeDelimiters::standard(), invalid);
        QCOMPARE(describe(built), segments);
        QVERIFY(built.last().FieldName.isEmpty());
        QCOMPARE(HasMergeFields(built), segments.contains(u'|'));
    }

    void overlappingTagsStayText() {
        // A column whose name holds an opener makes two valid tags overlap; the second stays text.
        const auto fields = ListFieldSet::fromColumns({"EAddress", "a<<b", "b"}, true);
        QStringList invalid;
        const MergeSegments built =
            BuildMessageArray("<<a<<b>>!", fields, MergeDelimiters::standard(), invalid);
        QCOMPARE(describe(built), QStringLiteral("|a<<b|!"));
    }

    void sortKeepsOrderOfEqualStarts() {
        QList<MergeFieldTag> tags{{"c", 9, 1}, {"a", 1, 1}, {"b", 1, 1}};
        SortMessagePosList(tags);
        QCOMPARE(describe(tags), (QStringList{"a@1+1", "b@1+1", "c@9+1"}));
    }

    void invalidFieldsQuestion() {
        QStringList invalid;
        GetFieldPosArray("<<One>> and <<Two>>", ListFieldSet::fromColumns(ListColumns, true),
                         MergeDelimiters::standard(), invalid);
        QCOMPARE(invalid.size(), 3);
        QVERIFY(HasInvalidFields(invalid));
        QCOMPARE(InvalidFieldsTitle(), QStringLiteral("Invalid Fields"));
        QCOMPARE(InvalidFieldsQuestion(invalid),
                 QStringLiteral("The following fields were found to be invalid in your message: \r\n\r\n"
                                "   <<One>>\r\n   <<Two>>\r\n\r\n\r\nDo you want to continue?"));
        QVERIFY(!HasInvalidFields({""}));
        QVERIFY(!HasInvalidFields({"  ", ""}));

        ScriptedPrompter prompter;
        prompter.answer(Prompter::Answer::No);
        QVERIFY(!ConfirmInvalidFields(invalid, prompter));
        QCOMPARE(prompter.shown().last().title, QStringLiteral("Invalid Fields"));
        QVERIFY(ConfirmInvalidFields({""}, prompter)); // nothing asked
        QVERIFY(prompter.allAnswersUsed());
    }

    void listFieldsFromFiles() {
        TestHome home;
        QVERIFY(home.start());
        const QString full = home.file("full.mdb");
        const QString empty = home.file("empty.mdb");
        QVERIFY(
            ListFixtures::writeList(full, {{{"EAddress", "ann@x.org"}, {"FirstName", "Ann"}}}, {"Company"}));
        QVERIFY(ListFixtures::writeList(empty, {}));
        QVERIFY(IsListField("firstname", "AddressList", full));
        QVERIFY(IsListField("Company", "AddressList", full));
        QVERIFY(!IsListField(" FirstName", "AddressList", full));
        QVERIFY(!IsListField("Nope", "AddressList", full));
        QVERIFY(!IsListField("FirstName", "AddressList", empty));
        QVERIFY(!IsListField("FirstName", "AddressList", home.file("missing.mdb")));
        QVERIFY(!IsListField("FirstName", "NoTable", full));

        db::Database list = db::Database::open(full);
        db::Statement row = list.prepare("SELECT * FROM AddressList");
        QVERIFY(row.next());
        QStringList names{"old"};
        FillMergeFieldList(row, names, false);
        QCOMPARE(names.first(), QStringLiteral("old"));
        FillMergeFieldList(row, names, true);
        QCOMPARE(names, ListColumns + QStringList{"Company"});
        QCOMPARE(GetMergeFieldValue(row, "FIRSTNAME"), QStringLiteral("Ann"));
        QCOMPARE(GetMergeFieldValue(row, "LastName"), QString()); // NULL
        QCOMPARE(GetMergeFieldValue(row, "Nope"), QString());
    }

    void mergesOneRecipient() {
        TestHome home;
        QVERIFY(home.start());
        const QString path = home.file("people.mdb");
        QVERIFY(ListFixtures::writeList(
            path, {{{"EAddress", "Ann@Example.org"}, {"FirstName", "Ann"}, {"LastName", "Berg"}},
                   {{"EAddress", "nofirst@example.org"}, {"LastName", "Moe"}},
                   {{"EAddress", "q\"uote@example.org"}, {"FirstName", "Quinn"}},
                   {{"EAddress", "lines@example.org"}, {"FirstName", "one\ntwo\rthree"}}}));
        QStringList invalid;
        const MergeSegments segments = BuildMessageArray(
            "Dear <<FirstName>>, <<firstname>> &LT;&LT;LastName&GT;&GT; <<>> <<NoSuchColumn>>", path, "<<",
            ">>", "&lt;&lt;", "&gt;&gt;", invalid);
        QCOMPARE(invalid, (QStringList{"<<>>", "<<NoSuchColumn>>", ""}));
        QCOMPARE(MergeMessage(segments, path, "ann@example.org"),
                 QStringLiteral("Dear Ann, Ann Berg <<>> <<NoSuchColumn>>"));
        QCOMPARE(MergeMessage(segments, path, "NOFIRST@example.org"),
                 QStringLiteral("Dear ,  Moe <<>> <<NoSuchColumn>>"));
        QCOMPARE(MergeMessage(segments, path, "nobody@example.org"), QString());
        // A double quote in the address is a value like any other.
        QCOMPARE(MergeMessage(segments, path, "q\"uote@example.org").left(11), QStringLiteral("Dear Quinn,"));
        // A value's bare line breaks reach the copy as CR LF.
        QCOMPARE(MergeMessage(segments, path, "lines@example.org").left(24),
                 QStringLiteral("Dear one\r\ntwo\r\nthree, on"));
        // A text without valid tags comes back whole once the recipient is found.
        const MergeSegments plain =
            BuildMessageArray("<<Nope>> text", path, "<<", ">>", "&lt;&lt;", "&gt;&gt;", invalid);
        QCOMPARE(MergeMessage(plain, path, "ann@example.org"), QStringLiteral("<<Nope>> text"));
    }

    void firstRowOfRepeatedAddressWins() {
        TestHome home;
        QVERIFY(home.start());
        const QString path = home.file("repeats.mdb");
        QVERIFY(ListFixtures::writeList(path,
                                        {{{"EAddress", "b@x.org"}, {"FirstName", "Other"}},
                                         {{"EAddress", "a@x.org"}, {"FirstName", "First"}},
                                         {{"EAddress", "A@X.ORG"}, {"FirstName", "Second"}}},
                                        {}, false));
        QStringList invalid;
        const MergeSegments segments =
            BuildMessageArray("<<FirstName>>", path, "<<", ">>", "&lt;&lt;", "&gt;&gt;", invalid);
        QCOMPARE(MergeMessage(segments, path, "a@x.org"), QStringLiteral("First"));
        QCOMPARE(MergeMessage(segments, path, "A@x.org"), QStringLiteral("First"));
    }

    void missingListIsLogged() {
        TestHome home;
        QVERIFY(home.start());
        QCOMPARE(MergeMessage({{"x", "FirstName", -1}, {}}, home.file("gone.mdb"), "a@x.org"), QString());
        QVERIFY(errorLogText().contains("MergeMessage in mdlMerge"));
    }

    void mergeSourceReusesItsLookUp() {
        TestHome home;
        QVERIFY(home.start());
        const QString path = home.file("people.mdb");
        QVERIFY(ListFixtures::writeList(path, {{{"EAddress", "ann@x.org"}, {"FirstName", "Ann"}},
                                               {{"EAddress", "bob@x.org"}, {"FirstName", "Bob"}}}));
        MergeSource source;
        QVERIFY(source.open(path));
        QVERIFY(source.fields().isField("firstname"));
        RecipientRecord record;
        QVERIFY(source.find("BOB@x.org", record));
        QCOMPARE(record.value("FirstName"), QStringLiteral("Bob"));
        QVERIFY(!source.find("carl@x.org", record));
        QCOMPARE(record.value("FirstName"), QStringLiteral("Bob")); // left as it was
        QVERIFY(source.find("ann@x.org", record));

        QStringList invalid;
        const MergeSegments subject =
            BuildMessageArray("Hi <<FirstName>>", source.fields(), MergeDelimiters::standard(), invalid);
        QString out;
        MergeInto(subject, record, out);
        QCOMPARE(out, QStringLiteral("Hi Ann"));
        // Header lines take a value's line breaks as blanks.
        record.setValue("FirstName", "Ann\r\nBcc: x@y.org");
        out.clear();
        MergeInto(subject, record, out, ValueLineBreaks::Blank);
        QCOMPARE(out, QStringLiteral("Hi Ann  Bcc: x@y.org"));
        QVERIFY(!MergeSource().open(home.file("missing.mdb")));
    }
};

QTEST_GUILESS_MAIN(TestMergeFields)
#include "tst_mergefields.moc"
