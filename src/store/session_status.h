#pragma once

// Which kind of Codex session the current snapshot rests on.
enum class SessionStatus {
    checking,           // at start-up, and right after a sign-out while the follow-up refresh runs
    localPrimary,       // Codex usage from this computer's own Codex session, live updates included
    localSecondary,     // Claude usage applied while the snapshot holds no Codex usage
    accountSession,     // Codex usage through the ChatGPT account signed in within Quotamind
    syncedFromDesktop,  // never set by the tray program; kept for readers of the shared model
    signedOut,          // a refresh or a failure left the snapshot missing or empty
};
