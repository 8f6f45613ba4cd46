// The bass part (channel 2): root bass, pedal bass, the alternating bass of the music box,
// a walking bass, riffs and the figures of the other kinds.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "compose/accompaniment_patterns.h"
#include "compose/compose_context.h"
#include "compose/compose_errors.h"
#include "styles/composition_parameters.h"

namespace tunecase {

namespace {

constexpr int kBassVelocity = 64;
constexpr int kGap = 2;

int mod12(int v) { return ((v % 12) + 12) % 12; }

// The fifth in the bass register: the chord's fifth two octaves down, or the bass's own
// fifth when the chord has none.
int lowFifth(const ChordRecord& c) { return c.fifthPitch ? c.fifthPitch - 24 : c.bassPitch + 7; }

// The tones of a chord in the bass register (the root two octaves below the chord's).
struct BassTones {
    explicit BassTones(const ChordRecord& c, const ChordRecord* next) {
        bass = c.bassPitch;
        const int low = c.rootPitch ? c.rootPitch - 24 : 0;
        fifth = low ? lowFifth(c) : 0;
        third = low && c.thirdPitch ? low + mod12(c.thirdPitch - c.rootPitch) : 0;
        seventh = low ? (c.seventhPitch ? low + mod12(c.seventhPitch - c.rootPitch) : low + 12) : 0;
        sixth = low ? low + 9 : 0;
        approach = fifth;
        if (next && next->bassPitch) {
            approach = next->bassPitch - 1;
            if (approach == bass) approach = next->bassPitch + 1;
        }
    }

    int Pitch(char symbol) const {
        switch (std::toupper(static_cast<unsigned char>(symbol))) {
        case 'B': return bass;
        case 'O': return bass ? bass + 12 : 0;
        case 'F': return fifth;
        case 'T': return third;
        case 'S': return seventh;
        case 'X': return sixth;
        case 'H': return bass ? bass - 1 : 0;
        case 'A': return approach;
        default: return 0;
        }
    }

    int bass = 0, fifth = 0, third = 0, seventh = 0, sixth = 0, approach = 0;
};

int velocityOf(char symbol, int velocity) {
    return std::islower(static_cast<unsigned char>(symbol)) ? velocity * 3 / 4 : velocity;
}

void playBassFigure(const ComposeContext& ctx, PartWriter& w, const std::vector<ChordRecord>& chords, int64_t start,
                    const Figure& figure) {
    const int measure = MeasureLength(ctx);
    int64_t chordStart = start;
    for (size_t i = 0; i < chords.size(); ++i) {
        const ChordRecord& c = chords[i];
        const BassTones tones(c, i + 1 < chords.size() ? &chords[i + 1] : nullptr);
        for (int from = 0; from < c.duration; from += measure) {
            const int length = std::min(measure, c.duration - from);
            const std::vector<FigureHit> hits = FigureHits(ctx, figure, length, true);
            for (size_t k = 0; k < hits.size(); ++k) {
                if (hits[k].symbol == '.') continue;
                const int end = k + 1 < hits.size() ? hits[k + 1].offset : length;
                w.Note(chordStart + from + hits[k].offset, tones.Pitch(hits[k].symbol),
                       velocityOf(hits[k].symbol, figure.velocity), std::max(end - hits[k].offset - kGap, 1));
            }
        }
        chordStart += c.duration;
    }
}

// ---- Exact generators ------------------------------------------------------------------------

// Kind 1: the root on every step, doubled an octave up on even steps, with a fill of chord
// tones now and then at a brisk pace.
void rootBass(ComposeContext& ctx, PartWriter& w, const std::vector<ChordRecord>& chords, int64_t start, int pace) {
    const CompositionParameters& p = ctx.parameters;
    int64_t chordStart = start;
    for (const ChordRecord& c : chords) {
        int step = 96, gate = 94;
        const int quarters = c.duration / 96;
        if (c.duration % 96 != 0 || (p.backingPattern3 == 4 && p.rhythmFeel != 3)) {
            step = 48;
            gate = 47;
        } else if (quarters >= 2 && quarters % 2 == 0) {
            step = 192;
            gate = 188;
        }
        std::vector<std::pair<int, int>> steps(static_cast<size_t>(c.duration / step), {step, gate});
        if (const int rest = c.duration % step; rest > 0) steps.emplace_back(rest, std::max(rest - 1, 1));
        int64_t at = chordStart;
        for (size_t k = 0; k < steps.size(); ++k) {
            const auto [length, g] = steps[k];
            const bool even = k % 2 == 0;
            if (k + 1 == steps.size() && pace >= 120 && ctx.random.range(1, 3) == 1) {
                const int quarter = length / 4, quarterGate = std::max(g / 4, 1);
                w.Note(at, c.bassPitch, kBassVelocity, quarterGate);
                if (even) w.Note(at, c.bassPitch + 12, kBassVelocity, quarterGate);
                int64_t t = at;
                for (int tone : {int(c.thirdPitch), int(c.fifthPitch), int(c.seventhPitch)}) {
                    t += quarter;
                    w.Note(t, tone ? tone - 12 : 0, kBassVelocity, quarterGate);
                }
            } else {
                w.Note(at, c.bassPitch, kBassVelocity, g);
                if (even) w.Note(at, c.bassPitch + 12, kBassVelocity, g);
            }
            at += length;
        }
        chordStart += c.duration;
    }
}

// Kind 2: the first chord's bass held through the song.
void pedalBass(const ComposeContext& ctx, PartWriter& w, const std::vector<ChordRecord>& chords, int64_t start) {
    if (chords.empty()) return;
    const CompositionParameters& p = ctx.parameters;
    const int pedal = chords.front().bassPitch;
    const int unit = p.timeSignature == 1 && p.beatKind == 2 ? 288 : 192;
    int64_t chordStart = start;
    for (const ChordRecord& c : chords) {
        int at = 0;
        for (; at + unit <= c.duration; at += unit) w.Note(chordStart + at, pedal, kBassVelocity, unit);
        if (const int rest = c.duration - at; rest > 0)
            w.Note(chordStart + at, pedal, kBassVelocity, std::max(rest - 3, 1));
        chordStart += c.duration;
    }
}

// Kind 3: bass and fifth in turn.
void alternatingBass(ComposeContext& ctx, PartWriter& w, const std::vector<ChordRecord>& chords, int64_t start,
                     int pace) {
    const CompositionParameters& p = ctx.parameters;
    const auto pitchOf = [](const ChordRecord& c, int k) { return k % 2 == 0 ? int(c.bassPitch) : lowFifth(c); };
    int64_t chordStart = start;
    for (size_t i = 0; i < chords.size(); ++i) {
        const ChordRecord& c = chords[i];
        if (pace > 100) {
            const bool firstHalf = i < chords.size() / 2;
            int left = c.duration, unit = 0, last = c.bassPitch;
            int64_t at = chordStart;
            for (; left >= 192; left -= 192, ++unit, at += 192) {
                last = pitchOf(c, unit);
                if (firstHalf) {
                    w.Note(at, last, kBassVelocity, 136);
                    w.Note(at + 144, last, kBassVelocity, 40);
                } else {
                    w.Note(at, last, kBassVelocity, 40);
                    w.Note(at + 48, last, kBassVelocity, 88);
                    w.Note(at + 144, last, kBassVelocity, 40);
                }
            }
            if (left > 0) w.Note(at, last, kBassVelocity, std::max(left - 2, 1));
        } else if (p.timeSignature == 1 && p.beatKind == 2) {
            int k = 0;
            if (c.duration % 144 != 0) {
                for (int at = 0; at < c.duration; at += 144, ++k) {
                    const int length = std::min(144, c.duration - at);
                    w.Note(chordStart + at, pitchOf(c, k), kBassVelocity, std::max(length - 2, 1));
                }
            } else {
                for (int at = 0; at < c.duration; at += 144, ++k) {
                    const int pitch = pitchOf(c, k);
                    if (ctx.random.range(1, 2) == 1) {
                        w.Note(chordStart + at, pitch, kBassVelocity, 142);
                    } else {
                        w.Note(chordStart + at, pitch, kBassVelocity, 94);
                        w.Note(chordStart + at + 96, pitch, kBassVelocity, 46);
                    }
                }
            }
        } else if (c.duration > 0) {
            int step, gate;
            if (c.duration % 96 != 0) {
                step = 48;
                gate = 47;
            } else {
                const int quarters = c.duration / 96;
                step = quarters % 2 == 0 ? 192 : 96;
                gate = pace > 80 ? (step == 192 ? 188 : 94) : 48;
            }
            int k = 0, at = 0;
            for (; at + step <= c.duration; at += step, ++k)
                w.Note(chordStart + at, pitchOf(c, k), kBassVelocity, gate);
            if (const int rest = c.duration - at; rest > 0)
                w.Note(chordStart + at, pitchOf(c, k), kBassVelocity, std::max(rest - 1, 1));
        }
        chordStart += c.duration;
    }
}

// ---- Generators of our own --------------------------------------------------------------

// Kind 5: quarters that start on the bass, wander over chord tones and the step above the
// root, and lead into the next chord's bass by a semitone.
void walkingBass(ComposeContext& ctx, PartWriter& w, const std::vector<ChordRecord>& chords, int64_t start) {
    const int beat = ctx.parameters.timeSignature == 1 && ctx.parameters.beatKind == 2 ? 144 : 96;
    int64_t chordStart = start;
    for (size_t i = 0; i < chords.size(); ++i) {
        const ChordRecord& c = chords[i];
        const BassTones tones(c, i + 1 < chords.size() ? &chords[i + 1] : nullptr);
        const int beats = std::max(c.duration / beat, 1);
        for (int k = 0, at = 0; at < c.duration; ++k, at += beat) {
            const int length = std::min(beat, c.duration - at);
            int pitch;
            if (k == 0) pitch = tones.bass;
            else if (k == beats - 1 && i + 1 < chords.size()) pitch = tones.approach;
            else {
                const int r = ctx.random.range(1, 3);
                pitch = r == 1 ? (tones.third ? tones.third : tones.fifth) : r == 2 ? tones.fifth : tones.bass + 2;
            }
            w.Note(chordStart + at, pitch, k == 0 ? kBassVelocity : kBassVelocity - 8, std::max(length - 6, 1));
        }
        chordStart += c.duration;
    }
}

struct BassRiff {
    int measure;
    struct {
        char symbol;
        int ticks;
    } notes[8];
};

constexpr BassRiff kBassRiffs[] = {
    {384, {{'B', 96}, {'B', 48}, {'F', 48}, {'O', 96}, {'F', 48}, {'B', 48}}},
    {384, {{'B', 144}, {'B', 48}, {'F', 96}, {'O', 48}, {'F', 48}}},
    {288, {{'B', 96}, {'F', 96}, {'O', 96}}},
    {288, {{'B', 144}, {'F', 48}, {'O', 96}}},
};

// Kind 19: a riff of one measure repeated over every chord; without a riff of the measure's
// length, 0xff0101cf and the root and fifth instead.
void riffBass(ComposeContext& ctx, PartWriter& w, const std::vector<ChordRecord>& chords, int64_t start) {
    const int measure = MeasureLength(ctx);
    std::vector<const BassRiff*> fitting;
    for (const BassRiff& r : kBassRiffs) {
        int total = 0;
        for (const auto& n : r.notes) total += n.ticks;
        if (r.measure == measure && total == measure) fitting.push_back(&r);
    }
    if (fitting.empty()) {
        ReportComposeError(zemc::BassRiff);
        playBassFigure(ctx, w, chords, start, Figure{48, "B-F-B-F-", kBassVelocity});
        return;
    }
    const BassRiff& riff = *fitting[static_cast<size_t>(ctx.random.range(0, int(fitting.size()) - 1))];
    int64_t chordStart = start;
    for (size_t i = 0; i < chords.size(); ++i) {
        const ChordRecord& c = chords[i];
        const BassTones tones(c, i + 1 < chords.size() ? &chords[i + 1] : nullptr);
        for (int from = 0; from < c.duration; from += measure) {
            int at = from;
            for (const auto& n : riff.notes) {
                if (n.ticks == 0 || at >= c.duration) break;
                const int length = std::min(n.ticks, c.duration - at);
                w.Note(chordStart + at, tones.Pitch(n.symbol), kBassVelocity, std::max(length - 4, 1));
                at += n.ticks;
            }
        }
        chordStart += c.duration;
    }
}

enum class Gen { None, Root, Pedal, Alternating, Walking, Riff, Figure };

struct BassKind {
    Gen gen;
    Figure figure;
};

constexpr Figure kNoFigure{48, "", 0};

constexpr BassKind kBassKinds[24] = {
    {Gen::None, kNoFigure},
    {Gen::Root, kNoFigure},                            // 1 root bass
    {Gen::Pedal, kNoFigure},                           // 2 pedal bass
    {Gen::Alternating, kNoFigure},                     // 3 bass and fifth
    {Gen::Figure, {48, "B-F-B-F-", 64}},               // 4 root and fifth in quarters
    {Gen::Walking, kNoFigure},                         // 5 walking bass
    {Gen::Figure, {48, "BOBOBOBO", 60}},               // 6 octaves
    {Gen::Figure, {24, "B---------------", 64}},       // 7 held root
    {Gen::Figure, {48, "B-----A-", 64}},               // 8 root and approach
    {Gen::Figure, {24, "...F..B-...F..B-", 64}},       // 9 Latin anticipation
    {Gen::Figure, {48, "BbBbBbBb", 64}},               // 10 eighth-note root
    {Gen::Figure, {24, "B-..F.B-..F.B-..", 64}},       // 11 reggae
    {Gen::Figure, {48, "B.OB.OBO", 60}},               // 12 disco octaves
    {Gen::Figure, {48, "B-T-F-O-", 62}},               // 13 arpeggio
    {Gen::Figure, {24, "B-----F-B-----F-", 64}},       // 14 dotted rhythm
    {Gen::Figure, {24, "B-------F-------", 64}},       // 15 half notes
    {Gen::Figure, {48, "BTFXOXFT", 60}},               // 16 boogie
    {Gen::Figure, {24, "B..B..O.B.HB..O.", 62}},       // 17 funk
    {Gen::Figure, {48, "B.F.B.F.", 64}},               // 18 march
    {Gen::Riff, kNoFigure},                            // 19 riff
    {Gen::Figure, {24, "BbbbBbbbBbbbBbbb", 56}},       // 20 sixteenth pulse
    {Gen::Figure, {24, "B--F..F.B--F..F.", 64}},       // 21 habanera
    {Gen::Figure, {24, "B--F----F--B----", 62}},       // 22 bossa nova
    {Gen::Figure, {24, "B-----------F---", 64}},       // 23 held root and pick-up fifth
};

}  // namespace

void PlayBass(ComposeContext& ctx, PartWriter& w, const std::vector<ChordRecord>& chords, int64_t start, int kind,
              int pace) {
    if (kind < 1 || kind > 23) {
        ReportComposeError(zemc::BackingPattern);
        return;
    }
    const BassKind& k = kBassKinds[kind];
    switch (k.gen) {
    case Gen::Root: rootBass(ctx, w, chords, start, pace); break;
    case Gen::Pedal: pedalBass(ctx, w, chords, start); break;
    case Gen::Alternating: alternatingBass(ctx, w, chords, start, pace); break;
    case Gen::Walking: walkingBass(ctx, w, chords, start); break;
    case Gen::Riff: riffBass(ctx, w, chords, start); break;
    case Gen::Figure: playBassFigure(ctx, w, chords, start, k.figure); break;
    case Gen::None: break;
    }
}

}  // namespace tunecase
