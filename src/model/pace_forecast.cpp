#include "pace_forecast.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>

#include "core/json.h"

namespace {

// The samples of the window instance that resets at `resetDate`, oldest first, that the rate is
// taken from: the recorded order is walked back from the newest, and stops at another instance, at
// a fall in use (a reset the reset date did not show) and at a time that does not go back (the
// clock was set back after it), so no negative slope comes from either.
std::vector<UsageSample> currentRun(const std::vector<UsageSample>& samples, Timestamp resetDate,
                                    Timestamp now) {
    std::vector<UsageSample> run;
    for (std::size_t index = samples.size(); index-- > 0;) {
        const UsageSample& sample = samples[index];
        if (!(std::abs(sample.resetDate - resetDate) <= PaceForecast::kSameResetSeconds) ||
            !(sample.time <= now) || now - sample.time > PaceForecast::kRecentSeconds) {
            if (!run.empty()) {
                break;
            }
            continue;  // newer than now: recorded before the clock went back
        }
        if (!run.empty() &&
            (!(sample.time < run.back().time) || sample.usedPercent > run.back().usedPercent)) {
            break;
        }
        run.push_back(sample);
    }
    std::reverse(run.begin(), run.end());
    return run;
}

// Least squares over (time, used percent): percent per second.
double slope(const std::vector<UsageSample>& run) {
    const Timestamp origin = run.front().time;
    double meanTime = 0;
    double meanUsed = 0;
    for (const UsageSample& sample : run) {
        meanTime += sample.time - origin;
        meanUsed += static_cast<double>(sample.usedPercent);
    }
    meanTime /= static_cast<double>(run.size());
    meanUsed /= static_cast<double>(run.size());
    double covariance = 0;
    double variance = 0;
    for (const UsageSample& sample : run) {
        const double time = (sample.time - origin) - meanTime;
        covariance += time * (static_cast<double>(sample.usedPercent) - meanUsed);
        variance += time * time;
    }
    return variance > 0 ? covariance / variance : 0;
}

}  // namespace

std::optional<PaceForecast> PaceForecast::estimate(const std::vector<UsageSample>& samples,
                                                   const UsageWindow& window, Timestamp now) {
    if (window.usedPercent >= 100 || window.isPastReset(now)) {
        return std::nullopt;
    }
    const std::vector<UsageSample> run = currentRun(samples, window.resetDate, now);
    if (run.size() < kMinimumSamples || run.back().time - run.front().time < kMinimumSpanSeconds) {
        return std::nullopt;
    }
    const double rate = slope(run);
    if (!(rate > 0)) {
        return PaceForecast{std::nullopt, window.resetDate};
    }
    // From where the window is now, at the rate of the run.
    const Timestamp limitAt = now + static_cast<double>(window.remainingPercent()) / rate;
    if (!(limitAt < window.resetDate)) {
        return PaceForecast{std::nullopt, window.resetDate};
    }
    return PaceForecast{limitAt, window.resetDate};
}

QString PaceForecast::text(Timestamp now) const {
    if (!limitAt) {
        return QCoreApplication::translate("PaceForecast", "At this pace: lasts until the reset");
    }
    return QCoreApplication::translate("PaceForecast",
                                       "At this pace: limit reached in %1, %2 before the reset")
        .arg(UsageWindow::durationText(*limitAt - now),
             UsageWindow::durationText(resetDate - *limitAt));
}

std::optional<PaceForecast> PaceForecasts::find(const std::string& provider,
                                                std::int64_t windowSeconds) const {
    const auto found = forecasts.find({provider, windowSeconds});
    if (found == forecasts.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::optional<QString> PaceForecasts::textFor(const std::string& provider,
                                              const UsageWindow& window, Timestamp now) const {
    const std::optional<PaceForecast> forecast = find(provider, window.durationSeconds);
    if (!forecast || window.isPastReset(now) ||
        !(std::abs(forecast->resetDate - window.resetDate) <= PaceForecast::kSameResetSeconds) ||
        (forecast->limitAt && !(*forecast->limitAt > now))) {
        return std::nullopt;
    }
    return forecast->text(now);
}

std::optional<QString> PaceForecasts::summaryFor(const AgentUsage& usage, Timestamp now) const {
    const UsageWindow* chosen = nullptr;
    std::optional<Timestamp> soonest;
    for (const UsageWindow& window : usage.windows) {
        if (!textFor(usage.provider.rawValue, window, now)) {
            continue;
        }
        const std::optional<Timestamp> limitAt =
            find(usage.provider.rawValue, window.durationSeconds)->limitAt;
        if (chosen == nullptr || (limitAt && (!soonest || *limitAt < *soonest))) {
            chosen = &window;
            soonest = limitAt;
        }
    }
    if (chosen == nullptr) {
        return std::nullopt;
    }
    return UsageWindow::periodLabel(chosen->durationSeconds) + QStringLiteral(" · ") +
           *textFor(usage.provider.rawValue, *chosen, now);
}

std::string PaceForecasts::encode() const {
    json::OrderedValue object = json::OrderedValue::object();
    for (const auto& [key, forecast] : forecasts) {
        json::OrderedValue entry = json::OrderedValue::object();
        entry["resetDate"] = json::number(forecast.resetDate.secondsSince2001());
        if (forecast.limitAt) {
            entry["limitAt"] = json::number(forecast.limitAt->secondsSince2001());
        }
        object[key.first][std::to_string(key.second)] = std::move(entry);
    }
    return json::dump(object);
}

PaceForecasts PaceForecasts::decode(std::string_view bytes) {
    const json::Value value = json::parse(bytes);
    PaceForecasts result;
    for (const auto& [provider, windows] : json::requireObject(value, "forecasts").items()) {
        for (const auto& [seconds, entry] : json::requireObject(windows, provider).items()) {
            std::size_t used = 0;
            std::int64_t length = 0;
            try {
                length = std::stoll(seconds, &used);
            } catch (const std::exception&) {
                used = 0;
            }
            if (used == 0 || used != seconds.size() || length <= 0) {
                throw json::DecodingError(provider + ": a window length that is not a number");
            }
            json::requireObject(entry, seconds);
            PaceForecast forecast{std::nullopt,
                                  Timestamp(json::requiredDouble(entry, "resetDate"))};
            if (const json::Value* limitAt = json::optional(entry, "limitAt")) {
                forecast.limitAt = Timestamp(json::toDouble(*limitAt, "limitAt"));
            }
            result.forecasts.emplace(std::pair(provider, length), forecast);
        }
    }
    return result;
}
