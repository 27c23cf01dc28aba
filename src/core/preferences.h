#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <optional>

#include "timestamp.h"

class QSettings;

// One preferences domain: an INI file under $XDG_CONFIG_HOME/brindlecove/, written through
// QSettings, which locks the file and replaces it atomically, so two processes may share it.
// Every call opens the file afresh, so a value another process wrote is seen at the next read.
//
// A domain may have a fallback domain: when its own file cannot be both read and written, the
// call uses the fallback's file instead, for reads and writes alike. Safe to use from any thread.
//
// The files are the user's alone (0600): the program's own domain holds the pairing secret. A
// write creates its file so and tightens a looser one before QSettings replaces it, which keeps
// the mode of the file it replaces.
class Preferences final {
public:
    // The program's own per-user domain: Quotamind.conf.
    static Preferences standard();
    // A domain shared between programs, named after the group (`group.conf`), falling back to
    // the standard domain.
    static Preferences appGroup(const QString& groupIdentifier);
    // The folder that holds the domains' files.
    static QString directory();

    explicit Preferences(QString filePath, QString fallbackFilePath = {});

    std::optional<QByteArray> data(const QString& key) const;
    std::optional<QString> string(const QString& key) const;
    std::optional<bool> boolean(const QString& key) const;
    std::optional<Timestamp> date(const QString& key) const;

    void setData(const QString& key, const QByteArray& value);
    void setString(const QString& key, const QString& value);
    void setBool(const QString& key, bool value);
    void setDate(const QString& key, Timestamp value);
    void remove(const QString& key);
    // Tightens the domain's files (its own and its fallback's) that others may open; touches the
    // disk, so call it on a worker thread.
    void restrictToOwner() const;

    const QString& filePath() const { return m_filePath; }

private:
    // The file this call uses: the domain's own, or the fallback's.
    QString domainPath() const;
    std::optional<QVariant> value(const QString& key) const;
    void write(const QString& key, const QVariant& value);

    QString m_filePath;
    QString m_fallbackFilePath;
};
