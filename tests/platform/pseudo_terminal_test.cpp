#include "platform/pseudo_terminal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <csignal>
#include <memory>

#include "core/error.h"
#include "fakes/fake_claude_record.h"
#include "support/child_processes.h"

namespace {

class PseudoTerminalTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_folder.isValid()); }
    void TearDown() override { EXPECT_FALSE(test::hasChildProcess()) << "a child was left behind"; }

    PseudoTerminal::Options fakeClaude(const QStringList& settings) const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("FAKE_CLAUDE_RECORD"), recordPath());
        PseudoTerminal::Options options;
        options.program = test::fakeClaudeProgram();
        options.workingDirectory = m_folder.path();
        options.environment = environment.toStringList() + settings;
        return options;
    }
    QString recordPath() const { return m_folder.filePath(QStringLiteral("record")); }
    test::FakeClaudeRecord record() const { return test::FakeClaudeRecord::read(recordPath()); }
    bool waitForReady() const {
        return test::waitUntil([this] { return record().has("ready"); });
    }

    QTemporaryDir m_folder;
};

TEST_F(PseudoTerminalTest, DestroyingItEndsAChildThatIgnoresSigtermAndReapsIt) {
    auto terminal = std::make_unique<PseudoTerminal>(
        fakeClaude({QStringLiteral("FAKE_CLAUDE_SIGTERM=ignore")}));
    ASSERT_TRUE(waitForReady());
    terminal->terminate();
    ASSERT_TRUE(test::waitUntil([this] { return record().has("signal", "TERM"); }));
    const pid_t pid = terminal->processId();
    EXPECT_TRUE(terminal->isRunning());

    terminal.reset();
    EXPECT_TRUE(test::processIsGone(pid));
}

TEST_F(PseudoTerminalTest, AChildThatCannotStartIsAPlatformErrorWithNothingLeftBehind) {
    const struct {
        const char* program;
        const char* folder;
        const char* messageStart;
    } cases[] = {{"no-such-program", ".", "Could not run"},
                 {nullptr, "no-such-folder", "Could not enter the folder"}};
    for (const auto& c : cases) {
        PseudoTerminal::Options options = fakeClaude({});
        if (c.program != nullptr) {
            options.program = m_folder.filePath(QString::fromUtf8(c.program));
        }
        options.workingDirectory = m_folder.filePath(QString::fromUtf8(c.folder));
        const QString message = test::errorOf<PlatformError>([&] {
                                    PseudoTerminal terminal(options);
                                }).localizedDescription();
        EXPECT_TRUE(message.startsWith(QString::fromUtf8(c.messageStart))) << message.toStdString();
        EXPECT_FALSE(record().has("pid")) << "the program ran";
    }
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
    pid_t child = 0;
    pollfd reported{pidPipe[0], POLLIN, 0};
    const bool started = ::poll(&reported, 1, 10000) == 1 &&
                         ::read(pidPipe[0], &child, sizeof child) == sizeof child;
    ::close(pidPipe[0]);
    const bool ready = started && waitForReady();
    ::kill(program, SIGKILL);
    ::waitpid(program, nullptr, 0);
    ASSERT_TRUE(ready);
    EXPECT_TRUE(test::waitUntil([&] { return test::processHasEnded(child); }));
    ::kill(child, SIGKILL);
}

// Only the child it runs gets the terminal; any other child started meanwhile does not.
TEST_F(PseudoTerminalTest, NoOtherChildInheritsTheTerminal) {
    const PseudoTerminal terminal(fakeClaude({}));
    QProcess other;
    other.start(QStringLiteral("/bin/ls"), {QStringLiteral("-l"), QStringLiteral("/proc/self/fd")});
    ASSERT_TRUE(other.waitForFinished(10000));
    const QByteArray descriptors = other.readAllStandardOutput();
    EXPECT_FALSE(descriptors.contains("ptmx")) << descriptors.toStdString();
    EXPECT_FALSE(descriptors.contains(::ptsname(terminal.masterDescriptor())))
        << descriptors.toStdString();
}

}  // namespace
