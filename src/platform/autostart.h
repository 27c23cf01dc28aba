#pragma once

#include <QString>

#include "core/error.h"

// Whether the tray program starts when the user logs in.
class Autostart {
public:
    virtual ~Autostart() = default;

    virtual bool isEnabled() const = 0;
    // Throws PlatformError with the system's reason when the setting cannot be changed.
    virtual void setEnabled(bool enabled) = 0;
};

// The XDG autostart entry $XDG_CONFIG_HOME/autostart/com.brindlecove.Quotamind.desktop. Enabling
// writes the entry atomically (a failed write leaves the old one); disabling removes it. An entry
// that the desktop marks Hidden or disabled counts as not enabled. The entry starts the program
// with --background, so that at login it stays in the tray.
class XdgAutostart final : public Autostart {
public:
    // The option the entry starts the program with, without its leading dashes.
    static inline const QString kBackgroundOption = QStringLiteral("background");

    // `entryPath` is the desktop entry's file; `program` the absolute path that Exec starts.
    XdgAutostart(QString entryPath, QString program);

    // The entry in the user's autostart folder, starting this running program.
    static XdgAutostart forThisProgram();

    bool isEnabled() const override;
    void setEnabled(bool enabled) override;

    // The entry's text: the program's installed desktop entry, starting `program` in the
    // background.
    static QByteArray entry(const QString& program);

    // Brings an enabled entry written before the background option existed up to date: its
    // Exec gains the option, everything else stays as it is. An entry the desktop switched off,
    // or one that has the option, is left alone. Blocks on the file: call it on a worker.
    // Throws PlatformError when the entry cannot be rewritten.
    void addBackgroundOption();

private:
    QString m_entryPath;
    QString m_program;
};
