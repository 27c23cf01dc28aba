#include "file_secret_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>

#include "core/owner_only.h"
#include "core/worker.h"
#include "platform/bounded_file.h"

namespace {

// Base64url has no '.', so the dot separates service and account unambiguously, and any
// service or account text makes a valid file name.
QString encodeName(const QString& text) {
    return QString::fromLatin1(
        text.toUtf8().toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString itemName(const QString& service, const QString& account) {
    return encodeName(service) + QLatin1Char('.') + encodeName(account) + QStringLiteral(".secret");
}

// What failed, as whole sentences: a translation may put the verb anywhere.
const char* const kNotRead =
    QT_TRANSLATE_NOOP("FileSecretStore", "The secret file could not be read: %1.");
const char* const kNotWritten =
    QT_TRANSLATE_NOOP("FileSecretStore", "The secret file could not be written: %1.");
const char* const kNotRemoved =
    QT_TRANSLATE_NOOP("FileSecretStore", "The secret file could not be removed: %1.");

[[noreturn]] void fail(const char* sentence, int error) {
    throw SecretStoreError(SecretStoreError::Status::Failed,
                           QCoreApplication::translate("FileSecretStore", sentence)
                               .arg(QString::fromLocal8Bit(strerror(error))));
}

class FileDescriptor final {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Q_DISABLE_COPY_MOVE(FileDescriptor)
    int get() const { return m_fd; }
    // Closes now, reporting the result (a deferred write error shows up here).
    int close() {
        const int result = ::close(m_fd);
        m_fd = -1;
        return result;
    }

private:
    int m_fd;
};

std::optional<QByteArray> readItem(const QString& path) {
    try {
        return readRegularFile(path, FileSecretStore::kMaxItemBytes, /*followLinks=*/false);
    } catch (const FileReadError& error) {
        fail(kNotRead, error.errorNumber());
    }
}

void writeAll(int fd, const QByteArray& data) {
    qsizetype written = 0;
    while (written < data.size()) {
        const ssize_t count =
            ::write(fd, data.constData() + written, static_cast<size_t>(data.size() - written));
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw errno;
        }
        written += count;
    }
}

void makePrivateDirectory(const QString& directory) {
    if (!QDir().mkpath(directory)) {
        fail(kNotWritten, errno != 0 ? errno : EACCES);
    }
    if (::chmod(QFile::encodeName(directory).constData(), 0700) != 0) {
        fail(kNotWritten, errno);
    }
}

void syncDirectory(const QString& directory) {
    const FileDescriptor folder(
        ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) {
        ::fsync(folder.get());
    }
}

// The blocking halves of the operations, for a worker thread.

std::optional<QByteArray> findItem(const QString& directory, const QString& service,
                                   const std::optional<QString>& account) {
    if (account) {
        return readItem(directory + QLatin1Char('/') + itemName(service, *account));
    }
    // Any account: the first item of the service in name order, so the answer is stable.
    const QStringList names =
        QDir(directory).entryList({encodeName(service) + QStringLiteral(".*.secret")},
                                  QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& name : names) {
        if (auto data = readItem(directory + QLatin1Char('/') + name)) {
            return data;
        }
    }
    return std::nullopt;
}

void writeItem(const QString& directory, const QString& path, const QByteArray& data) {
    if (data.size() > FileSecretStore::kMaxItemBytes) {
        fail(kNotWritten, EFBIG);
    }
    makePrivateDirectory(directory);
    // mkostemp creates the file with mode 0600.
    QByteArray temporary = QFile::encodeName(path + QStringLiteral(".XXXXXX"));
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        fail(kNotWritten, errno);
    }
    FileDescriptor file(fd);
    int error = 0;
    try {
        writeAll(file.get(), data);
        if (::fsync(file.get()) != 0 || file.close() != 0 ||
            ::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
            error = errno;
        }
    } catch (int writeError) {
        error = writeError;
    }
    if (error != 0) {
        ::unlink(temporary.constData());
        fail(kNotWritten, error);
    }
    syncDirectory(directory);
}

bool removeItem(const QString& directory, const QString& path) {
    if (::unlink(QFile::encodeName(path).constData()) == 0) {
        syncDirectory(directory);
        return true;
    }
    if (errno == ENOENT) {
        return false;
    }
    fail(kNotRemoved, errno);
}

}  // namespace

FileSecretStore::FileSecretStore(QString directory) : m_directory(std::move(directory)) {}

QString FileSecretStore::defaultDirectory() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/quotamind");
}

QString FileSecretStore::itemPath(const QString& service, const QString& account) const {
    return m_directory + QLatin1Char('/') + itemName(service, account);
}

void FileSecretStore::restrictToOwner() const {
    owner_only::tighten(m_directory);
    const QStringList items =
        QDir(m_directory)
            .entryList({QStringLiteral("*.secret")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& item : items) {
        owner_only::tighten(m_directory + QLatin1Char('/') + item);
    }
}

QCoro::Task<std::optional<QByteArray>> FileSecretStore::find(QString service,
                                                             std::optional<QString> account,
                                                             CancellationToken cancellation) {
    cancellation.throwIfCancelled();
    auto finding = runOnWorker(
        [directory = m_directory, service = std::move(service), account = std::move(account)] {
            return findItem(directory, service, account);
        });
    std::optional<QByteArray> data = co_await finding;
    cancellation.throwIfCancelled();
    co_return data;
}

QCoro::Task<> FileSecretStore::save(QString service, QString account, QString, QByteArray data,
                                    CancellationToken cancellation) {
    cancellation.throwIfCancelled();
    auto saving = runOnWorker([directory = m_directory, path = itemPath(service, account),
                               data = std::move(data)] { writeItem(directory, path, data); });
    co_await saving;
    cancellation.throwIfCancelled();
}

QCoro::Task<bool> FileSecretStore::remove(QString service, QString account,
                                          CancellationToken cancellation) {
    cancellation.throwIfCancelled();
    auto removing = runOnWorker([directory = m_directory, path = itemPath(service, account)] {
        return removeItem(directory, path);
    });
    const bool removed = co_await removing;
    cancellation.throwIfCancelled();
    co_return removed;
}
