#include "core/engine/engine.h"

#include "core/engine/fastsearch.h"
#include "core/engine/mixingrule.h"
#include "core/results/resultformat.h"

#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>

namespace fenlowick {

namespace {

/// Texts of share fields, formatted once per distinct share value.
class ShareTexts {
public:
    const std::string& text(float percent) {
        std::uint32_t key = 0;
        std::memcpy(&key, &percent, sizeof key);
        auto it = m_cache.find(key);
        if (it == m_cache.end()) {
            it = m_cache.emplace(key, shareFieldText(percent)).first;
        }
        return it->second;
    }

private:
    std::unordered_map<std::uint32_t, std::string> m_cache;
};

class PlainSearch {
public:
    PlainSearch(const CalculationInput& input, RecordSink* sink, const EngineControl& control)
        : m_sink(sink), m_control(control), m_sources(input.sourceCount()),
          m_lastIsotope(input.lastIsotope), m_increment(input.incrementPercent),
          m_scale(static_cast<double>(input.decimalScale)), m_padding(feasibleRecordEnd(m_sources)),
          m_rule(input) {
        for (int k = 0; k < kIsotopeColumns; ++k) {
            m_weighted[k] = m_rule.weighted(k);
            for (int i = 0; i < kSourceRows; ++i) {
                m_signature[k][i] = input.signature[k][i];
            }
            m_mixture[k] = input.mixture100[k];
        }
        m_scaledTolerance = std::trunc(m_scale * input.tolerance100);
    }

    EngineResult run() {
        loop(0, 100.0f);
        flush();
        return std::move(m_result);
    }

private:
    bool stopped() const { return m_result.cancelled || m_result.sinkFailed; }

    void loop(int level, float bound) {
        const int innermost = m_sources - 2;
        if (level == innermost) {
            if (m_control.cancel != nullptr && m_control.cancel->load(std::memory_order_relaxed)) {
                m_result.cancelled = true;
                return;
            }
            for (float share = 0.0f; share <= bound; share += m_increment) {
                m_share[level] = share;
                m_share[level + 1] = bound - share;
                visit();
            }
            return;
        }
        for (float share = 0.0f; share <= bound && !stopped(); share += m_increment) {
            m_share[level] = share;
            for (int k = 0; k < kIsotopeColumns; ++k) {
                m_contribution[level][k] = m_signature[k][level] * share;
            }
            loop(level + 1, bound - share);
            if (level == 0 && !stopped() && m_control.progress) {
                m_control.progress(share);
            }
        }
    }

    void visit() {
        ++m_result.visitedCount;
        const int last = m_sources - 1;
        for (int k = 0; k <= m_lastIsotope; ++k) {
            if (m_weighted[k]) {
                continue;
            }
            float predicted = m_contribution[0][k];
            for (int level = 1; level < last - 1; ++level) {
                predicted += m_contribution[level][k];
            }
            predicted += m_signature[k][last - 1] * m_share[last - 1];
            predicted += m_signature[k][last] * m_share[last];
            const double scaled =
                std::trunc(m_scale * std::fabs(static_cast<double>(predicted) - m_mixture[k]));
            // Written as "not within" so that a prediction that overflowed to no number at
            // all (inf - inf) fails instead of passing every comparison.
            if (!(scaled <= m_scaledTolerance)) {
                return;
            }
        }
        if (!m_rule.empty() && !m_rule.passes(m_share)) {
            return;
        }
        keep();
    }

    void keep() {
        ++m_result.feasibleCount;
        for (int j = 0; j < m_sources; ++j) {
            const auto level = static_cast<std::size_t>(std::floor(m_share[j] / m_increment));
            ++m_result.histograms[static_cast<std::size_t>(j)][level];
        }
        if (m_sink == nullptr) {
            return;
        }
        for (int j = 0; j < m_sources; ++j) {
            m_buffer += m_texts.text(m_share[j]);
        }
        m_buffer += m_padding;
        if (m_buffer.size() >= (1u << 20)) {
            flush();
        }
    }

    void flush() {
        if (m_sink != nullptr && !m_buffer.empty() && !m_result.sinkFailed) {
            m_result.sinkFailed = !m_sink->write(m_buffer);
        }
        m_buffer.clear();
    }

    RecordSink* m_sink;
    const EngineControl& m_control;
    int m_sources;
    int m_lastIsotope;
    float m_increment;
    double m_scale;
    double m_scaledTolerance = 0.0;
    float m_signature[kIsotopeColumns][kSourceRows + 1]{};
    double m_mixture[kIsotopeColumns]{};
    float m_share[kSourceRows]{};
    float m_contribution[kSourceRows][kIsotopeColumns]{};
    std::string m_padding;
    MixingRule m_rule;
    bool m_weighted[kIsotopeColumns]{};
    std::string m_buffer;
    ShareTexts m_texts;
    EngineResult m_result;
};

} // namespace

EngineResult enumeratePlain(const CalculationInput& input, RecordSink* sink,
                            const EngineControl& control) {
    return PlainSearch(input, sink, control).run();
}

EngineResult runSearch(const CalculationInput& input, RecordSink* sink,
                       const EngineControl& control) {
    // The bounds of the fast search assume a sane entry; anything else takes the loops as
    // they are.
    bool usual = input.sourceCount() >= 3 && input.sourceCount() <= kSourceRows &&
                 input.lastIsotope >= 0 && input.lastIsotope < kIsotopeColumns &&
                 input.incrementPercent >= 1.0f && input.incrementPercent <= 100.0f &&
                 std::isfinite(input.tolerance100) && input.tolerance100 >= 0.0 &&
                 input.decimalScale >= 1 && input.decimalScale <= 1000000;
    for (int k = 0; usual && k <= input.lastIsotope; ++k) {
        usual = std::isfinite(input.mixture100[k]);
        for (int i = 0; usual && i < input.sourceCount(); ++i) {
            usual = std::isfinite(input.signature[k][i]);
        }
    }
    // Concentrations positive and finite, and the bounds' single-precision weights
    // c (|e| + tolerance) far from overflowing; limits on the run's sources.
    const MixingConstraints& constraints = input.constraints;
    if (usual && constraints.concentrations) {
        for (int k = 0; usual && k <= input.lastIsotope; ++k) {
            // As the mixing rule takes them: scaled into range by a power of two.
            const auto& column = constraints.concentrations->value[static_cast<std::size_t>(k)];
            const double factor = concentrationScale(column);
            for (int i = 0; usual && i < input.sourceCount(); ++i) {
                const double c = column[static_cast<std::size_t>(i)] * factor;
                const double e = std::fabs(100.0 * static_cast<double>(input.signature[k][i])) +
                                 std::fabs(input.mixture100[static_cast<std::size_t>(k)]) +
                                 input.tolerance100 + 1.0;
                usual = std::isfinite(c) && c > 0.0 && c * e < 1e30;
            }
        }
    }
    for (const ShareLimit& limit : constraints.limits) {
        for (int source : limit.sources) {
            usual = usual && source >= 0 && source < input.sourceCount();
        }
        usual = usual && (!limit.atLeast || std::isfinite(*limit.atLeast)) &&
                (!limit.atMost || std::isfinite(*limit.atMost));
    }
    return usual ? fastSearch(input, sink, control) : enumeratePlain(input, sink, control);
}

std::uint64_t combinationCount(int sources, float incrementPercent) {
    // Count the values the loop visits in single precision, as the search does.
    std::uint64_t steps = 0;
    for (float share = 0.0f; share <= 100.0f; share += incrementPercent) {
        ++steps;
    }
    const std::uint64_t m = steps - 1;
    // C(m + N - 1, N - 1), multiplying and dividing in turn so every step is exact; with
    // m <= 100 and N <= 10 no intermediate exceeds 5e14.
    std::uint64_t result = 1;
    for (std::uint64_t i = 1; i < static_cast<std::uint64_t>(sources); ++i) {
        result = result * (m + i) / i;
    }
    return result;
}

} // namespace fenlowick
