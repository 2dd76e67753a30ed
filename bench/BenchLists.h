#pragma once

// Set-up shared by the start-up benchmarks: an application folder with many small registered lists.
#include "app/mdlMain.h"
#include "db/CentralDatabase.h"
#include "db/DataTank.h"

#include <QFile>

// Starts the program once in home (building its central database), then registers count copies of a
// 20-row list as "List 0" … "List n". The program is not left running.
inline void registerSmallLists(const QString& home, int count, Prompter& prompter) {
    Startup first(StartupOptions{home, QStringLiteral("tamberlyn"), &prompter});
    first.run();
    DataTank writer;
    for (int i = 0; i < 20; ++i)
        writer.CommitTargetRecord(QStringLiteral("p%1@example.invalid").arg(i), {}, {}, {}, {}, {}, {});
    writer.closeTarget();
    db::Database central = CentralDatabase::open();
    db::Transaction transaction(central);
    for (int i = 0; i < count; ++i) {
        const QString file = QStringLiteral("List %1.mdb").arg(i);
        QFile::copy(writer.targetPath(), home + QStringLiteral("/AddressLists/") + file);
        central.exec(QStringLiteral("INSERT INTO List (ListName, ListPath) VALUES (?, ?)"),
                     {QStringLiteral("List %1").arg(i), file});
    }
    transaction.commit();
}
