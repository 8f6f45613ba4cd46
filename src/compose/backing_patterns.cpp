// Backing parts (channels 3 and 7): block chords, the gentle broken chords of kind 4, and the
// figures, riffs and step generators of the other kinds.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>

#include "compose/accompaniment_patterns.h"
#include "compose/compose_context.h"
#include "compose/compose_errors.h"
#include "compose/compose_information.h"
#include "compose/score_rendering.h"
#include "styles/composition_parameters.h"

namespace tunecase {

namespace {

constexpr int kGap = 2;  // a figure's note ends this many ticks before the next symbol

bool tripletFeel(const ComposeContext& ctx) { return ctx.parameters.rhythmFeel == 3; }
bool dottedQuarterBeat(const ComposeContext& ctx) {
    return ctx.parameters.timeSignature == 1 && ctx.parameters.beatKind == 2;
}
bool bassSilent(const ComposeContext& ctx) { return ctx.parameters.partProgram[2] == kNotPlayed; }

// The chord tones a backing part plays, led from the chord before: a seventh that would leap
// up more than a major third goes down an octave, a third that would fall more than that goes
// up one.
class Voicing {
public:
    Voicing(const ComposeContext& ctx, int previousSeventh, int previousThird)
        : bassSilent_(bassSilent(ctx)), previousSeventh_(previousSeventh), previousThird_(previousThird) {}

    void Begin(const ChordRecord& c) {
        root = c.rootPitch;
        fifth = c.fifthPitch;
        third = c.thirdPitch;
        seventh = c.seventhPitch;
        if (seventh > 71 && seventh - previousSeventh_ > 4) seventh -= 12;
        if (third != 0 && third <= 71 && previousThird_ - third > 4) third += 12;
        previousSeventh_ = c.seventhPitch;
        previousThird_ = c.thirdPitch;
    }

    // The pitches of one symbol (0 where the chord lacks the tone).
    std::vector<int> Pitches(char symbol) const {
        const auto up = [](int pitch) { return pitch ? pitch + 12 : 0; };
        switch (std::toupper(static_cast<unsigned char>(symbol))) {
        case 'C': return {third, fifth, (seventh == 0 || bassSilent_) ? root : seventh};
        case 'K': return {root, third, fifth, seventh};
        case 'P': return {root, fifth};
        case 'R': return {root};
        case 'T': return {third};
        case 'F': return {fifth};
        case 'S': return {seventh ? seventh : up(root)};
        case 'U': return {up(root)};
        case 'V': return {up(third)};
        case 'W': return {up(fifth)};
        case 'L': return {root ? root - 12 : 0};
        default: return {};
        }
    }

    int root = 0, third = 0, fifth = 0, seventh = 0;

private:
    bool bassSilent_;
    int previousSeventh_;
    int previousThird_;
};

int symbolVelocity(char symbol, int velocity) {
    return std::islower(static_cast<unsigned char>(symbol)) ? velocity * 3 / 4 : velocity;
}

void playSymbol(PartWriter& w, const Voicing& v, int64_t at, char symbol, int velocity, int gate) {
    for (int pitch : v.Pitches(symbol)) w.Note(at, pitch, symbolVelocity(symbol, velocity), gate);
}

// Plays `figure` over every chord, measure by measure. A held figure (`waitsForTune`) lets
// the song's first chord wait for the tune's first note, so that it does not sound alone.
void playFigure(ComposeContext& ctx, PartWriter& w, const std::vector<ChordRecord>& chords, int64_t start,
                const Figure& figure, bool waitsForTune = false) {
    const int measure = MeasureLength(ctx);
    Voicing v(ctx, 75, 70);
    int64_t chordStart = start;
    for (size_t i = 0; i < chords.size(); ++i) {
        const ChordRecord& c = chords[i];
        v.Begin(c);
        const int entry = waitsForTune && i == 0 && FirstNoteTime(ctx) < c.duration ? FirstNoteTime(ctx) : 0;
        for (int from = 0; from < c.duration; from += measure) {
            const int length = std::min(measure, c.duration - from);
            std::vector<FigureHit> hits = FigureHits(ctx, figure, length, true);
            if (entry > from) {
                const char first = hits.empty() ? 0 : hits.front().symbol;
                std::erase_if(hits, [&](const FigureHit& h) { return from + h.offset < entry; });
                if (entry < from + length && (hits.empty() || hits.front().offset != entry - from) && first)
                    hits.insert(hits.begin(), FigureHit{entry - from, first});
            }
            for (size_t k = 0; k < hits.size(); ++k) {
                if (hits[k].symbol == '.') continue;
                const int end = k + 1 < hits.size() ? hits[k + 1].offset : length;
                playSymbol(w, v, chordStart + from + hits[k].offset, hits[k].symbol, figure.velocity,
                           std::max(end - hits[k].offset - kGap, 1));
            }
        }
        chordStart += c.duration;
    }
}

// ---- Exact generators ------------------------------------------------------------------------

// Kind 1: block chords on every beat.
void blockChords(ComposeContext& ctx, PartWriter& w, const std::vector<ChordRecord>& chords, int64_t start, int pace) {
    const CompositionParameters& p = ctx.parameters;
    int previousSeventh = 75, previousThird = 70;
    int64_t chordStart = start;
    for (const ChordRecord& c : chords) {
        int step = 96, gate = 94;
        if (p.timeSignature == 1 && p.beatKind == 2 && c.duration % 144 == 0) {
            step = 144;
            gate = 141;
        }
        std::vector<std::pair<int, int>> steps(static_cast<size_t>(std::max(c.duration / step, 0)), {step, gate});
        const int rest = c.duration % step;
        if (rest == 48) steps.emplace_back(48, 47);
        else if (rest != 0) ReportComposeError(zemc::Beat);

        int64_t at = chordStart;
        for (size_t k = 0; k < steps.size(); ++k) {
            const auto [length, g] = steps[k];
            int seventh = c.seventhPitch, third = c.thirdPitch;
            if (k == 0) {
                if (seventh > 71 && seventh - previousSeventh > 4) seventh -= 12;
                if (third != 0 && third <= 71 && previousThird - third > 4) third += 12;
            }
            const int top = bassSilent(ctx) ? c.rootPitch : seventh;
            const bool split = pace >= 120 && (k + 1 == steps.size() || ctx.random.range(1, 2) == 1);
            const int noteGate = split ? g / 2 : g;
            for (int pitch : {third, int(c.fifthPitch), top}) w.Note(at, pitch, 64, noteGate);
            if (split) w.Note(at + length / 2, c.rootPitch, 64, g / 2);
            at += length;
        }
        previousSeventh = c.seventhPitch;
        previousThird = c.thirdPitch;
        chordStart += c.duration;
    }
}

// Kind 4 at pace 61 .. 80: soft broken chords of eighths and quarters with an arpeggio now
// and then.
void gentleBrokenChords(ComposeContext& ctx, PartWriter& w, const std::vector<ChordRecord>& chords, int64_t start) {
    int previousSeventh = 80, previousThird = 75;
    int64_t chordStart = start;
    for (const ChordRecord& c : chords) {
        int p = 0;
        int stepLength = 0;
        while (p < c.duration) {
            const int rem = c.duration - p;
            int gate;
            if (rem == 48) {
                stepLength = 48;
                gate = 47;
            } else {
                const int r = ctx.random.range(1, 3);
                if (r == 1) {
                    stepLength = 48;
                    gate = 47;
                } else if (r == 2 && (rem == 192 || rem == 384)) {
                    const int64_t at = chordStart + p;
                    if (ctx.random.range(1, 4) == 1) {
                        int previousDraw = 0;
                        for (int n = 0; n < 4; ++n) {
                            int draw;
                            do draw = ctx.random.range(1, 4);
                            while (draw == previousDraw);
                            previousDraw = draw;
                            const int pitch = draw == 1 ? c.thirdPitch : draw == 2 ? c.fifthPitch
                                            : draw == 3 ? c.seventhPitch : c.rootPitch;
                            const int velocity = ctx.random.range(4, 6) * 64 / 6;
                            w.Note(at + 48 * n, pitch, pitch == 0 ? 0 : velocity, 47);
                        }
                    } else {
                        const int figure = ctx.random.range(1, 3);
                        const bool hasSeventh = c.seventhPitch != 0;
                        const auto up = [](int pitch) { return pitch ? pitch + 12 : 0; };
                        int tones[4];
                        if (figure == 1) {
                            tones[0] = c.rootPitch;
                            tones[1] = c.thirdPitch;
                            tones[2] = c.fifthPitch;
                            tones[3] = hasSeventh ? c.seventhPitch : up(c.fifthPitch);
                        } else if (figure == 2) {
                            tones[0] = c.rootPitch;
                            tones[1] = c.thirdPitch;
                            tones[2] = c.fifthPitch;
                            tones[3] = c.thirdPitch;
                        } else {
                            tones[0] = c.thirdPitch;
                            tones[1] = c.fifthPitch;
                            tones[2] = hasSeventh ? c.seventhPitch : up(c.rootPitch);
                            tones[3] = hasSeventh ? up(c.rootPitch) : c.fifthPitch;
                        }
                        for (int n = 0; n < 4; ++n)
                            w.Note(at + 48 * n, tones[n], ctx.random.range(3, 6) * 64 / 6, 47);
                    }
                    p += 192;
                    continue;
                } else {
                    stepLength = 96;
                    gate = 94;
                }
            }
            stepLength = std::min(stepLength, rem);
            gate = std::min(gate, stepLength - 1);
            int s = c.seventhPitch, t = c.thirdPitch;
            if (p == 0) {
                if (s - previousSeventh > 4 && s - 12 >= 60) s -= 12;
                if (t != 0 && previousThird - t > 4 && t + 12 <= 83) t += 12;
            }
            const int64_t at = chordStart + p;
            if (bassSilent(ctx) || s == 0) {
                w.Note(at, c.rootPitch, 42, gate);
                w.Note(at, t, 42, gate);
                if (ctx.random.range(1, 2) == 1) w.Note(at, c.fifthPitch, 32, gate);
            } else {
                w.Note(at, s, 32, gate);
                w.Note(at, t, 42, gate);
                if (ctx.random.range(1, 2) == 1) w.Note(at, c.fifthPitch, 42, gate);
            }
            p += stepLength;
        }
        previousSeventh = c.seventhPitch;
        previousThird = c.thirdPitch;
        chordStart += c.duration;
    }
}

// ---- Generators of our own --------------------------------------------------------------

// Chords on a fixed step; a chord's remainder is played in quarters and eighths, and a
// remainder that is no multiple of an eighth is a beat error (left silent). `cycle` gives
// the symbol of each step in turn.
void stepChords(ComposeContext& ctx, PartWriter& w, const std::vector<ChordRecord>& chords, int64_t start, int step,
                int gate, const char* cycle, int velocity) {
    Voicing v(ctx, 75, 70);
    const size_t cycleLength = std::strlen(cycle);
    int64_t chordStart = start;
    for (const ChordRecord& c : chords) {
        v.Begin(c);
        std::vector<int> steps(static_cast<size_t>(std::max(c.duration / step, 0)), step);
        int rest = c.duration % step;
        for (int part : {96, 48})
            while (part < step && rest >= part) {
                steps.push_back(part);
                rest -= part;
            }
        if (rest != 0) ReportComposeError(zemc::Beat);
        int64_t at = chordStart;
        for (size_t k = 0; k < steps.size(); ++k) {
            const char symbol = cycle[k % cycleLength];
            // An accent on the first beat of every measure.
            const bool downbeat = (at - start) % MeasureLength(ctx) == 0;
            playSymbol(w, v, at, symbol, downbeat ? std::min(velocity + 8, 127) : velocity,
                       std::min(gate, steps[k] - 1));
            at += steps[k];
        }
        chordStart += c.duration;
    }
}

struct RiffNote {
    char symbol;
    int ticks;
};
struct Riff {
    int measure;  // the measure length the riff is written for
    RiffNote notes[8];
};

// Backing riffs: one measure each, in 4/4 and 3/4. A riff is drawn once per song.
constexpr Riff kBackingRiffs[] = {
    {384, {{'R', 96}, {'F', 48}, {'U', 48}, {'T', 96}, {'F', 96}}},
    {384, {{'R', 48}, {'R', 48}, {'F', 48}, {'U', 96}, {'W', 48}, {'U', 48}, {'F', 48}}},
    {384, {{'P', 144}, {'P', 48}, {'.', 48}, {'P', 96}, {'R', 48}}},
    {288, {{'R', 96}, {'T', 48}, {'F', 48}, {'U', 96}}},
    {288, {{'P', 144}, {'F', 48}, {'U', 96}}},
};

int riffLength(const Riff& r) {
    int total = 0;
    for (const RiffNote& n : r.notes) total += n.ticks;
    return total;
}

// Kind 30: a riff repeated every measure; without a riff of the measure's length, 0xff0101d3
// and an eighth-note figure instead.
void riffBacking(ComposeContext& ctx, PartWriter& w, const std::vector<ChordRecord>& chords, int64_t start) {
    const int measure = MeasureLength(ctx);
    std::vector<const Riff*> fitting;
    for (const Riff& r : kBackingRiffs)
        if (r.measure == measure) fitting.push_back(&r);
    const Riff* riff =
        fitting.empty() ? nullptr : fitting[static_cast<size_t>(ctx.random.range(0, int(fitting.size()) - 1))];
    if (!riff || riffLength(*riff) != measure) {
        ReportComposeError(zemc::RiffLength);
        playFigure(ctx, w, chords, start, Figure{48, "PpPpPpPp", 56});
        return;
    }
    Voicing v(ctx, 75, 70);
    int64_t chordStart = start;
    for (const ChordRecord& c : chords) {
        v.Begin(c);
        for (int from = 0; from < c.duration; from += measure) {
            int at = from;
            for (const RiffNote& n : riff->notes) {
                if (n.ticks == 0 || at >= c.duration) break;
                const int length = std::min(n.ticks, c.duration - at);
                if (n.symbol != '.') playSymbol(w, v, chordStart + at, n.symbol, 60, std::max(length - 4, 1));
                at += n.ticks;
            }
        }
        chordStart += c.duration;
    }
}

// Kind 47: chords on the dotted-quarter beat. A measure that is no whole number of dotted
// quarters reports 0xff0101d4 (once) and the part plays on quarters.
void dottedQuarterChords(ComposeContext& ctx, PartWriter& w, const std::vector<ChordRecord>& chords, int64_t start) {
    const int measure = MeasureLength(ctx);
    int beat = 144;
    if (measure % beat != 0) {
        ReportComposeError(zemc::TimeSignBaseBeat);
        beat = 96;
    }
    Voicing v(ctx, 75, 70);
    int64_t chordStart = start;
    for (const ChordRecord& c : chords) {
        v.Begin(c);
        for (int at = 0; at < c.duration; at += beat) {
            const int length = std::min(beat, c.duration - at);
            playSymbol(w, v, chordStart + at, at % measure == 0 ? 'K' : 'c', 60, std::max(length - 4, 1));
        }
        chordStart += c.duration;
    }
}

// ---- The kind table ------------------------------------------------------------------------

enum class Gen { None, Block, Fast, Gentle, HalfNotes, Figure29, Riff, DottedQuarter, Quarters, Figure };

struct BackingKind {
    Gen gen;
    Figure figure;
    bool waitsForTune = false;  // a held chord enters with the tune
};

constexpr Figure kNoFigure{48, "", 0};

// Indexed by kind (0 unused). Kinds 11 and 54 share a figure, as do 40, 41 and 46.
constexpr BackingKind kBackingKinds[63] = {
    {Gen::None, kNoFigure},
    {Gen::Block, kNoFigure},                               // 1 block chords
    {Gen::Fast, kNoFigure},                                // 2 by pace: eighths, root and chord, half notes
    {Gen::Figure, {48, "RTFURTFU", 56}},                   // 3 rising arpeggio
    {Gen::Gentle, kNoFigure},                              // 4 gentle broken chords
    {Gen::Figure, {48, "RTFUWUFT", 56}},                   // 5 rising and falling arpeggio
    {Gen::Figure, {48, "RFTFRFTF", 52}},                   // 6 broken chord in eighths
    {Gen::Figure, {24, "C---------------", 48}, true},           // 7 held chord
    {Gen::Figure, {24, "C-------C-------", 56}},           // 8 half-note chords
    {Gen::Figure, {48, ".C.C.C.C", 52}},                   // 9 off-beat chords
    {Gen::Figure, {48, "r-t-f-t-", 60}},                   // 10 soft quarter arpeggio
    {Gen::Figure, {24, "C--C--C---C--C--", 52}},           // 11 Latin comping
    {Gen::Figure, {24, "C-----C---------", 56}},           // 12 Charleston
    {Gen::Figure, {48, "W-V-S-V-", 48}},                   // 13 high chord tones near the melody
    {Gen::Figure, {24, "RTFURTFURTFURTFU", 48}},           // 14 sixteenth arpeggio
    {Gen::Figure, {48, "C-CcC-Cc", 56}},                   // 15 strumming
    {Gen::Figure, {48, "L-C-c-C-", 56}},                   // 16 ballad piano
    {Gen::Figure, {48, "C--C--C-", 56}},                   // 17 pop eighths, 3 + 3 + 2
    {Gen::Figure, {24, "cccccccccccccccc", 44}},           // 18 tremolo
    {Gen::Figure, {48, "R-C-C-F-", 56}},                   // 19 waltz comping
    {Gen::Figure, {48, "R-C-F-C-", 56}},                   // 20 march
    {Gen::Figure, {48, "L-C-L-C-", 56}},                   // 21 stride
    {Gen::Figure, {48, "RWRWRWRW", 50}},                   // 22 root and fifth ostinato
    {Gen::Figure, {32, "RTFUFTRTFUFT", 50}},               // 23 triplet arpeggio
    {Gen::Figure, {48, "PPPPPPPP", 58}},                   // 24 power chords
    {Gen::Figure, {48, "USFTUSFT", 52}},                   // 25 falling arpeggio
    {Gen::Figure, {24, "RFUTRFUTRFUTRFUT", 46}},           // 26 rolling sixteenths
    {Gen::Figure, {24, "C..c..C.c.C..c..", 56}},           // 27 funk comping
    {Gen::HalfNotes, kNoFigure},                           // 28 half-note chords
    {Gen::Figure29, kNoFigure},                            // 29 arpeggio by pace
    {Gen::Riff, kNoFigure},                                // 30 riff
    {Gen::Figure, {24, "c---------------", 52}, true},           // 31 soft held chord
    {Gen::Figure, {48, "UWVUWVUW", 44}},                   // 32 bells
    {Gen::Figure, {24, "C.cC.c.CC.cC.c.C", 50}},           // 33 samba
    {Gen::Figure, {24, "R--CC-C-R--CC-C-", 54}},           // 34 habanera
    {Gen::Figure, {48, "R.C.F.C.", 58}},                   // 35 polka
    {Gen::Figure, {24, "..C...C...C...C.", 58}},           // 36 ska off-beats
    {Gen::Figure, {48, "RTFSUSFT", 52}},                   // 37 five-tone arpeggio
    {Gen::Figure, {24, "K-------K-------", 50}, true},           // 38 chorale
    {Gen::Figure, {48, "RVFVRVFV", 52}},                   // 39 finger picking
    {Gen::Figure, {32, "C-cC-cC-cC-c", 52}},               // 40 shuffle comping
    {Gen::Figure, {32, "C-cC-cC-cC-c", 52}},               // 41
    {Gen::Figure, {24, "C---............", 56}, true},           // 42 one chord a measure
    {Gen::Figure, {24, "C-----c-C-----c-", 54}},           // 43 dotted rhythm
    {Gen::Figure, {48, "PpPpPpPp", 56}},                   // 44 root and fifth pulse
    {Gen::Figure, {48, "TSTFTSTF", 52}},                   // 45 broken thirds
    {Gen::Figure, {32, "C-cC-cC-cC-c", 52}},               // 46
    {Gen::DottedQuarter, kNoFigure},                       // 47 dotted-quarter chords
    {Gen::Figure, {24, "..c...c...c..c.c", 54}},           // 48 stabs
    {Gen::Figure, {24, "C-----------tfu.", 52}},           // 49 held chord and pick-up
    {Gen::Figure, {24, "K---------------", 46}, true},           // 50 organ
    {Gen::Figure, {24, "RTFUVWVUFTRTFUVW", 44}},           // 51 harp
    {Gen::Figure, {48, "C-.cC-.c", 54}},                   // 52 swing comping
    {Gen::Figure, {24, "R.TFRT.FT.RFT.FR", 50}},           // 53 montuno
    {Gen::Figure, {24, "C--C--C---C--C--", 52}},           // 54 = 11
    {Gen::Figure, {24, "UFTRUFTRUFTRUFTR", 46}},           // 55 falling sixteenths
    {Gen::Figure, {48, "C---C-c-", 54}},                   // 56 half-time chords
    {Gen::Figure, {32, "R-FT-FR-FT-F", 50}},               // 57 rocking triplets
    {Gen::Figure, {48, "..C-..C-", 56}},                   // 58 chords on two and four
    {Gen::Figure, {24, "C--C--C-C--C--C-", 54}},           // 59 3 + 3 + 2 sixteenths
    {Gen::Figure, {48, "CRRRRRRR", 50}},                   // 60 pedal root
    {Gen::Figure, {48, "RFUVRFUV", 50}},                   // 61 wide arpeggio
    {Gen::Quarters, kNoFigure},                            // 62 detached quarter chords
};

// Kind 4 at the paces and feels the gentle broken chords do not cover.
constexpr Figure kKind4Triplet{32, "RTFTFTRTFTFT", 48};
constexpr Figure kKind4Slow{24, "c---------------", 42};
constexpr Figure kKind4Calm{48, "c-c-c-c-", 42};
constexpr Figure kKind4Dotted{48, "c-.-c-.-", 42};
constexpr Figure kKind4Lively{24, "C.c.C.c.C.c.C.c.", 48};

}  // namespace

std::vector<FigureHit> FigureHits(const ComposeContext& ctx, const Figure& figure, int length, bool sounding) {
    std::vector<FigureHit> hits;
    const size_t count = std::strlen(figure.symbols);
    if (figure.grid <= 0 || count == 0) return hits;
    const auto isNote = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; };
    // Each slot reads the window [from, to) of the 4/4 figure and sounds at `at`: its first
    // note, else a silence when the window holds one.
    const auto slot = [&](int from, int to, int at) {
        if (at >= length) return;
        char found = 0;
        for (int g = (from + figure.grid - 1) / figure.grid * figure.grid; g < to; g += figure.grid) {
            const char c = figure.symbols[static_cast<size_t>(g / figure.grid) % count];
            if (isNote(c)) {
                found = c;
                break;
            }
            if (c == '.') found = '.';
        }
        if (found) hits.push_back({at, found});
    };
    if (dottedQuarterBeat(ctx)) {
        // A dotted quarter reads a half of the 4/4 figure, its eighths a third of that each.
        for (int t = 0; t < length; t += 48) {
            const int from = (t / 144) * 192 + ((t % 144) / 48) * 64;
            slot(from, from + 64, t);
        }
    } else if (tripletFeel(ctx) && (figure.grid == 24 || figure.grid == 48)) {
        // Long-short: the first half of a beat sounds on the beat, the second on its last triplet.
        for (int beat = 0; beat < length; beat += 96) {
            slot(beat, beat + 48, beat);
            slot(beat + 48, beat + 96, beat + 64);
        }
    } else {
        for (int t = 0; t < length; t += figure.grid) slot(t, t + figure.grid, t);
    }
    if (sounding && std::none_of(hits.begin(), hits.end(), [&](const FigureHit& h) { return isNote(h.symbol); })) {
        // A stretch too short for the figure's first note plays that note at its start.
        for (size_t i = 0; i < count; ++i)
            if (isNote(figure.symbols[i])) {
                hits.erase(std::remove_if(hits.begin(), hits.end(), [](const FigureHit& h) { return h.offset == 0; }),
                           hits.end());
                hits.insert(hits.begin(), FigureHit{0, figure.symbols[i]});
                break;
            }
    }
    return hits;
}

void PlayBacking(ComposeContext& ctx, PartWriter& w, const std::vector<ChordRecord>& chords, int64_t start, int kind,
                 int pace) {
    if (kind < 1 || kind > 62) {
        ReportComposeError(zemc::BackingPattern);
        return;
    }
    const BackingKind& k = kBackingKinds[kind];
    switch (k.gen) {
    case Gen::Block: blockChords(ctx, w, chords, start, pace); break;
    case Gen::Fast:
        if (pace >= 140) stepChords(ctx, w, chords, start, 48, 40, "C", 56);
        else if (pace >= 120) stepChords(ctx, w, chords, start, 96, 80, "RC", 56);
        else stepChords(ctx, w, chords, start, 192, 188, "C", 54);
        break;
    case Gen::Gentle:
        if (tripletFeel(ctx)) playFigure(ctx, w, chords, start, kKind4Triplet);
        else if (pace <= 40) playFigure(ctx, w, chords, start, kKind4Slow);
        else if (pace <= 60) playFigure(ctx, w, chords, start, kKind4Calm);
        else if (pace <= 80) {
            if (ctx.parameters.beatKind == 2) playFigure(ctx, w, chords, start, kKind4Dotted);
            else gentleBrokenChords(ctx, w, chords, start);
        } else {
            playFigure(ctx, w, chords, start, kKind4Lively);
        }
        break;
    case Gen::HalfNotes: stepChords(ctx, w, chords, start, 192, 188, "C", 54); break;
    case Gen::Figure29:
        playFigure(ctx, w, chords, start, pace > 60 ? Figure{48, "RTFTRTFT", 54} : Figure{48, "R-T-F-T-", 54});
        break;
    case Gen::Riff: riffBacking(ctx, w, chords, start); break;
    case Gen::DottedQuarter: dottedQuarterChords(ctx, w, chords, start); break;
    case Gen::Quarters: stepChords(ctx, w, chords, start, 96, 60, "C", 58); break;
    case Gen::Figure: playFigure(ctx, w, chords, start, k.figure, k.waitsForTune); break;
    case Gen::None: ReportComposeError(zemc::BackingPattern); break;
    }
}

}  // namespace tunecase
