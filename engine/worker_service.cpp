#include "engine/worker_service.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/regular_file.h"
#include "base/write_all.h"
#include "checkers/archive_checker.h"
#include "checkers/archiver_library.h"
#include "engine/allocation_watch.h"
#include "engine/worker_protocol.h"
#include "engine/worker_sandbox.h"

namespace varnelt::worker {

namespace {

// The progress page, or a private one when the program gave none.
class ProgressPage {
public:
    explicit ProgressPage(int fd) {
        void* shared =
            fd < 0 ? MAP_FAILED
                   : ::mmap(nullptr, kProgressPageSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (shared != MAP_FAILED) {
            mapped_ = shared;
            page_ = new (shared) Progress;
        } else {
            own_ = std::make_unique<Progress>();
            page_ = own_.get();
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }
    ~ProgressPage() {
        if (mapped_ != nullptr) {
            ::munmap(mapped_, kProgressPageSize);
        }
    }
    ProgressPage(const ProgressPage&) = delete;
    ProgressPage& operator=(const ProgressPage&) = delete;
    Progress* get() const { return page_; }

private:
    void* mapped_ = nullptr;
    std::unique_ptr<Progress> own_;
    Progress* page_ = nullptr;
};

// Answers go out a few at a time, so that the program is not woken for every tiny file; a
// helper thread sends what has waited 10 ms, so no answer is held back while a long test runs.
class AnswerBuffer {
public:
    explicit AnswerBuffer(int out)
        : out_(out), flusher_([this](std::stop_token stop) { flushWhenDue(stop); }) {}
    ~AnswerBuffer() {
        flusher_.request_stop();
        wake_.notify_all();
    }
    AnswerBuffer(const AnswerBuffer&) = delete;
    AnswerBuffer& operator=(const AnswerBuffer&) = delete;

    // False once the program can no longer be written to.
    bool add(const QByteArray& frame) {
        constexpr int kAnswersAtOnce = 8;
        const std::lock_guard lock(mutex_);
        const bool first = pending_.isEmpty();
        pending_ += frame;
        if (++count_ >= kAnswersAtOnce) {
            flushLocked();
        } else if (first) {
            wake_.notify_one();
        }
        return written_;
    }
    bool flush() {
        const std::lock_guard lock(mutex_);
        flushLocked();
        return written_;
    }

private:
    void flushLocked() {
        if (!pending_.isEmpty()) {
            written_ = WriteAll(out_, pending_) == 0 && written_;
            pending_.clear();
            count_ = 0;
        }
    }
    void flushWhenDue(const std::stop_token& stop) {
        std::unique_lock lock(mutex_);
        while (!stop.stop_requested()) {
            wake_.wait(lock, [&] { return stop.stop_requested() || !pending_.isEmpty(); });
            wake_.wait_for(lock, std::chrono::milliseconds(10),
                           [&] { return stop.stop_requested() || pending_.isEmpty(); });
            flushLocked();
        }
    }

    int out_;
    std::mutex mutex_;
    std::condition_variable wake_;
    QByteArray pending_;
    int count_ = 0;
    bool written_ = true;
    std::jthread flusher_;  // last: it starts once the rest is in place
};

// The requests as they arrive on the input, with the tests not yet begun.
class RequestQueue {
public:
    RequestQueue(int in, AnswerBuffer& answers) : in_(in), answers_(answers) {}

    // Reads what has arrived; waits for something when asked to. False once the input ended
    // and nothing is left to do.
    bool absorb(bool wait) {
        if (ended_) {
            return !tests_.empty();
        }
        if (!wait) {
            pollfd ready{in_, POLLIN, 0};
            if (::poll(&ready, 1, 0) <= 0) {
                return true;
            }
        } else {
            answers_.flush();
        }
        char buffer[65536];
        const ssize_t got = ReadSome(in_, buffer, sizeof buffer);
        if (got <= 0) {
            ended_ = true;
            return !tests_.empty();
        }
        reader_.append(buffer, got);
        while (const std::optional<Frame> frame = reader_.next()) {
            take(*frame);
        }
        if (reader_.corrupt()) {
            ended_ = true;
        }
        return true;
    }

    // The next test to begin, after anything that has arrived meanwhile (a Drop among it).
    std::optional<TestRequest> next() {
        while (tests_.empty()) {
            if (!absorb(true)) {
                return std::nullopt;
            }
        }
        absorb(false);
        if (tests_.empty()) {
            return next();
        }
        TestRequest request = std::move(tests_.front());
        tests_.pop_front();
        return request;
    }

    std::optional<Configuration> configuration() {
        while (!configuration_ && !ended_) {
            absorb(true);
        }
        return std::move(configuration_);
    }

private:
    void take(const Frame& frame) {
        switch (frame.kind) {
            case MessageKind::Configure:
                configuration_ = DecodeConfiguration(frame.body);
                if (!configuration_) {
                    ended_ = true;
                }
                break;
            case MessageKind::Test:
                if (std::optional<TestRequest> request = DecodeTest(frame.body)) {
                    tests_.push_back(std::move(*request));
                } else {
                    ended_ = true;
                }
                break;
            case MessageKind::Drop:
                if (const std::optional<quint64> keep = DecodeDrop(frame.body)) {
                    drop(*keep);
                } else {
                    ended_ = true;
                }
                break;
            default:
                break;
        }
    }

    // The kept test may still wait here when the Drop was sent just as it was handed over.
    void drop(quint64 keep) {
        std::erase_if(tests_, [&](const TestRequest& queued) {
            if (queued.serial == keep) {
                return false;
            }
            answers_.add(EncodeSkipped(queued.serial));
            return true;
        });
        answers_.flush();
    }

    int in_;
    AnswerBuffer& answers_;
    FrameReader reader_;
    std::deque<TestRequest> tests_;
    std::optional<Configuration> configuration_;
    bool ended_ = false;
};

bool limitMemory(qint64 bytes) {
    if (bytes <= 0) {
        return true;
    }
    const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
    return ::setrlimit(RLIMIT_AS, &limit) == 0;
}

// The protocol's own descriptors, apart from standard output and input: a library that
// prints cannot garble the answers, and one that reads standard input reads nothing.
struct Channels {
    int in;
    int out;
};
Channels takeChannels() {
    const Channels channels{::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3),
                            ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3)};
    const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (nothing >= 0) {
        ::dup2(nothing, STDIN_FILENO);
        ::close(nothing);
    }
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    return channels;
}

}  // namespace

int ServeWorker(int progressFd) {
    // A program that went away is seen as a failed write, not as a signal.
    std::signal(SIGPIPE, SIG_IGN);
    const ProgressPage progress(progressFd);
    const Channels channels = takeChannels();
    if (channels.in < 0 || channels.out < 0) {
        return 1;
    }
    AnswerBuffer answers(channels.out);
    RequestQueue requests(channels.in, answers);
    const std::optional<Configuration> configuration = requests.configuration();
    if (!configuration) {
        return 1;
    }
    const auto refuse = [&](const QString& why) {
        WriteAll(channels.out, EncodeRefused(why));
        return 1;
    };

    std::vector<std::unique_ptr<ArchiverLibrary>> libraries;
    std::vector<ArchiveChecker> checkers;
    libraries.reserve(configuration->libraries.size());
    for (const LibraryEntry& entry : configuration->libraries) {
        const FormatTraits& traits = TraitsOf(entry.format);
        auto library =
            ArchiverLibrary::load(entry.path, QString::fromLatin1(traits.functionPrefix));
        if (!library) {
            return refuse(QStringLiteral("cannot load %1").arg(entry.path));
        }
        libraries.push_back(std::move(library));
    }
    for (size_t i = 0; i < libraries.size(); ++i) {
        checkers.emplace_back(TraitsOf(configuration->libraries[i].format), *libraries[i],
                              configuration->rules);
    }
    if (!limitMemory(configuration->memoryLimitBytes)) {
        return refuse(QStringLiteral("cannot set the memory limit"));
    }
    QString why;
    if (!EnterSandbox(why)) {
        return refuse(why);
    }
    Progress* page = progress.get();
    if (configuration->memoryLimitBytes > 0) {
        WatchAllocations(page);
    }
    if (WriteAll(channels.out, EncodeReady()) != 0) {
        return 1;
    }

    while (const std::optional<TestRequest> request = requests.next()) {
        page->checker.store(kNoChecker, std::memory_order_relaxed);
        page->serial.store(request->serial + 1, std::memory_order_release);
        for (const auto& library : libraries) {
            if (library->setThreadCount != nullptr) {
                library->setThreadCount(request->threads);
            }
        }
        TestAnswer answer{request->serial,
                          DecideFile(request->path, request->name, checkers, configuration->rules,
                                     request->firstChecker, [page](size_t checker) {
                                         page->checker.store(static_cast<int32_t>(checker),
                                                             std::memory_order_release);
                                     })};
        page->serial.store(0, std::memory_order_release);
        if (!answers.add(EncodeAnswer(answer))) {
            return 1;
        }
    }
    return answers.flush() ? 0 : 1;
}

}  // namespace varnelt::worker
