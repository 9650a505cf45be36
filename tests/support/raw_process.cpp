#include "tests/support/raw_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFileInfo>
#include <QTemporaryFile>

#include <vector>

extern char** environ;

namespace varnelt::test {

namespace {

QByteArray readBack(QTemporaryFile& file) {
    file.seek(0);
    return file.readAll();
}

}  // namespace

ProcessRun runProgram(const QByteArrayList& argv) {
    ProcessRun run;
    QTemporaryFile out;
    QTemporaryFile err;
    if (argv.isEmpty() || !out.open() || !err.open()) {
        return run;
    }
    std::vector<char*> pointers;
    for (const QByteArray& argument : argv) {
        pointers.push_back(const_cast<char*>(argument.constData()));
    }
    pointers.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out.handle(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.handle(), STDERR_FILENO);
    pid_t child = -1;
    const int spawned =
        posix_spawnp(&child, pointers.front(), &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return run;
    }
    int status = 0;
    for (int waited = 0; waitpid(child, &status, WNOHANG) == 0; ++waited) {
        if (waited == 120 * 20) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            break;
        }
        usleep(50000);
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = readBack(out);
    run.err = readBack(err);
    return run;
}

std::optional<QByteArrayList> unprivilegedPrefix(QString& why) {
    if (geteuid() != 0) {
        return QByteArrayList();
    }
    const QByteArrayList prefix{"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
    if (runProgram(prefix + QByteArrayList{"true"}).status != 0) {
        why = QStringLiteral("the tests run as root and setpriv cannot switch to nobody here");
        return std::nullopt;
    }
    return prefix;
}

QByteArray selfPath() {
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().toUtf8();
}

}  // namespace varnelt::test
