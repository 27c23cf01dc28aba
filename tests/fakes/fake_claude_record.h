#pragma once

#include <sys/types.h>

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QMap>
#include <QString>
#include <optional>
#include <utility>

namespace test {

// The path of the fake `claude` program (tests/fakes/fake_claude.cpp).
inline QString fakeClaudeProgram() {
    return QStringLiteral(FAKE_CLAUDE_PROGRAM);
}

// What the fake `claude` wrote to its record file: "<key> <hex value>" lines.
class FakeClaudeRecord final {
public:
    static FakeClaudeRecord read(const QString& path) {
        FakeClaudeRecord record;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            return record;
        }
        for (const QByteArray& line : file.readAll().split('\n')) {
            const qsizetype space = line.indexOf(' ');
            if (space > 0) {
                record.m_entries.append(
                    {line.left(space), QByteArray::fromHex(line.mid(space + 1))});
            }
        }
        return record;
    }

    QList<QByteArray> values(QByteArrayView key) const {
        QList<QByteArray> found;
        for (const auto& [entryKey, value] : m_entries) {
            if (entryKey == key) {
                found.append(value);
            }
        }
        return found;
    }
    std::optional<QByteArray> value(QByteArrayView key) const {
        const QList<QByteArray> found = values(key);
        return found.isEmpty() ? std::nullopt : std::optional(found.first());
    }
    bool has(QByteArrayView key, QByteArrayView value = {}) const {
        const QList<QByteArray> found = values(key);
        return value.isNull() ? !found.isEmpty() : found.contains(value);
    }
    // Every byte the fake received, in order.
    QByteArray input() const { return values("input").join(); }
    QMap<QString, QString> environment() const {
        QMap<QString, QString> variables;
        for (const QByteArray& entry : values("env")) {
            const qsizetype equals = entry.indexOf('=');
            variables.insert(QString::fromUtf8(entry.left(equals)),
                             QString::fromUtf8(entry.mid(equals + 1)));
        }
        return variables;
    }
    pid_t pid() const { return value("pid").value_or("0").toInt(); }

private:
    QList<std::pair<QByteArray, QByteArray>> m_entries;
};

}  // namespace test
