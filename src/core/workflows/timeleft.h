#pragma once

#include <optional>
#include <string>

namespace fenlowick {

/// The time a run still needs, from reports of the fraction of its work done. The pace is
/// measured from the first report on, so what came before it (opening files, counting the
/// solutions) is not charged to the rest, and between reports the estimate counts down with
/// the clock instead of standing still. Times are seconds on one clock of the caller's.
class TimeLeftEstimate {
public:
    /// A report: `fraction` (0..1) of the work done at `seconds`.
    void observe(double fraction, double seconds);

    /// Seconds left at `seconds`; empty while the figure would be a guess (under 1 % of the
    /// work or under two seconds since the first report).
    std::optional<double> secondsLeft(double seconds) const;

    /// As the progress display words it: "about 40 s left", "about 3 min left", "about 2 h
    /// 5 min left", "about 4 days left"; "finishing" once the work is done or its time is
    /// up; empty while there is no estimate.
    std::string text(double seconds) const;

private:
    bool m_started = false;
    bool m_settled = false; ///< there is a figure
    double m_firstFraction = 0.0;
    double m_firstSeconds = 0.0;
    double m_fraction = 0.0;
    double m_finish = 0.0; ///< the estimated clock time at which the work ends
};

/// "about 40 s left" and so on, for `secondsLeft` seconds (see TimeLeftEstimate::text).
std::string timeLeftText(double secondsLeft);

} // namespace fenlowick
