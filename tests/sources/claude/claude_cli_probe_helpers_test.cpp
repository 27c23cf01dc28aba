#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <thread>

#include "core/manual_clock.h"
#include "sources/claude/claude_cli_probe.h"
#include "sources/claude/claude_usage_client_error.h"

namespace {

// --- Which screen gets which keystrokes -------------------------------------------------------

struct ScreenReply {
    const char* name;
    QByteArray output;
    QByteArray reply;
};

class ReplyForScreenTest : public ::testing::TestWithParam<ScreenReply> {};

TEST_P(ReplyForScreenTest, AnswersOnlyWhatTheLatestOutputShows) {
    EXPECT_EQ(ClaudeCLIProbe::replyForScreen(GetParam().output), GetParam().reply);
}

QByteArray filler(qsizetype size) {
    return QByteArray(size, '.');
}

const QByteArray kTrust = "Do you trust the files in this folder?";
const QByteArray kTrustAnswer = "y\r";

INSTANTIATE_TEST_SUITE_P(
    Screens, ReplyForScreenTest,
    ::testing::Values(
        ScreenReply{"Nothing", {}, {}}, ScreenReply{"TrustQuestion", kTrust, kTrustAnswer},
        ScreenReply{"PressEnter", "Press Enter to continue", "\r"},
        ScreenReply{"StatusScreen", "Show Claude Code status", "\r"},
        ScreenReply{"TrustWinsOverEnter", "press enter to continue " + kTrust, kTrustAnswer},
        ScreenReply{"SplitByEscapes", "Do you trust the \x1b[1mfiles\x1b[0m in this folder", {}},
        ScreenReply{"InvalidUtf8Before", "\xff\xfe\xc3" + kTrust, kTrustAnswer},
        // Only the last 16384 bytes count.
        ScreenReply{"EndsExactlyInTheWindow",
                    kTrust + filler(ClaudeCLIProbe::screenBytes - kTrust.size()), kTrustAnswer},
        ScreenReply{"OneByteOutOfTheWindow",
                    kTrust + filler(ClaudeCLIProbe::screenBytes - kTrust.size() + 1),
                    {}},
        ScreenReply{"LatestAfterMuchOutput", filler(1 << 20) + "press enter to continue", "\r"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ClaudeCLIProbeScreenTest, KeepsOnlyTheLastScreenfulHoweverMuchArrives) {
    QByteArray screen;
    QByteArray everything;
    for (int chunk = 0; chunk < 300; ++chunk) {
        const QByteArray more = QByteArray::number(chunk).repeated(chunk * 7 % 5000 + 1);
        everything += more;
        ClaudeCLIProbe::appendToScreen(screen, more);
        ASSERT_LE(screen.size(), ClaudeCLIProbe::screenBytes);
    }
    EXPECT_EQ(screen, everything.right(ClaudeCLIProbe::screenBytes));
    ClaudeCLIProbe::appendToScreen(screen, filler(3 * ClaudeCLIProbe::screenBytes) + "end");
    EXPECT_EQ(screen.size(), ClaudeCLIProbe::screenBytes);
    EXPECT_TRUE(screen.endsWith("...end"));
}

// --- Where claude is found --------------------------------------------------------------------

enum class Kind { missing, executable, plainFile, folder, linkToExecutable };

struct Candidates {
    const char* name;
    bool overrideSet;
    // Kinds of: CLAUDE_BINARY, ~/.local/bin/claude, ~/.claude/local/claude, two system paths.
    std::array<Kind, 5> kinds;
    int winner;  // index into the candidates, or -1 for none
};

class ResolveClaudeBinaryTest : public ::testing::TestWithParam<Candidates> {};

void make(const QString& path, Kind kind, const QString& executableTarget) {
    QDir().mkpath(QFileInfo(path).path());
    switch (kind) {
        case Kind::missing:
            return;
        case Kind::folder:
            QDir().mkpath(path);
            return;
        case Kind::linkToExecutable:
            QFile::link(executableTarget, path);
            return;
        case Kind::executable:
        case Kind::plainFile: {
            QFile file(path);
            file.open(QIODevice::WriteOnly);
            file.write("#!/bin/sh\n");
            file.setPermissions(kind == Kind::executable
                                    ? QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                    : QFile::ReadOwner | QFile::WriteOwner);
            return;
        }
    }
}

TEST_P(ResolveClaudeBinaryTest, TakesTheFirstExecutableFileInOrder) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString home = folder.filePath(QStringLiteral("home"));
    const QStringList paths{folder.filePath(QStringLiteral("override/claude")),
                            home + QStringLiteral("/.local/bin/claude"),
                            home + QStringLiteral("/.claude/local/claude"),
                            folder.filePath(QStringLiteral("opt/claude")),
                            folder.filePath(QStringLiteral("usr/claude"))};
    const QString target = folder.filePath(QStringLiteral("target/claude"));
    make(target, Kind::executable, {});
    for (int index = 0; index < paths.size(); ++index) {
        make(paths[index], GetParam().kinds[index], target);
    }

    ManualClock clock;
    ClaudeCLIProbe::Environment environment;
    environment.homePath = home;
    if (GetParam().overrideSet) {
        environment.processEnvironment.insert(QStringLiteral("CLAUDE_BINARY"), paths[0]);
    }
    environment.systemBinaryPaths = {paths[3], paths[4]};
    const ClaudeCLIProbe probe(clock, environment);

    const std::optional<QString> found = probe.resolveClaudeBinary();
    if (GetParam().winner < 0) {
        EXPECT_FALSE(found) << found->toStdString();
    } else {
        EXPECT_EQ(found, paths[GetParam().winner]);
    }
}

constexpr Kind M = Kind::missing, X = Kind::executable, P = Kind::plainFile, D = Kind::folder,
               L = Kind::linkToExecutable;

INSTANTIATE_TEST_SUITE_P(
    Orders, ResolveClaudeBinaryTest,
    ::testing::Values(Candidates{"OverrideFirst", true, {X, X, X, X, X}, 0},
                      Candidates{"OverrideUnsetIsNotACandidate", false, {X, M, M, M, M}, -1},
                      Candidates{"NonExecutableOverrideSkipped", true, {P, M, X, X, X}, 2},
                      Candidates{"FolderOverrideSkipped", true, {D, X, X, X, X}, 1},
                      Candidates{"LocalBinBeforeClaudeLocal", false, {M, X, X, X, X}, 1},
                      Candidates{"LinkToExecutableCounts", false, {M, L, X, M, M}, 1},
                      Candidates{"SystemPathsInOrder", false, {M, P, D, M, X}, 4},
                      Candidates{"FirstSystemPathFirst", false, {M, P, D, X, X}, 3},
                      Candidates{"NothingExecutable", true, {P, P, D, P, M}, -1}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Reading and writing descriptors ----------------------------------------------------------

struct Pipe {
    Pipe() {
        int ends[2];
        EXPECT_EQ(::pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0);
        readEnd = ends[0];
        writeEnd = ends[1];
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    void closeRead() {
        if (readEnd >= 0) {
            ::close(std::exchange(readEnd, -1));
        }
    }
    void closeWrite() {
        if (writeEnd >= 0) {
            ::close(std::exchange(writeEnd, -1));
        }
    }
    int readEnd = -1;
    int writeEnd = -1;
};

QByteArray pattern(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype index = 0; index < size; ++index) {
        bytes[index] = static_cast<char>(index * 31 % 251);
    }
    return bytes;
}

TEST(ClaudeCLIProbeDescriptorTest, ReadAvailableTakesWhatIsReadyUpToItsLimit) {
    Pipe pipe;
    EXPECT_EQ(ClaudeCLIProbe::readAvailable(pipe.readEnd), QByteArray());

    const QByteArray written = pattern(20000);
    ASSERT_EQ(::write(pipe.writeEnd, written.data(), written.size()), written.size());
    EXPECT_EQ(ClaudeCLIProbe::readAvailable(pipe.readEnd), written);

    ASSERT_EQ(::write(pipe.writeEnd, written.data(), written.size()), written.size());
    EXPECT_EQ(ClaudeCLIProbe::readAvailable(pipe.readEnd, 10000), written.left(10000));
    pipe.closeWrite();
    EXPECT_EQ(ClaudeCLIProbe::readAvailable(pipe.readEnd), written.mid(10000));
    EXPECT_EQ(ClaudeCLIProbe::readAvailable(pipe.readEnd), QByteArray());
}

TEST(ClaudeCLIProbeDescriptorTest, WriteAllWaitsOutAFullDescriptorUntilEverythingIsWritten) {
    Pipe pipe;
    const QByteArray sent = pattern(1 << 20);
    QByteArray received;
    std::thread reader([&] {
        const int readEnd = pipe.readEnd;
        ::fcntl(readEnd, F_SETFL, 0);
        char buffer[4096];
        while (received.size() < sent.size()) {
            const ssize_t count = ::read(readEnd, buffer, sizeof buffer);
            if (count <= 0) {
                break;
            }
            received.append(buffer, count);
        }
    });
    EXPECT_NO_THROW(ClaudeCLIProbe::writeAll(sent, pipe.writeEnd));
    pipe.closeWrite();
    reader.join();
    EXPECT_EQ(received, sent);
}

struct WriteFailure {
    const char* name;
    int (*open)(Pipe&);
};

class WriteAllFailureTest : public ::testing::TestWithParam<WriteFailure> {};

TEST_P(WriteAllFailureTest, IsExpiredCredentials) {
    Pipe pipe;
    const int descriptor = GetParam().open(pipe);
    try {
        ClaudeCLIProbe::writeAll("/status\r", descriptor);
        ADD_FAILURE() << "no error";
    } catch (const ClaudeUsageClientError& error) {
        EXPECT_EQ(error.code(), ClaudeUsageClientError::Code::expiredCredentials);
    }
    if (descriptor != pipe.writeEnd && descriptor != pipe.readEnd) {
        ::close(descriptor);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Descriptors, WriteAllFailureTest,
    ::testing::Values(WriteFailure{"DeviceFull",
                                   [](Pipe&) { return ::open("/dev/full", O_WRONLY | O_CLOEXEC); }},
                      WriteFailure{"ReadOnlyDescriptor", [](Pipe& pipe) { return pipe.readEnd; }},
                      // Nobody ever reads: the write gives up instead of retrying for ever.
                      WriteFailure{"NeverDrained",
                                   [](Pipe& pipe) {
                                       const QByteArray block(65536, 'x');
                                       while (::write(pipe.writeEnd, block.data(), block.size()) >
                                              0) {
                                       }
                                       return pipe.writeEnd;
                                   }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
