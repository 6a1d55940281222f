#pragma once
// velora-soak's draws: every run is drawn from its own seed.

#include <cstddef>
#include <cstdint>
#include <cstdio>
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

// A fault at random frames: ":random:P:seed=S" added to `rule`, with P
// drawn from [pLo, pHi); returns how many of `frames` frames (each a request
// and a reply) it is expected to hit, one more for safety.
inline double drawRandomFault(Rng& rng, std::string& rule, double pLo, double pHi, int frames) {
    const double p = real(rng, pLo, pHi);
    char text[64];
    std::snprintf(text, sizeof text, "random:%.4f:seed=%d", p, between(rng, 1, 999999));
    rule += text;
    return p * frames * 2 + 1;
}

// The delay of a "delay" fault: 250 ms, or half the time a drawn one added
// to `rule` as ":ms=N". Returns the delay in milliseconds.
inline int drawDelay(Rng& rng, const std::string& kind, std::string& rule) {
    if (kind != "delay" || !chance(rng, 0.5)) return 250;
    const int ms = between(rng, 50, 1000);
    rule += ":ms=" + std::to_string(ms);
    return ms;
}

}  // namespace velora::soak
