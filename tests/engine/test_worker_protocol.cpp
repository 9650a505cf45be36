// The frames between the program and a worker, cut anywhere by the pipe.
#include <gtest/gtest.h>

#include "checkers/verdicts.h"
#include "engine/worker_protocol.h"

namespace varnelt::worker {
namespace {

TEST(WorkerProtocol, FramesSurviveBeingCutAtEveryByte) {
    const TestRequest request{7, 2, QByteArray("/data/\x93\xfa\x96\x7b.zip"),
                              QStringLiteral("日本.zip"), 3};
    const TestAnswer answer{7, {OutcomeKind::Unreadable, kUnreadableFileVerdict, 13}};
    const TestAnswer damaged{8,
                             {.kind = OutcomeKind::Bad,
                              .verdict = kBadFileCaption,
                              .rule = VerdictRule::Broken,
                              .format = ArchiveFormat::SevenZip,
                              .reason = QStringLiteral("CRC mismatch in 日本/a.txt")}};
    const QByteArray stream =
        EncodeTest(request) + EncodeAnswer(answer) + EncodeAnswer(damaged) + EncodeDrop(7);
    for (qsizetype cut = 1; cut < stream.size(); ++cut) {
        FrameReader reader;
        std::vector<Frame> frames;
        for (qsizetype at = 0; at < stream.size(); at += cut) {
            const QByteArray piece = stream.mid(at, cut);
            reader.append(piece.constData(), piece.size());
            while (std::optional<Frame> frame = reader.next()) {
                frames.push_back(std::move(*frame));
            }
        }
        ASSERT_EQ(frames.size(), 4u) << cut;
        ASSERT_EQ(frames[0].kind, MessageKind::Test);
        const std::optional<TestRequest> read = DecodeTest(frames[0].body);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->serial, 7u);
        EXPECT_EQ(read->firstChecker, 2u);
        EXPECT_EQ(read->path, request.path) << "paths travel as bytes";
        EXPECT_EQ(read->name, request.name);
        EXPECT_EQ(read->threads, 3);
        const std::optional<TestAnswer> back = DecodeAnswer(frames[1].body);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->outcome.kind, OutcomeKind::Unreadable);
        EXPECT_EQ(back->outcome.verdict, kUnreadableFileVerdict);
        EXPECT_EQ(back->outcome.readError, 13);
        EXPECT_FALSE(back->outcome.format);
        const std::optional<TestAnswer> bad = DecodeAnswer(frames[2].body);
        ASSERT_TRUE(bad);
        EXPECT_EQ(bad->outcome.rule, VerdictRule::Broken);
        EXPECT_EQ(bad->outcome.format, ArchiveFormat::SevenZip);
        EXPECT_EQ(bad->outcome.reason, damaged.outcome.reason);
        EXPECT_EQ(frames[3].kind, MessageKind::Drop);
        EXPECT_EQ(DecodeDrop(frames[3].body), 7u) << "the test to keep";
    }
}

TEST(WorkerProtocol, ConfigurationCarriesLibrariesAndRules) {
    CheckRules rules;
    rules.badNoExt = true;
    rules.fileCountLimit = 7;
    rules.fileCountVerdict = QStringLiteral("7つ以上");
    const QByteArray frame = EncodeConfiguration(
        {{{ArchiveFormat::LZH, QStringLiteral("/lib/a.so")}, {ArchiveFormat::SevenZip, "/b.so"}},
         rules,
         1 << 30});
    FrameReader reader;
    reader.append(frame.constData(), frame.size());
    const std::optional<Frame> read = reader.next();
    ASSERT_TRUE(read);
    const std::optional<Configuration> configuration = DecodeConfiguration(read->body);
    ASSERT_TRUE(configuration);
    ASSERT_EQ(configuration->libraries.size(), 2u);
    EXPECT_EQ(configuration->libraries[1].format, ArchiveFormat::SevenZip);
    EXPECT_EQ(configuration->libraries[0].path, QStringLiteral("/lib/a.so"));
    EXPECT_TRUE(configuration->rules.badNoExt);
    EXPECT_EQ(configuration->rules.fileCountLimit, 7);
    EXPECT_EQ(configuration->rules.fileCountVerdict, QStringLiteral("7つ以上"));
    EXPECT_EQ(configuration->memoryLimitBytes, 1 << 30);
}

TEST(WorkerProtocol, ReadyCarriesTheProtocolVersion) {
    FrameReader reader;
    const QByteArray ready = EncodeReady();
    reader.append(ready.constData(), ready.size());
    const std::optional<Frame> frame = reader.next();
    ASSERT_TRUE(frame);
    EXPECT_EQ(DecodeReady(frame->body), kProtocolVersion);
    EXPECT_FALSE(DecodeReady(QByteArray())) << "an older worker's empty ready";
}

TEST(WorkerProtocol, StreamThatIsNotOursIsCorrupt) {
    FrameReader reader;
    const QByteArray noise("\xff\xff\xff\xff\x01garbage", 12);
    reader.append(noise.constData(), noise.size());
    EXPECT_FALSE(reader.next());
    EXPECT_TRUE(reader.corrupt());
    EXPECT_FALSE(DecodeAnswer(QByteArray("\x01", 1))) << "a short body is refused";
}

}  // namespace
}  // namespace varnelt::worker
