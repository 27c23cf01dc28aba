#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <thread>

#include "sources/claude/claude_cli_probe.h"
#include "sources/claude/claude_usage_client_error.h"
#include "support/manual_clock.h"
#include "support/run_task.h"

namespace {

QByteArray filler(qsizetype size) {
    return QByteArray(size, '.');
}

TEST(ClaudeCLIProbeScreenTest, AnswersOnlyWhatTheLatestScreenfulShows) {
    const QByteArray trust = "Do you trust the files in this folder?";
    const qsizetype window = ClaudeCLIProbe::screenBytes;
    const std::pair<QByteArray, QByteArray> cases[] = {
        {{}, {}},
        {trust, "y\r"},
        {"Press Enter to continue", "\r"},
        {"Show Claude Code status", "\r"},
        {"press enter to continue " + trust, "y\r"},
        {"Do you trust the \x1b[1mfiles\x1b[0m in this folder", {}},
        {"\xff\xfe\xc3" + trust, "y\r"},
        {trust + filler(window - trust.size()), "y\r"},
        {trust + filler(window - trust.size() + 1), {}},
    };
    for (const auto& [output, reply] : cases) {
        EXPECT_EQ(ClaudeCLIProbe::replyForScreen(output), reply) << output.left(60).toStdString();
    }
}

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
    EXPECT_EQ(screen, filler(ClaudeCLIProbe::screenBytes - 3) + "end");
}

// Makes a candidate of kind 'x' (executable), 'p' (plain file), 'd' (folder), 'l' (link to an
// executable) or '-' (nothing).
void make(const QString& path, char kind, const QString& executableTarget) {
    QDir().mkpath(QFileInfo(path).path());
    if (kind == 'd') {
        QDir().mkpath(path);
    } else if (kind == 'l') {
        QFile::link(executableTarget, path);
    } else if (kind == 'x' || kind == 'p') {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner |
                            (kind == 'x' ? QFile::ExeOwner : QFile::Permissions()));
    }
}

TEST(ResolveClaudeBinaryTest, TakesTheFirstExecutableFileInOrder) {
    const struct {
        bool overrideSet;
        // Kinds of: CLAUDE_BINARY, ~/.local/bin/claude, ~/.claude/local/claude, two system paths.
        const char* kinds;
        int winner;  // index into the candidates, or -1 for none
    } cases[] = {
        {true, "xxxxx", 0},  {false, "x----", -1}, {true, "p-xxx", 2},
        {true, "dxxxx", 1},  {false, "-xxxx", 1},  {false, "-lx--", 1},
        {false, "-pd-x", 4}, {false, "-pdxx", 3},  {true, "ppdp-", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kinds);
        QTemporaryDir folder;
        const QString home = folder.filePath(QStringLiteral("home"));
        const QStringList paths{folder.filePath(QStringLiteral("override/claude")),
                                home + QStringLiteral("/.local/bin/claude"),
                                home + QStringLiteral("/.claude/local/claude"),
                                folder.filePath(QStringLiteral("opt/claude")),
                                folder.filePath(QStringLiteral("usr/claude"))};
        const QString target = folder.filePath(QStringLiteral("target/claude"));
        make(target, 'x', {});
        for (int index = 0; index < paths.size(); ++index) {
            make(paths[index], c.kinds[index], target);
        }
        ManualClock clock;
        ClaudeCLIProbe::Environment environment;
        environment.homePath = home;
        if (c.overrideSet) {
            environment.processEnvironment.insert(QStringLiteral("CLAUDE_BINARY"), paths[0]);
        }
        environment.systemBinaryPaths = {paths[3], paths[4]};
        const std::optional<QString> found =
            ClaudeCLIProbe(clock, environment).resolveClaudeBinary();
        EXPECT_EQ(found, c.winner < 0 ? std::nullopt : std::optional(paths[c.winner]));
    }
}

// A non-blocking pipe, closed at the end of the scope.
struct Pipe {
    Pipe() { EXPECT_EQ(::pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0); }
    ~Pipe() {
        for (const int end : ends) {
            if (end >= 0) {
                ::close(end);
            }
        }
    }
    void closeWrite() { ::close(std::exchange(ends[1], -1)); }
    int ends[2] = {-1, -1};
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
    EXPECT_EQ(ClaudeCLIProbe::readAvailable(pipe.ends[0]), QByteArray());
    const QByteArray written = pattern(20000);
    ASSERT_EQ(::write(pipe.ends[1], written.data(), written.size()), written.size());
    EXPECT_EQ(ClaudeCLIProbe::readAvailable(pipe.ends[0], 10000), written.left(10000));
    pipe.closeWrite();
    EXPECT_EQ(ClaudeCLIProbe::readAvailable(pipe.ends[0]), written.mid(10000));
    EXPECT_EQ(ClaudeCLIProbe::readAvailable(pipe.ends[0]), QByteArray());
}

TEST(ClaudeCLIProbeDescriptorTest, WriteAllWaitsOutAFullDescriptorUntilEverythingIsWritten) {
    Pipe pipe;
    const QByteArray sent = pattern(1 << 20);
    QByteArray received;
    std::thread reader([&, readEnd = pipe.ends[0]] {
        ::fcntl(readEnd, F_SETFL, 0);
        char buffer[4096];
        ssize_t count = 0;
        while (received.size() < sent.size() && (count = ::read(readEnd, buffer, 4096)) > 0) {
            received.append(buffer, count);
        }
    });
    EXPECT_NO_THROW(ClaudeCLIProbe::writeAll(sent, pipe.ends[1]));
    pipe.closeWrite();
    reader.join();
    EXPECT_EQ(received, sent);
}

TEST(ClaudeCLIProbeDescriptorTest, AFailedWriteIsExpiredCredentials) {
    auto expectExpired = [](int descriptor) {
        EXPECT_EQ(test::errorOf<ClaudeUsageClientError>([&] {
                      ClaudeCLIProbe::writeAll("/status\r", descriptor);
                  }).code(),
                  ClaudeUsageClientError::Code::expiredCredentials);
    };
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    expectExpired(full);
    ::close(full);
    Pipe pipe;
    expectExpired(pipe.ends[0]);  // the read end
    // Nobody ever reads: the write gives up instead of retrying for ever.
    const QByteArray block(65536, 'x');
    while (::write(pipe.ends[1], block.data(), block.size()) > 0) {
    }
    expectExpired(pipe.ends[1]);
}

}  // namespace
