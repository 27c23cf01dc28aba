#include "platform/pseudo_terminal.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <cerrno>
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
    auto terminal = std::make_unique<PseudoTerminal>(fakeClaude(
        {QStringLiteral("FAKE_CLAUDE_EXIT=never"), QStringLiteral("FAKE_CLAUDE_SIGTERM=ignore")}));
    ASSERT_TRUE(waitForReady());
    terminal->terminate();
    ASSERT_TRUE(test::waitUntil([this] { return record().has("signal", "TERM"); }));
    const pid_t pid = terminal->processId();
    EXPECT_TRUE(terminal->isRunning());

    terminal.reset();
    EXPECT_TRUE(test::processIsGone(pid));
}

TEST_F(PseudoTerminalTest, ReportsHowTheChildEnded) {
    PseudoTerminal exited(fakeClaude({QStringLiteral("FAKE_CLAUDE_EXIT=at-once")}));
    ASSERT_TRUE(test::waitUntil([&] { return !exited.isRunning(); }));
    ASSERT_TRUE(exited.waitStatus());
    EXPECT_TRUE(WIFEXITED(*exited.waitStatus()));
    EXPECT_EQ(WEXITSTATUS(*exited.waitStatus()), 0);

    PseudoTerminal killed(fakeClaude({QStringLiteral("FAKE_CLAUDE_SIGTERM=ignore")}));
    EXPECT_TRUE(killed.isRunning());
    EXPECT_FALSE(killed.waitStatus());
    killed.kill();
    EXPECT_FALSE(killed.isRunning());
    ASSERT_TRUE(killed.waitStatus());
    EXPECT_TRUE(WIFSIGNALED(*killed.waitStatus()));
    EXPECT_EQ(WTERMSIG(*killed.waitStatus()), SIGKILL);
    EXPECT_TRUE(test::processIsGone(killed.processId()));
}

TEST_F(PseudoTerminalTest, TheChildGetsTheRequestedTerminalSizeAndTheMasterNeverBlocks) {
    PseudoTerminal::Options options = fakeClaude({});
    options.rows = 24;
    options.columns = 81;
    PseudoTerminal terminal(options);
    ASSERT_TRUE(waitForReady());
    EXPECT_EQ(record().value("size"), "24 81");
    EXPECT_EQ(record().value("tty"), "111");

    char byte = 0;
    EXPECT_EQ(::read(terminal.masterDescriptor(), &byte, 1), -1);
    EXPECT_EQ(errno, EAGAIN);
    terminal.closeTerminal();
    EXPECT_EQ(terminal.masterDescriptor(), -1);
    terminal.closeTerminal();
}

struct StartFailure {
    const char* name;
    bool missingProgram;
    bool missingFolder;
    const char* messageStart;
};

class PseudoTerminalStartFailureTest : public PseudoTerminalTest,
                                       public ::testing::WithParamInterface<StartFailure> {};

TEST_P(PseudoTerminalStartFailureTest, IsAPlatformErrorWithNothingLeftBehind) {
    PseudoTerminal::Options options = fakeClaude({});
    if (GetParam().missingProgram) {
        options.program = m_folder.filePath(QStringLiteral("no-such-program"));
    }
    if (GetParam().missingFolder) {
        options.workingDirectory = m_folder.filePath(QStringLiteral("no-such-folder"));
    }
    try {
        PseudoTerminal terminal(options);
        ADD_FAILURE() << "the child started";
    } catch (const PlatformError& error) {
        EXPECT_TRUE(
            error.localizedDescription().startsWith(QString::fromUtf8(GetParam().messageStart)))
            << error.localizedDescription().toStdString();
    }
    EXPECT_FALSE(record().has("pid")) << "the program ran";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PseudoTerminalStartFailureTest,
    ::testing::Values(StartFailure{"MissingProgram", true, false, "Could not run"},
                      StartFailure{"MissingFolder", false, true, "Could not enter the folder"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
