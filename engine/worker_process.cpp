#include "engine/worker_process.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <new>

namespace varnelt {

WorkerProcess::WorkerProcess(const QString& program, const QByteArray& configuration,
                             QObject* parent)
    : QObject(parent), configuration_(configuration) {
    pageFd_ = ::memfd_create("varnelt-worker-progress", MFD_CLOEXEC);
    if (pageFd_ >= 0 && ::ftruncate(pageFd_, worker::kProgressPageSize) == 0) {
        void* shared = ::mmap(nullptr, worker::kProgressPageSize, PROT_READ | PROT_WRITE,
                              MAP_SHARED, pageFd_, 0);
        if (shared != MAP_FAILED) {
            page_ = new (shared) worker::Progress;
        }
    }
    process_.setProgram(program);
    process_.setArguments({QStringLiteral("--progress-fd"), QString::number(page_ ? pageFd_ : -1)});
    // A library's own messages, and a sanitizer's report, reach the program's standard error.
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const int pageFd = page_ ? pageFd_ : -1;
    process_.setChildProcessModifier([pageFd] {
        // In the child, between fork and exec: only calls that are safe there.
        if (pageFd >= 0) {
            ::fcntl(pageFd, F_SETFD, 0);  // the page survives exec
        }
        // A worker never outlives the program, even one killed outright.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    });
    connect(&process_, &QProcess::readyReadStandardOutput, this, &WorkerProcess::readAnswers);
    connect(&process_, &QProcess::finished, this, &WorkerProcess::ended);
    connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            refusal_ = QStringLiteral("cannot start %1: %2")
                           .arg(process_.program(), process_.errorString());
            ended(-1, QProcess::NormalExit);
        }
    });
}

WorkerProcess::~WorkerProcess() {
    disconnect(&process_, nullptr, this, nullptr);
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished();
    }
    if (page_ != nullptr) {
        ::munmap(page_, worker::kProgressPageSize);
    }
    if (pageFd_ >= 0) {
        ::close(pageFd_);
    }
}

void WorkerProcess::start() {
    process_.start(QIODevice::ReadWrite | QIODevice::Unbuffered);
    process_.write(configuration_);
}

void WorkerProcess::send(const worker::TestRequest& request) {
    if (inFlight_.empty()) {
        headSince_.start();
    }
    inFlight_.push_back(request.serial);
    process_.write(worker::EncodeTest(request));
}

void WorkerProcess::dropQueued() {
    dropping_ = true;
    process_.write(worker::EncodeDrop(inFlight_.front()));
}

void WorkerProcess::finish() {
    process_.closeWriteChannel();
}

void WorkerProcess::kill(KillReason reason) {
    if (killReason_ == KillReason::None) {
        killReason_ = reason;
    }
    process_.kill();
}

void WorkerProcess::settle(quint64 serial) {
    if (!inFlight_.empty() && inFlight_.front() == serial) {
        inFlight_.pop_front();
        headSince_.start();  // the worker goes straight on with the next test
    } else {
        std::erase(inFlight_, serial);
    }
    dropping_ = dropping_ && inFlight_.size() > 1;
}

void WorkerProcess::readAnswers() {
    const QByteArray bytes = process_.readAllStandardOutput();
    reader_.append(bytes.constData(), bytes.size());
    while (const std::optional<worker::Frame> frame = reader_.next()) {
        switch (frame->kind) {
            case worker::MessageKind::Ready:
                if (worker::DecodeReady(frame->body) != worker::kProtocolVersion) {
                    refusal_ = process_.program() +
                               QStringLiteral(" (a worker of another version of the program)");
                    kill(KillReason::None);
                    return;
                }
                ready_ = true;
                break;
            // A message the program cannot read would leave its file waiting for ever.
            case worker::MessageKind::Answer:
                if (const auto answer = worker::DecodeAnswer(frame->body)) {
                    settle(answer->serial);
                    emit answered(*answer);
                } else {
                    kill(KillReason::None);
                    return;
                }
                break;
            case worker::MessageKind::Skipped:
                if (const auto serial = worker::DecodeSkipped(frame->body)) {
                    settle(*serial);
                    emit skipped(*serial);
                } else {
                    kill(KillReason::None);
                    return;
                }
                break;
            case worker::MessageKind::Refused:
                refusal_ = worker::DecodeRefused(frame->body);
                break;
            default:
                break;
        }
    }
    if (reader_.corrupt()) {
        kill(KillReason::None);
    }
}

void WorkerProcess::ended(int exitCode, QProcess::ExitStatus status) {
    if (dead_) {
        return;
    }
    dead_ = true;
    readAnswers();  // answers written before the end still count
    Death death;
    death.beforeReady = !ready_;
    death.refusal = refusal_;
    death.crashed = status == QProcess::CrashExit;
    death.number = exitCode;
    death.killedFor = killReason_;
    if (page_ != nullptr) {
        const quint64 serial = page_->serial.load(std::memory_order_acquire);
        death.inTest = serial != 0 &&
                       std::find(inFlight_.begin(), inFlight_.end(), serial - 1) != inFlight_.end();
        death.serial = serial == 0 ? 0 : serial - 1;
        death.checker = page_->checker.load(std::memory_order_acquire);
        death.fault = static_cast<worker::Fault>(page_->fault.load(std::memory_order_acquire));
    }
    emit died(death);
}

}  // namespace varnelt
