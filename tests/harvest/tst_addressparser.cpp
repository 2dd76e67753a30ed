#include "harvest/mdlParser.h"

#include <QTest>

using mdlParser::Doubt;
using mdlParser::Located;

Q_DECLARE_METATYPE(mdlParser::Doubt)

namespace {

// The names the rules give for the first address of text.
mdlParser::NameGuess namesOf(const QString& text, bool commaFields) {
    qsizetype position = 1;
    const Located found = mdlParser::locateAddress(text, position);
    if (found.status != Located::Status::Found)
        return {};
    return mdlParser::ParseFirstLastName(text, found.start, found.end, found.angleBracket, found.delimiterAt,
                                         found.userName, commaFields);
}

} // namespace

class TestAddressParser : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void delimiterSet() {
        QCOMPARE(mdlParser::delimiters().size(), 21);
        QVERIFY(mdlParser::isDelimiter(QChar(0)));
        QVERIFY(mdlParser::isDelimiter(u'\''));
        QVERIFY(!mdlParser::isDelimiter(u'.'));
        QVERIFY(!mdlParser::isDelimiter(u'\u00E9'));
    }

    void locatingAnAddress_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qsizetype>("from");
        QTest::addColumn<QString>("address");
        QTest::addColumn<qsizetype>("after");
        QTest::addColumn<bool>("angle");

        QTest::newRow("bare") << "ann@x.org" << qsizetype(1) << "ann@x.org" << qsizetype(11) << false;
        QTest::newRow("in angle brackets")
            << "Ann Lee <ann@x.org>" << qsizetype(1) << "ann@x.org" << qsizetype(20) << true;
        QTest::newRow("apostrophe in the user name")
            << "mail sean.o'brien@x.ie now" << qsizetype(1) << "sean.o'brien@x.ie" << qsizetype(24) << false;
        QTest::newRow("apostrophes around the address are quotes")
            << "write 'ann@x.org' today" << qsizetype(1) << "ann@x.org" << qsizetype(18) << false;
        QTest::newRow("NUL bytes delimit")
            << QStringLiteral("x") + QChar(0) + QStringLiteral("ann@x.org") + QChar(0) + QStringLiteral("y")
            << qsizetype(1) << "ann@x.org" << qsizetype(13) << false;
        QTest::newRow("from a later position")
            << "a@x.org b@y.org" << qsizetype(9) << "b@y.org" << qsizetype(17) << false;
        QTest::newRow("two separate @ with a dot after the last")
            << "a@b@c.org" << qsizetype(1) << "a@b@c.org" << qsizetype(11) << false;

        // Nothing found: the position tells the caller how to go on.
        QTest::newRow("no @") << "hello world" << qsizetype(1) << "" << qsizetype(0) << false;
        QTest::newRow("@ first ends the line")
            << "@x.org ann@x.org" << qsizetype(1) << "" << qsizetype(0) << false;
        QTest::newRow("position at the end") << "ann@x.org" << qsizetype(9) << "" << qsizetype(0) << false;
        QTest::newRow("nothing before the @")
            << "see <@x.org>" << qsizetype(1) << "" << qsizetype(8) << false;
        QTest::newRow("nothing after the @") << "ann@ x.org" << qsizetype(1) << "" << qsizetype(6) << false;
        QTest::newRow("no dot after the @")
            << "ann@localhost" << qsizetype(1) << "" << qsizetype(15) << false;
        QTest::newRow("dot before the @") << "ann.@x.org" << qsizetype(1) << "" << qsizetype(12) << false;
        QTest::newRow("dot after the @") << "ann@.x.org" << qsizetype(1) << "" << qsizetype(12) << false;
        QTest::newRow("two dots") << "ann@x..org" << qsizetype(1) << "" << qsizetype(12) << false;
        QTest::newRow("dot at the end") << "ann@x.org." << qsizetype(1) << "" << qsizetype(12) << false;
        QTest::newRow("two @ in a row") << "ann@@x.org" << qsizetype(1) << "" << qsizetype(12) << false;
    }
    void locatingAnAddress() {
        QFETCH(QString, text);
        QFETCH(qsizetype, from);
        QFETCH(QString, address);
        QFETCH(qsizetype, after);
        QFETCH(bool, angle);
        qsizetype position = from;
        const Located found = mdlParser::locateAddress(text, position);
        QCOMPARE(found.status == Located::Status::Found ? found.address : QString(), address);
        QCOMPARE(position, after);
        QCOMPARE(found.angleBracket, angle);
    }

    void piecesOfAHeaderValue_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("pieces");
        QTest::newRow("three addresses")
            << "To: a@x.org, b@y.org,c@z.org" << QStringList{"To: a@x.org", " b@y.org", "c@z.org"};
        QTest::newRow("comma in a display name") << "To: Berg, Ann <ann@x.org>, bob@y.org"
                                                 << QStringList{"To: Berg, Ann <ann@x.org>", " bob@y.org"};
        QTest::newRow("trailing comma") << "a@x.org," << QStringList{"a@x.org"};
        QTest::newRow("no address") << "x, y, z" << QStringList{"x, y, z"};
    }
    void piecesOfAHeaderValue() {
        QFETCH(QString, text);
        QFETCH(QStringList, pieces);
        QStringList got;
        for (const QStringView piece : mdlParser::splitAddressPieces(text))
            got << piece.toString();
        QCOMPARE(got, pieces);
    }

    void messageIdLines_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("isMessageId");
        QTest::newRow("usual") << "Message-Id: <abc@x.org>" << true;
        QTest::newRow("capitals") << "MESSAGE-ID:<abc@x.org>" << true;
        QTest::newRow("blank before colon") << "Message-ID : <abc@x.org>" << true;
        QTest::newRow("other header") << "X-Message-Id: <abc@x.org>" << false;
        QTest::newRow("no colon") << "Message-Id <abc@x.org>" << false;
    }
    void messageIdLines() {
        QFETCH(QString, line);
        QFETCH(bool, isMessageId);
        QCOMPARE(mdlParser::isMessageIdLine(line), isMessageId);
    }

    void titles_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("without");
        QTest::newRow("Dr.") << "From: Dr. Ann Lee <a@x.org>"
                             << "From: Ann Lee <a@x.org>";
        QTest::newRow("lower case mr.") << "mr. bob <b@x.org>"
                                        << "bob <b@x.org>";
        QTest::newRow("first title of the list wins") << "Dr. and Mrs. Lee"
                                                      << "Dr. and Lee";
        QTest::newRow("only once") << "Ms. Ann and Ms. Bea"
                                   << "Ann and Ms. Bea";
        QTest::newRow("not inside a word") << "Williams. Ann <a@x.org>"
                                           << "Williams. Ann <a@x.org>";
    }
    void titles() {
        QFETCH(QString, line);
        QFETCH(QString, without);
        QCOMPARE(mdlParser::removeTitle(line), without);
    }

    void names_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("commaFields");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::addColumn<Doubt>("doubt");

        QTest::newRow("display name") << "From: Ann Lee <ann@x.org>" << false << "Ann"
                                      << "Lee" << Doubt::None;
        QTest::newRow("quoted display name") << "From: \"Ann Lee\" <ann@x.org>" << false << "Ann"
                                             << "Lee" << Doubt::None;
        QTest::newRow("last name, first name") << "From: \"Berg, Ann\" <ann@x.org>" << false << "Ann"
                                               << "Berg" << Doubt::None;
        QTest::newRow("unquoted Berg, Ann") << "To: Berg, Ann <ann@x.org>" << false << "Ann"
                                            << "Berg" << Doubt::None;
        QTest::newRow("title Dr.") << "From: Dr. Ann Lee <ann@x.org>" << false << "Ann"
                                   << "Lee" << Doubt::None;
        QTest::newRow("title mr.") << "From: mr. Bob Stone <bob@x.org>" << false << "Bob"
                                   << "Stone" << Doubt::None;
        QTest::newRow("suffix stays with the last name") << "From: Ann Lee Jr. <ann@x.org>" << false << "Ann"
                                                         << "Lee Jr." << Doubt::Guessed;
        QTest::newRow("four words ending in III") << "From: John Paul Smith III <j@x.org>" << false << "John"
                                                  << "Paul Smith III" << Doubt::Guessed;
        QTest::newRow("four other words") << "From: John Paul Smith Jones <j@x.org>" << false << "not_found"
                                          << "" << Doubt::CannotSplit;
        QTest::newRow("five words") << "From: a b c d e <j@x.org>" << false << "not_found"
                                    << "" << Doubt::CannotSplit;
        QTest::newRow("one word") << "From: Ann <ann_lee@x.org>" << false << "Ann"
                                  << "" << Doubt::None;
        QTest::newRow("empty before <: no guess") << "From: <ann_lee@x.org>" << false << "not_found"
                                                  << "" << Doubt::None;
        QTest::newRow("Reply-To: dropped") << "Reply-To: Ann Lee <ann@x.org>" << false << "Ann"
                                           << "Lee" << Doubt::None;
        QTest::newRow("Bcc: dropped") << "Bcc: Ann Lee <ann@x.org>" << false << "Ann"
                                      << "Lee" << Doubt::None;
        QTest::newRow("Message-Id: stays") << "Message-Id: <abc@x.org>" << false << "Message-Id:"
                                           << "" << Doubt::None;
        QTest::newRow("name in parentheses") << "From: ann@x.org (Ann Lee)" << false << "Ann"
                                             << "Lee" << Doubt::None;
        QTest::newRow("unclosed parenthesis") << "From: ann@x.org (Ann Lee" << false << "Ann"
                                              << "Lee" << Doubt::Unmatched;
        QTest::newRow("unpaired quote") << "From: \"Ann Lee <ann@x.org>" << false << "\"Ann"
                                        << "Lee" << Doubt::Unmatched;
        QTest::newRow("user name first_last") << "From: ann_lee@x.org" << false << "Ann"
                                              << "Lee" << Doubt::UserNameUnderscore;
        QTest::newRow("user name first.last") << "From: ann.lee@x.org" << false << "Ann"
                                              << "Lee" << Doubt::UserNameDot;
        QTest::newRow("user name ending in _") << "From: ann_@x.org" << false << "not_found"
                                               << "" << Doubt::None;
        QTest::newRow("plain user name") << "From: annlee@x.org" << false << "not_found"
                                         << "" << Doubt::None;
        QTest::newRow("over 40 characters")
            << "From: Anneliese Maximiliane Hohenzollern-Sigmaringen <a@x.org>" << false << "not_found"
            << "" << Doubt::TooLong;
        QTest::newRow("embedded @") << "From: ann@x.org (Ann@Home)" << false << "Ann@Home"
                                    << "" << Doubt::EmbeddedAt;

        QTest::newRow("title before the header word") << "Mr. To: Ann Lee <ann@x.org>" << false << "Ann"
                                                      << "Lee" << Doubt::None;
        QTest::newRow("title between address and parenthesis") << "ann@x.org Dr. (Ann Lee)" << false << "Ann"
                                                               << "Lee" << Doubt::None;
        QTest::newRow("2000 characters before <")
            << QString(2000, u'a') + QStringLiteral(" <ann@x.org>") << false << "not_found"
            << "" << Doubt::TooLong;
        QTest::newRow("long unclosed parenthesis")
            << QStringLiteral("ann@x.org (") + QStringLiteral("b ").repeated(1000) << false << "not_found"
            << "" << Doubt::Unmatched;

        // Text files: comma-separated records.
        QTest::newRow("address, first, last") << "ann@x.org,Ann,Lee" << true << "Ann"
                                              << "Lee" << Doubt::None;
        QTest::newRow("first, last, address") << "Ann, Lee, ann@x.org" << true << "Ann"
                                              << "Lee" << Doubt::None;
        QTest::newRow("quoted fields") << "\"Ann\",\"Lee\",ann@x.org,Sales" << true << "Ann"
                                       << "Lee" << Doubt::None;
        QTest::newRow("address and one field") << "ann@x.org, Ann" << true << "Ann"
                                               << "" << Doubt::None;
        QTest::newRow("quoted comma is no field") << "\"Berg, Ann\" <ann@x.org>" << true << "Ann"
                                                  << "Berg" << Doubt::None;
        QTest::newRow("a field longer than a name is cut as the list cuts it")
            << QStringLiteral("ann@x.org,") + QString(3000, u'x') << true << QString(254, u'x') << ""
            << Doubt::None;
        QTest::newRow("no comma in a text line") << "Ann Lee <ann@x.org>" << true << "Ann"
                                                 << "Lee" << Doubt::None;
    }
    void names() {
        QFETCH(QString, text);
        QFETCH(bool, commaFields);
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(Doubt, doubt);
        const mdlParser::NameGuess guess = namesOf(text, commaFields);
        QCOMPARE(guess.firstName, first);
        QCOMPARE(guess.lastName, last);
        QCOMPARE(guess.doubt, doubt);
    }

    void doubtMessages() {
        QCOMPARE(
            mdlParser::doubtMessage(Doubt::TooLong),
            QStringLiteral("The name field is greater than 40 characters.  Extract a name manually if you "
                           "can."));
        QCOMPARE(
            mdlParser::doubtMessage(Doubt::UserNameUnderscore),
            QStringLiteral("No name was found but we may guess from \"_\" in the username. Confirm the guess "
                           "or extract a name manually if you can."));
        QCOMPARE(mdlParser::doubtMessage(Doubt::None), QString());
    }

    void moduleFormForMailboxes_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::addColumn<qsizetype>("after");
        QTest::newRow("From header") << "From: Ann Lee <ann@x.org>"
                                     << "ann@x.org"
                                     << "Ann"
                                     << "Lee" << qsizetype(26);
        QTest::newRow("no name") << "From: ann@x.org"
                                 << "ann@x.org"
                                 << ""
                                 << "" << qsizetype(17);
        QTest::newRow("Message-Id line") << "Message-Id: <a1@x.org>"
                                         << ""
                                         << "-"
                                         << "-" << qsizetype(0);
        QTest::newRow("Message-ID in a name") << "X-Message-ID: <a1@x.org>"
                                              << ""
                                              << "-"
                                              << "-" << qsizetype(0);
    }
    void moduleFormForMailboxes() {
        QFETCH(QString, text);
        QFETCH(QString, address);
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(qsizetype, after);
        qsizetype position = 1;
        QString firstName = QStringLiteral("-");
        QString lastName = QStringLiteral("-");
        QCOMPARE(mdlParser::parseEmailAddress(text, position, firstName, lastName), address);
        QCOMPARE(firstName, first);
        QCOMPARE(lastName, last);
        QCOMPARE(position, after);
    }

    void aHugeLineIsScannedInLinearTime() {
        // One 8 MB line of commas and words with one address at the end.
        QString line;
        line.reserve(8 * 1024 * 1024 + 32);
        while (line.size() < 8 * 1024 * 1024)
            line += QStringLiteral("word, other ");
        line += QStringLiteral("ann@x.org");
        const QList<QStringView> pieces = mdlParser::splitAddressPieces(line);
        QCOMPARE(pieces.size(), 1);
        qsizetype position = 1;
        const Located found = mdlParser::locateAddress(pieces.first(), position);
        QCOMPARE(found.address, QStringLiteral("ann@x.org"));
        const mdlParser::NameGuess guess = mdlParser::ParseFirstLastName(
            line, found.start, found.end, found.angleBracket, found.delimiterAt, found.userName, true);
        QCOMPARE(guess.firstName, QStringLiteral("word"));
    }
};

QTEST_GUILESS_MAIN(TestAddressParser)
#include "tst_addressparser.moc"
