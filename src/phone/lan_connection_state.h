#pragma once

#include <QString>

// The phone link's state as the pairing server reports it.
struct LanConnectionState {
    enum class Kind { idle, advertising, searching, connecting, connected, failed };

    Kind kind = Kind::idle;
    // Only for `failed`: why.
    QString failure;

    static LanConnectionState failed(QString failure) { return {Kind::failed, std::move(failure)}; }

    // The short title the tray and the pairing pane show.
    QString title() const;

    bool operator==(const LanConnectionState&) const = default;
};
