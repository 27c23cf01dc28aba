#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <mutex>
#include <vector>

// Cuts a child's output into lines. Bytes after the last line feed wait for the next append.
// Thread-safe: one lock guards the pending bytes.
//
// Memory is bounded: as soon as more than kMaximumMessageSize bytes are pending without a line
// feed they are dropped, and a single line of kMaximumMessageSize + 1 zero bytes is returned in
// their place, so that the reader's length check reports the overflow.
class LineBuffer final {
public:
    static constexpr qsizetype kMaximumMessageSize = 1024 * 1024;

    LineBuffer() = default;
    Q_DISABLE_COPY_MOVE(LineBuffer)

    // Appends `bytes` and returns the complete lines now available, in order, without their line
    // feeds; empty lines are left out. A carriage return before a line feed stays in the line.
    std::vector<QByteArray> appendAndDrainLines(QByteArrayView bytes);

private:
    std::mutex m_lock;
    QByteArray m_buffer;
    // Leading bytes of m_buffer already known to hold no line feed, so that a long line arriving
    // in many pieces is scanned once rather than once per piece.
    qsizetype m_scanned = 0;
};
