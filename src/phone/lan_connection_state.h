#pragma once

#include <QString>

// The phone link's state as the pairing server reports it.
struct LanConnectionState {
    enum class Kind { Idle, Advertising, Searching, Connecting, Connected, Failed };

    Kind kind = Kind::Idle;
    // Only for `failed`: why.
    QString failure;

    static LanConnectionState failed(QString failure) { return {Kind::Failed, std::move(failure)}; }

    // The short title the tray and the pairing pane show.
    QString title() const;

    bool operator==(const LanConnectionState&) const = default;
};
