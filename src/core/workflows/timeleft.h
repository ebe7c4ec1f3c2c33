#pragma once

#include <string>

namespace fenlowick {

/// The seconds a search still needs if the rest goes at the pace so far, from the fraction
/// of it done (0..1, as a run's fractionDone reports it) and the seconds spent so far.
/// Requires a fraction above 0; each front end decides from when the figure is worth showing.
double secondsLeft(double fractionDone, double elapsedSeconds);

/// The time left as the progress window words it: "about 40 s left" (rounded up to 5 s),
/// "about 3 min left", "about 2 h 5 min left", "about 4 days left", "finishing" once the
/// fraction reaches 1. Empty while the estimate would be a guess (under 1 % done or under
/// two seconds spent).
std::string timeLeftText(double fractionDone, double elapsedSeconds);

} // namespace fenlowick
