// Work done in a forked child, for what a test may not do to its own process: switch to
// another user, or mount file systems of its own.
#pragma once

#include <QByteArray>

#include <functional>
#include <optional>

namespace varnelt::test {

// Runs work in a child process and answers the report it returned. Nothing when work
// answered nothing (the child could not set itself up) or the child died.
std::optional<QByteArray> reportFromChild(const std::function<std::optional<QByteArray>()>& work);

}  // namespace varnelt::test
