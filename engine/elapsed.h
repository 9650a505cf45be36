#pragma once

#include <QString>

#include <functional>

namespace varnelt {

// hh:mm:ss with at least two digits each; hours are not capped (100:00:00).
QString FormatElapsedSeconds(qint64 seconds);

// The run's clock. It reads a monotonic clock, so a daylight-saving change or a clock
// correction during a run never shows in its length.
class ElapsedClock {
public:
    using Now = std::function<qint64()>;  // milliseconds

    ElapsedClock();
    explicit ElapsedClock(Now now);

    // FormatElapsed with reset: records the start.
    void reset();
    // FormatElapsed without reset: the time since the start as hh:mm:ss.
    QString format() const;

private:
    Now now_;
    qint64 start_ = 0;
};

}  // namespace varnelt
