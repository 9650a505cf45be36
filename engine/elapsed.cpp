#include "engine/elapsed.h"

#include <QElapsedTimer>

namespace varnelt {

QString FormatElapsedSeconds(qint64 seconds) {
    const qint64 hours = seconds / 3600;
    const qint64 minutes = seconds % 3600 / 60;
    return QStringLiteral("%1:%2:%3")
        .arg(hours, 2, 10, QLatin1Char('0'))
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

ElapsedClock::ElapsedClock()
    : ElapsedClock([] {
          QElapsedTimer timer;
          timer.start();
          return timer.msecsSinceReference();
      }) {}

ElapsedClock::ElapsedClock(Now now) : now_(std::move(now)), start_(now_()) {}

void ElapsedClock::reset() {
    start_ = now_();
}

QString ElapsedClock::format() const {
    return FormatElapsedSeconds((now_() - start_) / 1000);
}

}  // namespace varnelt
