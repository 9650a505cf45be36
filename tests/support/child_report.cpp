#include "tests/support/child_report.h"

#include <sys/wait.h>
#include <unistd.h>

namespace varnelt::test {

namespace {

constexpr int kNotSetUp = 77;

}  // namespace

std::optional<QByteArray> reportFromChild(const std::function<std::optional<QByteArray>()>& work) {
    int channel[2];
    if (pipe(channel) != 0) {
        return std::nullopt;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        const std::optional<QByteArray> report = work();
        if (!report) {
            _exit(kNotSetUp);
        }
        _exit(write(channel[1], report->constData(), report->size()) == report->size() ? 0 : 1);
    }
    close(channel[1]);
    QByteArray report;
    char buffer[4096];
    for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) > 0;) {
        report.append(buffer, got);
    }
    close(channel[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    return report;
}

}  // namespace varnelt::test
