<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>ActivityIndicator</name>
    <message>
        <source>In progress</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>AgentUsage</name>
    <message>
        <source>Agent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Second Agent</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>AppSettingsView</name>
    <message>
        <source>Quotamind Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Thresholds are whole percents from 1 to 100, at most five, separated by commas.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tray Icon</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Agent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose which agent&apos;s remaining allowance is shown in the panel&apos;s tray.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Appearance</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Automatic</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Light</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Dark</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Automatic reads on light and dark panels alike and follows what the desktop says about its panel. Light suits a dark panel, Dark a light one.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connection</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not connected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>iPhone</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not paired</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Current snapshots</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>—</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Notifications</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Notify When Limits Reset</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quotamind alerts you when each agent’s 5-hour or weekly allowance becomes available again. Updated reset times replace older alerts automatically.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Notify at Usage Thresholds</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Thresholds (% used)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Once per window and reset, when its use first reaches each threshold.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This Computer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Launch at Login</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Keep Quotamind running so your iPhone and widgets can receive fresh local snapshots.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign Out of Quotamind</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Widget</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use “Quotamind — Custom” to choose an agent and limit.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Updates to iPhone</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Enabled automatically</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Waiting for iPhone</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delivery</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Live changes on the same network</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Last data sent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not sent yet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No setup is required. Codex changes are detected through one persistent session, normally within a few seconds while this computer is active, and sent immediately to the iPhone while it is on the same network as this computer. When it is away, it receives the latest limits as soon as it connects again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MMM d, h:mm AP</source>
        <extracomment>How the settings write an instant (QDateTime format): &quot;Jan 5, 3:07 PM&quot; in English.</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MMM d, h:mm:ss AP</source>
        <extracomment>The same with seconds: &quot;Jan 5, 3:07:09 PM&quot; in English.</extracomment>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Autostart</name>
    <message>
        <source>Launch at login could not be changed: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the autostart folder cannot be created</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>AvahiConnection</name>
    <message>
        <source>The Avahi daemon (avahi-daemon) is not running.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ClaudeUsageClientError</name>
    <message>
        <source>Claude usage request failed with HTTP %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Claude Code is not signed in on this computer. Run `claude login`.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The local Claude Code session could not be read. Run `claude login` again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unlock the keyring so Quotamind can read “Claude Code-credentials”, then refresh.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The Claude Code session has expired. Run `claude login`, then refresh.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Claude rejected the local session. Run `claude login`, then refresh.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Claude usage is temporarily rate limited. Try refreshing in a few minutes.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Claude returned no 5-hour or weekly limit for this account.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Claude returned an unsupported usage response.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CloudWakeError</name>
    <message>
        <source>This build is missing its iCloud entitlement. Update the development provisioning profile to enable automatic iPhone wake-ups.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CloudKit did not return a result for the wake channel.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>iCloud is temporarily unavailable. Automatic wake-ups will retry later.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>iCloud access is restricted on this device.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign in to iCloud on this device to enable automatic iPhone wake-ups.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>iCloud is unavailable on this device.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CodexAppServerError</name>
    <message>
        <source>Install or update Codex on this computer to use its current sign-in.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The installed Codex copy could not be verified.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Codex could not be started.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Codex did not respond in time.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Codex closed the connection before returning usage.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Codex returned an unsupported response.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Codex could not load rate limits for the current account.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No Codex rate-limit window is available for this account.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Codex was stopped before it started.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Codex did not start in time.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CodexAuthFileError</name>
    <message>
        <source>Codex is not signed in on this computer. Open Codex or run `codex login --device-auth`.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The local Codex session could not be read. Sign in to Codex again.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CodexClientError</name>
    <message>
        <source>The ChatGPT sign-in is not in the keyring.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No keyring is available on this computer to keep the ChatGPT sign-in.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The keyring is locked or refused access to the ChatGPT sign-in. Unlock it, then try again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The keyring was not unlocked, so the ChatGPT sign-in could not be used.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The keyring could not read or store the ChatGPT sign-in. Try again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OpenAI request failed (HTTP %1).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign in with ChatGPT to load Codex usage.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OpenAI returned an invalid response.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The sign-in code expired. Start again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No Codex rate-limit window is available for this account.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DeviceSignInView</name>
    <message>
        <source>Copy Code</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Sign-In</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign in with ChatGPT</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open the sign-in page and enter this one-time code.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Waiting for authorization…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>One-time code %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DnsSdResolver</name>
    <message>
        <source>The service was not found.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Error</name>
    <message>
        <source>The data couldn’t be read because it isn’t in the correct format.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The data couldn’t be written because it isn’t valid.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unknown error</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>FileReadError</name>
    <message>
        <source>The file “%1” couldn’t be read: %2.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>FileSecretStore</name>
    <message>
        <source>The secret file could not be read: %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The secret file could not be written: %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The secret file could not be removed: %1.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>FreedesktopNotificationCenter</name>
    <message>
        <source>There is no session bus to show notifications on.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Quotamind</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>GalleryWindow</name>
    <message>
        <source>Add Widget</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Place this widget on the desktop</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>HistoryCommand</name>
    <message>
        <source>With history: how far back, such as 90m, 24h or 7d (default 7d).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>With history: only this agent (codex or claude).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>With history: print comma-separated values.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>With history: print the pace forecasts of the stored limits instead.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--since takes a time such as 90m, 24h or 7d.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--agent takes codex or claude.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No usage history is kept yet. Start Quotamind (quotamind --headless) and try again once it has read the limits.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>HistoryExport</name>
    <message>
        <source>%1  %2  %3  %4% used  resets %5</source>
        <extracomment>One line of `quotamind history`: the time, the agent, the window, the used percent and the reset time.</extracomment>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>HistoryWindow</name>
    <message>
        <source>No history yet. Quotamind keeps every reading of the limits from now on.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>History</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>24 Hours</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>7 Days</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>30 Days</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: used percent over the last 24 hours</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: used percent over the last 7 days</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: used percent over the last 30 days</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 %2 limit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Used percent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Resets</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MMM d</source>
        <extracomment>The date under the 7- and 30-day charts (QDateTime format): the month&apos;s short name and the day.</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%n reading(s), %1</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n reset(s)</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
</context>
<context>
    <name>LanConnectionState</name>
    <message>
        <source>Starting local pairing…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ready to pair</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>iPhone connected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Local pairing unavailable</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>LanPairingError</name>
    <message>
        <source>This QR code is not an Quotamind pairing code.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Local pairing could not be started.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>LanPairingServer</name>
    <message>
        <source>Pairing code was rejected.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Invalid pairing message.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>LimitControls</name>
    <message>
        <source>Refresh</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Refresh Quotamind</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>History</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Settings</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>LimitMeterView</name>
    <message>
        <source>Waiting for limits</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>remaining</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 limit is unavailable.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 %2 limit. Reset, checking the new allowance.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 %2 limit. %3 percent remaining. %4.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>LimitNotificationManager</name>
    <message>
        <source>%1 limit restored</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your 5-hour limit is available again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your weekly limit is available again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>On</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Off</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Off in System Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not set up</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unavailable</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NetworkError</name>
    <message>
        <source>The request timed out.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The response is too large.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PaceForecast</name>
    <message>
        <source>At this pace: lasts until the reset</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>At this pace: limit reached in %1, %2 before the reset</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PairingCommand</name>
    <message>
        <source>Scan this code with Quotamind on the iPhone (or pass the text to quotamind-phone). It lets a phone on this network read your limits: keep it to yourself.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PairingQrCodeView</name>
    <message>
        <source>QR code for pairing an iPhone</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PairingQrView</name>
    <message>
        <source>Connect your iPhone</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Scan once. Your limits stay on the local network.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Quotamind on iPhone and tap “Scan QR Code”.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PhoneConnectedView</name>
    <message>
        <source>iPhone Connected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Limits stream to your iPhone over the local network.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Disconnect iPhone</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This computer forgets the phone and shows a new pairing code.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PhoneLink</name>
    <message>
        <source>Pair an iPhone first.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PhonePeer</name>
    <message>
        <source>The computer closed the connection without admitting this phone.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The computer did not answer in time.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unknown command “%1”: use refresh, deviceToken TOKEN [ENVIRONMENT] or quit.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not connected.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ProviderLimitPane</name>
    <message>
        <source>Loading %1 limits…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quotamind is reading the signed-in %1 session on this computer.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ProviderSwitcher</name>
    <message>
        <source>Agent</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PseudoTerminal</name>
    <message>
        <source>Could not open a pseudo-terminal: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not start %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not enter the folder %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not attach %1 to its terminal: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not run %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>QuotamindWidget</name>
    <message>
        <source>Quotamind</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>See the current agent allowance and reset time.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quotamind — Custom</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>See the selected agent allowance and reset time.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quotamind — Both Limits</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>See the 5-hour and weekly limits side by side.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>5-hour limit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Weekly limit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Agent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Limit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show %1 for %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Both Quotamind</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show both limits for %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%Ln day(s) ago</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln hour(s) ago</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln minute(s) ago</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln second(s) ago</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>%1 %2 limit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 percent remaining</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reset</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Checking…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Plan</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Source</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Updated</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not available</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This agent doesn&apos;t report a %1 limit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 %2 limit is not available</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Quotamind</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connect your computer to show usage</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connect or sync usage from your computer.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 allowance remaining, being checked</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 allowance remaining, %2 percent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stale</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This computer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Account</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Computer sync</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preview</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SecretServiceStore</name>
    <message>
        <source>The keyring did not answer in time.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SignedOutLimitView</name>
    <message>
        <source>Sign in with ChatGPT</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check Again</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connect %1 on this computer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The iPhone receives limits after this computer has a Codex or ChatGPT session.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign in with Claude Code on this computer using `claude login`, then refresh.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>StatusReport</name>
    <message>
        <source>Waiting for limits</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1% remaining</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SyncStatusIcon</name>
    <message>
        <source>iPhone connected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>iPhone not paired</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ThresholdAlerts</name>
    <message>
        <source>%1 %2 limit at %3%</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1% remaining. %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TrayController</name>
    <message>
        <source>Show Limits</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Quotamind</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>History</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Settings…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quotamind: waiting for limits</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: %2, %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1% remaining for 5 hours</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>5-hour limit reset, checking…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1% remaining for the week</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>weekly limit reset, checking…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: %2% remaining for %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: %2 limit reset, checking…</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TrayPopup</name>
    <message>
        <source>Refresh Quotamind</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit Quotamind</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Quotamind to connect Codex or Claude.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Quotamind</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TrayProgramPresence</name>
    <message>
        <source>Quotamind keeps running</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>There is no tray on this desktop. Start Quotamind again to show its window.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>UsageHistory</name>
    <message>
        <source>The usage history could not be read. It was moved aside to %1 and a new one started.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The usage history could not be read.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The disk is full: the usage history is paused.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The usage history was written by a newer Quotamind.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The usage history could not be saved.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>UsageSource</name>
    <message>
        <source>Local agent on this computer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Account session on this computer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Synced from computer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preview</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>UsageStore</name>
    <message>
        <source>The phone is updated while it is on the same network as this computer.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>UsageWindow</name>
    <message>
        <source>Reset · checking…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Resetting now</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Resets in %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1d %2h</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1h %2m</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1m</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1D</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1H</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1M</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>WidgetCommand</name>
    <message>
        <source>The agent to show.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>fiveHour or weekly.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The time to show, in ISO 8601.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device pixels per point.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Draw the dark appearance.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Usage: render KIND FAMILY [--agent ID] [--period fiveHour|weekly] [--at ISO8601] [--scale N] [--dark] OUTPUT.png</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Usage: timeline KIND [--agent ID] [--period fiveHour|weekly] [--at ISO8601]</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The family must be small or medium.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The period must be fiveHour or weekly.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The time must be an ISO 8601 date and time with a zone, such as 2026-01-01T10:00:00Z.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The scale must be a number above 0 and at most 8.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unknown widget kind “%1”. The kinds are: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The widget %1 has no %2 size.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not write %1.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>WidgetHost</name>
    <message>
        <source>No agents yet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove Widget</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add Widget…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>WidgetPlugin</name>
    <message>
        <source>The widget plugin %1 could not be loaded: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>it is not a Quotamind widget plugin</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The widget plugin QuotamindWidget was not found in: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>deployment</name>
    <message>
        <source>%1 is not a usable origin: use an https URL, or http only for a loopback host (127.0.0.1, ::1, localhost).</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>No limits are stored yet. Start Quotamind (quotamind --headless) and try again once it has read them.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quotamind is already running; it was asked to show itself.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quotamind is already running but did not answer when asked to show itself.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No session bus: running without the single-instance guard.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Shows how much of their usage limits Codex and Claude Code have left.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nothing to run the program, `status` to print the stored limits, `history` to print the usage history, or `pairing` to show the phone pairing code.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Run without tray icon and windows.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start in the tray without showing the window (as at login); the window still shows when no tray comes.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>With status: print the stored JSON. With history: print JSON.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>With status: print one JSON object for status bars such as Waybar.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unknown command “%1”. See --help.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No display: running without the tray icon. Read the limits with `quotamind status`.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Shows Quotamind&apos;s usage limit widgets on the desktop.

Other hosts can run:
  render KIND FAMILY [--agent ID] [--period fiveHour|weekly] [--at ISO8601] [--scale N] [--dark] OUTPUT.png
  timeline KIND [--agent ID] [--period fiveHour|weekly] [--at ISO8601]</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No display to show widgets on. Without one, use the render or timeline command (see --help).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quotamind Widgets is already running. Right-click one of its widgets to add another.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quotamind Widgets</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No session bus: widgets follow their timelines but not Quotamind&apos;s reload requests.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>quotamind-phone</name>
    <message>
        <source>Pairs with Quotamind on this network as a phone would, and prints every message it receives as one JSON line. Commands on standard input: refresh, deviceToken TOKEN [ENVIRONMENT], quit.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The pairing code: the QR text that `quotamind pairing` prints (quotamind://pair?v=1&amp;service=…&amp;secret=…).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The service name, instead of the code.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The secret, instead of the code.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connect to this address instead of looking the service up.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The port, with --host.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The model name to pair with (none by default).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ask for a refresh once paired.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Send this device token once paired.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The environment sent with --device-token.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stop after receiving this many messages.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Give up looking for the service after this many seconds (default 10).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>That is not a Quotamind pairing code.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Give the pairing code, or --service and --secret. See --help.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--host needs an address that resolves and --port a port number.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The computer was not found on this network.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
