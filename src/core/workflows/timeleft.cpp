#include "core/workflows/timeleft.h"

#include <algorithm>
#include <cmath>

namespace fenlowick {

void TimeLeftEstimate::observe(double fraction, double seconds) {
    if (!(fraction >= 0.0)) {
        return;
    }
    fraction = std::min(fraction, 1.0);
    if (!m_started) {
        m_started = true;
        m_firstFraction = fraction;
        m_firstSeconds = seconds;
        m_fraction = fraction;
        return;
    }
    const double done = fraction - m_firstFraction;
    const double spent = seconds - m_firstSeconds;
    m_fraction = std::max(m_fraction, fraction);
    if (done < 0.01 || spent < 2.0) {
        return;
    }
    m_finish = seconds + spent * (1.0 - fraction) / done;
    m_settled = true;
}

std::optional<double> TimeLeftEstimate::secondsLeft(double seconds) const {
    if (!m_settled) {
        return std::nullopt;
    }
    return std::max(0.0, m_finish - seconds);
}

std::string TimeLeftEstimate::text(double seconds) const {
    if (m_started && m_fraction >= 1.0) {
        return "finishing";
    }
    const std::optional<double> left = secondsLeft(seconds);
    return left ? timeLeftText(*left) : std::string();
}

std::string timeLeftText(double secondsLeft) {
    if (secondsLeft < 0.5) {
        return "finishing";
    }
    if (secondsLeft < 59.5) {
        return "about " + std::to_string(std::lround(secondsLeft)) + " s left";
    }
    const long long minutes = std::max(1LL, std::llround(secondsLeft / 60.0));
    if (minutes < 60) {
        return "about " + std::to_string(minutes) + " min left";
    }
    const long long hours = minutes / 60;
    const long long rest = minutes % 60;
    if (hours >= 48) {
        return "about " + std::to_string((hours + 12) / 24) + " days left";
    }
    return rest == 0
               ? "about " + std::to_string(hours) + " h left"
               : "about " + std::to_string(hours) + " h " + std::to_string(rest) + " min left";
}

} // namespace fenlowick
