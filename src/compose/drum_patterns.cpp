// Drums (channel 9) over the structure marks, and the environment part of sound effects
// (channel 8) over the chord sequence.
#include <algorithm>
#include <vector>

#include "compose/accompaniment.h"
#include "compose/accompaniment_patterns.h"
#include "compose/compose_context.h"
#include "compose/compose_errors.h"
#include "styles/composition_parameters.h"

namespace tunecase {

namespace {

constexpr int kDrumGate = 1;  // drum notes are strokes
constexpr int kDrumPart = 9;

// Drum figure kinds, numbered from 1 as the table below.
enum Fig : int {
    Kick = 1, KickSoft, Kick2, Snare, SnareSoft, SideStick, Clap, Snare2, Hat, HatSoft, HatPedal, HatOpen,
    Crash, Crash2, Ride, RideBell, Splash, China, TomFloorLow, TomFloorHigh, TomLow, TomLowMid, TomHiMid, TomHigh,
    Tambourine, Cowbell, Vibraslap, BongoHigh, BongoLow, CongaMuteHigh, CongaOpenHigh, CongaLow, TimbaleHigh,
    TimbaleLow, AgogoHigh, AgogoLow, Cabasa, Maracas, WhistleShort, WhistleLong, GuiroShort, GuiroLong, Claves,
    WoodBlockHigh, WoodBlockLow, CuicaMute, CuicaOpen, TriangleMute, TriangleOpen, KickAccent, SnareAccent,
    HatAccent, RideSoft,
};

constexpr DrumFigure kFigures[kDrumFigures] = {
    {36, 100}, {36, 70}, {35, 100}, {38, 100}, {38, 60}, {37, 80}, {39, 100}, {40, 100}, {42, 80}, {42, 50},
    {44, 64}, {46, 80}, {49, 100}, {57, 100}, {51, 80}, {53, 80}, {55, 90}, {52, 90}, {41, 96}, {43, 96},
    {45, 96}, {47, 96}, {48, 96}, {50, 96}, {54, 70}, {56, 70}, {58, 70}, {60, 80}, {61, 80}, {62, 80},
    {63, 80}, {64, 80}, {65, 80}, {66, 80}, {67, 70}, {68, 70}, {69, 60}, {70, 60}, {71, 60}, {72, 60},
    {73, 70}, {74, 70}, {75, 80}, {76, 80}, {77, 80}, {78, 70}, {79, 70}, {80, 60}, {81, 60}, {36, 120},
    {38, 120}, {42, 100}, {51, 56},
};
static_assert(sizeof kFigures / sizeof kFigures[0] == kDrumFigures);

// One instrument of a groove: its figure and its strokes over the sixteenths of a 4/4
// measure ("x" a stroke, "X" an accent, "o" a soft stroke).
struct Lane {
    int figure;
    const char* strokes;
};

enum class Fill { None, Toms, Snare, Congas, Timbales };

struct DrumStyle {
    Lane lanes[5];
    Fill fill;   // played over the last beat of every block's last chord
    bool crash;  // a crash where a block starts again, in the second half of the song
};

constexpr DrumStyle kStyles[] = {
    // 1 is played by its own generator below; these are its three other patterns.
    {{{Hat, "x.x.x.x.x.x.x.x."}, {Kick, "x.......x......."}, {SideStick, "....x.......x..."}}, Fill::None, false},
    {{{Kick, "x..............."}, {Hat, "x...x...x......."}, {SideStick, "....x...x......."}}, Fill::None, false},
    {{{Hat, "xoxoxoxoxoxoxoxo"}, {Kick, "x.....x.x......."}, {Snare, "....x.......x..."}}, Fill::Toms, true},
    // 2 .. 40
    {{{Kick, "x.......x.x....."}, {Snare, "....x.......x..."}, {Hat, "x.x.x.x.x.x.x.x."}}, Fill::Toms, true},
    {{{Kick, "x.....x.x......."}, {Snare, "....x.......x..."}, {Hat, "xoxoxoxoxoxoxoxo"}}, Fill::Toms, true},
    {{{Kick, "x.........x....."}, {SideStick, "....x.......x..."}, {HatSoft, "x.x.x.x.x.x.x.x."}}, Fill::Toms, false},
    {{{Kick, "x...x...x...x..."}, {Snare, "....x.......x..."}, {HatOpen, "..x...x...x...x."},
      {Hat, "x...x...x...x..."}},
     Fill::Snare, true},
    {{{Kick, "x.....x.x......."}, {Snare, "....x.......x..."}, {Ride, "x.x.x.x.x.x.x.x."}}, Fill::Toms, true},
    {{{Ride, "x...x..xx...x..x"}, {HatPedal, "....x.......x..."}, {KickSoft, "x..............."},
      {SnareSoft, "...........o...."}},
     Fill::Snare, false},
    {{{SideStick, "x..x..x...x..x.."}, {KickSoft, "x..xx..xx..xx..x"}, {HatSoft, "xxxxxxxxxxxxxxxx"}},
     Fill::None, false},
    {{{Kick, "x..xx..xx..xx..x"}, {SnareSoft, "..o..o.o..o..o.o"}, {AgogoHigh, "x.x..x.x.x..x.x."},
      {Tambourine, "xxxxxxxxxxxxxxxx"}},
     Fill::Congas, true},
    {{{SideStick, "........x......."}, {Kick, "........x......."}, {Hat, "..x...x...x...x."}}, Fill::Snare, false},
    {{{Kick, "x.......x......."}, {Snare, "....x.......x..."}, {Hat, "..x...x...x...x."}}, Fill::Snare, true},
    {{{Snare, "x.xxx.x.x.xxx.x."}, {Kick, "x.......x......."}}, Fill::Snare, true},
    {{{Kick, "x..............."}, {HatSoft, "....x...x...x..."}, {SideStick, "....x...x......."}}, Fill::None, false},
    {{{Kick, "x.....x.x.....x."}, {Snare, "....x.......x..."}, {Hat, "x.x.x.x.x.x.x.x."}}, Fill::Toms, true},
    {{{Hat, "xoxoxoxoxoxoxoxo"}, {Kick, "x.....x...x....."}, {Snare, "....x.......x..."}}, Fill::Toms, true},
    {{{Kick, "x..x..x...x.x..."}, {Snare, "....x..o.o..x..."}, {Hat, "xoxoxoxoxoxoxoxo"}}, Fill::Snare, true},
    {{{Kick, "x.......x.....x."}, {Snare, "........x......."}, {Hat, "x.x.x.x.x.x.x.x."}}, Fill::Toms, true},
    {{{Kick, "x...x...x...x..."}, {Clap, "....x.......x..."}, {HatOpen, "..x...x...x...x."},
      {HatSoft, "x.x.x.x.x.x.x.x."}},
     Fill::Snare, true},
    {{{Cowbell, "x.x.x.x.x.x.x.x."}, {CongaOpenHigh, "..x..x....x..x.."}, {CongaLow, "......x.......x."},
      {KickSoft, "x.........x....."}},
     Fill::Timbales, false},
    {{{Kick, "x..xx...x..xx..."}, {SnareSoft, "x.......x......."}, {HatPedal, "....x.......x..."}}, Fill::Snare, false},
    {{{Kick, "x.......x......."}, {Snare, "....x.......x..."}, {HatSoft, "..x...x...x...x."}}, Fill::Snare, false},
    {{{SnareSoft, "oxoxoxoxoxoxoxox"}, {Kick, "x.......x......."}, {HatPedal, "....x.......x..."}}, Fill::Snare, false},
    {{{SnareSoft, "oooooooooooooooo"}, {SideStick, "....x.......x..."}, {KickSoft, "x.......x......."}},
     Fill::None, false},
    {{{TomLow, "x..x..x.x..x..x."}, {TomHigh, "..x...x...x...x."}, {Kick, "x.......x......."}}, Fill::Toms, false},
    {{{AgogoHigh, "x.x.x.x.x.x.x.x."}, {AgogoLow, "x.......x......."}, {TriangleOpen, "x..............."}},
     Fill::None, false},
    {{{WoodBlockHigh, "x.xx.x.xx.xx.x.x"}, {TomFloorLow, "x.......x..x...."}, {Cowbell, "....x.......x..."}},
     Fill::Toms, false},
    {{{Maracas, "xxxxxxxxxxxxxxxx"}, {Cowbell, "x.x.xx.x.xx.x.x."}, {CongaOpenHigh, "..x...x...x...x."},
      {CongaLow, "x.......x......."}},
     Fill::Congas, false},
    {{{BongoLow, "x.....x........."}, {BongoHigh, "...x.x...x.x..x."}, {Tambourine, "....x.......x..."}},
     Fill::Congas, false},
    {{{Kick, "x.x.....x.x.x..."}, {Snare, "....X.......X..."}, {Ride, "x.x.x.x.x.x.x.x."}}, Fill::Toms, true},
    {{{Kick, "x.........x....."}, {Snare, "....x..x.x..x..."}, {Hat, "xxxxxxxxxxxxxxxx"}}, Fill::Snare, true},
    {{{Kick, "x...x...x...x..."}, {HatOpen, "..x...x...x...x."}, {Clap, "....x.......x..."},
      {HatSoft, "x.x.x.x.x.x.x.x."}},
     Fill::Snare, true},
    {{{Ride, "x...x..xx...x..x"}, {HatPedal, "....x.......x..."}, {KickSoft, "x...x...x...x..."},
      {Snare, "...............x"}},
     Fill::Snare, true},
    {{{Hat, "x.x.x.x.x.x.x.x."}, {Kick, "x.....x.x.....x."}, {Snare, "....x.......x..."}}, Fill::Toms, false},
    {{{Cowbell, "x.x.x.x.x.x.x.x."}, {TimbaleHigh, "...x..x....x..x."}, {Kick, "..x.....x.x....."},
      {CongaOpenHigh, "......xx......xx"}},
     Fill::Timbales, true},
    {{{Cowbell, "x...x...x...x..."}, {GuiroLong, "x.......x......."}, {GuiroShort, "....x.x.....x.x."},
      {Kick, "x.......x......."}},
     Fill::Timbales, false},
    {{{Maracas, "o.o.o.o.o.o.o.o."}, {TriangleOpen, "x.......x......."}}, Fill::None, false},
    {{{Kick, "x......x..x....."}, {Snare, "....x.......x..."}, {Hat, "x.x.x.x.x.x.x.xx"}}, Fill::Snare, false},
    {{{Snare, "..x...x...x...x."}, {Kick, "x...x...x...x..."}, {HatSoft, "x.x.x.x.x.x.x.x."}}, Fill::Snare, true},
    {{{Kick, "x...x...x...x..."}, {Snare, "....x.......x..."}, {HatOpen, "..x...x...x...x."},
      {Hat, "oooooooooooooooo"}},
     Fill::Toms, true},
    {{{RideSoft, "x.......x......."}, {KickSoft, "x..............."}, {TriangleMute, "....x.......x..."}},
     Fill::None, false},
};
constexpr int kStyleOneOthers = 3;  // the first three rows
static_assert(sizeof kStyles / sizeof kStyles[0] == kStyleOneOthers + kDrumStyles - 1);

struct FillLanes {
    Lane lanes[4];
};
// Over the last beat, in sixteenths.
constexpr FillLanes kFills[] = {
    {},
    {{{TomHigh, "x..."}, {TomHiMid, ".x.."}, {TomLow, "..x."}, {TomFloorLow, "...x"}}},
    {{{Snare, "xoxX"}}},
    {{{CongaOpenHigh, "xx.."}, {CongaLow, "..xx"}}},
    {{{TimbaleHigh, "x.x."}, {TimbaleLow, ".x.x"}}},
};

// The drum kind of the record (part 9's "program") trades figures: 2 brushes, 3 electronic,
// 4 hand percussion for the cymbals.
int kitFigure(const ComposeContext& ctx, int figure) {
    switch (ctx.parameters.partProgram[kDrumPart]) {
    case 2:
        if (figure == Snare || figure == SnareAccent) return SnareSoft;
        if (figure == Kick) return KickSoft;
        if (figure == Hat || figure == HatAccent) return HatSoft;
        return figure;
    case 3:
        if (figure == Snare || figure == SnareAccent) return Clap;
        if (figure == Kick || figure == KickAccent) return Kick2;
        return figure;
    case 4:
        if (figure == Hat || figure == HatSoft || figure == HatAccent || figure == HatOpen) return Maracas;
        if (figure == Crash || figure == Crash2) return TriangleOpen;
        if (figure == Ride || figure == RideSoft) return Cabasa;
        return figure;
    default: return figure;
    }
}

struct Stroke {
    int64_t at;
    int key;
    int velocity;
};

void addStrokes(const ComposeContext& ctx, std::vector<Stroke>& out, const Lane& lane, int64_t at, int length,
                int skipFrom) {
    const std::vector<FigureHit> hits = FigureHits(ctx, Figure{24, lane.strokes, 0}, length, false);
    const DrumFigure f = DrumSound(kitFigure(ctx, lane.figure));
    for (const FigureHit& h : hits) {
        if (h.symbol == '.' || h.offset >= skipFrom) continue;
        const int velocity = h.symbol == 'X'   ? std::min(f.velocity + 20, 127)
                             : h.symbol == 'o' ? f.velocity * 3 / 5
                                               : f.velocity;
        out.push_back({at + h.offset, f.key, velocity});
    }
}

void writeStrokes(PartWriter& w, std::vector<Stroke>& strokes) {
    std::stable_sort(strokes.begin(), strokes.end(), [](const Stroke& a, const Stroke& b) { return a.at < b.at; });
    for (const Stroke& s : strokes) w.Note(s.at, s.key, s.velocity, kDrumGate);
    strokes.clear();
}

void playGroove(const ComposeContext& ctx, PartWriter& w, const DrumStyle& style, const EventList& marks,
                int64_t start) {
    const int measure = MeasureLength(ctx);
    const size_t count = marks.size();
    std::vector<Stroke> strokes;
    int64_t t = start;
    for (size_t i = 0; i < count; ++i) {
        const ComposeEntry& mark = marks[i];
        const int length = std::max(mark.length, 0);
        const bool blockStart = i == 0 || marks[i - 1].mark[1] == 'E';
        if (style.crash && i >= count / 2 && blockStart) {
            const DrumFigure crash = DrumSound(kitFigure(ctx, Crash));
            strokes.push_back({t, crash.key, crash.velocity});
        }
        const bool fill = style.fill != Fill::None && mark.mark[1] == 'E' && length >= 192;
        const int fillFrom = fill ? length - 96 : length;
        for (int from = 0; from < length; from += measure) {
            const int part = std::min(measure, length - from);
            for (const Lane& lane : style.lanes)
                if (lane.strokes) addStrokes(ctx, strokes, lane, t + from, part, fillFrom - from);
        }
        if (fill)
            for (const Lane& lane : kFills[static_cast<int>(style.fill)].lanes)
                if (lane.strokes) addStrokes(ctx, strokes, lane, t + fillFrom, 96, 96);
        writeStrokes(w, strokes);
        t += length;
    }
}

// Style 1: hi-hat eighths, bass drum on the beats, side stick (snare in the second half) on
// the off-beat quarters.
void styleOne(PartWriter& w, const EventList& marks, int64_t start) {
    const int hat = DrumSound(Hat).key, kick = DrumSound(Kick).key;
    const size_t count = marks.size();
    int64_t t = start;
    for (size_t i = 0; i < count; ++i) {
        const int length = std::max(marks[i].length, 0);
        const int back = DrumSound(i < count / 2 ? SideStick : Snare).key;
        for (int j = 0; j * 48 < length; ++j) {
            const int64_t at = t + j * 48;
            if (j % 8 == 7) {
                w.Note(at, hat, 80, kDrumGate);
                w.Note(at, kick, 48, kDrumGate);
            } else if (j % 4 == 0) {
                w.Note(at, hat, 80, kDrumGate);
                w.Note(at, kick, 64, kDrumGate);
            } else if (j % 4 == 2) {
                w.Note(at, back, 70, kDrumGate);
                w.Note(at, kick, 64, kDrumGate);
            } else {
                w.Note(at, hat, 48, kDrumGate);
            }
        }
        t += length;
    }
}

}  // namespace

DrumFigure DrumSound(int kind) {
    if (kind < 1 || kind > kDrumFigures) {
        ReportComposeError(zemc::DrumSound);
        return {0, 0};
    }
    return kFigures[kind - 1];
}

void PlayDrums(ComposeContext& ctx, PartWriter& w, const EventList& marks, int64_t start, int style, int pace) {
    if (style < 1 || style > kDrumStyles) {
        ReportComposeError(zemc::DrumPattern);
        return;
    }
    const CompositionParameters& p = ctx.parameters;
    if (style == 1) {
        if (p.rhythmFeel != 3 && p.timeSignature != 1 && pace < 100) styleOne(w, marks, start);
        else playGroove(ctx, w, kStyles[p.rhythmFeel == 3 ? 0 : p.timeSignature == 1 ? 1 : 2], marks, start);
        return;
    }
    playGroove(ctx, w, kStyles[kStyleOneOthers + style - 2], marks, start);
}

// ---- Environment ------------------------------------------------------------------------------

void PlayEnvironment(ComposeContext& ctx, PartWriter& w, const std::vector<ChordRecord>& chords, int64_t start,
                     int program) {
    const int measure = MeasureLength(ctx);
    int64_t chordStart = start;
    for (size_t i = 0; i < chords.size(); ++i) {
        const ChordRecord& c = chords[i];
        if (i + 1 == chords.size()) {
            // The song closes on two notes of the effect.
            const int half = c.duration / 2;
            w.Note(chordStart, 72, 64, std::max(half - 1, 1));
            w.Note(chordStart + half, 72, 64, std::max(c.duration - half - 1, 1));
            break;
        }
        const int root = c.rootPitch ? c.rootPitch + 12 : 0;
        for (int from = 0; from < c.duration; from += measure) {
            const int length = std::min(measure, c.duration - from);
            const int64_t at = chordStart + from;
            switch (program) {
            case 122:  // waves: one swell a measure, or a quiet measure
                w.Note(at, root, ctx.random.range(1, 2) == 1 ? 0 : 64, length - 1);
                break;
            case 123:  // birds: a chirp on a chord tone now and then, on the beats
                for (int beat = 0; beat < length; beat += 96)
                    if (ctx.random.range(1, 4) == 1) {
                        const int tone = ctx.random.range(1, 2) == 1 ? c.thirdPitch : c.fifthPitch;
                        w.Note(at + beat, tone ? tone + 12 : 0, ctx.random.range(40, 70), 24);
                    }
                break;
            case 126:  // applause: held back for the close
                break;
            default: break;
            }
        }
        chordStart += c.duration;
    }
}

}  // namespace tunecase
