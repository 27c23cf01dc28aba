#pragma once

#include <QObject>
#include <QString>

// One tray program per session: the first one owns the bus name com.brindlecove.Quotamind and
// answers Activate on /com/brindlecove/Quotamind; a later one finds the name taken and asks the
// owner to show itself instead of starting a second store.
class SingleInstance final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.brindlecove.Quotamind.Application")

public:
    enum class Outcome {
        Primary,           // this process owns the name and answers Activate
        ActivatedRunning,  // another process owns it and showed itself
        ActivationFailed,  // another process owns it but refused or did not answer in time
        NoBus,             // no session bus: the program runs unguarded
    };

    static inline const QString kServiceName = QStringLiteral("com.brindlecove.Quotamind");
    static inline const QString kObjectPath = QStringLiteral("/com/brindlecove/Quotamind");
    static constexpr int kActivateTimeLimitMilliseconds = 3000;

    explicit SingleInstance(QObject* parent = nullptr);

    // Claims the name, or activates its owner, waiting at most `activateTimeLimitMilliseconds`
    // for its answer. Call once, before the event loop runs; the other calls to the bus are short
    // and bounded by D-Bus's own time-out.
    Outcome claim(int activateTimeLimitMilliseconds = kActivateTimeLimitMilliseconds);

public Q_SLOTS:
    // Called over the bus by a later launch.
    void Activate();

Q_SIGNALS:
    void activationRequested();
};
