#include "engine/run_limits.h"

#include <QThread>

namespace varnelt {

qint64 TimeAllowedMs(const RunLimits& limits, qint64 size) {
    if (limits.timeLimitSeconds <= 0) {
        return 0;
    }
    constexpr qint64 kMB = 1024 * 1024;
    const qint64 extraSeconds = std::max<qint64>(size, 0) / kMB;
    return (limits.timeLimitSeconds + extraSeconds) * 1000;
}

qint64 WorkerMemoryLimitBytes(const RunLimits& limits) {
#ifdef VARNELT_SANITIZED
    Q_UNUSED(limits);
    return 0;
#else
    return qint64(std::max(limits.memoryLimitMB, 0)) * 1024 * 1024;
#endif
}

int AutomaticJobs() {
    return std::max(QThread::idealThreadCount(), 1);
}

}  // namespace varnelt
