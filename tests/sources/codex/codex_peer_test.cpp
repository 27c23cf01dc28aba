#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <chrono>
#include <optional>

#include "core/system_clock.h"
#include "sources/codex/codex_app_server_client.h"
#include "sources/codex/codex_app_server_error.h"
#include "sources/codex/trusted_codex_binary_locator.h"
#include "support/child_processes.h"
#include "support/peer_programs.h"
#include "support/run_task.h"

namespace {

using Code = CodexAppServerError::Code;

// The real codex with an empty home and Codex folder: not signed in, so it answers the
// rate-limit read with an error, after notifications of its own that the session must ignore.
class CodexPeerTest : public test::ChildProcessTest {
protected:
    void SetUp() override {
        const std::optional<QString> program = test::peerProgram(QStringLiteral("codex"));
        if (!program) {
            GTEST_SKIP() << "the real codex program is not installed in the build tree "
                            "(scripts/test installs it with npm)";
        }
        ASSERT_TRUE(m_home.isValid() && m_codexHome.isValid());
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(QStringLiteral("HOME"), m_home.path());
        m_environment.insert(QStringLiteral("CODEX_HOME"), m_codexHome.path());
        // Found the way the program finds it, when the build folder can be trusted at all.
        const TrustedCodexBinaryLocator locator(QFileInfo(*program).absolutePath(), {});
        try {
            m_executable = locator.locate();
        } catch (const CodexAppServerError&) {
            m_executable = *program;
        }
    }

    CodexAppServerClient client() {
        const QString executable = m_executable;
        return CodexAppServerClient(
            SystemClock::shared(), [executable] { return executable; }, m_home.path(),
            m_environment);
    }

    // Every process the test started carries this entry, the real program's own children too.
    QByteArray marker() const { return "CODEX_HOME=" + m_codexHome.path().toUtf8(); }

    static std::optional<Code> errorOf(const std::function<void()>& call) {
        try {
            call();
        } catch (const CodexAppServerError& error) {
            return error.code();
        }
        return std::nullopt;
    }

    QTemporaryDir m_home;
    QTemporaryDir m_codexHome;
    QProcessEnvironment m_environment;
    QString m_executable;
};

TEST_F(CodexPeerTest, SignedOutFetchFailsWithRequestFailedAndLeavesNoChild) {
    CodexAppServerClient codex = client();
    EXPECT_EQ(errorOf([&] { test::runTask(codex.fetchUsage(), std::chrono::seconds(60)); }),
              Code::requestFailed);
    EXPECT_TRUE(test::processesEnd(marker()));
}

TEST_F(CodexPeerTest, SignedOutMonitorFailsWithTimedOutAndLeavesNoChild) {
    CodexAppServerClient codex = client();
    int updates = 0;
    EXPECT_EQ(errorOf([&] {
                  test::runTask(codex.monitorUsage([&updates](const AgentUsage&) { ++updates; }),
                                std::chrono::seconds(60));
              }),
              Code::timedOut);
    EXPECT_EQ(updates, 0);
    EXPECT_TRUE(test::processesEnd(marker()));
}

}  // namespace
