#pragma once
// velora-soak's draws: every run is drawn from its own seed.

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

namespace velora::soak {

using Rng = std::mt19937_64;

inline int between(Rng& rng, int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}
inline double real(Rng& rng, double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng);
}
inline bool chance(Rng& rng, double p) {
    return real(rng, 0.0, 1.0) < p;
}
inline std::string randomBytes(Rng& rng, std::size_t size) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(rng() & 0xFF);
    return bytes;
}

}  // namespace velora::soak
