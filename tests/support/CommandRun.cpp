#include "support/CommandRun.h"

#include "app/CommandLine.h"

CommandRun runCommandLine(const QStringList& arguments, const QString& input) {
    QString inText = input;
    CommandRun run;
    QTextStream in(&inText);
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    run.status = RunCommandLine(QStringList{QStringLiteral("/usr/bin/tamberlyn")} + arguments,
                                {in, out, err, !input.isEmpty()});
    out.flush();
    err.flush();
    return run;
}
