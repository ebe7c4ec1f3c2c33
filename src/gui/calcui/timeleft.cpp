#include "gui/calcui/timeleft.h"

#include <cmath>

namespace fenlowick {

QString timeLeftText(double fractionDone, double elapsedSeconds) {
    if (!(fractionDone >= 0.01) || elapsedSeconds < 2.0) {
        return {};
    }
    if (fractionDone >= 1.0) {
        return QStringLiteral("finishing");
    }
    const double left = elapsedSeconds * (1.0 - fractionDone) / fractionDone;
    if (left < 60.0) {
        // Round up to 5 s so the figure does not flicker at every update.
        const auto seconds = static_cast<long long>(std::max(5.0, std::ceil(left / 5.0) * 5.0));
        return QStringLiteral("about %1 s left").arg(seconds);
    }
    const auto minutes = static_cast<long long>(std::ceil(left / 60.0));
    if (minutes < 60) {
        return QStringLiteral("about %1 min left").arg(minutes);
    }
    const long long hours = minutes / 60;
    const long long rest = minutes % 60;
    if (hours >= 48) {
        return QStringLiteral("about %1 days left").arg((hours + 12) / 24);
    }
    return rest == 0 ? QStringLiteral("about %1 h left").arg(hours)
                     : QStringLiteral("about %1 h %2 min left").arg(hours).arg(rest);
}

} // namespace fenlowick
