#include "core/engine/mixingrule.h"

#include <algorithm>
#include <cmath>

namespace fenlowick {

MixingRule::MixingRule(const CalculationInput& input)
    : sources(std::clamp(input.sourceCount(), 0, kSourceRows)),
      scale(static_cast<double>(input.decimalScale)),
      failFrom(std::trunc(scale * input.tolerance100) + 1.0) {
    const MixingConstraints& constraints = input.constraints;
    if (constraints.concentrations) {
        const auto& value = constraints.concentrations->value;
        for (int k = 0; k <= input.lastIsotope && k < kIsotopeColumns; ++k) {
            const auto& column = value[static_cast<std::size_t>(k)];
            const bool equal = std::all_of(column.begin(), column.begin() + sources,
                                           [&](double c) { return c == column[0]; });
            if (equal) {
                continue;
            }
            WeightedTracer tracer;
            tracer.isotope = k;
            const double factor = concentrationScale(column);
            for (int i = 0; i < sources; ++i) {
                const auto s = static_cast<std::size_t>(i);
                tracer.concentration[s] = column[s] * factor;
                tracer.excess[s] = 100.0 * static_cast<double>(input.signature[k][s]) -
                                   input.mixture100[static_cast<std::size_t>(k)];
            }
            tracers.push_back(tracer);
        }
    }
    const double slack = limitSlack(input.incrementPercent);
    for (const ShareLimit& given : constraints.limits) {
        Limit limit;
        for (int source : given.sources) {
            if (source >= 0 && source < kSourceRows) {
                limit.sources.push_back(source);
            }
        }
        std::sort(limit.sources.begin(), limit.sources.end());
        if (given.atLeast) {
            limit.low = *given.atLeast - slack;
        }
        if (given.atMost) {
            limit.high = *given.atMost + slack;
        }
        limits.push_back(std::move(limit));
    }
}

bool MixingRule::weighted(int isotope) const {
    return std::any_of(tracers.begin(), tracers.end(),
                       [&](const WeightedTracer& t) { return t.isotope == isotope; });
}

bool MixingRule::passes(const float* shares) const {
    for (const WeightedTracer& tracer : tracers) {
        double d = 0.0;
        double n = 0.0;
        for (int i = 0; i < sources; ++i) {
            const auto s = static_cast<std::size_t>(i);
            const double weight = static_cast<double>(shares[i]) * tracer.concentration[s];
            d += weight;
            n += weight * tracer.excess[s];
        }
        // Written as "not within" so that no number at all fails.
        if (!(scale * std::fabs(n) < failFrom * d)) {
            return false;
        }
    }
    for (const Limit& limit : limits) {
        double sum = 0.0;
        for (int source : limit.sources) {
            sum += static_cast<double>(shares[source]);
        }
        if ((limit.low && !(sum >= *limit.low)) || (limit.high && !(sum <= *limit.high))) {
            return false;
        }
    }
    return true;
}

} // namespace fenlowick
