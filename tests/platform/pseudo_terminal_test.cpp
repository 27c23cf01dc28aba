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

}  // namespace
