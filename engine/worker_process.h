// The program's side of one worker: the process, its pipe, its progress page, and the tests
// it has been handed, oldest first.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QProcess>

#include <deque>

#include "engine/worker_progress.h"
#include "engine/worker_protocol.h"

namespace varnelt {

class WorkerProcess : public QObject {
    Q_OBJECT
public:
    // configuration is the encoded Configure frame, sent first.
    WorkerProcess(const QString& program, const QByteArray& configuration,
                  QObject* parent = nullptr);
    ~WorkerProcess() override;

    void start();
    void send(const worker::TestRequest& request);
    // Tests not yet begun come back as skipped, all but the oldest: the one under test.
    void dropQueued();
    // Asked to give back its unbegun tests, and more than one test is still out.
    bool dropping() const { return dropping_; }
    // Closes the input: the worker ends once its tests are done.
    void finish();
    // Ends the worker at once, for the given reason (kept for the death report).
    enum class KillReason { None, TimeLimit, Abandoned };
    void kill(KillReason reason);

    // Serials handed over and not yet answered, oldest first; the oldest is under test.
    const std::deque<quint64>& inFlight() const { return inFlight_; }
    // Milliseconds the oldest test has been under way.
    qint64 headElapsedMs() const { return headSince_.elapsed(); }

    struct Death {
        bool beforeReady = false;  // the worker never got as far as serving
        QString refusal;           // what the worker said when it refused to serve
        bool crashed = false;
        int number = 0;  // the signal when crashed, else the exit status
        KillReason killedFor = KillReason::None;
        // What the progress page says the worker was doing: the test under way (answers of
        // earlier ones may not have been sent yet).
        bool inTest = false;
        quint64 serial = 0;
        int checker = worker::kNoChecker;
        worker::Fault fault = worker::Fault::None;
    };

signals:
    void answered(const worker::TestAnswer& answer);
    void skipped(quint64 serial);
    void died(const WorkerProcess::Death& death);

private:
    void readAnswers();
    void ended(int exitCode, QProcess::ExitStatus status);
    void settle(quint64 serial);

    QProcess process_;
    QByteArray configuration_;
    int pageFd_ = -1;
    worker::Progress* page_ = nullptr;
    worker::FrameReader reader_;
    std::deque<quint64> inFlight_;
    QElapsedTimer headSince_;
    bool ready_ = false;
    bool dropping_ = false;
    bool dead_ = false;
    QString refusal_;
    KillReason killReason_ = KillReason::None;
};

}  // namespace varnelt
