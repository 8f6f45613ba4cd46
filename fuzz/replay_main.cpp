// Replay driver for builds without libFuzzer: feeds every file named on the command line
// (folders are walked) to the fuzz target, then a fixed set of pseudo-random and mutated
// inputs, so a crash or sanitizer report shows up in an ordinary test run.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<uint8_t> readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void runOne(const std::vector<uint8_t>& input) {
    // Copy into an exact-size heap block so an over-read is caught by tools like ASan or valgrind.
    std::vector<uint8_t> exact(input);
    LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::vector<uint8_t>> seeds;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path p(argv[i]);
        if (std::filesystem::is_directory(p)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(p))
                if (entry.is_regular_file()) seeds.push_back(readAll(entry.path()));
        } else if (std::filesystem::is_regular_file(p)) {
            seeds.push_back(readAll(p));
        }
    }
    for (const auto& s : seeds) runOne(s);

    // Deterministic mutations of the seeds: truncations, flipped bytes and random tails.
    std::mt19937 rng(12345);
    size_t mutated = 0;
    for (const auto& s : seeds) {
        for (size_t cut = 0; cut < s.size() && cut < 512; cut += 1 + cut / 8) {
            runOne(std::vector<uint8_t>(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(cut)));
            ++mutated;
        }
        for (int round = 0; round < 200 && !s.empty(); ++round) {
            std::vector<uint8_t> m(s);
            int flips = 1 + static_cast<int>(rng() % 8);
            for (int f = 0; f < flips; ++f) m[rng() % m.size()] = static_cast<uint8_t>(rng());
            runOne(m);
            ++mutated;
        }
    }
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> m(rng() % 600);
        for (auto& b : m) b = static_cast<uint8_t>(rng());
        runOne(m);
        ++mutated;
    }
    std::printf("replayed %zu seed inputs and %zu mutations\n", seeds.size(), mutated);
    return 0;
}
