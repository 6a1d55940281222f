// Runs a fuzz target without the fuzzing engine: on the files named on the
// command line, or on a fixed series of pseudo-random inputs, so that every
// build exercises the targets.

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    if (argc > 1) {
        for (int i = 1; i < argc; ++i) {
            std::ifstream in(argv[i], std::ios::binary);
            std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                            std::istreambuf_iterator<char>());
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        }
        return 0;
    }
    std::mt19937 rng(20261208);
    const std::size_t sizes[] = {0,   1,   2,   3,   5,   6,   9,    134,    135,
                                 147, 201, 202, 255, 256, 257, 1000, 261632, 300000};
    int runs = 0;
    for (int round = 0; round < 40; ++round) {
        for (std::size_t size : sizes) {
            std::vector<std::uint8_t> bytes(size);
            for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
            // Some inputs start like real frames so the deeper paths are reached.
            if (size >= 6 && round % 3 == 0) {
                bytes[0] = 0x13;
                bytes[1] = 0x26;
                bytes[4] = static_cast<std::uint8_t>(size - 6);
            }
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++runs;
        }
    }
    std::printf("%d inputs, no fault\n", runs);
    return 0;
}
