// The log: a header record and one record per row, five quoted fields separated by commas,
// CR LF after every record, UTF-8. A double quote inside a field is doubled; a line break
// stays inside its quoted field.
#pragma once

#include <QByteArray>

#include "targets/target_row.h"

namespace varnelt {

// The list's column headers, in the language in use.
QByteArray LogHeaderRecord();
QByteArray LogRecord(const TargetRow& row);

}  // namespace varnelt
