#include "core/study/drawrandom.h"

#include <cmath>
#include <numbers>

namespace fenlowick {

namespace {

/// The finaliser of SplitMix64: a bijection of 64-bit words that spreads every input bit
/// over the whole output.
std::uint64_t mix(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

/// A uniform number in (0, 1], 53 bits.
double unit(std::uint64_t word) {
    return static_cast<double>((word >> 11) + 1) * 0x1.0p-53;
}

} // namespace

double standardNormal(std::uint64_t seed, std::uint64_t consumer, std::uint64_t draw,
                      std::uint64_t index) {
    const std::uint64_t key = mix(mix(mix(seed) ^ consumer) ^ draw);
    const double u1 = unit(mix(key ^ (2 * index)));
    const double u2 = unit(mix(key ^ (2 * index + 1)));
    // Box and Muller: one of the pair is enough.
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
}

} // namespace fenlowick
