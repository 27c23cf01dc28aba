#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "core/system_clock.h"
#include "sources/codex/codex_app_server_client.h"
#include "sources/codex/codex_app_server_error.h"
#include "support/child_processes.h"
#include "support/peer_programs.h"
#include "support/run_task.h"

namespace {

using namespace Qt::StringLiterals;
using Code = CodexAppServerError::Code;
using CodexPeerTest = test::ChildProcessTest;

// The real codex with an empty home and Codex folder: not signed in, it answers the rate-limit
// read with an error, after notifications of its own that the session must ignore.
TEST_F(CodexPeerTest, SignedOutCallsFailAndLeaveNoProcess) {
    const std::optional<QString> program = test::peerProgram(u"codex"_s);
    if (!program) {
        GTEST_SKIP() << "the real codex program is not installed in the build tree "
                        "(scripts/test installs it with npm)";
    }
    QTemporaryDir home;
    QTemporaryDir codexHome;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"HOME"_s, home.path());
    environment.insert(u"CODEX_HOME"_s, codexHome.path());
    SystemClock clock;
    CodexAppServerClient codex(
        clock, [program] { return *program; }, home.path(), environment);
    EXPECT_EQ(test::errorOf<CodexAppServerError>([&] {
                  test::runTask(codex.fetchUsage(), std::chrono::seconds(60));
              }).code(),
              Code::RequestFailed);
    // Every process the test started carries this entry, the real program's own children too.
    EXPECT_TRUE(test::processesEnd("CODEX_HOME=" + codexHome.path().toUtf8()));
}

}  // namespace
