#include "engine/worker_protocol.h"

#include <QDataStream>
#include <QIODevice>

#include <cstring>

namespace varnelt::worker {

namespace {

// No message comes near this; a larger length means the stream is not ours.
constexpr quint32 kLargestFrame = 64 * 1024 * 1024;

template <typename Write>
QByteArray frame(MessageKind kind, Write&& write) {
    QByteArray bytes(5, '\0');
    {
        QDataStream out(&bytes, QIODevice::WriteOnly | QIODevice::Append);
        out.setVersion(QDataStream::Qt_6_0);
        write(out);
    }
    const quint32 length = static_cast<quint32>(bytes.size() - 4);
    std::memcpy(bytes.data(), &length, sizeof length);
    bytes[4] = static_cast<char>(kind);
    return bytes;
}

QByteArray serialFrame(MessageKind kind, quint64 serial) {
    return frame(kind, [&](QDataStream& out) { out << serial; });
}

template <typename Read>
auto decode(const QByteArray& body, Read&& read)
    -> std::optional<decltype(read(std::declval<QDataStream&>()))> {
    QDataStream in(body);
    in.setVersion(QDataStream::Qt_6_0);
    auto value = read(in);
    if (in.status() != QDataStream::Ok) {
        return std::nullopt;
    }
    return value;
}

std::optional<quint64> decodeSerial(const QByteArray& body) {
    return decode(body, [](QDataStream& in) {
        quint64 serial = 0;
        in >> serial;
        return serial;
    });
}

void writeRules(QDataStream& out, const CheckRules& rules) {
    out << rules.badFile << rules.badNoPassword << rules.badNoExt << rules.badNoFileSum
        << rules.badNoFileName << qint32(rules.fileCountLimit) << rules.fileCountVerdict
        << rules.badFileCaption << rules.badNoPasswordCaption << rules.badNoExtCaption
        << rules.badNoFileNameCaption << rules.goodVerdict << rules.missingFileVerdict
        << rules.unreadableFileVerdict;
}

CheckRules readRules(QDataStream& in) {
    CheckRules rules;
    qint32 limit = 0;
    in >> rules.badFile >> rules.badNoPassword >> rules.badNoExt >> rules.badNoFileSum >>
        rules.badNoFileName >> limit >> rules.fileCountVerdict >> rules.badFileCaption >>
        rules.badNoPasswordCaption >> rules.badNoExtCaption >> rules.badNoFileNameCaption >>
        rules.goodVerdict >> rules.missingFileVerdict >> rules.unreadableFileVerdict;
    rules.fileCountLimit = limit;
    return rules;
}

}  // namespace

QByteArray EncodeConfiguration(const Configuration& configuration) {
    return frame(MessageKind::Configure, [&](QDataStream& out) {
        out << quint32(configuration.libraries.size());
        for (const LibraryEntry& library : configuration.libraries) {
            out << qint32(library.format) << library.path;
        }
        writeRules(out, configuration.rules);
        out << configuration.memoryLimitBytes;
    });
}

QByteArray EncodeTest(const TestRequest& request) {
    return frame(MessageKind::Test, [&](QDataStream& out) {
        out << request.serial << request.firstChecker << request.path << request.name
            << request.threads;
    });
}

QByteArray EncodeDrop(quint64 keep) {
    return serialFrame(MessageKind::Drop, keep);
}

QByteArray EncodeReady() {
    return frame(MessageKind::Ready, [](QDataStream& out) { out << kProtocolVersion; });
}

QByteArray EncodeAnswer(const TestAnswer& answer) {
    return frame(MessageKind::Answer, [&](QDataStream& out) {
        const FileOutcome& outcome = answer.outcome;
        out << answer.serial << qint32(outcome.kind) << outcome.verdict << qint32(outcome.readError)
            << quint8(outcome.rule)
            << qint32(outcome.format ? static_cast<int>(*outcome.format) : -1) << outcome.reason;
    });
}

QByteArray EncodeSkipped(quint64 serial) {
    return serialFrame(MessageKind::Skipped, serial);
}

QByteArray EncodeRefused(const QString& why) {
    return frame(MessageKind::Refused, [&](QDataStream& out) { out << why; });
}

std::optional<Configuration> DecodeConfiguration(const QByteArray& body) {
    auto configuration = decode(body, [](QDataStream& in) {
        Configuration read;
        quint32 count = 0;
        in >> count;
        for (quint32 i = 0; i < count && i < kFormatCount && in.status() == QDataStream::Ok; ++i) {
            qint32 format = 0;
            QString path;
            in >> format >> path;
            read.libraries.push_back({static_cast<ArchiveFormat>(format), path});
        }
        read.rules = readRules(in);
        in >> read.memoryLimitBytes;
        return read;
    });
    if (configuration) {
        for (const LibraryEntry& library : configuration->libraries) {
            if (static_cast<int>(library.format) < 0 ||
                static_cast<int>(library.format) >= kFormatCount) {
                return std::nullopt;
            }
        }
    }
    return configuration;
}

std::optional<TestRequest> DecodeTest(const QByteArray& body) {
    return decode(body, [](QDataStream& in) {
        TestRequest request;
        in >> request.serial >> request.firstChecker >> request.path >> request.name >>
            request.threads;
        return request;
    });
}

std::optional<TestAnswer> DecodeAnswer(const QByteArray& body) {
    auto answer = decode(body, [](QDataStream& in) {
        TestAnswer read;
        qint32 kind = 0;
        qint32 readError = 0;
        quint8 rule = 0;
        qint32 format = -1;
        in >> read.serial >> kind >> read.outcome.verdict >> readError >> rule >> format >>
            read.outcome.reason;
        if (kind < 0 || kind > static_cast<qint32>(OutcomeKind::Unreadable) ||
            rule > static_cast<quint8>(VerdictRule::Name) || format < -1 ||
            format >= kFormatCount) {
            in.setStatus(QDataStream::ReadCorruptData);
            return read;
        }
        read.outcome.kind = static_cast<OutcomeKind>(kind);
        read.outcome.readError = readError;
        read.outcome.rule = static_cast<VerdictRule>(rule);
        if (format >= 0) {
            read.outcome.format = static_cast<ArchiveFormat>(format);
        }
        return read;
    });
    return answer;
}

std::optional<quint64> DecodeSkipped(const QByteArray& body) {
    return decodeSerial(body);
}

std::optional<quint64> DecodeDrop(const QByteArray& body) {
    return decodeSerial(body);
}

std::optional<quint32> DecodeReady(const QByteArray& body) {
    return decode(body, [](QDataStream& in) {
        quint32 version = 0;
        in >> version;
        return version;
    });
}

QString DecodeRefused(const QByteArray& body) {
    return decode(body,
                  [](QDataStream& in) {
                      QString why;
                      in >> why;
                      return why;
                  })
        .value_or(QString());
}

void FrameReader::append(const char* data, qsizetype size) {
    // What was read is dropped once it is half the buffer, so the buffer stays small.
    if (start_ > 0 && start_ * 2 >= buffer_.size()) {
        buffer_.remove(0, start_);
        start_ = 0;
    }
    buffer_.append(data, size);
}

std::optional<Frame> FrameReader::next() {
    const qsizetype available = buffer_.size() - start_;
    if (corrupt_ || available < 5) {
        return std::nullopt;
    }
    quint32 length = 0;
    std::memcpy(&length, buffer_.constData() + start_, sizeof length);
    if (length == 0 || length > kLargestFrame) {
        corrupt_ = true;
        return std::nullopt;
    }
    if (available < qsizetype(4 + length)) {
        return std::nullopt;
    }
    Frame frame{static_cast<MessageKind>(buffer_[start_ + 4]), buffer_.mid(start_ + 5, length - 1)};
    start_ += 4 + length;
    return frame;
}

}  // namespace varnelt::worker
