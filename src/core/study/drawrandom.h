#pragma once

#include <cstdint>

namespace fenlowick {

/// A standard normal number that depends only on its four coordinates: the seed, the
/// consumer, the draw and the number's index within the draw. Counter-based (each value is
/// a hash of its coordinates, not the next state of a sequence), so that any draw can be made
/// again alone, and on any thread or machine, with the same numbers.
double standardNormal(std::uint64_t seed, std::uint64_t consumer, std::uint64_t draw,
                      std::uint64_t index);

} // namespace fenlowick
