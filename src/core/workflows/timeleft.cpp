#include "core/workflows/timeleft.h"

#include <algorithm>
#include <cmath>

namespace fenlowick {

double secondsLeft(double fractionDone, double elapsedSeconds) {
    return elapsedSeconds * (1.0 - fractionDone) / fractionDone;
}

std::string timeLeftText(double fractionDone, double elapsedSeconds) {
    if (!(fractionDone >= 0.01) || elapsedSeconds < 2.0) {
        return {};
    }
    if (fractionDone >= 1.0) {
        return "finishing";
    }
    const double left = secondsLeft(fractionDone, elapsedSeconds);
    if (left < 60.0) {
        // Round up to 5 s so the figure does not flicker at every update.
        const auto seconds = static_cast<long long>(std::max(5.0, std::ceil(left / 5.0) * 5.0));
        return "about " + std::to_string(seconds) + " s left";
    }
    const auto minutes = static_cast<long long>(std::ceil(left / 60.0));
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
