#include "util/FileNameObject.h"
#include "util/ui/FilePickers.h"

#include <QApplication>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestFilePickers : public QObject {
    Q_OBJECT

private:
    // Answers the next file dialog with a file name, or cancels it when name is empty.
    void answerNextDialog(const QString& name, QString* title) {
        QTimer::singleShot(0, [name, title] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            *title = dialog->windowTitle();
            if (name.isEmpty()) {
                dialog->reject();
                return;
            }
            dialog->selectFile(name);
            QMetaObject::invokeMethod(dialog, "accept");
        });
    }

private Q_SLOTS:
    void chosenNameBecomesTheFullFileName() {
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/letter.txt");
        QFile(path).open(QIODevice::WriteOnly);
        FileNameObject files;
        QString title;
        answerNextDialog(path, &title);
        QCOMPARE(GetExistingFileName(files, dir.path(), QStringLiteral("Text (*.txt)")), path);
        QCOMPARE(title, QStringLiteral("Select a file"));
        QCOMPARE(files.FileNameOnly(), QStringLiteral("letter"));
        QCOMPARE(files.suffix(), QStringLiteral("txt"));
    }

    void cancelReturnsNothingAndKeepsTheName() {
        QTemporaryDir dir;
        FileNameObject files;
        files.setFullFileName(QStringLiteral("/keep/me.mdb"));
        QString title;
        answerNextDialog({}, &title);
        QCOMPARE(GetNewFileName(files, dir.path(), {}, QStringLiteral("export.txt")), QString());
        QCOMPARE(title, QStringLiteral("Enter a file name"));
        QCOMPARE(files.FullFileName(), QStringLiteral("/keep/me.mdb"));
    }
};

QTEST_MAIN(TestFilePickers)
#include "tst_filepickers.moc"
