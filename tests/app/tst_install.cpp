#include "support/TestHome.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// cmake --install into a prefix of its own: the schedule's systemd user units name the program installed
// under that prefix, and systemd accepts them.
class TestInstall : public QObject {
    Q_OBJECT

    static QString unitLine(const QString& path, const QString& key) {
        for (const QString& line : QString::fromUtf8(readFileBytes(path)).split(u'\n'))
            if (line.startsWith(key + u'='))
                return line.mid(key.size() + 1);
        return {};
    }

private Q_SLOTS:
    void scheduleUnitsNameTheInstalledProgram() {
        QTemporaryDir prefix;
        QProcess install;
        install.start(QStringLiteral("cmake"),
                      {QStringLiteral("--install"),
                       QFileInfo(QStringLiteral(TAMBERLYN_EXECUTABLE)).absolutePath(),
                       QStringLiteral("--prefix"), prefix.path()});
        QVERIFY(install.waitForFinished(120000));
        QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());

        const QString program = prefix.filePath(QStringLiteral("bin/tamberlyn"));
        const QString service =
            prefix.filePath(QStringLiteral("share/systemd/user/tamberlyn-schedule.service"));
        const QString timer = prefix.filePath(QStringLiteral("share/systemd/user/tamberlyn-schedule.timer"));
        QVERIFY(QFileInfo(program).isExecutable());
        QCOMPARE(unitLine(service, QStringLiteral("Type")), QStringLiteral("oneshot"));
        QCOMPARE(unitLine(service, QStringLiteral("ExecStart")),
                 program + QStringLiteral(" schedule run-due --quiet"));
        QCOMPARE(unitLine(timer, QStringLiteral("OnCalendar")), QStringLiteral("minutely"));

        const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
        if (analyze.isEmpty())
            QSKIP("systemd-analyze is not installed: the units were checked by their lines only");
        QProcess verify;
        verify.start(analyze, {QStringLiteral("verify"), service, timer});
        QVERIFY(verify.waitForFinished(60000));
        QVERIFY2(verify.exitCode() == 0, verify.readAllStandardError().constData());
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
