#include "support/TerminalRun.h"

#include <QDeadlineTimer>
#include <QTest>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

TerminalRun runOnTerminal(const QStringList& arguments, int timeoutMs) {
    // Everything the child needs is made before the fork.
    std::vector<QByteArray> words{QByteArray(TAMBERLYN_EXECUTABLE)};
    for (const QString& argument : arguments)
        words.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    termios settings{};
    cfmakeraw(&settings);
    winsize size{};
    size.ws_row = 24;
    size.ws_col = 80;
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, &settings, &size);
    if (child < 0)
        return {};
    if (child == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    fcntl(terminal, F_SETFL, fcntl(terminal, F_GETFL) | O_NONBLOCK);
    TerminalRun run;
    QDeadlineTimer deadline(timeoutMs);
    char buffer[4096];
    for (;;) {
        const ssize_t read = ::read(terminal, buffer, sizeof buffer);
        if (read > 0) {
            run.output.append(buffer, read);
            continue;
        }
        // EIO: every holder of the terminal's other end has closed it, so the program has ended.
        if (read == 0 || (read < 0 && errno != EAGAIN && errno != EINTR))
            break;
        if (deadline.hasExpired()) {
            ::kill(child, SIGKILL);
            break;
        }
        QTest::qWait(5);
    }
    ::close(terminal);
    int status = 0;
    waitpid(child, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}
