// Programs run with arguments of any bytes, and as an unprivileged user. QProcess hands its
// arguments over as text, which cannot carry a name that is not UTF-8.
#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <optional>

namespace varnelt::test {

struct ProcessRun {
    int status = -1;  // the exit status; -1 when the program did not exit by itself
    QByteArray out;
    QByteArray err;
};

// Runs argv (the program first, found on PATH when it holds no "/") with exactly these bytes,
// gathering standard output and error; the program is killed after two minutes.
ProcessRun runProgram(const QByteArrayList& argv);

// What to put before a command line so that it runs without the power to read a file whose
// mode forbids it: setpriv to nobody when the tests run as root, nothing otherwise. Nothing
// (with the reason in why) when the machine does not allow the switch.
std::optional<QByteArrayList> unprivilegedPrefix(QString& why);

// The path of the running test program.
QByteArray selfPath();

}  // namespace varnelt::test
