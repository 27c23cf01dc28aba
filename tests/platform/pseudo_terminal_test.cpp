#include "platform/process/pseudo_terminal.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include "core/error.h"
#include "fakes/fake_claude_record.h"
#include "support/child_processes.h"

namespace {

class PseudoTerminalTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_FALSE(test::hasChildProcess()) << "a child was left behind"; }

    PseudoTerminal::Options fakeClaude(const QStringList& settings = {}) const {
        return {.program = test::fakeClaudeProgram(),
                .arguments = {},
                .workingDirectory = m_folder.path(),
                .environment = QProcessEnvironment::systemEnvironment().toStringList() + settings +
                               QStringList{QStringLiteral("FAKE_CLAUDE_RECORD=") + recordPath()}};
    }
    QString recordPath() const { return m_folder.filePath(QStringLiteral("record")); }
    test::FakeClaudeRecord record() const { return test::FakeClaudeRecord::read(recordPath()); }
    bool waitForReady() const {
        return test::waitUntil([this] { return record().has("ready"); });
    }

    QTemporaryDir m_folder;
};

TEST_F(PseudoTerminalTest, AChildThatCannotStartIsAPlatformErrorWithNothingLeftBehind) {
    PseudoTerminal::Options noProgram = fakeClaude();
    noProgram.program = m_folder.filePath(QStringLiteral("no-such-program"));
    PseudoTerminal::Options noFolder = fakeClaude();
    noFolder.workingDirectory = m_folder.filePath(QStringLiteral("no-such-folder"));
    EXPECT_THROW(PseudoTerminal{noProgram}, PlatformError);
    EXPECT_THROW(PseudoTerminal{noFolder}, PlatformError);
    EXPECT_FALSE(record().has("pid")) << "the program ran";
}

// The program may be killed without destroying anything; the child must not run on without it.
TEST_F(PseudoTerminalTest, TheChildDiesWithAProgramThatIsKilled) {
    int pidPipe[2];
    ASSERT_EQ(::pipe2(pidPipe, O_CLOEXEC), 0);
    const pid_t program = ::fork();
    if (program == 0) {
        // Stands in for the program: starts the child, reports its pid, then waits to be killed.
        try {
            const PseudoTerminal terminal(fakeClaude({}));
            const pid_t child = terminal.processId();
            [[maybe_unused]] const auto written = ::write(pidPipe[1], &child, sizeof child);
            ::pause();
        } catch (const PlatformError&) {
        }
        ::_exit(1);
    }
    ::close(pidPipe[1]);
    pid_t child = 0;  // read at the report, or left when the program ends without one
    const bool started = ::read(pidPipe[0], &child, sizeof child) == sizeof child;
    ::close(pidPipe[0]);
    const bool ready = started && waitForReady();
    ::kill(program, SIGKILL);
    ::waitpid(program, nullptr, 0);
    ASSERT_TRUE(ready);
    EXPECT_TRUE(test::waitUntil([&] { return test::processHasEnded(child); }));
    ::kill(child, SIGKILL);
}

// The child's standard input, output and error are the terminal, which controls the session
// the child leads; no other child started meanwhile inherits it. Destroying it kills and reaps
// the child (TearDown), with SIGKILL, so a child that ignores SIGTERM goes too.
TEST_F(PseudoTerminalTest, OnlyItsChildGetsTheTerminal) {
    const PseudoTerminal terminal(fakeClaude({QStringLiteral("FAKE_CLAUDE_SIGTERM=ignore")}));
    ASSERT_TRUE(waitForReady());
    EXPECT_EQ(record().value("terminal"), "11111");
    QProcess other;
    other.start(QStringLiteral("/bin/ls"), {QStringLiteral("-l"), QStringLiteral("/proc/self/fd")});
    ASSERT_TRUE(other.waitForFinished(10000));
    const QByteArray descriptors = other.readAllStandardOutput();
    EXPECT_FALSE(descriptors.contains("ptmx") ||
                 descriptors.contains(::ptsname(terminal.masterDescriptor())))
        << descriptors.toStdString();
}

}  // namespace
