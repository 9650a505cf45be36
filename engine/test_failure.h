// Why a library did not finish testing a file: the worker that held it crashed, ended, ran
// out of time or out of memory. Such a test fails like any other, and the reason is kept with
// the row.
#pragma once

#include <QString>

namespace varnelt {

struct TestFailure {
    enum class Kind {
        Crashed,      // number: the signal
        Exited,       // number: the exit status
        TimeLimit,    // number: the seconds the file was given
        MemoryLimit,  // number: the limit in MB
    };
    Kind kind = Kind::Crashed;
    int number = 0;
    QString library;  // the library's file name; empty when no library was under way
};

QString EnglishDescription(const TestFailure& failure);
// The window's description, in the language in use (the Japanese is the source).
QString DescriptionInUse(const TestFailure& failure);

}  // namespace varnelt
