#pragma once

#include "core/workflows/timeleft.h"

#include <chrono>
#include <string>

namespace fenlowick {

/// A line on standard error that a long command redraws in place, at most ten times a
/// second, with the time left from the fraction of its work done; cleared at the end.
class ProgressLine {
public:
    /// Takes a report of the fraction done for the estimate.
    void observe(double fraction);

    /// The time left as the line words it ("about 40 s left"), or empty.
    std::string timeLeft() const;

    /// Draws `text` unless the line was drawn less than a tenth of a second ago; `force`
    /// draws it anyway (the last report).
    void draw(const std::string& text, bool force);

    /// Clears the line when it was drawn.
    void finish();

private:
    double secondsSinceStart() const;

    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point m_last{};
    TimeLeftEstimate m_estimate;
    std::size_t m_width = 0;
};

} // namespace fenlowick
