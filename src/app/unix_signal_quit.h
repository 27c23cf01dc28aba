#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

// Turns SIGINT and SIGTERM into an orderly QCoreApplication::quit(): the handler only writes a
// byte to a socket pair, and the event loop does the rest.
class UnixSignalQuit final : public QObject {
    Q_OBJECT

public:
    explicit UnixSignalQuit(QObject* parent = nullptr);
    ~UnixSignalQuit() override;
    Q_DISABLE_COPY_MOVE(UnixSignalQuit)

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};
