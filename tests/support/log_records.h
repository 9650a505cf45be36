// A saved log read back: each record as its five fields, quotes undoubled.
#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace varnelt::test {

// Fails the test on text outside quotes or a record that does not end in CR LF.
QList<QStringList> parseLog(const QByteArray& log);

}  // namespace varnelt::test
