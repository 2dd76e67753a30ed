// Passwords in a real Secret Service, and the fall-backs without one. The first case runs in the
// session of tests/support/with-keyring.sh; the second in a process with no session bus at all.

#include "core/SecretStore.h"
#include "support/TestHome.h"

#include <QDirIterator>
#include <QFile>
#include <QTest>

namespace {

QStringList warnings;

void keepWarnings(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtWarningMsg)
        warnings << text;
}

// True when a file under folder holds the bytes.
bool anyFileHolds(const QString& folder, const QByteArray& bytes) {
    QDirIterator files(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(bytes))
            return true;
    }
    return false;
}

const QString None = QStringLiteral("(none)");

QString look(const char* server, const char* user,
             SecretStore::Service service = SecretStore::Service::Smtp) {
    return SecretStore::lookupPassword(QString::fromUtf8(server), QString::fromUtf8(user), service)
        .value_or(None);
}

} // namespace

class TestKeyring : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void storesReadsAndReplacesPasswords() {
        if (!qEnvironmentVariableIsSet("TAMBERLYN_KEYRING_SESSION"))
            QSKIP("needs the keyring session of tests/support/with-keyring.sh");
        TestHome home;
        QVERIFY(home.start());
        using SecretStore::Service;
        QCOMPARE(look("smtp.x.org", "ann"), None);
        QString error;
        QVERIFY2(SecretStore::storePassword("smtp.x.org", "ann", "first pässword", &error),
                 qPrintable(error));
        QVERIFY(SecretStore::storePassword("pop.x.org", "ann", "pop one", nullptr, Service::Pop));
        QCOMPARE(look("smtp.x.org", "ann"), QStringLiteral("first pässword"));
        QVERIFY(SecretStore::storePassword("smtp.x.org", "ann", "second-secret", &error));
        QCOMPARE(look("smtp.x.org", "ann"), QStringLiteral("second-secret"));
        // Each service and each user keeps its own entry.
        QCOMPARE(look("pop.x.org", "ann", Service::Pop), QStringLiteral("pop one"));
        QCOMPARE(look("pop.x.org", "ann"), None);
        QCOMPARE(look("smtp.x.org", "bob"), None);

        // The asynchronous lookup answers in the event loop, and not to a receiver that is gone.
        std::optional<QString> answer;
        bool answered = false;
        QObject receiver;
        SecretStore::lookupPassword("smtp.x.org", "ann", Service::Smtp, &receiver,
                                    [&](std::optional<QString> found) {
                                        answer = found;
                                        answered = true;
                                    });
        QVERIFY(!answered);
        QTRY_VERIFY(answered);
        QCOMPARE(answer.value_or(None), QStringLiteral("second-secret"));
        bool lateAnswer = false;
        {
            QObject gone;
            SecretStore::lookupPassword("smtp.x.org", "ann", Service::Smtp, &gone,
                                        [&](std::optional<QString>) { lateAnswer = true; });
        }
        answered = false;
        SecretStore::lookupPassword("smtp.x.org", "ann", Service::Smtp, &receiver,
                                    [&](std::optional<QString>) { answered = true; });
        QTRY_VERIFY(answered);
        QVERIFY(!lateAnswer);

        QVERIFY(SecretStore::clearPassword("smtp.x.org", "ann"));
        QCOMPARE(look("smtp.x.org", "ann"), None);
        QVERIFY(SecretStore::clearPassword("smtp.x.org", "ann"));
        QVERIFY(SecretStore::clearPassword("pop.x.org", "ann", Service::Pop));
        QVERIFY(SecretStore::isAvailable());
        QVERIFY(!anyFileHolds(home.path(), "second-secret"));
        QVERIFY(!anyFileHolds(home.path(), "first p\xc3\xa4ssword"));
    }

    // Without a session bus every call answers at once with nothing, and the missing keyring is said
    // once for the whole process.
    void withoutKeyringTheFallbacksAnswer() {
        if (qEnvironmentVariableIsSet("TAMBERLYN_KEYRING_SESSION"))
            QSKIP("runs in a process without a session bus");
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        qunsetenv("XDG_RUNTIME_DIR");
        qunsetenv("DISPLAY");
        TestHome home;
        QVERIFY(home.start());
        const QtMessageHandler previous = qInstallMessageHandler(keepWarnings);
        std::optional<QString> first = SecretStore::lookupPassword("smtp.x.org", "ann");
        QString error;
        const bool stored = SecretStore::storePassword("smtp.x.org", "ann", "no-keyring-pw", &error);
        std::optional<QString> second = SecretStore::lookupPassword("smtp.x.org", "ann");
        bool answered = false;
        QObject receiver;
        SecretStore::lookupPassword("smtp.x.org", "ann", SecretStore::Service::Smtp, &receiver,
                                    [&](std::optional<QString> found) { answered = !found; });
        QTRY_VERIFY(answered);
        qInstallMessageHandler(previous);
        QVERIFY(!first);
        QVERIFY(!second);
        QVERIFY(!stored);
        QCOMPARE(error, SecretStore::unavailableText());
        QVERIFY(!SecretStore::isAvailable());
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings.first().startsWith(SecretStore::noKeyringText()), qPrintable(warnings.first()));
        QVERIFY(!anyFileHolds(home.path(), "no-keyring-pw"));
    }
};

QTEST_GUILESS_MAIN(TestKeyring)
#include "tst_keyring.moc"
