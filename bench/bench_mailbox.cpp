// Reading a POP mailbox of 5,000 messages on the loopback Dovecot (box80): 5% of the subjects ask to
// subscribe, so the rest is read by its header alone; then the same box as returned mail, where the
// messages whose subject looks like a failure are read whole. The box is filled through the loopback
// Postfix on the first run and reused afterwards. Needs the variables that ./test sets.
#include "BenchSupport.h"
#include "core/AppSettings.h"
#include "core/Prompter.h"
#include "mailbox/ProcessEMail.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

namespace {

constexpr int Messages = 5000;
constexpr int Box = 80;

QString boxAddress() {
    return QStringLiteral("box%1@example.test").arg(Box);
}

int boxFiles(const QString& mailDir) {
    int count = 0;
    for (const char* sub : {"new", "cur"})
        count += static_cast<int>(
            QDir(mailDir + QStringLiteral("/example.test/box%1/").arg(Box) + QLatin1String(sub))
                .entryList(QDir::Files)
                .size());
    return count;
}

// One SMTP session for every message, with blocking calls (set-up only).
bool fill(quint16 port, const QString& mailDir) {
    for (const char* sub : {"new", "cur"}) {
        QDir dir(mailDir + QStringLiteral("/example.test/box%1/").arg(Box) + QLatin1String(sub));
        for (const QString& name : dir.entryList(QDir::Files))
            dir.remove(name);
    }
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(5000))
        return false;
    QByteArray pending;
    const auto reply = [&]() -> int {
        for (;;) {
            const qsizetype end = pending.indexOf("\r\n");
            if (end >= 0) {
                const QByteArray line = pending.left(end);
                pending.remove(0, end + 2);
                if (line.size() >= 4 && line.at(3) == '-')
                    continue;
                return line.left(3).toInt();
            }
            if (!socket.waitForReadyRead(10000))
                return 0;
            pending += socket.readAll();
        }
    };
    const auto command = [&](const QByteArray& line) {
        socket.write(line + "\r\n");
        return reply();
    };
    if (reply() != 220 || command("EHLO bench.test") != 250)
        return false;
    const QByteArray to = boxAddress().toUtf8();
    for (int i = 0; i < Messages; ++i) {
        const QByteArray from =
            "Person " + QByteArray::number(i) + " <p" + QByteArray::number(i) + "@client.test>";
        QByteArray subject = "Weekly report number " + QByteArray::number(i);
        if (i % 20 == 0)
            subject = "Please subscribe me";
        else if (i % 20 == 1)
            subject = "Undelivered Mail Returned to Sender";
        const QByteArray text = "From: " + from + "\r\nTo: " + to + "\r\nSubject: " + subject +
                                "\r\nDate: Sun, 6 Dec 2026 10:00:00 +0000\r\nMessage-ID: <" +
                                QByteArray::number(i) + "@bench.test>\r\n\r\n" +
                                QByteArray("Some words of the body.\r\nTo: gone") + QByteArray::number(i) +
                                "@client.test\r\n" + QByteArray(2000, 'x') + "\r\n.";
        if (command("MAIL FROM:<p" + QByteArray::number(i) + "@client.test>") != 250 ||
            command("RCPT TO:<" + to + ">") != 250 || command("DATA") != 354 || command(text) != 250)
            return false;
    }
    command("QUIT");
    for (int waited = 0; boxFiles(mailDir) < Messages && waited < 600; ++waited)
        QThread::msleep(100);
    return boxFiles(mailDir) == Messages;
}

struct Run {
    double seconds = 0;
    int addresses = 0;
    bool ok = false;
};

Run process(quint16 popPort, ProcessEMail::FilterMethod method) {
    BenchPrompter prompter;
    ProcessEMail mailbox(prompter);
    Run run;
    QElapsedTimer timer;
    QObject::connect(&mailbox, &ProcessEMail::connectionNotEstablished, &mailbox,
                     [] { QCoreApplication::exit(1); });
    QObject::connect(&mailbox, &ProcessEMail::connectionEstablished, &mailbox, [&] {
        timer.start();
        mailbox.setSearchVariables({QStringLiteral("subscribe")}, method, false);
        mailbox.processMailBox();
    });
    QObject::connect(&mailbox, &ProcessEMail::processingFinished, &mailbox, [&] {
        run.seconds = timer.nsecsElapsed() / 1e9;
        run.addresses = mailbox.addressCount();
        run.ok = mailbox.outcome() == ProcessEMail::Outcome::Completed;
        QFile::remove(mailbox.listPath());
        mailbox.endSession();
    });
    QObject::connect(&mailbox, &ProcessEMail::sessionEnded, &mailbox, [] { QCoreApplication::exit(0); });
    mailbox.connectToMailBox(QStringLiteral("127.0.0.1"), boxAddress(), QStringLiteral("testpw"), popPort,
                             false);
    QCoreApplication::exec();
    return run;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const quint16 smtpPort = static_cast<quint16>(qEnvironmentVariableIntValue("TAMBERLYN_TEST_SMTP_PORT"));
    const quint16 popPort = static_cast<quint16>(qEnvironmentVariableIntValue("TAMBERLYN_TEST_POP3_PORT"));
    const QString mailDir = qEnvironmentVariable("TAMBERLYN_TEST_MAIL_DIR");
    if (smtpPort == 0 || popPort == 0 || mailDir.isEmpty()) {
        std::printf("mailbox: skipped, the test mail servers are not running (see ./test)\n");
        return 0;
    }
    const BenchHome dir;
    if (!dir.isValid())
        return 1;

    if (boxFiles(mailDir) != Messages) {
        QElapsedTimer timer;
        timer.start();
        if (!fill(smtpPort, mailDir)) {
            std::printf("mailbox: the box could not be filled\n");
            return 1;
        }
        std::printf("filled box%d with %d messages through Postfix in %.1f s\n", Box, Messages,
                    timer.nsecsElapsed() / 1e9);
    }
    const struct {
        const char* name;
        ProcessEMail::FilterMethod method;
    } runs[] = {{"subscription phrases (headers only, 5% match)", ProcessEMail::FilterMethod::Phrases},
                {"returned mail (5% read whole)", ProcessEMail::FilterMethod::Undeliverable}};
    for (const auto& r : runs) {
        const Run run = process(popPort, r.method);
        if (!run.ok) {
            std::printf("%s: the run failed\n", r.name);
            return 1;
        }
        std::printf("%s: %d messages in %.2f s = %.0f messages/s, %d addresses\n", r.name, Messages,
                    run.seconds, Messages / run.seconds, run.addresses);
    }
    return 0;
}
