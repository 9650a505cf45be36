// SIGINT and SIGTERM, turned into an event of the run's loop.
#pragma once

#include <QSocketNotifier>

#include <functional>
#include <memory>

namespace varnelt {

class InterruptWatch {
public:
    explicit InterruptWatch(std::function<void()> interrupted);
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    bool interrupted() const { return interrupted_; }

private:
    int pipe_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
    bool interrupted_ = false;
};

}  // namespace varnelt
