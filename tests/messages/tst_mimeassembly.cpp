#include "core/AppSettings.h"
#include "messages/MimeAssembly.h"
#include "messages/MimeEncoding.h"
#include "support/TestHome.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

namespace {

QString errorLogText() {
    return QString::fromUtf8(readFileBytes(appFolders().errorLog()));
}

void writeFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

// Decodes quoted-printable, for checking the encoder against its definition.
QByteArray decodeQp(const QByteArray& text) {
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            out += text[i];
        } else if (text.mid(i + 1, 2) == "\r\n") {
            i += 2; // soft break
        } else {
            out += char(text.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        }
    }
    return out;
}

bool linesEndInCrLf(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r'))
            return false;
        if (text[i] == u'\r' && (i + 1 >= text.size() || text[i + 1] != u'\n'))
            return false;
    }
    return true;
}

} // namespace

class TestMimeAssembly : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void layouts_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("related");
        QTest::addColumn<QString>("mixed");
        QTest::addColumn<QString>("expected");
        const QString rel = "\r\n--QNFRelatedMessage\r\n[image]\r\n\r\n";
        const QString mix = "\r\n--QNFMixedMessage\r\n[file]\r\n";
        QTest::newRow("plain") << 0 << ""
                               << ""
                               << "MIME-Version: 1.0\r\nContent-Type: text/plain\r\n\r\nT\r\n\r\n";
        QTest::newRow("html") << 1 << ""
                              << ""
                              << "MIME-Version: 1.0\r\nContent-Type: text/html\r\n\r\nH\r\n";
        QTest::newRow("plain ignores images")
            << 0 << rel << ""
            << "MIME-Version: 1.0\r\nContent-Type: text/plain\r\n\r\nT\r\n\r\n";
        QTest::newRow("alternative")
            << 2 << ""
            << ""
            << "MIME-Version: 1.0\r\nContent-Type: multipart/alternative; "
               "boundary=\"QNFAlternativeMessage\"\r\n\r\n"
               "--QNFAlternativeMessage\r\nContent-Type: text/plain\r\n\r\nT\r\n\r\n\r\n"
               "--QNFAlternativeMessage\r\nContent-Type: text/html\r\n\r\nH\r\n--QNFAlternativeMessage--\r\n";
        QTest::newRow("html with images")
            << 1 << rel << ""
            << "MIME-Version: 1.0\r\nContent-Type: multipart/related; boundary=\"QNFRelatedMessage\"\r\n\r\n"
               "--QNFRelatedMessage\r\nContent-Type: text/html\r\n\r\nH\r\n" +
                   rel + "\r\n--QNFRelatedMessage--\r\n\r\n";
        QTest::newRow("plain with attachment")
            << 0 << "" << mix
            << "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"QNFMixedMessage\"\r\n\r\n"
               "--QNFMixedMessage\r\nContent-Type: text/plain\r\n\r\nT\r\n\r\n" +
                   mix + "\r\n--QNFMixedMessage--\r\n\r\n";
        QTest::newRow("everything")
            << 2 << rel << mix
            << "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"QNFMixedMessage\"\r\n\r\n"
               "--QNFMixedMessage\r\nContent-Type: multipart/alternative; "
               "boundary=\"QNFAlternativeMessage\"\r\n\r\n"
               "--QNFAlternativeMessage\r\nContent-Type: "
               "text/plain\r\n\r\nT\r\n\r\n\r\n--QNFAlternativeMessage\r\n"
               "Content-Type: multipart/related; "
               "boundary=\"QNFRelatedMessage\"\r\n\r\n--QNFRelatedMessage\r\n"
               "Content-Type: text/html\r\n\r\nH\r\n" +
                   rel + "\r\n--QNFRelatedMessage--\r\n\r\n--QNFAlternativeMessage--\r\n" + mix +
                   "\r\n--QNFMixedMessage--\r\n\r\n";
    }

    void layouts() {
        QFETCH(int, type);
        QFETCH(QString, related);
        QFETCH(QString, mixed);
        QFETCH(QString, expected);
        QCOMPARE(BuildMIMEBody(type, "T", "H", related, mixed), expected);
    }

    void partsThatNeedEncoding() {
        // Other characters than ASCII: charset and quoted-printable.
        const QString body = BuildMIMEBody(0, QStringLiteral("Grüße = 1"), {}, {}, {});
        QCOMPARE(body,
                 QStringLiteral(
                     "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=\"utf-8\"\r\n"
                     "Content-Transfer-Encoding: quoted-printable\r\n\r\nGr=C3=BC=C3=9Fe =3D 1\r\n\r\n"));
        // A line over 998 characters goes quoted-printable too; 998 is still fine.
        QVERIFY(!BuildMIMEBody(1, {}, QString(998, u'x'), {}, {}).contains("quoted-printable"));
        const QString longLine = BuildMIMEBody(1, {}, QString(999, u'x'), {}, {});
        QVERIFY(longLine.contains("Content-Type: text/html; charset=\"utf-8\"\r\nContent-Transfer-Encoding: "
                                  "quoted-printable\r\n\r\n"));
        for (const QString& line : longLine.split("\r\n"))
            QVERIFY(line.size() <= 76);
        // Bare line ends become CR LF before anything else.
        QCOMPARE(BuildMIMEBody(0, "a\nb\rc", {}, {}, {}),
                 QStringLiteral("MIME-Version: 1.0\r\nContent-Type: text/plain\r\n\r\na\r\nb\r\nc\r\n\r\n"));
    }

    void quotedPrintable_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("ascii") << "plain words";
        QTest::newRow("umlauts and equals") << QStringLiteral("Grüße = Größe\r\nnext line");
        QTest::newRow("trailing blanks") << "blank at end \r\ntab at end\t\r\nlast ";
        QTest::newRow("long line") << QString(300, u'a') + QStringLiteral("ü") + QString(100, u'=');
        QTest::newRow("astral") << QStringLiteral("smile 😀 and 東京 ") + QStringLiteral("😀").repeated(80);
        QTest::newRow("all three-byte characters") << QString(1000, QChar(0x6771));
        QTest::newRow("all equals signs") << QString(1000, u'=');
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + "x";
        QTest::newRow("dot and nul") << QString(".\r\n") + QChar(0) + "end";
    }

    void quotedPrintable() {
        QFETCH(QString, text);
        const QByteArray encoded = MimeEncoding::quotedPrintable(text);
        for (const QByteArray& line : encoded.split('\n')) {
            QVERIFY(line.size() <= 77); // 76 and the CR
            const QByteArray bare = line.endsWith('\r') ? line.chopped(1) : line;
            QVERIFY(!bare.endsWith(' ') && !bare.endsWith('\t'));
        }
        for (const char c : encoded)
            QVERIFY(c == '\r' || c == '\n' || (c >= 32 && c < 127));
        QString expected = text;
        if (text.startsWith(QChar(0xD800)))
            expected[0] = QChar(0xFFFD);
        QCOMPARE(QString::fromUtf8(decodeQp(encoded)), expected);
    }

    void headerWordsAndFileNames() {
        QCOMPARE(MimeEncoding::encodedWords(u"plain"), QByteArray("plain"));
        const QByteArray words = MimeEncoding::encodedWords(QString(40, QChar(0x00E9)));
        QCOMPARE(words, QByteArray("=?utf-8?B?") + QString(22, QChar(0x00E9)).toUtf8().toBase64() +
                            "?=\r\n =?utf-8?B?" + QString(18, QChar(0x00E9)).toUtf8().toBase64() + "?=");
        QCOMPARE(MimeEncoding::encodeHeaderBlock(QStringLiteral("Subject: Grüße\r\nReply-To: a@b.org\r\n")),
                 QByteArray("Subject: =?utf-8?B?R3LDvMOfZQ==?=\r\nReply-To: a@b.org\r\n"));
        QCOMPARE(MimeEncoding::fileNameParameter("report \"Q1\".pdf"),
                 QStringLiteral("filename=\"report \\\"Q1\\\".pdf\""));
        QCOMPARE(MimeEncoding::fileNameParameter(QStringLiteral("Bericht Größe.pdf")),
                 QStringLiteral("filename*=utf-8''Bericht%20Gr%C3%B6%C3%9Fe.pdf"));
    }

    void wireChecks() {
        QVERIFY(MimeEncoding::isWireSafe(u"a\r\nb"));
        QVERIFY(!MimeEncoding::isWireSafe(QStringLiteral("é")));
        QVERIFY(!MimeEncoding::isWireSafe(QString(QChar(0))));
        QVERIFY(MimeEncoding::isWireSafe(QString(QString(998, u'x') + "\r\n" + QString(998, u'y'))));
        QVERIFY(!MimeEncoding::isWireSafe(QString(QString(998, u'x') + "\r\n" + QString(999, u'y'))));
        QVERIFY(MimeEncoding::hasBareLineBreak(u"a\nb"));
        QVERIFY(MimeEncoding::hasBareLineBreak(u"a\r"));
        QVERIFY(!MimeEncoding::hasBareLineBreak(u"a\r\nb"));
        QCOMPARE(MimeEncoding::withCrLf("a\nb\r\nc\r\rd"), QStringLiteral("a\r\nb\r\nc\r\n\r\nd"));
        QCOMPARE(MimeEncoding::base64Lines(QByteArray(114, 'x')),
                 QByteArray(114, 'x').toBase64().left(76) + "\r\n" + QByteArray(114, 'x').toBase64().mid(76));
    }

    void wrap_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("expected");
        QTest::newRow("worked example") << "aaaa bbbb cccc" << 10 << "aaaa bbbb \r\ncccc\r\n\r\n";
        QTest::newRow("shorter than width") << "short" << 10 << "short";
        QTest::newRow("width 0") << "aaaa bbbb cccc" << 0 << "aaaa bbbb cccc";
        QTest::newRow("line breaks kept") << "ab\r\ncd ef gh" << 6 << "ab\r\ncd \r\nef \r\ngh\r\n\r\n";
        QTest::newRow("chunk ends in CR") << "abcd\r\nefgh" << 5 << "abcd\r\nefgh\r\n\r\n";
        QTest::newRow("word longer than width")
            << "abcdefghij klm" << 4 << "abcd\r\nefgh\r\nij \r\nklm\r\n\r\n";
        QTest::newRow("bare LF made CR LF") << "aaaa\nbbbb cccc" << 6 << "aaaa\r\nbbbb \r\ncccc\r\n\r\n";
        QTest::newRow("surrogate pair kept whole")
            << QStringLiteral("ab😀cd") << 3 << QStringLiteral("ab\r\n😀c\r\nd\r\n");
    }

    void wrap() {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(QString, expected);
        QCOMPARE(WordWrap(text, width), expected);
    }

    void wrapNeverLeavesBareBreaksOrLongLines() {
        QRandomGenerator random(7);
        const QString alphabet = QStringLiteral("ab  \r\n\r\nxyz.\n\r");
        for (int round = 0; round < 500; ++round) {
            QString text;
            const int length = random.bounded(1, 120);
            for (int i = 0; i < length; ++i)
                text += alphabet[random.bounded(int(alphabet.size()))];
            const int width = random.bounded(1, 15);
            const QString wrapped = WordWrap(text, width);
            QVERIFY2(linesEndInCrLf(wrapped), qPrintable(text));
            if (text.size() >= width) {
                for (const QString& line : wrapped.split("\r\n"))
                    QVERIFY2(line.size() <= width, qPrintable(text));
                QVERIFY(wrapped.endsWith("\r\n"));
            }
            QString words = wrapped;
            QCOMPARE(words.remove(QRegularExpression("\\s")),
                     QString(text).remove(QRegularExpression("\\s")));
        }
    }

    void wrapsOnlyThePlainTextPart() {
        const QString line = "aaaa bbbb cccc";
        const QString alternative = BuildMIMEBody(2, line, "<p>" + line + "</p>", {}, {});
        QCOMPARE(WrapTextPart(alternative, 10, false),
                 QString(alternative)
                     .replace("\r\n\r\naaaa bbbb cccc\r\n\r\n\r\n--",
                              "\r\n\r\naaaa bbbb \r\ncccc\r\n\r\n\r\n\r\n--"));
        // Without a following boundary the body ends before the message's last two characters.
        const QString plain = BuildMIMEBody(0, line, {}, {}, {});
        QCOMPARE(WrapTextPart(plain, 10, false),
                 QStringLiteral(
                     "MIME-Version: 1.0\r\nContent-Type: text/plain\r\n\r\naaaa bbbb \r\ncccc\r\n\r\n\r\n"));
        const QString encoded = BuildMIMEBody(0, line + QStringLiteral(" é"), {}, {}, {});
        QVERIFY(WrapTextPart(encoded, 10, false).contains("quoted-printable\r\n\r\naaaa bbbb \r\n"));
        const QString html = BuildMIMEBody(1, {}, line, {}, {});
        QCOMPARE(WrapTextPart(html, 10, false), html);
        QCOMPARE(WrapTextPart(line, 10, true), WordWrap(line, 10));
        QCOMPARE(WrapTextPart(plain, 0, false), plain);
    }

    void attributes_data() {
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QStringList>("pairs");
        QTest::newRow("quoted") << "<IMG src=\"a b.jpg\" width=10>"
                                << QStringList{"src=\"a b.jpg\"", "width=10"};
        QTest::newRow("blanks round =") << "<img  SRC = logo.gif  >" << QStringList{"SRC=logo.gif"};
        QTest::newRow("no blank") << "<img>" << QStringList{};
        QTest::newRow("= inside a value")
            << "<img alt=\"a=b src=x\" src=\"p.jpg\">" << QStringList{"alt=\"a=b src=x\"", "src=\"p.jpg\""};
        QTest::newRow("single quotes") << "<img src='my pic.png'>" << QStringList{"src='my pic.png'"};
        QTest::newRow("line breaks between")
            << "<img\r\nsrc=\"a.jpg\"\r\nalt=x>" << QStringList{"src=\"a.jpg\"", "alt=x"};
    }

    void attributes() {
        QFETCH(QString, tag);
        QFETCH(QStringList, pairs);
        QStringList found;
        for (const TagAttribute& pair : ParseTagAttributes(tag))
            found << pair.name + u'=' + pair.value;
        QCOMPARE(found, pairs);
        const QList<TagAttribute> parsed = ParseTagAttributes(tag);
        QCOMPARE(FindTagAttribute("SRC", parsed), pairs.indexOf(QRegularExpression("(?i)src=.*")));
    }

    void images_data() {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QStringList>("images");
        QTest::newRow("two images") << "<p><IMG src=\"a.jpg\"><img alt=x src=b.png></p>"
                                    << QStringList{"\"a.jpg\"", "b.png"};
        QTest::newRow("links stay links")
            << "<img src=\"HTTP://x.org/a.jpg\"><img src=\"https://x.org/b.jpg\"><img src=\"cid:x\">"
               "<img src=\"data:image/png;base64,AA\"><img src=c.jpg>"
            << QStringList{"c.jpg"};
        QTest::newRow("table background first")
            << "<table background=\"bg.gif\"><tr><td><img src=a.jpg></td></tr></table>"
            << QStringList{"a.jpg", "\"bg.gif\""};
        QTest::newRow("table without background is skipped")
            << "<Table border=1><table background=t.gif><img src=a.jpg>" << QStringList{"a.jpg", "t.gif"};
        QTest::newRow("duplicates kept here")
            << "<img src=a.jpg><img src=a.jpg>" << QStringList{"a.jpg", "a.jpg"};
        QTest::newRow("empty src is no image") << "<img src=\"\"><img src=a.jpg>" << QStringList{"a.jpg"};
    }

    void images() {
        QFETCH(QString, html);
        QFETCH(QStringList, images);
        QCOMPARE(GetImages(html), images);
    }

    void imageWithoutSrcEndsTheSearch() {
        TestHome home;
        QVERIFY(home.start());
        QCOMPARE(GetImages("<img src=a.jpg><img alt=\"no source\"><img src=b.jpg>"), QStringList());
        QVERIFY(errorLogText().contains("GetImages in mdlMerge"));
    }

    void contentIds() {
        QCOMPARE(GetUniqueEntries({"a", "b", "a", "A", "b"}), (QStringList{"a", "b", "A"}));
        const QList<ImageEntry> entries =
            AssignContentIDs({"\"a.jpg\"", "", "b.png"}, ContentIdSuffix("me@x.org"));
        QCOMPARE(entries.size(), 3);
        QCOMPARE(entries[0].ContentId, QStringLiteral("qnf0me@x.org6497657"));
        QVERIFY(entries[1].ImagePath.isEmpty() && entries[1].ContentId.isEmpty());
        QCOMPARE(entries[2].ContentId, QStringLiteral("qnf2me@x.org6497657"));

        QString html = "<img src=\"a.jpg\"><IMG SRC=\"A.JPG\"><img src=b.png>";
        Path2CID(html, entries);
        QCOMPARE(html, QStringLiteral("<img src=cid:qnf0me@x.org6497657><IMG SRC=cid:qnf0me@x.org6497657>"
                                      "<img src=cid:qnf2me@x.org6497657>"));
        // A content id that contains its own path is replaced once, not for ever.
        QString looping = "<img src=x>";
        Path2CID(looping, {{"x", "x"}});
        QCOMPARE(looping, QStringLiteral("<img src=cid:x>"));
        // A reference of nothing but quotes would hit every empty attribute: it is left alone.
        QString quotes = "<img alt=\"\" src=\"\">";
        Path2CID(quotes, {{"\"\"", "qnf0"}});
        QCOMPARE(quotes, QStringLiteral("<img alt=\"\" src=\"\">"));
    }

    void encodesImagesAndAttachments() {
        TestHome home;
        QVERIFY(home.start());
        const QByteArray picture(200, '\x89');
        writeFile(appFolders().TemplatesFolder + "logo.jpg", picture);
        writeFile(home.file("a.txt"), "first");
        writeFile(home.file("b"), "second");
        writeFile(home.file(QStringLiteral("Größe.pdf")), "third");

        const QString images = EncodeImages(
            {{"\"logo.jpg\"", "qnf0s"}, {"\"missing.jpg\"", "qnf1s"}, {"", ""}}, RelatedBoundary());
        const QString base64 = QString::fromLatin1(MimeEncoding::base64Lines(picture));
        QCOMPARE(images, "\r\n--QNFRelatedMessage\r\nContent-ID: <qnf0s>\r\nContent-Type: IMAGE/jpg\r\n"
                         "Content-Transfer-Encoding: BASE64\r\n\r\n" +
                             base64 + "\r\n\r\n");
        QVERIFY(base64.contains("\r\n") && base64.section("\r\n", 0, 0).size() == 76);

        // Pieces are trimmed; a missing file is skipped; the name is what follows the last separator.
        const QString attachments = EncodeAttachments(home.file("a.txt") + " ;  " + home.file("missing.doc") +
                                                          "; ;" + home.file("b").replace('/', '\\') + ";" +
                                                          home.file(QStringLiteral("Größe.pdf")),
                                                      MixedBoundary());
        QCOMPARE(
            attachments,
            QStringLiteral(
                "\r\n--QNFMixedMessage\r\nContent-Type: Application/txt\r\nContent-Disposition: "
                "attachment; filename=\"a.txt\"\r\nContent-Transfer-Encoding: BASE64\r\n\r\nZmlyc3Q=\r\n"
                "\r\n--QNFMixedMessage\r\nContent-Type: Application/octet-stream\r\nContent-Disposition: "
                "attachment; filename=\"b\"\r\nContent-Transfer-Encoding: BASE64\r\n\r\nc2Vjb25k\r\n"
                "\r\n--QNFMixedMessage\r\nContent-Type: Application/pdf\r\nContent-Disposition: "
                "attachment; filename*=utf-8''Gr%C3%B6%C3%9Fe.pdf\r\nContent-Transfer-Encoding: "
                "BASE64\r\n\r\ndGhpcmQ=\r\n"));
        QCOMPARE(ResolveMessageFile("pics\\logo.jpg"), appFolders().TemplatesFolder + "pics/logo.jpg");
        QCOMPARE(ResolveMessageFile("/abs/x.jpg"), QStringLiteral("/abs/x.jpg"));
    }
};

QTEST_GUILESS_MAIN(TestMimeAssembly)
#include "tst_mimeassembly.moc"
