// The check run without widgets: hands the files to worker processes, bounds each test, and
// delivers every row's decision in row order, a bad file's disposal included. The window and
// varnelt-check are views of it.
#pragma once

#include <QObject>
#include <QTimer>

#include <deque>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include "base/runtime_error.h"
#include "engine/placement.h"
#include "engine/run_limits.h"
#include "engine/test_failure.h"
#include "engine/worker_process.h"
#include "engine/worker_protocol.h"
#include "targets/form_state.h"

namespace varnelt {

struct RunFile {
    QByteArray folder;    // the system's bytes, ending in "/"
    QByteArray fileName;  // the system's bytes
    QString name;         // decoded, as the rules compare it
    qint64 size = -1;

    QByteArray path() const { return folder + fileName; }
};

struct RunSettings {
    std::vector<worker::LibraryEntry> libraries;  // the enabled formats, in chain order
    CheckRules rules;
    DisposalAction action = DisposalAction::Nothing;
    QByteArray destination;  // the move destination as the system's bytes, ending in "/"
    int jobs = 1;
    RunLimits limits;
    QString workerProgram;
};

struct RowDecision {
    FileOutcome outcome;
    std::vector<TestFailure> failures;  // libraries that did not finish their test
    MaybeError disposalError;           // the bad file could not be disposed of: not counted
    QByteArray disposedTo{};            // where a moved or trashed file went
};

class CheckEngine : public QObject {
    Q_OBJECT
public:
    CheckEngine(std::vector<RunFile> files, RunSettings settings, QObject* parent = nullptr);
    ~CheckEngine() override;

    // Begins the run once control is back in the event loop.
    void start();
    // Starts no further file; the files under test finish and are delivered as usual.
    void stop();
    // Ends the tests under way at once: their rows are not delivered.
    void abandon();

    bool stopping() const { return stopping_; }
    // Files a worker is testing now.
    int underTest() const;
    // The lowest row a worker is testing now.
    std::optional<size_t> oldestUnderTest() const;

signals:
    // Once per delivered row, in row order, after a bad file's disposal.
    void decided(size_t row, const RowDecision& decision);
    // The run is over: complete, stopped, or ended by the error given.
    void finished(const MaybeError& error);

private:
    // Waiting: not yet handed out (or given back unbegun). Resuming: to be handed out again
    // after a library failed it. Dropped: never to be delivered.
    enum class RowState : quint8 { Waiting, Sent, Resuming, Decided, Dropped };

    void advance();
    void fill();
    void deliver();
    void finishIfDone();
    // Files left to hand out: continuations, and unless Stop was pressed, waiting rows.
    bool workLeft() const;
    worker::TestRequest requestFor(size_t row) const;
    void send(WorkerProcess* worker, worker::TestRequest request);
    std::optional<worker::TestRequest> takeWork(bool behindAnother);
    WorkerProcess* spawnWorker();
    // A worker's report on a row it was sent: false for any other serial.
    bool settled(quint64 serial);
    void answered(const worker::TestAnswer& answer);
    void skipped(quint64 serial);
    // A row handed back unbegun: handed out again, unless Stop was pressed.
    void giveBack(size_t row);
    void died(WorkerProcess* worker, const WorkerProcess::Death& death);
    void libraryFailed(size_t row, int checker, const TestFailure& failure);
    void decide(size_t row, RowDecision decision);
    void checkDeadlines();
    void dispose(size_t row, RowDecision decision);
    void disposed(size_t row, RowDecision decision, const Placement& placement);
    void fail(const RuntimeError& error);
    void endWorker(WorkerProcess* worker);

    std::vector<RunFile> files_;
    RunSettings settings_;
    QByteArray configuration_;
    std::vector<RowState> state_;
    std::vector<WorkerProcess*> workers_;              // children of this engine
    std::deque<worker::TestRequest> continuations_;    // tests taken up again after a failure
    std::deque<size_t> returned_;                      // rows a worker gave back unbegun
    std::unordered_map<size_t, RowDecision> pending_;  // decided, waiting for earlier rows
    std::unordered_map<size_t, std::vector<TestFailure>> failures_;
    std::unordered_map<size_t, quint32> resumeAt_;  // the first checker left for a row
    size_t nextRow_ = 0;
    size_t deliverNext_ = 0;
    int sent_ = 0;
    QTimer deadlines_;
    std::jthread disposer_;
    bool started_ = false;
    bool disposing_ = false;
    bool stopping_ = false;
    bool abandoning_ = false;
    bool done_ = false;
    bool advancing_ = false;
    bool advanceAgain_ = false;
    MaybeError error_;
};

}  // namespace varnelt
