#include "usage_source.h"

#include <QCoreApplication>
#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<UsageSource, std::string_view>, 4> kRawValues{{
    {UsageSource::LocalDesktop, "localDesktop"},
    {UsageSource::AccountSession, "accountSession"},
    {UsageSource::SyncedFromDesktop, "syncedFromMac"},
    {UsageSource::Preview, "preview"},
}};

}  // namespace

std::string_view rawValue(UsageSource source) {
    for (const auto& [candidate, raw] : kRawValues) {
        if (candidate == source) {
            return raw;
        }
    }
    return {};
}

std::optional<UsageSource> usageSourceFromRawValue(std::string_view raw) {
    for (const auto& [source, candidate] : kRawValues) {
        if (candidate == raw) {
            return source;
        }
    }
    return std::nullopt;
}

QString label(UsageSource source) {
    switch (source) {
        case UsageSource::LocalDesktop:
            return QCoreApplication::translate("UsageSource", "Local agent on this computer");
        case UsageSource::AccountSession:
            return QCoreApplication::translate("UsageSource", "Account session on this computer");
        case UsageSource::SyncedFromDesktop:
            return QCoreApplication::translate("UsageSource", "Synced from computer");
        case UsageSource::Preview:
            return QCoreApplication::translate("UsageSource", "Preview");
    }
    return {};
}
