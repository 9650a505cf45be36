// varnelt-check's own messages on standard error and its usage text. They go through the
// translation catalogue like the window's texts; their source is English, which the checker
// has always spoken there, whatever the language of its log.
#pragma once

#include <QCoreApplication>

namespace varnelt {

class CheckMessages {
    Q_DECLARE_TR_FUNCTIONS(varnelt::CheckMessages)
};

}  // namespace varnelt
