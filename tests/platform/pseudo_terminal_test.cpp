#include "platform/pseudo_terminal.h"

#include <gtest/gtest.h>

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
