// The common step of the makers that run a packaged tool.
#pragma once

#include <QString>
#include <QStringList>

#include "tests/support/archive_makers.h"

namespace varnelt::test {

// Stages the entries and runs the tool with the archive's full path and the names, in order,
// after the given switches.
bool makeWithTool(const QString& program, const QStringList& switches, const QString& archive,
                  const EntryList& entries);

}  // namespace varnelt::test
