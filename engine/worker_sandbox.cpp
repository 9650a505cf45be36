#include "engine/worker_sandbox.h"

#include <fcntl.h>
#include <seccomp.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace varnelt::worker {

namespace {

struct FilterDeleter {
    void operator()(scmp_filter_ctx filter) const { seccomp_release(filter); }
};
using Filter = std::unique_ptr<void, FilterDeleter>;

constexpr int kRefused = SCMP_ACT_ERRNO(EPERM);

// Refused whatever their arguments.
constexpr int kForbiddenCalls[] = {
    // no network, no other process's socket
    SCMP_SYS(socket),
    SCMP_SYS(socketpair),
    SCMP_SYS(connect),
    SCMP_SYS(bind),
    SCMP_SYS(listen),
    SCMP_SYS(accept),
    SCMP_SYS(accept4),
    // no program run
    SCMP_SYS(execve),
    SCMP_SYS(execveat),
    // no file created, written, renamed or removed
    SCMP_SYS(creat),
    SCMP_SYS(openat2),
    SCMP_SYS(rename),
    SCMP_SYS(renameat),
    SCMP_SYS(renameat2),
    SCMP_SYS(link),
    SCMP_SYS(linkat),
    SCMP_SYS(symlink),
    SCMP_SYS(symlinkat),
    SCMP_SYS(unlink),
    SCMP_SYS(unlinkat),
    SCMP_SYS(mkdir),
    SCMP_SYS(mkdirat),
    SCMP_SYS(rmdir),
    SCMP_SYS(mknod),
    SCMP_SYS(mknodat),
    SCMP_SYS(truncate),
    SCMP_SYS(chmod),
    SCMP_SYS(fchmod),
    SCMP_SYS(fchmodat),
    SCMP_SYS(chown),
    SCMP_SYS(fchown),
    SCMP_SYS(lchown),
    SCMP_SYS(fchownat),
    SCMP_SYS(utimes),
    SCMP_SYS(utimensat),
    SCMP_SYS(futimesat),
    SCMP_SYS(setxattr),
    SCMP_SYS(lsetxattr),
    SCMP_SYS(fsetxattr),
    SCMP_SYS(removexattr),
    SCMP_SYS(lremovexattr),
    SCMP_SYS(fremovexattr),
    SCMP_SYS(io_uring_setup),
    // no other process looked into or changed
    SCMP_SYS(ptrace),
    SCMP_SYS(process_vm_readv),
    SCMP_SYS(process_vm_writev),
};

// An open whose flags ask for any of these is refused: reading is all a test needs.
constexpr unsigned kWritingOpenFlags[] = {O_WRONLY, O_RDWR, O_CREAT, O_TRUNC, O_APPEND, O_TMPFILE};

bool refuseWritingOpens(scmp_filter_ctx filter, int call, unsigned flagsArgument) {
    for (const unsigned flag : kWritingOpenFlags) {
        const scmp_arg_cmp flagSet{flagsArgument, SCMP_CMP_MASKED_EQ, flag, flag};
        if (seccomp_rule_add_exact_array(filter, kRefused, call, 1, &flagSet) != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool EnterSandbox(QString& why) {
    const Filter filter(seccomp_init(SCMP_ACT_ALLOW));
    if (!filter) {
        why = QStringLiteral("seccomp_init failed");
        return false;
    }
    for (const int call : kForbiddenCalls) {
        if (int error = seccomp_rule_add_exact(filter.get(), kRefused, call, 0); error != 0) {
            why = QStringLiteral("cannot refuse system call %1: %2")
                      .arg(call)
                      .arg(QString::fromLocal8Bit(std::strerror(-error)));
            return false;
        }
    }
    if (!refuseWritingOpens(filter.get(), SCMP_SYS(open), 1) ||
        !refuseWritingOpens(filter.get(), SCMP_SYS(openat), 2)) {
        why = QStringLiteral("cannot refuse opening files for writing");
        return false;
    }
    if (const int error = seccomp_load(filter.get()); error != 0) {
        why = QStringLiteral("the kernel refused the system call filter: %1")
                  .arg(QString::fromLocal8Bit(std::strerror(-error)));
        return false;
    }
    return true;
}

}  // namespace varnelt::worker
