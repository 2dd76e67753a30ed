// The SMTP component alone over one connection to Postfix's smtp-sink on loopback: messages per second
// with 1 KB and 20 KB messages, one recipient each and batches of 10 and 50, beside smtp-source -d (the
// reference) sending the same to the same sink. Runs alternate: reference, component, twice.
// Needs the postfix package (smtp-sink, smtp-source); as root the sink runs as nobody.
#include "send/Corvex.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

namespace {

const int Recipients = qEnvironmentVariableIsSet("BENCH_SMTP_RECIPIENTS")
                           ? qEnvironmentVariableIntValue("BENCH_SMTP_RECIPIENTS")
                           : 20000;

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

QByteArray message(int payload) {
    QByteArray text = "From: <sender@client.test>\r\nTo: <rcpt@example.test>\r\nSubject: benchmark\r\n\r\n";
    const QByteArray line =
        "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor.\r\n";
    while (text.size() < payload)
        text += line;
    return text;
}

// Sends messages recipients at a time until total recipients have gone; returns messages per second.
double runComponent(quint16 port, int payload, int perMessage) {
    Corvex smtp;
    smtp.setRemoteHost(QStringLiteral("127.0.0.1"));
    smtp.setRemotePort(QString::number(port));
    const QByteArray body = message(payload);
    QList<RecipientResult> batch;
    for (int i = 0; i < perMessage; ++i)
        batch.append({QStringLiteral("rcpt%1@example.test").arg(i), false});
    int messages = Recipients / perMessage;
    int sent = 0;
    int accepted = 0;
    QElapsedTimer timer;
    QObject::connect(&smtp, &Corvex::Connected, [&] { smtp.hello(QStringLiteral("client.test")); });
    QObject::connect(&smtp, &Corvex::Ready, [&] {
        if (sent == 0)
            timer.start();
        if (sent == messages)
            return smtp.quit();
        ++sent;
        if (perMessage == 1)
            smtp.sendMessage();
        else
            smtp.sendMessageToBatch();
    });
    QObject::connect(&smtp, &Corvex::SENDFrom, [&] { smtp.sender(QStringLiteral("sender@client.test")); });
    QObject::connect(&smtp, &Corvex::SENDTo, [&] { smtp.recipient(batch[0]); });
    QObject::connect(&smtp, &Corvex::SENDToArray, [&] { smtp.recipients(batch); });
    QObject::connect(&smtp, &Corvex::SENDBody, [&] { smtp.body(body); });
    QObject::connect(&smtp, &Corvex::SENT, [&](const RecipientResult& r) { accepted += r.Accepted; });
    QObject::connect(&smtp, &Corvex::SENTBlock, [&](const QList<RecipientResult>& results) {
        for (const RecipientResult& r : results)
            accepted += r.Accepted;
    });
    QObject::connect(&smtp, &Corvex::Disconnected, [&] { QCoreApplication::quit(); });
    QObject::connect(&smtp, &Corvex::Timeout, [&] { QCoreApplication::quit(); });
    smtp.connectToServer();
    QCoreApplication::exec();
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (accepted != messages * perMessage)
        std::printf("  (only %d of %d recipients accepted)\n", accepted, messages * perMessage);
    return messages / seconds;
}

double runReference(quint16 port, int payload, int perMessage) {
    const int messages = Recipients / perMessage;
    QStringList arguments = {"-d",
                             "-s",
                             "1",
                             "-m",
                             QString::number(messages),
                             "-l",
                             QString::number(payload),
                             "-f",
                             "sender@client.test",
                             "-t",
                             "rcpt@example.test",
                             "-M",
                             "client.test"};
    if (perMessage > 1)
        arguments << "-r" << QString::number(perMessage);
    arguments << QStringLiteral("127.0.0.1:%1").arg(port);
    QProcess source;
    QElapsedTimer timer;
    timer.start();
    source.start(QStringLiteral("/usr/sbin/smtp-source"), arguments);
    source.waitForFinished(-1);
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (source.exitCode() != 0)
        std::printf("  smtp-source failed: %s\n", source.readAllStandardError().constData());
    return messages / seconds;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const quint16 port = freePort();
    QProcess sink;
    QStringList sinkArguments;
    if (::geteuid() == 0)
        sinkArguments << "-u"
                      << "nobody";
    sinkArguments << QStringLiteral("127.0.0.1:%1").arg(port) << "1024";
    // Nobody reads the sink's output while the reference runs: a full pipe would stall it.
    sink.setStandardOutputFile(QProcess::nullDevice());
    sink.setStandardErrorFile(QProcess::nullDevice());
    sink.start(QStringLiteral("/usr/sbin/smtp-sink"), sinkArguments);
    if (!sink.waitForStarted()) {
        std::printf("smtp-sink is missing (apt-get install postfix); nothing measured.\n");
        return 0;
    }
    QTcpSocket probe;
    for (int i = 0; i < 100; ++i) {
        probe.connectToHost(QHostAddress::LocalHost, port);
        if (probe.waitForConnected(100))
            break;
        probe.abort();
        QThread::msleep(50);
    }
    probe.abort();

    std::printf("%d recipients per run, one connection, smtp-sink on loopback; messages/s\n", Recipients);
    std::printf("%-28s %12s %12s %12s %12s %8s\n", "case", "smtp-source", "Corvex", "smtp-source", "Corvex",
                "ratio");
    for (const int payload : {1024, 20480}) {
        for (const int perMessage : {1, 10, 50}) {
            const double r1 = runReference(port, payload, perMessage);
            const double c1 = runComponent(port, payload, perMessage);
            const double r2 = runReference(port, payload, perMessage);
            const double c2 = runComponent(port, payload, perMessage);
            const QByteArray name =
                QStringLiteral("%1 KB, %2 recipient(s)").arg(payload / 1024).arg(perMessage).toUtf8();
            std::printf("%-28s %12.0f %12.0f %12.0f %12.0f %8.2f\n", name.constData(), r1, c1, r2, c2,
                        (c1 + c2) / (r1 + r2));
            std::fflush(stdout);
        }
    }
    sink.terminate();
    sink.waitForFinished();
    return 0;
}
