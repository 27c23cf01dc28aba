#pragma once

#include <sys/types.h>

#include <QFile>
#include <QMap>

namespace test {

// The path of the fake `claude` program (tests/fakes/fake_claude.cpp).
inline QString fakeClaudeProgram() {
    return QStringLiteral(FAKE_CLAUDE_PROGRAM);
}

// What the fake `claude` wrote to its record file: "<key> <value>" entries, each ended by a NUL.
class FakeClaudeRecord final {
public:
    static FakeClaudeRecord read(const QString& path) {
        FakeClaudeRecord record;
        QFile file(path);
        const QByteArray entries = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        for (const QByteArray& entry : entries.split('\0')) {
            record.m_entries[entry.left(entry.indexOf(' '))].append(
                entry.mid(entry.indexOf(' ') + 1));
        }
        return record;
    }

    QList<QByteArray> values(const QByteArray& key) const { return m_entries.value(key); }
    QByteArray value(const QByteArray& key) const { return values(key).value(0); }
    bool has(const QByteArray& key, const QByteArray& value = {}) const {
        return value.isNull() ? m_entries.contains(key) : values(key).contains(value);
    }
    // Every byte the fake received, in order.
    QByteArray input() const { return values("input").join(); }
    pid_t pid() const { return value("pid").toInt(); }

private:
    QMap<QByteArray, QList<QByteArray>> m_entries;
};

}  // namespace test
