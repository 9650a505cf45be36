#include "engine/check_engine.h"

#include <QFileInfo>

#include <algorithm>

#include "base/error_catalogue.h"
#include "checkers/verdicts.h"
#include "engine/disposal.h"

namespace varnelt {

namespace {

// Tests handed to a worker at once: small ones wait in its pipe, so that a worker never idles
// between tiny files while the program reads its answers.
constexpr size_t kTestsPerWorker = 16;
// A file only waits behind another when both are small; a big one goes to an idle worker.
constexpr qint64 kQueueBelowBytes = 1024 * 1024;

TestFailure failureOf(const WorkerProcess::Death& death, const RunSettings& settings, qint64 size) {
    TestFailure failure;
    if (death.killedFor == WorkerProcess::KillReason::TimeLimit) {
        failure.kind = TestFailure::Kind::TimeLimit;
        failure.number = static_cast<int>(TimeAllowedMs(settings.limits, size) / 1000);
    } else if (death.fault == worker::Fault::OutOfMemory ||
               (!death.crashed && death.number == worker::kExitOutOfMemory)) {
        failure.kind = TestFailure::Kind::MemoryLimit;
        failure.number = settings.limits.memoryLimitMB;
    } else if (death.crashed) {
        failure.kind = TestFailure::Kind::Crashed;
        failure.number = death.number;
    } else {
        failure.kind = TestFailure::Kind::Exited;
        failure.number = death.number;
    }
    if (death.inTest && death.checker >= 0 &&
        static_cast<size_t>(death.checker) < settings.libraries.size()) {
        failure.library = QFileInfo(settings.libraries[death.checker].path).fileName();
    }
    return failure;
}

}  // namespace

CheckEngine::CheckEngine(std::vector<RunFile> files, RunSettings settings, QObject* parent)
    : QObject(parent),
      files_(std::move(files)),
      settings_(std::move(settings)),
      state_(files_.size(), RowState::Waiting) {
    settings_.jobs = std::max(settings_.jobs, 1);
    configuration_ = worker::EncodeConfiguration(
        {settings_.libraries, settings_.rules, WorkerMemoryLimitBytes(settings_.limits)});
    deadlines_.setInterval(100);
    connect(&deadlines_, &QTimer::timeout, this, &CheckEngine::checkDeadlines);
}

CheckEngine::~CheckEngine() {
    if (disposer_.joinable()) {
        disposer_.join();
    }
}

void CheckEngine::start() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            started_ = true;
            if (!files_.empty() && settings_.workerProgram.isEmpty()) {
                fail({kErrorWorkerFailed, QStringLiteral("varnelt-worker")});
            }
            if (settings_.limits.timeLimitSeconds > 0) {
                deadlines_.start();
            }
            advance();
        },
        Qt::QueuedConnection);
}

void CheckEngine::stop() {
    if (stopping_) {
        return;
    }
    stopping_ = true;
    for (WorkerProcess* worker : workers_) {
        if (worker->inFlight().size() > 1) {
            worker->dropQueued();
        }
    }
    advance();
}

void CheckEngine::abandon() {
    stopping_ = true;
    if (abandoning_) {
        return;
    }
    abandoning_ = true;
    for (const worker::TestRequest& request : continuations_) {
        state_[request.serial] = RowState::Dropped;
    }
    continuations_.clear();
    for (WorkerProcess* worker : workers_) {
        if (!worker->inFlight().empty()) {
            worker->kill(WorkerProcess::KillReason::Abandoned);
        }
    }
    advance();
}

int CheckEngine::underTest() const {
    // A worker tests the oldest of its files; the others wait in its pipe.
    return static_cast<int>(std::count_if(workers_.begin(), workers_.end(), [](const auto* worker) {
        return !worker->inFlight().empty();
    }));
}

std::optional<size_t> CheckEngine::oldestUnderTest() const {
    std::optional<size_t> oldest;
    for (const WorkerProcess* worker : workers_) {
        if (!worker->inFlight().empty()) {
            const size_t row = worker->inFlight().front();
            oldest = oldest ? std::min(*oldest, row) : row;
        }
    }
    return oldest;
}

void CheckEngine::advance() {
    // Signals sent from here may call back into stop() or abandon(): the loop runs once more
    // instead of nesting.
    if (advancing_) {
        advanceAgain_ = true;
        return;
    }
    if (!started_ || done_) {
        return;
    }
    advancing_ = true;
    do {
        advanceAgain_ = false;
        fill();
        deliver();
    } while (advanceAgain_ && !done_);
    advancing_ = false;
    finishIfDone();
}

bool CheckEngine::workLeft() const {
    return !continuations_.empty() ||
           (!stopping_ && (!returned_.empty() || nextRow_ < files_.size()));
}

worker::TestRequest CheckEngine::requestFor(size_t row) const {
    const auto resume = resumeAt_.find(row);
    return {row, resume == resumeAt_.end() ? 0 : resume->second, files_[row].path(),
            files_[row].name};
}

std::optional<worker::TestRequest> CheckEngine::takeWork(bool behindAnother) {
    const auto small = [this](size_t row) { return files_[row].size < kQueueBelowBytes; };
    if (!continuations_.empty()) {
        if (behindAnother && !small(continuations_.front().serial)) {
            return std::nullopt;
        }
        worker::TestRequest next = std::move(continuations_.front());
        continuations_.pop_front();
        return next;
    }
    if (stopping_) {
        return std::nullopt;
    }
    if (!returned_.empty()) {
        const size_t row = returned_.front();
        if (behindAnother && !small(row)) {
            return std::nullopt;
        }
        returned_.pop_front();
        return requestFor(row);
    }
    if (nextRow_ < files_.size() && (!behindAnother || small(nextRow_))) {
        return requestFor(nextRow_++);
    }
    return std::nullopt;
}

void CheckEngine::send(WorkerProcess* worker, worker::TestRequest request) {
    // Cores that no other file will take are lent to this one: near the end of a run, or for
    // a single large archive.
    const size_t waiting = files_.size() - nextRow_ + returned_.size() + continuations_.size();
    const qsizetype idle = settings_.jobs - sent_ - static_cast<qsizetype>(waiting);
    request.threads = static_cast<quint16>(std::clamp<qsizetype>(idle, 1, 256));
    state_[request.serial] = RowState::Sent;
    ++sent_;
    worker->send(request);
}

WorkerProcess* CheckEngine::spawnWorker() {
    auto* worker = new WorkerProcess(settings_.workerProgram, configuration_, this);
    connect(worker, &WorkerProcess::answered, this, &CheckEngine::answered);
    connect(worker, &WorkerProcess::skipped, this, &CheckEngine::skipped);
    connect(worker, &WorkerProcess::died, this,
            [this, worker](const WorkerProcess::Death& death) { died(worker, death); });
    workers_.push_back(worker);
    worker->start();
    return worker;
}

void CheckEngine::fill() {
    if (done_ || error_ || abandoning_) {
        return;
    }
    while (workLeft() && workers_.size() < static_cast<size_t>(settings_.jobs) &&
           workers_.size() < files_.size()) {
        spawnWorker();
    }
    // One test to every idle worker first, then one more to wait behind it.
    for (size_t depth = 0; depth < kTestsPerWorker; ++depth) {
        for (WorkerProcess* worker : workers_) {
            if (worker->inFlight().size() != depth || worker->dropping()) {
                continue;
            }
            if (depth > 0 && files_[worker->inFlight().back()].size >= kQueueBelowBytes) {
                continue;
            }
            if (std::optional<worker::TestRequest> work = takeWork(depth > 0)) {
                send(worker, std::move(*work));
            }
        }
    }
    // No work left for an idle worker: a test waiting behind a long one is taken back.
    const bool someoneIdle = std::any_of(workers_.begin(), workers_.end(),
                                         [](auto* worker) { return worker->inFlight().empty(); });
    if (!workLeft() && someoneIdle) {
        for (WorkerProcess* worker : workers_) {
            if (worker->inFlight().size() > 1 && !worker->dropping()) {
                worker->dropQueued();
            }
        }
    }
}

void CheckEngine::deliver() {
    while (!disposing_ && deliverNext_ < files_.size()) {
        const size_t row = deliverNext_;
        const auto found = pending_.find(row);
        if (found == pending_.end()) {
            // After Stop a row that no worker holds is never decided: it keeps its old verdict.
            const RowState state = state_[row];
            if (stopping_ && (state == RowState::Waiting || state == RowState::Dropped)) {
                ++deliverNext_;
                continue;
            }
            return;
        }
        RowDecision decision = std::move(found->second);
        pending_.erase(found);
        ++deliverNext_;
        if (decision.outcome.kind == OutcomeKind::Bad &&
            settings_.action != DisposalAction::Nothing) {
            dispose(row, std::move(decision));
            continue;
        }
        emit decided(row, decision);
    }
}

void CheckEngine::dispose(size_t row, RowDecision decision) {
    const RunFile& file = files_[row];
    const auto run = [action = settings_.action, folder = file.folder, name = file.fileName,
                      destination = settings_.destination] {
        return DisposeOf(action, folder, name, destination, [] {});
    };
    if (settings_.action != DisposalAction::Move) {
        disposed(row, std::move(decision), run());
        return;
    }
    // A move to another file system copies the whole file: the window keeps answering.
    disposing_ = true;
    disposer_ = std::jthread([this, row, run, decision = std::move(decision)]() mutable {
        Placement placement = run();
        QMetaObject::invokeMethod(
            this,
            [this, row, decision = std::move(decision), placement]() mutable {
                disposer_.join();
                disposing_ = false;
                disposed(row, std::move(decision), placement);
                advance();
            },
            Qt::QueuedConnection);
    });
}

void CheckEngine::disposed(size_t row, RowDecision decision, const Placement& placement) {
    decision.disposalError = placement.error;
    decision.disposedTo = placement.path;
    emit decided(row, decision);
    if (placement.error) {
        fail(*placement.error);
    }
}

void CheckEngine::fail(const RuntimeError& error) {
    if (!error_) {
        error_ = error;
    }
    // The rows behind the failure are not checked.
    pending_.clear();
    deliverNext_ = files_.size();
    abandon();
}

void CheckEngine::finishIfDone() {
    if (done_ || !started_ || disposing_ || advancing_ || sent_ > 0 ||
        deliverNext_ < files_.size()) {
        return;
    }
    done_ = true;
    deadlines_.stop();
    for (WorkerProcess* worker : workers_) {
        endWorker(worker);
    }
    workers_.clear();
    emit finished(error_);
}

void CheckEngine::endWorker(WorkerProcess* worker) {
    disconnect(worker, nullptr, this, nullptr);
    worker->finish();
    worker->deleteLater();
}

void CheckEngine::decide(size_t row, RowDecision decision) {
    if (const auto found = failures_.find(row); found != failures_.end()) {
        decision.failures = std::move(found->second);
        failures_.erase(found);
    }
    state_[row] = RowState::Decided;
    if (row >= deliverNext_) {
        pending_[row] = std::move(decision);
    }
}

bool CheckEngine::settled(quint64 serial) {
    if (serial >= state_.size() || state_[serial] != RowState::Sent) {
        return false;
    }
    --sent_;
    return true;
}

void CheckEngine::answered(const worker::TestAnswer& answer) {
    if (settled(answer.serial)) {
        decide(answer.serial, {answer.outcome, {}, std::nullopt});
        advance();
    }
}

void CheckEngine::skipped(quint64 serial) {
    if (settled(serial)) {
        giveBack(serial);
        advance();
    }
}

void CheckEngine::giveBack(size_t row) {
    if (const auto resume = resumeAt_.find(row); resume != resumeAt_.end()) {
        // A file a library already failed is under test until it is decided.
        state_[row] = RowState::Resuming;
        continuations_.push_back(requestFor(row));
    } else if (stopping_) {
        state_[row] = RowState::Dropped;
    } else {
        state_[row] = RowState::Waiting;
        returned_.insert(std::lower_bound(returned_.begin(), returned_.end(), row), row);
    }
}

void CheckEngine::libraryFailed(size_t row, int checker, const TestFailure& failure) {
    failures_[row].push_back(failure);
    const CheckOutcome failed = FailedTestOutcome(settings_.rules);
    if (checker < 0) {
        // Not a library's doing: the file could not even be read in time.
        decide(row,
               {{.kind = OutcomeKind::Unreadable, .verdict = settings_.rules.unreadableFileVerdict},
                {},
                std::nullopt});
    } else if (failed.result != 0 ||
               static_cast<size_t>(checker) + 1 >= settings_.libraries.size()) {
        decide(row, {DecidedBy(failed, settings_.libraries[checker].format), {}, std::nullopt});
    } else {
        // As with any failed test, the next format is offered the file.
        resumeAt_[row] = static_cast<quint32>(checker + 1);
        giveBack(row);
    }
}

void CheckEngine::died(WorkerProcess* worker, const WorkerProcess::Death& death) {
    std::erase(workers_, worker);
    disconnect(worker, nullptr, this, nullptr);
    worker->deleteLater();
    const std::deque<quint64> held = worker->inFlight();
    if (death.beforeReady && !abandoning_) {
        for (const quint64 row : held) {
            --sent_;
            state_[row] = RowState::Waiting;
        }
        fail({kErrorWorkerFailed,
              death.refusal.isEmpty() ? settings_.workerProgram : death.refusal});
        advance();
        return;
    }
    // The test under way is the one the progress page names; one killed for its time that
    // had not reached a library yet is the oldest.
    std::optional<size_t> inTest;
    if (death.inTest) {
        inTest = death.serial;
    } else if (death.killedFor == WorkerProcess::KillReason::TimeLimit && !held.empty()) {
        inTest = held.front();
    }
    for (const size_t row : held) {
        if (state_[row] != RowState::Sent) {
            continue;
        }
        --sent_;
        const bool began = inTest == row;
        if (death.killedFor == WorkerProcess::KillReason::Abandoned || abandoning_) {
            state_[row] = RowState::Dropped;
        } else if (began) {
            libraryFailed(row, death.inTest ? death.checker : worker::kNoChecker,
                          failureOf(death, settings_, files_[row].size));
        } else {
            giveBack(row);
        }
    }
    advance();
}

void CheckEngine::checkDeadlines() {
    for (WorkerProcess* worker : workers_) {
        if (worker->inFlight().empty()) {
            continue;
        }
        const qint64 allowed =
            TimeAllowedMs(settings_.limits, files_[worker->inFlight().front()].size);
        if (allowed > 0 && worker->headElapsedMs() > allowed) {
            worker->kill(WorkerProcess::KillReason::TimeLimit);
        }
    }
}

}  // namespace varnelt
