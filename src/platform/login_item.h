#pragma once

#include <QString>

#include "core/error.h"

// Whether the tray program starts when the user logs in.
class LoginItem {
public:
    virtual ~LoginItem() = default;

    virtual bool isEnabled() const = 0;
    // Throws PlatformError with the system's reason when the setting cannot be changed.
    virtual void setEnabled(bool enabled) = 0;
};

// The XDG autostart entry $XDG_CONFIG_HOME/autostart/com.brindlecove.Quotamind.desktop. Enabling
// writes the entry atomically (a failed write leaves the old one); disabling removes it. An entry
// that the desktop marks Hidden or disabled counts as not enabled.
class XdgAutostartLoginItem final : public LoginItem {
public:
    // `entryPath` is the desktop entry's file; `program` the absolute path that Exec starts.
    XdgAutostartLoginItem(QString entryPath, QString program);

    // The entry in the user's autostart folder, starting this running program.
    static XdgAutostartLoginItem forThisProgram();

    bool isEnabled() const override;
    void setEnabled(bool enabled) override;

    // The entry's text: the program's installed desktop entry, starting `program`.
    static QByteArray entry(const QString& program);

private:
    QString m_entryPath;
    QString m_program;
};
