#pragma once

#include <QString>

namespace fenlowick {

/// An estimate of the time a search still needs, from the fraction done (0..1) and the
/// seconds spent so far: "about 40 s left", "about 3 min left", "about 2 h 5 min left".
/// Empty while the estimate would be a guess (under 1 % done or under two seconds spent).
QString timeLeftText(double fractionDone, double elapsedSeconds);

} // namespace fenlowick

namespace fenlowick {

/// The fraction of a search's combinations visited once every combination whose first
/// share is at most `firstShare` has been: 1 - C(m - k - 1 + N - 1, N - 1) / C(m + N - 1, N - 1)
/// with m increments in 100 and k the step of the first share.
double fractionAfterFirstShare(int sources, float incrementPercent, float firstShare);

} // namespace fenlowick
