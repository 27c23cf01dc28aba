#include "line_buffer.h"

std::vector<QByteArray> LineBuffer::appendAndDrainLines(QByteArrayView bytes) {
    std::scoped_lock lock(m_lock);
    m_buffer.append(bytes);
    qsizetype lineFeed = m_buffer.indexOf('\n', m_scanned);
    if (lineFeed < 0 && m_buffer.size() > kMaximumMessageSize) {
        m_buffer.clear();
        m_buffer.squeeze();
        m_scanned = 0;
        return {QByteArray(kMaximumMessageSize + 1, '\0')};
    }
    std::vector<QByteArray> lines;
    qsizetype start = 0;
    while (lineFeed >= 0) {
        if (lineFeed > start) {
            lines.push_back(m_buffer.mid(start, lineFeed - start));
        }
        start = lineFeed + 1;
        lineFeed = m_buffer.indexOf('\n', start);
    }
    if (start > 0) {
        m_buffer.remove(0, start);
    }
    m_scanned = m_buffer.size();
    return lines;
}
