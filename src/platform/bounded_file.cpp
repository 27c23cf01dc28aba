#include "bounded_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

#include "core/worker.h"

FileReadError::FileReadError(const QString& path, int errorNumber)
    : PlatformError(
          QCoreApplication::translate("FileReadError", "The file “%1” couldn’t be read: %2.")
              .arg(QFileInfo(path).fileName(), QString::fromLocal8Bit(strerror(errorNumber)))),
      m_errorNumber(errorNumber) {}

std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes, bool followLinks) {
    const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (followLinks ? 0 : O_NOFOLLOW);
    const int fd = ::open(QFile::encodeName(path).constData(), flags);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return std::nullopt;
        }
        throw FileReadError(path, errno);
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw FileReadError(path, EIO);
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        throw FileReadError(path, errno);
    }
    if (!S_ISREG(info.st_mode)) {
        throw FileReadError(path, S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
    }
    const QByteArray data = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        throw FileReadError(path, EIO);
    }
    if (data.size() > maxBytes) {
        throw FileReadError(path, EFBIG);
    }
    return data;
}

QCoro::Task<std::optional<QByteArray>> readRegularFileAsync(QString path, qint64 maxBytes,
                                                            bool followLinks) {
    auto reading = runOnWorker([path = std::move(path), maxBytes, followLinks] {
        return readRegularFile(path, maxBytes, followLinks);
    });
    co_return co_await reading;
}
