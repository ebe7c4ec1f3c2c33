#pragma once

namespace fenlowick {

/// The slack, relative to the magnitudes involved, that covers the rounding of a value the
/// bounds form in double from a few products and sums of floats and doubles. Each such value
/// is off from its real counterpart by a few units in the last place of the largest
/// magnitude involved, below 1e-15 of it; this slack is a million times that, and still far
/// below the step of any share or the width of any band the margins add it to.
inline constexpr double kDoubleSlack = 1e-9;

} // namespace fenlowick
