// The QR encoder against libqrencode, the library a developer would otherwise reach for, on
// the same texts and levels: upload keys, song URLs, and 1 KB and 2 KB texts. Both make the
// whole symbol with the best mask, from the smallest version that fits.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "qr/qr_encoder.h"

#ifdef TUNECASE_HAVE_QRENCODE
#include <qrencode.h>
#endif

namespace {

using namespace tunecase;

// Prose in mixed case with digits and punctuation, so the text is mostly 8-bit segments
// with the odd numeric run, as a song description is.
std::string prose(size_t bytes) {
    static const char* words[] = {"Music", "box", "plays", "the", "song", "round", "and", "again;", "pins",
                                  "2024", "on", "a", "turning", "disk,", "comb", "teeth", "ring", "softly.", "No.", "17"};
    std::string out;
    for (size_t i = 0; out.size() < bytes; ++i) out.append(words[(i * 7 + i / 3) % 20]).push_back(' ');
    out.resize(bytes);
    return out;
}

struct Case {
    const char* name;
    std::string text;
};

const std::vector<Case>& cases() {
    static const std::vector<Case> list = {
        {"key", "a7c3f09e2b"},
        {"url", "https://songs.tunecase.example/download?id=1234567&key=a7c3f09e2b"},
        {"text1k", prose(1024)},
        {"text2k", prose(2048)},
    };
    return list;
}

// Arguments: case index and level; the 2 KB text fits only at L and M.
void levels(benchmark::internal::Benchmark* b) {
    for (int text = 0; text < 4; ++text)
        for (int level = 0; level < 4; ++level)
            if (text < 3 || level <= qr::LevelM) b->Args({text, level});
}

void label(benchmark::State& state) {
    state.SetLabel(std::string(cases()[static_cast<size_t>(state.range(0))].name) + " " + "LMQH"[state.range(1)]);
}

void BM_QrTunecase(benchmark::State& state) {
    const std::string& text = cases()[static_cast<size_t>(state.range(0))].text;
    const int level = static_cast<int>(state.range(1));
    QrEncoder encoder;
    for (auto _ : state) {
        if (!encoder.encode(level, 0, 1, qr::ChooseMask, text.data(), static_cast<int>(text.size()))) {
            state.SkipWithError("encode failed");
            break;
        }
        benchmark::DoNotOptimize(encoder.moduleCount());
    }
    label(state);
    state.counters["version"] = encoder.version();
}
BENCHMARK(BM_QrTunecase)->Apply(levels)->Unit(benchmark::kMicrosecond);

#ifdef TUNECASE_HAVE_QRENCODE
void BM_QrLibqrencode(benchmark::State& state) {
    const std::string& text = cases()[static_cast<size_t>(state.range(0))].text;
    const auto level = static_cast<QRecLevel>(state.range(1));
    int version = 0;
    for (auto _ : state) {
        QRcode* code = QRcode_encodeString(text.c_str(), 0, level, QR_MODE_8, 1);
        if (!code) {
            state.SkipWithError("encode failed");
            break;
        }
        version = code->version;
        benchmark::DoNotOptimize(code->data);
        QRcode_free(code);
    }
    label(state);
    state.counters["version"] = version;
}
BENCHMARK(BM_QrLibqrencode)->Apply(levels)->Unit(benchmark::kMicrosecond);
#endif

}  // namespace
