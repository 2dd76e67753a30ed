#pragma once

// The loopback Postfix and Dovecot for the mailbox tests, and the maildirs Dovecot serves.

#include "db/DataTank.h"
#include "support/TestHome.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTest>
#include <QUuid>
#include <memory>

namespace MailboxFixture {

struct Servers {
    quint16 smtpPort = 0;
    quint16 bouncePort = 0; // accepts unknown users, then bounces
    quint16 popPort = 0;    // plain, STLS offered
    quint16 popsPort = 0;   // TLS from the first byte
    QString mailDir;
    QString cert;
    bool available() const { return smtpPort != 0 && popPort != 0 && !mailDir.isEmpty() && !cert.isEmpty(); }
};

inline Servers servers() {
    Servers s;
    s.smtpPort = static_cast<quint16>(qEnvironmentVariableIntValue("TAMBERLYN_TEST_SMTP_PORT"));
    s.bouncePort = s.smtpPort ? static_cast<quint16>(s.smtpPort + 1) : 0;
    s.popPort = static_cast<quint16>(qEnvironmentVariableIntValue("TAMBERLYN_TEST_POP3_PORT"));
    const int pops = qEnvironmentVariableIntValue("TAMBERLYN_TEST_POP3S_PORT");
    s.popsPort = static_cast<quint16>(pops ? pops : 1995);
    s.mailDir = qEnvironmentVariable("TAMBERLYN_TEST_MAIL_DIR");
    s.cert = qEnvironmentVariable("TAMBERLYN_TEST_CERT");
    return s;
}

inline const char* skipReason() {
    return "the test mail servers are not running (TAMBERLYN_TEST_SMTP_PORT, TAMBERLYN_TEST_POP3_PORT, "
           "TAMBERLYN_TEST_MAIL_DIR and TAMBERLYN_TEST_CERT are set by ./test)";
}

// A socket that trusts the servers' self-signed certificate on top of the system's.
inline std::function<std::unique_ptr<QSslSocket>()> trustingSockets(const QString& certPath) {
    return [certPath] {
        auto socket = std::make_unique<QSslSocket>();
        QSslConfiguration config = socket->sslConfiguration();
        config.addCaCertificates(QSslCertificate::fromPath(certPath));
        socket->setSslConfiguration(config);
        return socket;
    };
}

inline QString boxAddress(int box) {
    return QStringLiteral("box%1@example.test").arg(box, 2, 10, QLatin1Char('0'));
}

inline QString boxFolder(const Servers& s, int box) {
    return s.mailDir + QStringLiteral("/example.test/box%1").arg(box, 2, 10, QLatin1Char('0'));
}

// The message files of a box, new and seen alike.
inline QStringList boxFiles(const Servers& s, int box) {
    QStringList files;
    for (const char* sub : {"new", "cur"}) {
        const QDir dir(boxFolder(s, box) + u'/' + QLatin1String(sub));
        for (const QString& name : dir.entryList(QDir::Files))
            files << dir.filePath(name);
    }
    return files;
}

inline void clearBox(const Servers& s, int box) {
    for (const QString& file : boxFiles(s, box))
        QFile::remove(file);
}

inline bool waitForFiles(const Servers& s, int box, int count, int ms = 15000) {
    return QTest::qWaitFor([&] { return boxFiles(s, box).size() >= count; }, ms) &&
           boxFiles(s, box).size() == count;
}

// Registers a list holding the addresses; the home must be started.
inline bool saveList(TestHome& home, const QString& name, const QStringList& addresses) {
    DataTank tank;
    for (const QString& address : addresses) {
        if (tank.CommitTargetRecord(address, {}, {}, {}, {}, {}, {}) != DataTank::CommitOk)
            return false;
    }
    tank.closeTarget();
    return DataTank::SaveListAs(tank.targetPath(), name, {}, false, home.prompter);
}

// A whole message with CR LF line ends.
inline QByteArray message(const QString& from, const QString& to, const QByteArray& subject,
                          const QByteArray& extraHeaders = {}, const QByteArray& body = "Hello.\r\n") {
    return "From: " + from.toUtf8() + "\r\nTo: " + to.toUtf8() + "\r\nSubject: " + subject +
           "\r\nDate: " + QDateTime::currentDateTime().toString(Qt::RFC2822Date).toUtf8() +
           "\r\nMessage-ID: <" + QUuid::createUuid().toString(QUuid::WithoutBraces).toUtf8() +
           "@client.test>\r\n" + extraHeaders + "\r\n" + body;
}

// Delivers through SMTP with Python's smtplib; false when the server refused anything.
inline bool sendMail(quint16 port, const QString& envelopeFrom, const QString& recipient,
                     const QByteArray& text) {
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import smtplib, sys\n"
                                 "smtp = smtplib.SMTP('127.0.0.1', int(sys.argv[1]))\n"
                                 "smtp.sendmail(sys.argv[2], [sys.argv[3]], sys.stdin.buffer.read())\n"
                                 "smtp.quit()"),
                  QString::number(port), envelopeFrom, recipient});
    python.write(text);
    python.closeWriteChannel();
    return python.waitForFinished(20000) && python.exitStatus() == QProcess::NormalExit &&
           python.exitCode() == 0;
}

} // namespace MailboxFixture
