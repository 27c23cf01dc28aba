#pragma once

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QString>
#include <optional>

#include "core/error.h"

// A file that could not be read, with the system's reason (an errno value).
class FileReadError final : public PlatformError {
public:
    FileReadError(const QString& path, int errorNumber);
    int errorNumber() const { return m_errorNumber; }

private:
    int m_errorNumber;
};

// The whole content of the regular file at `path`, or nothing when no file is there. A folder,
// FIFO or device in its place, or more than `maxBytes` of content, is a FileReadError; the call
// never blocks on a FIFO. Symbolic links are followed unless `followLinks` is false.
std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes,
                                          bool followLinks = true);

// readRegularFile on a worker thread, so the calling (main) thread never waits on the disk.
QCoro::Task<std::optional<QByteArray>> readRegularFileAsync(QString path, qint64 maxBytes,
                                                            bool followLinks = true);
