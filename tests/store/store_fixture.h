#pragma once

#include <QCoreApplication>
#include <QTemporaryDir>
#include <memory>

#include "store/codex_sign_in.h"
#include "store/usage_store.h"
#include "store_fakes.h"
#include "support/run_task.h"
#include "support/usage_builder.h"

namespace test {

// A store on fakes and the manual clock, with its preferences in a folder of its own.
class StoreFixture : public ::testing::Test {
protected:
    StoreFixture()
        : preferences(directory.filePath(QStringLiteral("group.conf"))),
          standard(directory.filePath(QStringLiteral("standard.conf"))),
          appServer(clock),
          authFile(clock),
          account(clock),
          claude(clock) {}

    // The store, and the ChatGPT sign-in that hands it the account.
    UsageStore& makeStore() {
        signIn.reset();
        store = std::make_unique<UsageStore>(
            UsageStore::Services{clock, appServer, authFile, *chatGPT, claude, followers, followers,
                                 followers, *startup, preferences, history});
        signIn = std::make_unique<CodexSignIn>(*chatGPT, *store);
        return *store;
    }

    // Runs a store task to its end while the manual clock stands still.
    void run(QCoro::Task<> task) { test::runTask(std::move(task)); }

    // Lets queued main-thread jobs run.
    static void settle() { QCoreApplication::processEvents(); }

    QTemporaryDir directory;
    Preferences preferences;
    Preferences standard;
    ManualClock clock;
    FakeAppServer appServer;
    FakeUsageSource authFile;
    FakeAccount account;
    FakeUsageSource claude;
    Followers followers;
    FakeAutostart autostart;
    // The ChatGPT account and what the store turns on at login: the fakes by default.
    CodexAccount* chatGPT = &account;
    Autostart* startup = &autostart;
    // A real history where a test looks at it; it must outlive the store.
    UsageHistory* history = nullptr;
    std::unique_ptr<UsageStore> store;
    std::unique_ptr<CodexSignIn> signIn;
};

}  // namespace test
