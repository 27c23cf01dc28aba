#include "store/codex_sign_in.h"

#include <gtest/gtest.h>

#include "store_fixture.h"

namespace {

using test::usage;

const AgentProvider kCodex = AgentProvider::codex();

class CodexSignInTest : public test::StoreFixture {
protected:
    void SetUp() override { makeStore(); }
};

TEST_F(CodexSignInTest, ASignInCancelledRecordsNothingAndTheNextOneAppliesTheAccount) {
    account.usage.otherwise = usage("codex", 40);
    signIn->beginSignIn();
    ASSERT_TRUE(test::processEventsUntil([&] { return signIn->deviceCode().has_value(); }));
    signIn->cancelSignIn();
    EXPECT_FALSE(signIn->deviceCode());
    settle();
    EXPECT_FALSE(store->error(kCodex) || account.stored);
    signIn->beginSignIn();
    ASSERT_TRUE(test::processEventsUntil([&] { return signIn->deviceCode().has_value(); }));
    clock.advance(60);
    ASSERT_TRUE(test::processEventsUntil([&] { return account.stored && !signIn->deviceCode(); }));
    EXPECT_EQ(store->sessionStatus(), SessionStatus::AccountSession);
}

TEST_F(CodexSignInTest, ASignInReplacedDuringItsExchangeSavesNothingAndLeavesTheNewOneAlone) {
    account.exchangeSeconds = 1;
    signIn->beginSignIn();
    clock.advance(60);
    signIn->beginSignIn();
    clock.advance(1);
    settle();
    EXPECT_FALSE(account.stored);
    EXPECT_TRUE(signIn->deviceCode());
    EXPECT_FALSE(store->error(kCodex));
}

TEST_F(CodexSignInTest, ASignOutWhoseDeleteFailsShowsItAndKeepsTheStatus) {
    store->apply(usage("codex", 10), SessionStatus::AccountSession);
    account.stored = CodexCredentials{};
    account.deleteFailure = QStringLiteral("The keyring refused.");
    run(signIn->signOut());
    EXPECT_EQ(store->inlineError(), QStringLiteral("The keyring refused."));
    EXPECT_EQ(store->sessionStatus(), SessionStatus::AccountSession);
}

}  // namespace
