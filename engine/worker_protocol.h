// What the program and its archive workers say to each other over a pipe: frames of a 32-bit
// length, one kind byte and a body written with QDataStream. Paths travel as the system's
// bytes.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

#include "checkers/archive_format.h"
#include "checkers/check_rules.h"
#include "checkers/file_decision.h"

namespace varnelt::worker {

enum class MessageKind : quint8 {
    // program to worker
    Configure = 1,  // once, first: the libraries and the rules
    Test = 2,       // one file
    Drop = 3,       // answer Skipped for every test not yet begun but the one kept
    // worker to program
    Ready = 11,    // libraries loaded, limits and sandbox in place
    Answer = 12,   // one file decided
    Skipped = 13,  // a test dropped before it began
    Refused = 14,  // the worker cannot serve (a library that does not load, no sandbox)
};

struct LibraryEntry {
    ArchiveFormat format;
    QString path;  // the full path the program's detection found
};

struct Configuration {
    std::vector<LibraryEntry> libraries;  // in the order of the check chain
    CheckRules rules;
    qint64 memoryLimitBytes = 0;  // 0: none
};

struct TestRequest {
    quint64 serial = 0;
    quint32 firstChecker = 0;  // the checkers before it have already failed their test
    QByteArray path;
    QString name;
    quint16 threads = 1;  // the cores the libraries may use for this one file
};

struct TestAnswer {
    quint64 serial = 0;
    FileOutcome outcome;
};

struct Frame {
    MessageKind kind;
    QByteArray body;
};

QByteArray EncodeConfiguration(const Configuration& configuration);
QByteArray EncodeTest(const TestRequest& request);
// `keep` is the test the program counts as under test: the worker begins it even when
// it had not yet done so when the Drop arrived.
QByteArray EncodeDrop(quint64 keep);
// Changes whenever a message changes, so that a worker of another build is told apart.
inline constexpr quint32 kProtocolVersion = 3;

QByteArray EncodeReady();  // carries kProtocolVersion
QByteArray EncodeAnswer(const TestAnswer& answer);
QByteArray EncodeSkipped(quint64 serial);
QByteArray EncodeRefused(const QString& why);

std::optional<Configuration> DecodeConfiguration(const QByteArray& body);
std::optional<TestRequest> DecodeTest(const QByteArray& body);
std::optional<TestAnswer> DecodeAnswer(const QByteArray& body);
std::optional<quint64> DecodeSkipped(const QByteArray& body);
std::optional<quint64> DecodeDrop(const QByteArray& body);
QString DecodeRefused(const QByteArray& body);
// The worker's protocol version; nullopt for a body that holds none.
std::optional<quint32> DecodeReady(const QByteArray& body);

// Gathers bytes as they arrive and cuts them into frames.
class FrameReader {
public:
    void append(const char* data, qsizetype size);
    // The next whole frame, if one has arrived.
    std::optional<Frame> next();
    // A frame that claims more than any message can hold: the other side is not a worker.
    bool corrupt() const { return corrupt_; }

private:
    QByteArray buffer_;
    qsizetype start_ = 0;
    bool corrupt_ = false;
};

}  // namespace varnelt::worker
