#pragma once

// Which kind of Codex session the current snapshot rests on.
enum class SessionStatus {
    Checking,           // at start-up, and right after a sign-out while the follow-up refresh runs
    LocalPrimary,       // Codex usage from this computer's own Codex session, live updates included
    LocalSecondary,     // Claude usage applied while the snapshot holds no Codex usage
    AccountSession,     // Codex usage through the ChatGPT account signed in within Quotamind
    SyncedFromDesktop,  // never set by the tray program; kept for readers of the shared model
    SignedOut,          // a refresh or a failure left the snapshot missing or empty
};
