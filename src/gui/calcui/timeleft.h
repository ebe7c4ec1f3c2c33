#pragma once

#include <QString>

namespace fenlowick {

/// An estimate of the time a search still needs, from the fraction done (0..1) and the
/// seconds spent so far: "about 40 s left", "about 3 min left", "about 2 h 5 min left".
/// Empty while the estimate would be a guess (under 1 % done or under two seconds spent).
QString timeLeftText(double fractionDone, double elapsedSeconds);

} // namespace fenlowick
