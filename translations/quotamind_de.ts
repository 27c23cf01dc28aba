<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>ActivityIndicator</name>
    <message>
        <source>In progress</source>
        <translation>In Arbeit</translation>
    </message>
</context>
<context>
    <name>AgentUsage</name>
    <message>
        <source>Agent</source>
        <translation>Agent</translation>
    </message>
    <message>
        <source>Second Agent</source>
        <translation>Zweiter Agent</translation>
    </message>
</context>
<context>
    <name>AppSettingsView</name>
    <message>
        <source>Quotamind Settings</source>
        <translation>Quotamind-Einstellungen</translation>
    </message>
    <message>
        <source>Thresholds are whole percents from 1 to 100, at most five, separated by commas.</source>
        <translation>Schwellen sind ganze Prozentwerte von 1 bis 100, höchstens fünf, durch Kommas getrennt.</translation>
    </message>
    <message>
        <source>Tray Icon</source>
        <translation>Symbol im Systemabschnitt</translation>
    </message>
    <message>
        <source>Agent</source>
        <translation>Agent</translation>
    </message>
    <message>
        <source>Choose which agent&apos;s remaining allowance is shown in the panel&apos;s tray.</source>
        <translation>Wählen Sie den Agenten, dessen verbleibendes Kontingent im Systemabschnitt der Kontrollleiste angezeigt wird.</translation>
    </message>
    <message>
        <source>Appearance</source>
        <translation>Erscheinungsbild</translation>
    </message>
    <message>
        <source>Automatic</source>
        <translation>Automatisch</translation>
    </message>
    <message>
        <source>Light</source>
        <translation>Hell</translation>
    </message>
    <message>
        <source>Dark</source>
        <translation>Dunkel</translation>
    </message>
    <message>
        <source>Automatic reads on light and dark panels alike and follows what the desktop says about its panel. Light suits a dark panel, Dark a light one.</source>
        <translation>„Automatisch“ ist auf hellen wie dunklen Kontrollleisten gut lesbar und folgt den Angaben der Arbeitsumgebung zu ihrer Leiste. „Hell“ passt zu einer dunklen Leiste, „Dunkel“ zu einer hellen.</translation>
    </message>
    <message>
        <source>Connection</source>
        <translation>Verbindung</translation>
    </message>
    <message>
        <source>Not connected</source>
        <translation>Nicht verbunden</translation>
    </message>
    <message>
        <source>iPhone</source>
        <translation>iPhone</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Verbunden</translation>
    </message>
    <message>
        <source>Not paired</source>
        <translation>Nicht gekoppelt</translation>
    </message>
    <message>
        <source>Current snapshots</source>
        <translation>Aktueller Stand</translation>
    </message>
    <message>
        <source>—</source>
        <translation>—</translation>
    </message>
    <message>
        <source>Notifications</source>
        <translation>Benachrichtigungen</translation>
    </message>
    <message>
        <source>Notify When Limits Reset</source>
        <translation>Benachrichtigen, wenn Limits zurückgesetzt werden</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Quotamind alerts you when each agent’s 5-hour or weekly allowance becomes available again. Updated reset times replace older alerts automatically.</source>
        <translation>Quotamind benachrichtigt Sie, sobald das 5-Stunden- oder Wochenkontingent eines Agenten wieder verfügbar ist. Geänderte Zeitpunkte der Zurücksetzung ersetzen ältere Benachrichtigungen automatisch.</translation>
    </message>
    <message>
        <source>Notify at Usage Thresholds</source>
        <translation>Bei Nutzungsschwellen benachrichtigen</translation>
    </message>
    <message>
        <source>Thresholds (% used)</source>
        <translation>Schwellen (% genutzt)</translation>
    </message>
    <message>
        <source>Once per window and reset, when its use first reaches each threshold.</source>
        <translation>Einmal je Zeitfenster und Zurücksetzung, sobald die Nutzung eine Schwelle erstmals erreicht.</translation>
    </message>
    <message>
        <source>This Computer</source>
        <translation>Dieser Computer</translation>
    </message>
    <message>
        <source>Launch at Login</source>
        <translation>Beim Anmelden starten</translation>
    </message>
    <message>
        <source>Keep Quotamind running so your iPhone and widgets can receive fresh local snapshots.</source>
        <translation>Lassen Sie Quotamind laufen, damit Ihr iPhone und die Widgets aktuelle Daten aus dem lokalen Netzwerk erhalten.</translation>
    </message>
    <message>
        <source>Sign Out of Quotamind</source>
        <translation>Von Quotamind abmelden</translation>
    </message>
    <message>
        <source>Widget</source>
        <translation>Widget</translation>
    </message>
    <message>
        <source>Use “Quotamind — Custom” to choose an agent and limit.</source>
        <translation>Mit „Quotamind — Angepasst“ wählen Sie einen Agenten und ein Limit.</translation>
    </message>
    <message>
        <source>Updates to iPhone</source>
        <translation>Aktualisierungen für das iPhone</translation>
    </message>
    <message>
        <source>Enabled automatically</source>
        <translation>Automatisch aktiviert</translation>
    </message>
    <message>
        <source>Waiting for iPhone</source>
        <translation>Warten auf iPhone</translation>
    </message>
    <message>
        <source>Delivery</source>
        <translation>Übertragung</translation>
    </message>
    <message>
        <source>Live changes on the same network</source>
        <translation>Änderungen sofort im selben Netzwerk</translation>
    </message>
    <message>
        <source>Last data sent</source>
        <translation>Zuletzt gesendet</translation>
    </message>
    <message>
        <source>Not sent yet</source>
        <translation>Noch nicht gesendet</translation>
    </message>
    <message>
        <source>No setup is required. Codex changes are detected through one persistent session, normally within a few seconds while this computer is active, and sent immediately to the iPhone while it is on the same network as this computer. When it is away, it receives the latest limits as soon as it connects again.</source>
        <translation>Keine Einrichtung nötig. Änderungen bei Codex werden über eine dauerhafte Sitzung erkannt, meist innerhalb weniger Sekunden, solange dieser Computer aktiv ist, und sofort an das iPhone gesendet, solange es sich im selben Netzwerk wie dieser Computer befindet. Ist es unterwegs, erhält es die neuesten Limits, sobald es sich wieder verbindet.</translation>
    </message>
    <message>
        <source>MMM d, h:mm AP</source>
        <extracomment>How the settings write an instant (QDateTime format): &quot;Jan 5, 3:07 PM&quot; in English.</extracomment>
        <translation>d. MMM, HH:mm</translation>
    </message>
    <message>
        <source>MMM d, h:mm:ss AP</source>
        <extracomment>The same with seconds: &quot;Jan 5, 3:07:09 PM&quot; in English.</extracomment>
        <translation>d. MMM, HH:mm:ss</translation>
    </message>
</context>
<context>
    <name>Autostart</name>
    <message>
        <source>Launch at login could not be changed: %1</source>
        <translation>„Beim Anmelden starten“ konnte nicht geändert werden: %1</translation>
    </message>
    <message>
        <source>the autostart folder cannot be created</source>
        <translation>Der Autostart-Ordner kann nicht angelegt werden</translation>
    </message>
</context>
<context>
    <name>AvahiConnection</name>
    <message>
        <source>The Avahi daemon (avahi-daemon) is not running.</source>
        <translation>Der Avahi-Dienst (avahi-daemon) läuft nicht.</translation>
    </message>
</context>
<context>
    <name>ClaudeUsageClientError</name>
    <message>
        <source>Claude usage request failed with HTTP %1.</source>
        <translation>Die Abfrage der Claude-Nutzung ist mit HTTP %1 fehlgeschlagen.</translation>
    </message>
    <message>
        <source>Claude Code is not signed in on this computer. Run `claude login`.</source>
        <translation>Claude Code ist auf diesem Computer nicht angemeldet. Führen Sie `claude login` aus.</translation>
    </message>
    <message>
        <source>The local Claude Code session could not be read. Run `claude login` again.</source>
        <translation>Die lokale Sitzung von Claude Code konnte nicht gelesen werden. Führen Sie `claude login` erneut aus.</translation>
    </message>
    <message>
        <source>Unlock the keyring so Quotamind can read “Claude Code-credentials”, then refresh.</source>
        <translation>Entsperren Sie den Schlüsselbund, damit Quotamind „Claude Code-credentials“ lesen kann, und aktualisieren Sie dann.</translation>
    </message>
    <message>
        <source>The Claude Code session has expired. Run `claude login`, then refresh.</source>
        <translation>Die Sitzung von Claude Code ist abgelaufen. Führen Sie `claude login` aus und aktualisieren Sie dann.</translation>
    </message>
    <message>
        <source>Claude rejected the local session. Run `claude login`, then refresh.</source>
        <translation>Claude hat die lokale Sitzung abgelehnt. Führen Sie `claude login` aus und aktualisieren Sie dann.</translation>
    </message>
    <message>
        <source>Claude usage is temporarily rate limited. Try refreshing in a few minutes.</source>
        <translation>Abfragen der Claude-Nutzung sind vorübergehend begrenzt. Aktualisieren Sie in einigen Minuten erneut.</translation>
    </message>
    <message>
        <source>Claude returned no 5-hour or weekly limit for this account.</source>
        <translation>Claude hat für dieses Konto weder ein 5-Stunden- noch ein Wochenlimit geliefert.</translation>
    </message>
    <message>
        <source>Claude returned an unsupported usage response.</source>
        <translation>Claude hat eine nicht unterstützte Antwort zur Nutzung geliefert.</translation>
    </message>
</context>
<context>
    <name>CloudWakeError</name>
    <message>
        <source>This build is missing its iCloud entitlement. Update the development provisioning profile to enable automatic iPhone wake-ups.</source>
        <translation>Diesem Build fehlt die iCloud-Berechtigung. Aktualisieren Sie das Provisioning-Profil für die Entwicklung, um das automatische Aufwecken des iPhones zu aktivieren.</translation>
    </message>
    <message>
        <source>CloudKit did not return a result for the wake channel.</source>
        <translation>CloudKit hat kein Ergebnis für den Weckkanal geliefert.</translation>
    </message>
    <message>
        <source>iCloud is temporarily unavailable. Automatic wake-ups will retry later.</source>
        <translation>iCloud ist vorübergehend nicht verfügbar. Das automatische Aufwecken wird später erneut versucht.</translation>
    </message>
    <message>
        <source>iCloud access is restricted on this device.</source>
        <translation>Der Zugriff auf iCloud ist auf diesem Gerät eingeschränkt.</translation>
    </message>
    <message>
        <source>Sign in to iCloud on this device to enable automatic iPhone wake-ups.</source>
        <translation>Melden Sie sich auf diesem Gerät bei iCloud an, um das automatische Aufwecken des iPhones zu aktivieren.</translation>
    </message>
    <message>
        <source>iCloud is unavailable on this device.</source>
        <translation>iCloud ist auf diesem Gerät nicht verfügbar.</translation>
    </message>
</context>
<context>
    <name>CodexAppServerError</name>
    <message>
        <source>Install or update Codex on this computer to use its current sign-in.</source>
        <translation>Installieren oder aktualisieren Sie Codex auf diesem Computer, um dessen aktuelle Anmeldung zu nutzen.</translation>
    </message>
    <message>
        <source>The installed Codex copy could not be verified.</source>
        <translation>Die installierte Kopie von Codex konnte nicht überprüft werden.</translation>
    </message>
    <message>
        <source>Codex could not be started.</source>
        <translation>Codex konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>Codex did not respond in time.</source>
        <translation>Codex hat nicht rechtzeitig geantwortet.</translation>
    </message>
    <message>
        <source>Codex closed the connection before returning usage.</source>
        <translation>Codex hat die Verbindung geschlossen, bevor es die Nutzung geliefert hat.</translation>
    </message>
    <message>
        <source>Codex returned an unsupported response.</source>
        <translation>Codex hat eine nicht unterstützte Antwort geliefert.</translation>
    </message>
    <message>
        <source>Codex could not load rate limits for the current account.</source>
        <translation>Codex konnte die Nutzungslimits des aktuellen Kontos nicht laden.</translation>
    </message>
    <message>
        <source>No Codex rate-limit window is available for this account.</source>
        <translation>Für dieses Konto ist kein Zeitfenster mit einem Nutzungslimit von Codex verfügbar.</translation>
    </message>
    <message>
        <source>Codex was stopped before it started.</source>
        <translation>Codex wurde beendet, bevor es gestartet war.</translation>
    </message>
    <message>
        <source>Codex did not start in time.</source>
        <translation>Codex ist nicht rechtzeitig gestartet.</translation>
    </message>
</context>
<context>
    <name>CodexAuthFileError</name>
    <message>
        <source>Codex is not signed in on this computer. Open Codex or run `codex login --device-auth`.</source>
        <translation>Codex ist auf diesem Computer nicht angemeldet. Öffnen Sie Codex oder führen Sie `codex login --device-auth` aus.</translation>
    </message>
    <message>
        <source>The local Codex session could not be read. Sign in to Codex again.</source>
        <translation>Die lokale Sitzung von Codex konnte nicht gelesen werden. Melden Sie sich erneut bei Codex an.</translation>
    </message>
</context>
<context>
    <name>CodexClientError</name>
    <message>
        <source>The ChatGPT sign-in is not in the keyring.</source>
        <translation>Die ChatGPT-Anmeldung ist nicht im Schlüsselbund.</translation>
    </message>
    <message>
        <source>No keyring is available on this computer to keep the ChatGPT sign-in.</source>
        <translation>Auf diesem Computer ist kein Schlüsselbund verfügbar, der die ChatGPT-Anmeldung aufbewahren könnte.</translation>
    </message>
    <message>
        <source>The keyring is locked or refused access to the ChatGPT sign-in. Unlock it, then try again.</source>
        <translation>Der Schlüsselbund ist gesperrt oder hat den Zugriff auf die ChatGPT-Anmeldung verweigert. Entsperren Sie ihn und versuchen Sie es erneut.</translation>
    </message>
    <message>
        <source>The keyring was not unlocked, so the ChatGPT sign-in could not be used.</source>
        <translation>Der Schlüsselbund wurde nicht entsperrt, daher konnte die ChatGPT-Anmeldung nicht verwendet werden.</translation>
    </message>
    <message>
        <source>The keyring could not read or store the ChatGPT sign-in. Try again.</source>
        <translation>Der Schlüsselbund konnte die ChatGPT-Anmeldung nicht lesen oder speichern. Versuchen Sie es erneut.</translation>
    </message>
    <message>
        <source>OpenAI request failed (HTTP %1).</source>
        <translation>Die Anfrage an OpenAI ist fehlgeschlagen (HTTP %1).</translation>
    </message>
    <message>
        <source>Sign in with ChatGPT to load Codex usage.</source>
        <translation>Melden Sie sich mit ChatGPT an, um die Nutzung von Codex zu laden.</translation>
    </message>
    <message>
        <source>OpenAI returned an invalid response.</source>
        <translation>OpenAI hat eine ungültige Antwort geliefert.</translation>
    </message>
    <message>
        <source>The sign-in code expired. Start again.</source>
        <translation>Der Anmeldecode ist abgelaufen. Beginnen Sie erneut.</translation>
    </message>
    <message>
        <source>No Codex rate-limit window is available for this account.</source>
        <translation>Für dieses Konto ist kein Zeitfenster mit einem Nutzungslimit von Codex verfügbar.</translation>
    </message>
</context>
<context>
    <name>DeviceSignInView</name>
    <message>
        <source>Copy Code</source>
        <translation>Code kopieren</translation>
    </message>
    <message>
        <source>Open Sign-In</source>
        <translation>Anmeldung öffnen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Sign in with ChatGPT</source>
        <translation>Mit ChatGPT anmelden</translation>
    </message>
    <message>
        <source>Open the sign-in page and enter this one-time code.</source>
        <translation>Öffnen Sie die Anmeldeseite und geben Sie diesen Einmalcode ein.</translation>
    </message>
    <message>
        <source>Waiting for authorization…</source>
        <translation>Warten auf Autorisierung …</translation>
    </message>
    <message>
        <source>One-time code %1</source>
        <translation>Einmalcode %1</translation>
    </message>
</context>
<context>
    <name>DnsSdResolver</name>
    <message>
        <source>The service was not found.</source>
        <translation>Der Dienst wurde nicht gefunden.</translation>
    </message>
</context>
<context>
    <name>Error</name>
    <message>
        <source>The data couldn’t be read because it isn’t in the correct format.</source>
        <translation>Die Daten konnten nicht gelesen werden, da sie nicht das richtige Format haben.</translation>
    </message>
    <message>
        <source>The data couldn’t be written because it isn’t valid.</source>
        <translation>Die Daten konnten nicht geschrieben werden, da sie ungültig sind.</translation>
    </message>
    <message>
        <source>Unknown error</source>
        <translation>Unbekannter Fehler</translation>
    </message>
</context>
<context>
    <name>FileReadError</name>
    <message>
        <source>The file “%1” couldn’t be read: %2.</source>
        <translation>Die Datei „%1“ konnte nicht gelesen werden: %2.</translation>
    </message>
</context>
<context>
    <name>FileSecretStore</name>
    <message>
        <source>The secret file could not be read: %1.</source>
        <translation>Die Geheimnisdatei konnte nicht gelesen werden: %1.</translation>
    </message>
    <message>
        <source>The secret file could not be written: %1.</source>
        <translation>Die Geheimnisdatei konnte nicht geschrieben werden: %1.</translation>
    </message>
    <message>
        <source>The secret file could not be removed: %1.</source>
        <translation>Die Geheimnisdatei konnte nicht entfernt werden: %1.</translation>
    </message>
</context>
<context>
    <name>FreedesktopNotificationCenter</name>
    <message>
        <source>There is no session bus to show notifications on.</source>
        <translation>Es gibt keinen Sitzungsbus, über den Benachrichtigungen angezeigt werden könnten.</translation>
    </message>
    <message>
        <source>Open Quotamind</source>
        <translation>Quotamind öffnen</translation>
    </message>
</context>
<context>
    <name>GalleryWindow</name>
    <message>
        <source>Add Widget</source>
        <translation>Widget hinzufügen</translation>
    </message>
    <message>
        <source>Place this widget on the desktop</source>
        <translation>Dieses Widget auf der Arbeitsfläche platzieren</translation>
    </message>
</context>
<context>
    <name>HistoryCommand</name>
    <message>
        <source>With history: how far back, such as 90m, 24h or 7d (default 7d).</source>
        <translation>Mit history: wie weit zurück, etwa 90m, 24h oder 7d (Standard: 7d).</translation>
    </message>
    <message>
        <source>With history: only this agent (codex or claude).</source>
        <translation>Mit history: nur dieser Agent (codex oder claude).</translation>
    </message>
    <message>
        <source>With history: print comma-separated values.</source>
        <translation>Mit history: kommagetrennte Werte ausgeben.</translation>
    </message>
    <message>
        <source>With history: print the pace forecasts of the stored limits instead.</source>
        <translation>Mit history: stattdessen die Prognosen zum Verbrauchstempo der gespeicherten Limits ausgeben.</translation>
    </message>
    <message>
        <source>--since takes a time such as 90m, 24h or 7d.</source>
        <translation>--since erwartet eine Zeitspanne wie 90m, 24h oder 7d.</translation>
    </message>
    <message>
        <source>--agent takes codex or claude.</source>
        <translation>--agent erwartet codex oder claude.</translation>
    </message>
    <message>
        <source>No usage history is kept yet. Start Quotamind (quotamind --headless) and try again once it has read the limits.</source>
        <translation>Es wird noch kein Nutzungsverlauf geführt. Starten Sie Quotamind (quotamind --headless) und versuchen Sie es erneut, sobald es die Limits gelesen hat.</translation>
    </message>
</context>
<context>
    <name>HistoryExport</name>
    <message>
        <source>%1  %2  %3  %4% used  resets %5</source>
        <extracomment>One line of `quotamind history`: the time, the agent, the window, the used percent and the reset time.</extracomment>
        <translation>%1  %2  %3  %4&#xa0;% genutzt  Zurücksetzung %5</translation>
    </message>
</context>
<context>
    <name>HistoryWindow</name>
    <message>
        <source>No history yet. Quotamind keeps every reading of the limits from now on.</source>
        <translation>Noch kein Verlauf. Quotamind speichert ab jetzt jeden Messwert der Limits.</translation>
    </message>
    <message>
        <source>History</source>
        <translation>Verlauf</translation>
    </message>
    <message>
        <source>24 Hours</source>
        <translation>24 Stunden</translation>
    </message>
    <message>
        <source>7 Days</source>
        <translation>7 Tage</translation>
    </message>
    <message>
        <source>30 Days</source>
        <translation>30 Tage</translation>
    </message>
    <message>
        <source>%1: used percent over the last 24 hours</source>
        <translation>%1: genutzter Anteil in den letzten 24 Stunden</translation>
    </message>
    <message>
        <source>%1: used percent over the last 7 days</source>
        <translation>%1: genutzter Anteil in den letzten 7 Tagen</translation>
    </message>
    <message>
        <source>%1: used percent over the last 30 days</source>
        <translation>%1: genutzter Anteil in den letzten 30 Tagen</translation>
    </message>
    <message>
        <source>%1 %2 limit</source>
        <translation>%1-Limit (%2)</translation>
    </message>
    <message>
        <source>Used percent</source>
        <translation>Genutzter Anteil</translation>
    </message>
    <message>
        <source>Resets</source>
        <translation>Zurücksetzungen</translation>
    </message>
    <message>
        <source>MMM d</source>
        <extracomment>The date under the 7- and 30-day charts (QDateTime format): the month&apos;s short name and the day.</extracomment>
        <translation>d. MMM</translation>
    </message>
    <message numerus="yes">
        <source>%n reading(s), %1</source>
        <translation>
            <numerusform>%n Messwert, %1</numerusform>
            <numerusform>%n Messwerte, %1</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n reset(s)</source>
        <translation>
            <numerusform>%n Zurücksetzung</numerusform>
            <numerusform>%n Zurücksetzungen</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>LanConnectionState</name>
    <message>
        <source>Starting local pairing…</source>
        <translation>Lokale Kopplung wird gestartet …</translation>
    </message>
    <message>
        <source>Ready to pair</source>
        <translation>Bereit zum Koppeln</translation>
    </message>
    <message>
        <source>iPhone connected</source>
        <translation>iPhone verbunden</translation>
    </message>
    <message>
        <source>Local pairing unavailable</source>
        <translation>Lokale Kopplung nicht verfügbar</translation>
    </message>
</context>
<context>
    <name>LanPairingError</name>
    <message>
        <source>This QR code is not an Quotamind pairing code.</source>
        <translation>Dieser QR-Code ist kein Kopplungscode von Quotamind.</translation>
    </message>
    <message>
        <source>Local pairing could not be started.</source>
        <translation>Die lokale Kopplung konnte nicht gestartet werden.</translation>
    </message>
</context>
<context>
    <name>LanPairingServer</name>
    <message>
        <source>Pairing code was rejected.</source>
        <translation>Der Kopplungscode wurde abgelehnt.</translation>
    </message>
    <message>
        <source>Invalid pairing message.</source>
        <translation>Ungültige Kopplungsnachricht.</translation>
    </message>
</context>
<context>
    <name>LimitControls</name>
    <message>
        <source>Refresh</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Refresh Quotamind</source>
        <translation>Quotamind aktualisieren</translation>
    </message>
    <message>
        <source>History</source>
        <translation>Verlauf</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
</context>
<context>
    <name>LimitMeterView</name>
    <message>
        <source>Waiting for limits</source>
        <translation>Warten auf Limits</translation>
    </message>
    <message>
        <source>%</source>
        <translation>%</translation>
    </message>
    <message>
        <source>remaining</source>
        <translation>verbleibend</translation>
    </message>
    <message>
        <source>%1 limit is unavailable.</source>
        <translation>Das Limit von %1 ist nicht verfügbar.</translation>
    </message>
    <message>
        <source>%1 %2 limit. Reset, checking the new allowance.</source>
        <translation>%1-Limit (%2). Zurückgesetzt, das neue Kontingent wird geprüft.</translation>
    </message>
    <message>
        <source>%1 %2 limit. %3 percent remaining. %4.</source>
        <translation>%1-Limit (%2). %3 Prozent verbleibend. %4.</translation>
    </message>
</context>
<context>
    <name>LimitNotificationManager</name>
    <message>
        <source>%1 limit restored</source>
        <translation>Limit von %1 wiederhergestellt</translation>
    </message>
    <message>
        <source>Your 5-hour limit is available again.</source>
        <translation>Ihr 5-Stunden-Limit ist wieder verfügbar.</translation>
    </message>
    <message>
        <source>Your weekly limit is available again.</source>
        <translation>Ihr Wochenlimit ist wieder verfügbar.</translation>
    </message>
    <message>
        <source>On</source>
        <translation>Ein</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Aus</translation>
    </message>
    <message>
        <source>Off in System Settings</source>
        <translation>In den Systemeinstellungen ausgeschaltet</translation>
    </message>
    <message>
        <source>Not set up</source>
        <translation>Nicht eingerichtet</translation>
    </message>
    <message>
        <source>Unavailable</source>
        <translation>Nicht verfügbar</translation>
    </message>
</context>
<context>
    <name>NetworkError</name>
    <message>
        <source>The request timed out.</source>
        <translation>Die Zeit für die Anfrage ist abgelaufen.</translation>
    </message>
    <message>
        <source>The response is too large.</source>
        <translation>Die Antwort ist zu groß.</translation>
    </message>
</context>
<context>
    <name>PaceForecast</name>
    <message>
        <source>At this pace: lasts until the reset</source>
        <translation>Bei diesem Tempo: reicht bis zur Zurücksetzung</translation>
    </message>
    <message>
        <source>At this pace: limit reached in %1, %2 before the reset</source>
        <translation>Bei diesem Tempo: Limit in %1 erreicht, %2 vor der Zurücksetzung</translation>
    </message>
</context>
<context>
    <name>PairingCommand</name>
    <message>
        <source>Scan this code with Quotamind on the iPhone (or pass the text to quotamind-phone). It lets a phone on this network read your limits: keep it to yourself.</source>
        <translation>Scannen Sie diesen Code mit Quotamind auf dem iPhone (oder übergeben Sie den Text an quotamind-phone). Mit ihm kann ein Telefon in diesem Netzwerk Ihre Limits lesen: Geben Sie ihn nicht weiter.</translation>
    </message>
</context>
<context>
    <name>PairingQrCodeView</name>
    <message>
        <source>QR code for pairing an iPhone</source>
        <translation>QR-Code zum Koppeln eines iPhones</translation>
    </message>
</context>
<context>
    <name>PairingQrView</name>
    <message>
        <source>Connect your iPhone</source>
        <translation>iPhone verbinden</translation>
    </message>
    <message>
        <source>Scan once. Your limits stay on the local network.</source>
        <translation>Einmal scannen. Ihre Limits bleiben im lokalen Netzwerk.</translation>
    </message>
    <message>
        <source>Open Quotamind on iPhone and tap “Scan QR Code”.</source>
        <translation>Öffnen Sie Quotamind auf dem iPhone und tippen Sie auf „Scan QR Code“.</translation>
    </message>
</context>
<context>
    <name>PhoneConnectedView</name>
    <message>
        <source>iPhone Connected</source>
        <translation>iPhone verbunden</translation>
    </message>
    <message>
        <source>Limits stream to your iPhone over the local network.</source>
        <translation>Die Limits werden über das lokale Netzwerk laufend an Ihr iPhone übertragen.</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Verbunden</translation>
    </message>
    <message>
        <source>Disconnect iPhone</source>
        <translation>iPhone trennen</translation>
    </message>
    <message>
        <source>This computer forgets the phone and shows a new pairing code.</source>
        <translation>Dieser Computer vergisst das Telefon und zeigt einen neuen Kopplungscode an.</translation>
    </message>
</context>
<context>
    <name>PhoneLink</name>
    <message>
        <source>Pair an iPhone first.</source>
        <translation>Koppeln Sie zuerst ein iPhone.</translation>
    </message>
</context>
<context>
    <name>PhonePeer</name>
    <message>
        <source>The computer closed the connection without admitting this phone.</source>
        <translation>Der Computer hat die Verbindung geschlossen, ohne dieses Telefon zuzulassen.</translation>
    </message>
    <message>
        <source>The computer did not answer in time.</source>
        <translation>Der Computer hat nicht rechtzeitig geantwortet.</translation>
    </message>
    <message>
        <source>Unknown command “%1”: use refresh, deviceToken TOKEN [ENVIRONMENT] or quit.</source>
        <translation>Unbekannter Befehl „%1“: Verwenden Sie refresh, deviceToken TOKEN [ENVIRONMENT] oder quit.</translation>
    </message>
    <message>
        <source>Not connected.</source>
        <translation>Nicht verbunden.</translation>
    </message>
</context>
<context>
    <name>ProviderLimitPane</name>
    <message>
        <source>Loading %1 limits…</source>
        <translation>Limits von %1 werden geladen …</translation>
    </message>
    <message>
        <source>Quotamind is reading the signed-in %1 session on this computer.</source>
        <translation>Quotamind liest die angemeldete Sitzung von %1 auf diesem Computer.</translation>
    </message>
</context>
<context>
    <name>ProviderSwitcher</name>
    <message>
        <source>Agent</source>
        <translation>Agent</translation>
    </message>
</context>
<context>
    <name>PseudoTerminal</name>
    <message>
        <source>Could not open a pseudo-terminal: %1</source>
        <translation>Ein Pseudo-Terminal konnte nicht geöffnet werden: %1</translation>
    </message>
    <message>
        <source>Could not start %1: %2</source>
        <translation>%1 konnte nicht gestartet werden: %2</translation>
    </message>
    <message>
        <source>Could not enter the folder %1: %2</source>
        <translation>In den Ordner %1 konnte nicht gewechselt werden: %2</translation>
    </message>
    <message>
        <source>Could not attach %1 to its terminal: %2</source>
        <translation>%1 konnte nicht mit seinem Terminal verbunden werden: %2</translation>
    </message>
    <message>
        <source>Could not run %1: %2</source>
        <translation>%1 konnte nicht ausgeführt werden: %2</translation>
    </message>
</context>
<context>
    <name>QuotamindWidget</name>
    <message>
        <source>Quotamind</source>
        <translation>Quotamind</translation>
    </message>
    <message>
        <source>See the current agent allowance and reset time.</source>
        <translation>Zeigt das aktuelle Kontingent des Agenten und den Zeitpunkt der Zurücksetzung.</translation>
    </message>
    <message>
        <source>Quotamind — Custom</source>
        <translation>Quotamind — Angepasst</translation>
    </message>
    <message>
        <source>See the selected agent allowance and reset time.</source>
        <translation>Zeigt das Kontingent des gewählten Agenten und den Zeitpunkt der Zurücksetzung.</translation>
    </message>
    <message>
        <source>Quotamind — Both Limits</source>
        <translation>Quotamind — Beide Limits</translation>
    </message>
    <message>
        <source>See the 5-hour and weekly limits side by side.</source>
        <translation>Zeigt das 5-Stunden- und das Wochenlimit nebeneinander.</translation>
    </message>
    <message>
        <source>5-hour limit</source>
        <translation>5-Stunden-Limit</translation>
    </message>
    <message>
        <source>Weekly limit</source>
        <translation>Wochenlimit</translation>
    </message>
    <message>
        <source>Agent</source>
        <translation>Agent</translation>
    </message>
    <message>
        <source>Limit</source>
        <translation>Limit</translation>
    </message>
    <message>
        <source>Show %1 for %2</source>
        <translation>%1 für %2 anzeigen</translation>
    </message>
    <message>
        <source>Both Quotamind</source>
        <translation>Quotamind (beide Limits)</translation>
    </message>
    <message>
        <source>Show both limits for %1</source>
        <translation>Beide Limits für %1 anzeigen</translation>
    </message>
    <message numerus="yes">
        <source>%Ln day(s) ago</source>
        <translation>
            <numerusform>vor %Ln Tag</numerusform>
            <numerusform>vor %Ln Tagen</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln hour(s) ago</source>
        <translation>
            <numerusform>vor %Ln Stunde</numerusform>
            <numerusform>vor %Ln Stunden</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln minute(s) ago</source>
        <translation>
            <numerusform>vor %Ln Minute</numerusform>
            <numerusform>vor %Ln Minuten</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln second(s) ago</source>
        <translation>
            <numerusform>vor %Ln Sekunde</numerusform>
            <numerusform>vor %Ln Sekunden</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 %2 limit</source>
        <translation>%1-Limit (%2)</translation>
    </message>
    <message>
        <source>%1 percent remaining</source>
        <translation>%1 Prozent verbleibend</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Zurückgesetzt</translation>
    </message>
    <message>
        <source>Checking…</source>
        <translation>Wird geprüft …</translation>
    </message>
    <message>
        <source>Plan</source>
        <translation>Tarif</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>Quelle</translation>
    </message>
    <message>
        <source>Updated</source>
        <translation>Aktualisiert</translation>
    </message>
    <message>
        <source>Not available</source>
        <translation>Nicht verfügbar</translation>
    </message>
    <message>
        <source>This agent doesn&apos;t report a %1 limit</source>
        <translation>Dieser Agent meldet kein Limit für %1</translation>
    </message>
    <message>
        <source>%1 %2 limit is not available</source>
        <translation>%1-Limit (%2) ist nicht verfügbar</translation>
    </message>
    <message>
        <source>Open Quotamind</source>
        <translation>Quotamind öffnen</translation>
    </message>
    <message>
        <source>Connect your computer to show usage</source>
        <translation>Verbinden Sie Ihren Computer, um die Nutzung anzuzeigen</translation>
    </message>
    <message>
        <source>Connect or sync usage from your computer.</source>
        <translation>Verbinden Sie Ihren Computer oder gleichen Sie die Nutzung von ihm ab.</translation>
    </message>
    <message>
        <source>%1 allowance remaining, being checked</source>
        <translation>Verbleibendes Kontingent von %1, wird geprüft</translation>
    </message>
    <message>
        <source>%1 allowance remaining, %2 percent</source>
        <translation>Verbleibendes Kontingent von %1, %2 Prozent</translation>
    </message>
    <message>
        <source>Stale</source>
        <translation>Veraltet</translation>
    </message>
    <message>
        <source>This computer</source>
        <translation>Dieser Computer</translation>
    </message>
    <message>
        <source>Account</source>
        <translation>Konto</translation>
    </message>
    <message>
        <source>Computer sync</source>
        <translation>Abgleich vom Computer</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Vorschau</translation>
    </message>
</context>
<context>
    <name>SecretServiceStore</name>
    <message>
        <source>The keyring did not answer in time.</source>
        <translation>Der Schlüsselbund hat nicht rechtzeitig geantwortet.</translation>
    </message>
</context>
<context>
    <name>SignedOutLimitView</name>
    <message>
        <source>Sign in with ChatGPT</source>
        <translation>Mit ChatGPT anmelden</translation>
    </message>
    <message>
        <source>Check Again</source>
        <translation>Erneut prüfen</translation>
    </message>
    <message>
        <source>Connect %1 on this computer</source>
        <translation>%1 auf diesem Computer verbinden</translation>
    </message>
    <message>
        <source>The iPhone receives limits after this computer has a Codex or ChatGPT session.</source>
        <translation>Das iPhone erhält Limits, sobald dieser Computer eine Sitzung bei Codex oder ChatGPT hat.</translation>
    </message>
    <message>
        <source>Sign in with Claude Code on this computer using `claude login`, then refresh.</source>
        <translation>Melden Sie sich auf diesem Computer mit `claude login` bei Claude Code an und aktualisieren Sie dann.</translation>
    </message>
</context>
<context>
    <name>StatusReport</name>
    <message>
        <source>Waiting for limits</source>
        <translation>Warten auf Limits</translation>
    </message>
    <message>
        <source>%1% remaining</source>
        <translation>%1&#xa0;% verbleibend</translation>
    </message>
</context>
<context>
    <name>SyncStatusIcon</name>
    <message>
        <source>iPhone connected</source>
        <translation>iPhone verbunden</translation>
    </message>
    <message>
        <source>iPhone not paired</source>
        <translation>iPhone nicht gekoppelt</translation>
    </message>
</context>
<context>
    <name>ThresholdAlerts</name>
    <message>
        <source>%1 %2 limit at %3%</source>
        <translation>%1-Limit (%2) bei %3&#xa0;%</translation>
    </message>
    <message>
        <source>%1% remaining. %2</source>
        <translation>%1&#xa0;% verbleibend. %2</translation>
    </message>
</context>
<context>
    <name>TrayController</name>
    <message>
        <source>Show Limits</source>
        <translation>Limits anzeigen</translation>
    </message>
    <message>
        <source>Open Quotamind</source>
        <translation>Quotamind öffnen</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>History</source>
        <translation>Verlauf</translation>
    </message>
    <message>
        <source>Settings…</source>
        <translation>Einstellungen …</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Quotamind: waiting for limits</source>
        <translation>Quotamind: Warten auf Limits</translation>
    </message>
    <message>
        <source>%1: %2, %3</source>
        <translation>%1: %2, %3</translation>
    </message>
    <message>
        <source>%1% remaining for 5 hours</source>
        <translation>%1&#xa0;% für 5 Stunden verbleibend</translation>
    </message>
    <message>
        <source>5-hour limit reset, checking…</source>
        <translation>5-Stunden-Limit zurückgesetzt, wird geprüft …</translation>
    </message>
    <message>
        <source>%1% remaining for the week</source>
        <translation>%1&#xa0;% für die Woche verbleibend</translation>
    </message>
    <message>
        <source>weekly limit reset, checking…</source>
        <translation>Wochenlimit zurückgesetzt, wird geprüft …</translation>
    </message>
    <message>
        <source>%1: %2% remaining for %3</source>
        <translation>%1: %2&#xa0;% verbleibend für %3</translation>
    </message>
    <message>
        <source>%1: %2 limit reset, checking…</source>
        <translation>%1: Limit (%2) zurückgesetzt, wird geprüft …</translation>
    </message>
</context>
<context>
    <name>TrayPopup</name>
    <message>
        <source>Refresh Quotamind</source>
        <translation>Quotamind aktualisieren</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Quit Quotamind</source>
        <translation>Quotamind beenden</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Open Quotamind to connect Codex or Claude.</source>
        <translation>Öffnen Sie Quotamind, um Codex oder Claude zu verbinden.</translation>
    </message>
    <message>
        <source>Open Quotamind</source>
        <translation>Quotamind öffnen</translation>
    </message>
</context>
<context>
    <name>TrayProgramPresence</name>
    <message>
        <source>Quotamind keeps running</source>
        <translation>Quotamind läuft weiter</translation>
    </message>
    <message>
        <source>There is no tray on this desktop. Start Quotamind again to show its window.</source>
        <translation>Diese Arbeitsumgebung hat keinen Systemabschnitt. Starten Sie Quotamind erneut, um sein Fenster anzuzeigen.</translation>
    </message>
</context>
<context>
    <name>UsageHistory</name>
    <message>
        <source>The usage history could not be read. It was moved aside to %1 and a new one started.</source>
        <translation>Der Nutzungsverlauf konnte nicht gelesen werden. Er wurde nach %1 verschoben und ein neuer begonnen.</translation>
    </message>
    <message>
        <source>The usage history could not be read.</source>
        <translation>Der Nutzungsverlauf konnte nicht gelesen werden.</translation>
    </message>
    <message>
        <source>The disk is full: the usage history is paused.</source>
        <translation>Der Datenträger ist voll: Der Nutzungsverlauf ist angehalten.</translation>
    </message>
    <message>
        <source>The usage history was written by a newer Quotamind.</source>
        <translation>Der Nutzungsverlauf wurde von einer neueren Version von Quotamind geschrieben.</translation>
    </message>
    <message>
        <source>The usage history could not be saved.</source>
        <translation>Der Nutzungsverlauf konnte nicht gespeichert werden.</translation>
    </message>
</context>
<context>
    <name>UsageSource</name>
    <message>
        <source>Local agent on this computer</source>
        <translation>Lokaler Agent auf diesem Computer</translation>
    </message>
    <message>
        <source>Account session on this computer</source>
        <translation>Kontositzung auf diesem Computer</translation>
    </message>
    <message>
        <source>Synced from computer</source>
        <translation>Vom Computer abgeglichen</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Vorschau</translation>
    </message>
</context>
<context>
    <name>UsageStore</name>
    <message>
        <source>The phone is updated while it is on the same network as this computer.</source>
        <translation>Das Telefon wird aktualisiert, solange es sich im selben Netzwerk wie dieser Computer befindet.</translation>
    </message>
</context>
<context>
    <name>UsageWindow</name>
    <message>
        <source>Reset · checking…</source>
        <translation>Zurückgesetzt · wird geprüft …</translation>
    </message>
    <message>
        <source>Resetting now</source>
        <translation>Wird jetzt zurückgesetzt</translation>
    </message>
    <message>
        <source>Resets in %1</source>
        <translation>Zurücksetzung in %1</translation>
    </message>
    <message>
        <source>%1d %2h</source>
        <translation>%1 Tg. %2 Std.</translation>
    </message>
    <message>
        <source>%1h %2m</source>
        <translation>%1 Std. %2 Min.</translation>
    </message>
    <message>
        <source>%1m</source>
        <translation>%1 Min.</translation>
    </message>
    <message>
        <source>%1D</source>
        <translation>%1 Tg.</translation>
    </message>
    <message>
        <source>%1H</source>
        <translation>%1 Std.</translation>
    </message>
    <message>
        <source>%1M</source>
        <translation>%1 Min.</translation>
    </message>
</context>
<context>
    <name>WidgetCommand</name>
    <message>
        <source>The agent to show.</source>
        <translation>Der anzuzeigende Agent.</translation>
    </message>
    <message>
        <source>fiveHour or weekly.</source>
        <translation>fiveHour oder weekly.</translation>
    </message>
    <message>
        <source>The time to show, in ISO 8601.</source>
        <translation>Der anzuzeigende Zeitpunkt, in ISO 8601.</translation>
    </message>
    <message>
        <source>Device pixels per point.</source>
        <translation>Gerätepixel pro Punkt.</translation>
    </message>
    <message>
        <source>Draw the dark appearance.</source>
        <translation>Das dunkle Erscheinungsbild zeichnen.</translation>
    </message>
    <message>
        <source>Usage: render KIND FAMILY [--agent ID] [--period fiveHour|weekly] [--at ISO8601] [--scale N] [--dark] OUTPUT.png</source>
        <translation>Aufruf: render KIND FAMILY [--agent ID] [--period fiveHour|weekly] [--at ISO8601] [--scale N] [--dark] OUTPUT.png</translation>
    </message>
    <message>
        <source>Usage: timeline KIND [--agent ID] [--period fiveHour|weekly] [--at ISO8601]</source>
        <translation>Aufruf: timeline KIND [--agent ID] [--period fiveHour|weekly] [--at ISO8601]</translation>
    </message>
    <message>
        <source>The family must be small or medium.</source>
        <translation>Die Größe (FAMILY) muss small oder medium sein.</translation>
    </message>
    <message>
        <source>The period must be fiveHour or weekly.</source>
        <translation>Der Zeitraum muss fiveHour oder weekly sein.</translation>
    </message>
    <message>
        <source>The time must be an ISO 8601 date and time with a zone, such as 2026-01-01T10:00:00Z.</source>
        <translation>Der Zeitpunkt muss ein Datum mit Uhrzeit und Zeitzone nach ISO 8601 sein, etwa 2026-01-01T10:00:00Z.</translation>
    </message>
    <message>
        <source>The scale must be a number above 0 and at most 8.</source>
        <translation>Die Skalierung muss eine Zahl größer als 0 und höchstens 8 sein.</translation>
    </message>
    <message>
        <source>Unknown widget kind “%1”. The kinds are: %2.</source>
        <translation>Unbekannte Widget-Art „%1“. Die Arten sind: %2.</translation>
    </message>
    <message>
        <source>The widget %1 has no %2 size.</source>
        <translation>Das Widget %1 gibt es nicht in der Größe %2.</translation>
    </message>
    <message>
        <source>Could not write %1.</source>
        <translation>%1 konnte nicht geschrieben werden.</translation>
    </message>
</context>
<context>
    <name>WidgetHost</name>
    <message>
        <source>No agents yet</source>
        <translation>Noch keine Agenten</translation>
    </message>
    <message>
        <source>Remove Widget</source>
        <translation>Widget entfernen</translation>
    </message>
    <message>
        <source>Add Widget…</source>
        <translation>Widget hinzufügen …</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
</context>
<context>
    <name>WidgetPlugin</name>
    <message>
        <source>The widget plugin %1 could not be loaded: %2</source>
        <translation>Das Widget-Modul %1 konnte nicht geladen werden: %2</translation>
    </message>
    <message>
        <source>it is not a Quotamind widget plugin</source>
        <translation>Es ist kein Widget-Modul von Quotamind</translation>
    </message>
    <message>
        <source>The widget plugin QuotamindWidget was not found in: %1</source>
        <translation>Das Widget-Modul QuotamindWidget wurde nicht gefunden in: %1</translation>
    </message>
</context>
<context>
    <name>deployment</name>
    <message>
        <source>%1 is not a usable origin: use an https URL, or http only for a loopback host (127.0.0.1, ::1, localhost).</source>
        <translation>%1 ist kein verwendbarer Ursprung: Verwenden Sie eine https-Adresse oder http nur für einen Loopback-Host (127.0.0.1, ::1, localhost).</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>No limits are stored yet. Start Quotamind (quotamind --headless) and try again once it has read them.</source>
        <translation>Es sind noch keine Limits gespeichert. Starten Sie Quotamind (quotamind --headless) und versuchen Sie es erneut, sobald es sie gelesen hat.</translation>
    </message>
    <message>
        <source>Quotamind is already running; it was asked to show itself.</source>
        <translation>Quotamind läuft bereits; es wurde gebeten, sich anzuzeigen.</translation>
    </message>
    <message>
        <source>Quotamind is already running but did not answer when asked to show itself.</source>
        <translation>Quotamind läuft bereits, hat aber auf die Bitte, sich anzuzeigen, nicht geantwortet.</translation>
    </message>
    <message>
        <source>No session bus: running without the single-instance guard.</source>
        <translation>Kein Sitzungsbus: Ausführung ohne Schutz vor mehreren Instanzen.</translation>
    </message>
    <message>
        <source>Shows how much of their usage limits Codex and Claude Code have left.</source>
        <translation>Zeigt, wie viel Codex und Claude Code von ihren Nutzungslimits noch übrig haben.</translation>
    </message>
    <message>
        <source>Nothing to run the program, `status` to print the stored limits, `history` to print the usage history, or `pairing` to show the phone pairing code.</source>
        <translation>Nichts, um das Programm auszuführen, `status`, um die gespeicherten Limits auszugeben, `history`, um den Nutzungsverlauf auszugeben, oder `pairing`, um den Kopplungscode für das Telefon anzuzeigen.</translation>
    </message>
    <message>
        <source>Run without tray icon and windows.</source>
        <translation>Ohne Symbol im Systemabschnitt und ohne Fenster ausführen.</translation>
    </message>
    <message>
        <source>Start in the tray without showing the window (as at login); the window still shows when no tray comes.</source>
        <translation>Im Systemabschnitt starten, ohne das Fenster anzuzeigen (wie beim Anmelden); erscheint kein Systemabschnitt, wird das Fenster trotzdem angezeigt.</translation>
    </message>
    <message>
        <source>With status: print the stored JSON. With history: print JSON.</source>
        <translation>Mit status: das gespeicherte JSON ausgeben. Mit history: JSON ausgeben.</translation>
    </message>
    <message>
        <source>With status: print one JSON object for status bars such as Waybar.</source>
        <translation>Mit status: ein JSON-Objekt für Statusleisten wie Waybar ausgeben.</translation>
    </message>
    <message>
        <source>Unknown command “%1”. See --help.</source>
        <translation>Unbekannter Befehl „%1“. Siehe --help.</translation>
    </message>
    <message>
        <source>No display: running without the tray icon. Read the limits with `quotamind status`.</source>
        <translation>Keine Anzeige: Ausführung ohne Symbol im Systemabschnitt. Lesen Sie die Limits mit `quotamind status`.</translation>
    </message>
    <message>
        <source>Shows Quotamind&apos;s usage limit widgets on the desktop.

Other hosts can run:
  render KIND FAMILY [--agent ID] [--period fiveHour|weekly] [--at ISO8601] [--scale N] [--dark] OUTPUT.png
  timeline KIND [--agent ID] [--period fiveHour|weekly] [--at ISO8601]</source>
        <translation>Zeigt die Widgets von Quotamind mit den Nutzungslimits auf der Arbeitsfläche.

Andere Hosts können Folgendes ausführen:
  render KIND FAMILY [--agent ID] [--period fiveHour|weekly] [--at ISO8601] [--scale N] [--dark] OUTPUT.png
  timeline KIND [--agent ID] [--period fiveHour|weekly] [--at ISO8601]</translation>
    </message>
    <message>
        <source>No display to show widgets on. Without one, use the render or timeline command (see --help).</source>
        <translation>Keine Anzeige, auf der Widgets erscheinen könnten. Verwenden Sie ohne Anzeige den Befehl render oder timeline (siehe --help).</translation>
    </message>
    <message>
        <source>Quotamind Widgets is already running. Right-click one of its widgets to add another.</source>
        <translation>Quotamind Widgets läuft bereits. Klicken Sie mit der rechten Maustaste auf eines seiner Widgets, um ein weiteres hinzuzufügen.</translation>
    </message>
    <message>
        <source>Quotamind Widgets</source>
        <translation>Quotamind Widgets</translation>
    </message>
    <message>
        <source>No session bus: widgets follow their timelines but not Quotamind&apos;s reload requests.</source>
        <translation>Kein Sitzungsbus: Die Widgets folgen ihren Zeitleisten, aber nicht den Aktualisierungsanfragen von Quotamind.</translation>
    </message>
</context>
<context>
    <name>quotamind-phone</name>
    <message>
        <source>Pairs with Quotamind on this network as a phone would, and prints every message it receives as one JSON line. Commands on standard input: refresh, deviceToken TOKEN [ENVIRONMENT], quit.</source>
        <translation>Koppelt sich wie ein Telefon mit Quotamind in diesem Netzwerk und gibt jede empfangene Nachricht als eine JSON-Zeile aus. Befehle auf der Standardeingabe: refresh, deviceToken TOKEN [ENVIRONMENT], quit.</translation>
    </message>
    <message>
        <source>The pairing code: the QR text that `quotamind pairing` prints (quotamind://pair?v=1&amp;service=…&amp;secret=…).</source>
        <translation>Der Kopplungscode: der QR-Text, den `quotamind pairing` ausgibt (quotamind://pair?v=1&amp;service=…&amp;secret=…).</translation>
    </message>
    <message>
        <source>The service name, instead of the code.</source>
        <translation>Der Dienstname, anstelle des Codes.</translation>
    </message>
    <message>
        <source>The secret, instead of the code.</source>
        <translation>Das Geheimnis, anstelle des Codes.</translation>
    </message>
    <message>
        <source>Connect to this address instead of looking the service up.</source>
        <translation>Mit dieser Adresse verbinden, statt den Dienst zu suchen.</translation>
    </message>
    <message>
        <source>The port, with --host.</source>
        <translation>Der Port, zusammen mit --host.</translation>
    </message>
    <message>
        <source>The model name to pair with (none by default).</source>
        <translation>Der Modellname für die Kopplung (standardmäßig keiner).</translation>
    </message>
    <message>
        <source>Ask for a refresh once paired.</source>
        <translation>Nach der Kopplung eine Aktualisierung anfordern.</translation>
    </message>
    <message>
        <source>Send this device token once paired.</source>
        <translation>Nach der Kopplung dieses Geräte-Token senden.</translation>
    </message>
    <message>
        <source>The environment sent with --device-token.</source>
        <translation>Die mit --device-token gesendete Umgebung.</translation>
    </message>
    <message>
        <source>Stop after receiving this many messages.</source>
        <translation>Nach so vielen empfangenen Nachrichten aufhören.</translation>
    </message>
    <message>
        <source>Give up looking for the service after this many seconds (default 10).</source>
        <translation>Die Suche nach dem Dienst nach so vielen Sekunden aufgeben (Standard: 10).</translation>
    </message>
    <message>
        <source>That is not a Quotamind pairing code.</source>
        <translation>Das ist kein Kopplungscode von Quotamind.</translation>
    </message>
    <message>
        <source>Give the pairing code, or --service and --secret. See --help.</source>
        <translation>Geben Sie den Kopplungscode an oder --service und --secret. Siehe --help.</translation>
    </message>
    <message>
        <source>--host needs an address that resolves and --port a port number.</source>
        <translation>--host braucht eine auflösbare Adresse und --port eine Portnummer.</translation>
    </message>
    <message>
        <source>The computer was not found on this network.</source>
        <translation>Der Computer wurde in diesem Netzwerk nicht gefunden.</translation>
    </message>
</context>
</TS>
