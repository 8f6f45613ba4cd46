#include "compose/pitch_algorithms.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "compose/compose_context.h"
#include "compose/compose_errors.h"
#include "styles/composition_parameters.h"

namespace tunecase {

namespace {

constexpr int kAdjustmentSteps = 800;   // AcceptablePitch gives up (a rest) after this many moves
constexpr int kDirectionThreshold = 5;  // the direction step looks for this weight
constexpr int kDirectionMoves = 12;
constexpr int kNarrowRange = 19;        // ranges this narrow are fitted by small random steps
constexpr int kAlterationReach = 5;     // a tension replaces a pitch only this close to the last one
constexpr int kWalkTries = 10000;
constexpr int kCurveDraws = 100;
constexpr int kLadderUpWeight = 8;
constexpr int kScaleStepWeight = 5;     // profile weight of a scale tone over the chord
constexpr int kBeatTicks = 96;

// Interval size classes of the jump algorithm: how often a class is proposed (the record's
// jump acceptance then keeps or rejects it) and the semitones it stands for.
constexpr int kJumpProposal[8] = {10, 40, 25, 10, 6, 4, 3, 2};

int mod12(int v) { return ((v % 12) + 12) % 12; }

int jumpSemitones(ComposeContext& ctx, int sizeClass) {
    switch (sizeClass) {
        case 0: return 0;
        case 1: return ctx.random.range(1, 2);
        case 2: return ctx.random.range(3, 4);
        case 3: return 5;
        case 4: return 7;
        case 5: return ctx.random.range(8, 9);
        case 6: return ctx.random.range(10, 11);
        default: return 12;
    }
}

int drawJumpClass(ComposeContext& ctx) {
    const CompositionParameters& p = ctx.parameters;
    for (int tries = 0; tries < 100; ++tries) {
        int draw = ctx.random.range(1, 100);
        int sizeClass = 0;
        while (sizeClass < 7 && draw > kJumpProposal[sizeClass]) draw -= kJumpProposal[sizeClass++];
        if (ctx.random.range(0, 99) < p.jumpAcceptance[sizeClass]) return sizeClass;
    }
    return 1;
}

// Random-walk steps: 1 or 2 (2/3), 0 (1/6), 3 or 4 (1/12), 5 or 6 (1/24), 7 .. 12 (1/24).
int walkStep(ComposeContext& ctx) {
    const int r = ctx.random.range(1, 24);
    if (r <= 16) return ctx.random.range(1, 2);
    if (r <= 20) return 0;
    if (r <= 22) return ctx.random.range(3, 4);
    if (r == 23) return ctx.random.range(5, 6);
    return ctx.random.range(7, 12);
}

// Whether a leap of more than two octaves in the adjustment is pulled back, by pace class.
bool pullBackLeap(ComposeContext& ctx, int paceClass) {
    switch (paceClass) {
        case 5: case 6: return true;
        case 4: return ctx.random.range(1, 2) == 1;
        case 3: return ctx.random.range(1, 5) == 1;
        case 2: return ctx.random.range(1, 7) == 1;
        default: return false;
    }
}

bool validProfile(std::string_view profile) {
    if (profile.size() != 12) return false;
    return std::all_of(profile.begin(), profile.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
}

int highestWeight(std::string_view profile) {
    int best = 0;
    for (int pc = 0; pc < 12; ++pc) best = std::max(best, ProfileWeight(profile, pc));
    return best;
}

// `steps` scale steps (pitches of weight 5 or more) up or down from `pitch`.
int scaleSteps(int pitch, int steps, std::string_view profile) {
    const int direction = steps < 0 ? -1 : 1;
    for (int n = 0; n < std::abs(steps); ++n) {
        int moves = 0;
        do {
            pitch += direction;
        } while (ProfileWeight(profile, pitch) < kScaleStepWeight && ++moves < 12);
    }
    return pitch;
}

// What a sung line pays for a move of `size` semitones from the last pitch: steps are free,
// thirds cheap, up to a sixth dear, beyond it dearer still; the same pitch a second time costs a
// little, a third time too much.
double sungMoveCost(int size, bool heldTwice) {
    if (size == 0) return heldTwice ? 40 : 2.5;
    if (size <= 2) return 0;
    if (size <= 4) return 2;
    if (size <= 7) return 6;
    return 30;
}

// What a degree of the key (semitones above its tonic) costs on a note of `length`: the tonic
// chord's tones are where a tune rests, so the longer the note the more it leans on them and the
// key is heard; passing tones pass and do not stay. A minor tune leans harder on its tonic and
// fifth, or it is heard in the relative major, and keeps to the natural sixth and seventh except
// where the chord raises them.
double sungDegreeCost(int degree, bool major, bool inTriad, int length) {
    const double lean = std::min(length, 192) / 96.0;
    double cost = 0;
    if (degree == 0) cost -= (major ? 1.5 : 2.5) * lean;
    else if (degree == 7) cost -= (major ? 0.6 : 1.0) * lean;
    else if (degree == (major ? 4 : 3)) cost -= 0.4 * lean;
    else if (degree == 2 || degree == 10 || degree == 11) cost += 0.5 * lean;
    if (!major && !inTriad) {
        if (degree == 9) cost += 3;
        else if (degree == 11) cost += 2;
    }
    return cost;
}

}  // namespace

int ProfileWeight(std::string_view profile, int pitch) { return ProfileDigit(profile, mod12(pitch)); }

int AcceptablePitch(ComposeContext& ctx, int pitch, const PitchContext& c) {
    const MelodyPartSettings& s = *c.settings;
    if (pitch == 0) return 0;
    if (pitch < 0) {
        ReportComposeError(zemc::Adjustment2);
        return 0;
    }
    if (!validProfile(c.profile)) {
        if (!ctx.adjustmentReported) ReportComposeError(zemc::Adjustment);
        ctx.adjustmentReported = true;
        return pitch;
    }

    const int level = s.consonance;
    int threshold;
    if (c.length == 24 && c.previousLength == 24) threshold = ctx.random.range(level, 9);
    else if (level <= 3) threshold = ctx.random.range(4, 9);
    else if (level == 10) threshold = 9;
    else threshold = ctx.random.range(level, 9);

    if (c.previous != 0 && pitch == c.previous) {
        if (c.length == 96 && c.position != 0) return 0;
        threshold = std::min(threshold + 1, 9);
    }

    int steps = 0;
    while (ProfileWeight(c.profile, pitch) < threshold) {
        if (c.previous == 0) {
            pitch = ctx.random.range(s.lowest, s.highest);
        } else if (c.previous < pitch) {
            pitch = pitch >= s.highest ? pitch - 11 : pitch + 1;
        } else {
            pitch = pitch <= s.lowest ? pitch + 11 : pitch - 1;
        }
        if (c.previous != 0 && std::abs(pitch - c.previous) > 23 && pitch >= 70 && pitch <= 110 &&
            pullBackLeap(ctx, s.paceClass))
            pitch = c.previous;
        if (pitch < 0) {
            ReportComposeError(zemc::Adjustment2);
            return 0;
        }
        ++steps;
        if (steps % 100 == 0) threshold -= steps / 100;
        if (steps >= kAdjustmentSteps) return 0;
    }
    return pitch;
}

int FitToRange(ComposeContext& ctx, int pitch, const MelodyPartSettings& s) {
    if (pitch == 0) return 0;
    const bool narrow = s.highest - s.lowest <= kNarrowRange;
    if (pitch > s.highest) pitch -= narrow ? ctx.random.range(1, 3) : 12;
    if (pitch < s.lowest) pitch += narrow ? ctx.random.range(1, 3) : 12;
    return pitch;
}

int FitClassIntoRange(int pitch, const MelodyPartSettings& s) {
    if (pitch == 0) return 0;
    while (pitch > s.highest && pitch - 12 >= s.lowest) pitch -= 12;
    while (pitch < s.lowest && pitch + 12 <= s.highest) pitch += 12;
    return std::clamp(pitch, std::min(s.lowest, s.highest), std::max(s.lowest, s.highest));
}

int AlterChordTone(ComposeContext& ctx, int pitch, const PitchContext& c) {
    const MelodyPartSettings& s = *c.settings;
    if (pitch == 0 || c.chord == nullptr) return pitch;
    if (s.alteration == 2) {
        if (!c.firstOfChord && ctx.random.range(1, 5) != 1) return pitch;
        const int root = RootPitchClass(c.chord->code);
        if (root < 0) return pitch;
        int candidates[3];
        int count = 0;
        candidates[count++] = root + 2;  // the ninth
        const int seventh = SeventhInterval(c.chord->code.seventh());
        if (seventh >= 0 && seventh != 12 && seventh != 14) candidates[count++] = root + seventh;
        const int fifth = FifthInterval(c.chord->code.fifth());
        if (fifth >= 0) candidates[count++] = root + fifth + 2;
        const int from = c.previous != 0 ? c.previous : pitch;
        for (int k = 0; k < count; ++k) {
            // The tension in the octave nearest the pitch.
            int tension = pitch + mod12(candidates[k] - pitch);
            if (tension - pitch > 6) tension -= 12;
            if (std::abs(tension - from) <= kAlterationReach) return tension;
        }
        return pitch;
    }
    if (s.alteration == 1 && c.length <= 96) {
        if (c.previous > 24 && (mod12(c.previous) == 3 || mod12(c.previous) == 10) && ctx.random.range(1, 2) == 1)
            return c.previous - 1;
        if (ctx.random.oneIn(s.consonance) && c.previous != 0) {
            const int octave = pitch - mod12(pitch);
            for (int blue : {octave + 10, octave + 8, octave + 3})
                if (std::abs(blue - c.previous) <= 4) return blue;
        }
    }
    return pitch;
}

int DirectionStep(int pitch, const PitchContext& c) {
    const MelodyPartSettings& s = *c.settings;
    if (pitch == 0) return 0;
    const int towards = (c.previous != 0 && pitch < c.previous) ? 1 : -1;
    auto walk = [&](int direction) {
        int p = pitch;
        for (int moves = 0; moves < kDirectionMoves && ProfileWeight(c.profile, p) < kDirectionThreshold; ++moves)
            p += direction;
        return p;
    };
    int p = walk(towards);
    if (s.inRange(p)) return p;
    p = walk(-towards);
    return s.inRange(p) ? p : pitch;
}

int NearestWeightedPitch(int pitch, std::string_view profile, int threshold, int direction) {
    const int d = direction < 0 ? -1 : 1;
    for (int distance = 0; distance < 12; ++distance) {
        if (ProfileWeight(profile, pitch + d * distance) >= threshold) return pitch + d * distance;
        if (ProfileWeight(profile, pitch - d * distance) >= threshold) return pitch - d * distance;
    }
    return pitch;
}

double LagrangeValue(const std::array<double, 4>& xs, const std::array<double, 4>& ys, double x) {
    double sum = 0.0;
    for (size_t i = 0; i < 4; ++i) {
        double term = ys[i];
        for (size_t j = 0; j < 4; ++j)
            if (j != i) term *= (x - xs[j]) / (xs[i] - xs[j]);
        sum += term;
    }
    return sum;
}

// ---- PitchGenerator ------------------------------------------------------------------------

void PitchGenerator::BeginBlock(ComposeContext& ctx, const MelodyPartSettings& s, int blockTicks) {
    settings_ = &s;
    invalidReported_ = false;
    walkDirection_ = 1;
    jumpDirection_ = 1;
    curveReady_ = false;
    switch (s.algorithm) {
        case 1: {
            const int span = blockTicks * ctx.random.range(1, 3);
            for (int draw = 0; draw < kCurveDraws && span >= 3; ++draw) {
                const int x1 = ctx.random.range(0, span), x2 = ctx.random.range(0, span);
                curveX_ = {0.0, double(x1), double(x2), double(span)};
                curveY_ = {double(s.middle() / 12 * 12 + ctx.random.range(0, 11)),
                           double(ctx.random.range(s.lowest, s.highest)), double(ctx.random.range(s.lowest, s.highest)),
                           double(ctx.random.range(s.lowest, s.highest))};
                if (x1 != 0 && x2 != 0 && x1 != span && x2 != span && x1 != x2) {
                    curveReady_ = true;
                    break;
                }
            }
            if (!curveReady_) ReportComposeError(zemc::MelodyPoints);
            break;
        }
        case 3:
        case 4:
            for (int& step : ladderSteps_) {
                const int r = ctx.random.range(1, 20);
                if (r <= 7) step = 1;
                else if (r <= 14) step = -1;
                else if (r <= 16) step = 2;
                else if (r <= 18) step = -2;
                else if (r == 19) step = 0;
                else step = ctx.random.range(1, 2) == 1 ? 3 : -3;
            }
            ladderStep_ = 0;
            rung_ = 10;
            break;
        case 5:
            contour_ = ctx.random.range(0, kContourCount - 1);
            break;
        default: break;
    }
}

void PitchGenerator::BeginChord(const PitchContext& c) {
    const MelodyPartSettings& s = *c.settings;
    settings_ = &s;
    if (s.algorithm == 3 || s.algorithm == 4) {
        // A chord from outside the scale may have no tone that heavy: the rungs then take the
        // heaviest tones it has.
        const int heaviest = std::max(highestWeight(c.profile), 1);
        const int upper = std::min(kLadderUpWeight, heaviest);
        const int lower = std::min(std::clamp(s.consonance, 1, 9), heaviest);
        // Rungs far beyond the range (a chord with one heavy tone per octave) stay at its edge.
        const int top = std::min(s.highest + 12, 127), bottom = std::max(s.lowest - 12, 0);
        ladder_[10] = s.middle();
        int p = s.middle();
        for (int r = 11; r <= 20; ++r) {
            int moves = 0;
            do {
                ++p;
            } while (ProfileWeight(c.profile, p) < upper && ++moves < 12);
            ladder_[static_cast<size_t>(r)] = std::min(p, top);
        }
        p = s.middle();
        for (int r = 9; r >= 0; --r) {
            int moves = 0;
            do {
                --p;
            } while (ProfileWeight(c.profile, p) < lower && ++moves < 12);
            ladder_[static_cast<size_t>(r)] = std::max(p, bottom);
        }
    } else if (s.algorithm == 5) {
        contourIndex_ = 0;
        const int from = c.previous != 0 ? c.previous : s.middle();
        anchor_ = NearestWeightedPitch(from, c.profile, std::max(highestWeight(c.profile), 1), 1);
    }
}

int PitchGenerator::adjusted(ComposeContext& ctx, int pitch, const PitchContext& c, bool directionStep) {
    const MelodyPartSettings& s = *c.settings;
    pitch = AcceptablePitch(ctx, pitch, c);
    pitch = FitToRange(ctx, pitch, s);
    pitch = AlterChordTone(ctx, pitch, c);
    pitch = FitToRange(ctx, pitch, s);
    if (directionStep) pitch = DirectionStep(pitch, c);
    return pitch;
}

int PitchGenerator::curvePitch(const PitchContext& c) {
    if (!curveReady_) return c.settings->middle();
    // The curve is laid over the whole block: read within the chord, every chord would start it again.
    const double value = LagrangeValue(curveX_, curveY_, double(c.blockPosition));
    // The points lie in the part's range, but between close points the cubic overshoots: the
    // curve is folded back into the range at its edges, so it keeps moving and never leads the
    // melody out of the range (a rest or an octave leap).
    const double low = c.settings->lowest, high = c.settings->highest;
    double v = std::clamp(value, 0.0, 127.0);
    for (int folds = 0; folds < 16 && high > low && (v < low || v > high); ++folds)
        v = v > high ? 2 * high - v : 2 * low - v;
    return static_cast<int>(std::lround(std::clamp(v, low, high)));
}

// A sung line: the curve says where the tune is heading, the beat says what it may sing on
// the way. Strong beats, chord changes and long notes take a tone of the triad, other notes a
// scale tone, and no beat note sounds a semitone, a tritone or a major seventh against the
// bass. A leap is turned back by a step. A block's first note lies near the middle of the range:
// blocks are joined in the form's order, so whatever comes before, the join stays small. A
// little chance keeps equal choices from always going one way.
int PitchGenerator::sungPitch(ComposeContext& ctx, int target, const PitchContext& c) {
    const MelodyPartSettings& s = *c.settings;
    const int inBar = c.measure > 0 ? c.blockPosition % c.measure : 0;
    const bool onBeat = inBar % kBeatTicks == 0;
    const bool strong = c.firstOfChord || inBar == 0 || (c.measure == 384 && inBar == 192) || c.length >= 144;
    char digits[12];
    const bool haveTriad = c.chord != nullptr && ChordToneDigits(c.chord->code, digits);
    const int bass = c.chord != nullptr ? c.chord->bassPitch : -1;
    const auto triadTone = [&](int pitch) { return haveTriad && digits[mod12(pitch)] == '9'; };
    const auto clashesWithBass = [&](int pitch) {
        const int interval = mod12(pitch - bass);
        return bass >= 0 && (interval == 1 || interval == 6 || interval == 11);
    };
    const int tonic = s.majorKnowledge ? 0 : 9;
    const int leap = c.previous != 0 && c.previous2 != 0 ? c.previous - c.previous2 : 0;

    int best = 0;
    double bestCost = 0;
    for (int pitch = s.lowest; pitch <= s.highest; ++pitch) {
        if (strong && haveTriad ? !triadTone(pitch) : ProfileWeight(c.profile, pitch) < kScaleStepWeight) continue;
        if (onBeat && clashesWithBass(pitch)) continue;
        double cost = c.previous != 0 ? std::abs(pitch - target) * 0.5
                                      : std::abs(pitch - s.middle()) * 0.5 + std::abs(pitch - target) * 0.25;
        cost += sungDegreeCost(mod12(pitch - tonic), s.majorKnowledge, triadTone(pitch), c.length);
        if (c.previous != 0) {
            const int move = pitch - c.previous;
            cost += sungMoveCost(std::abs(move), c.previous == c.previous2);
            if (std::abs(leap) > 4 && (std::abs(move) > 2 || (move > 0) == (leap > 0))) cost += 8;
        }
        cost += ctx.random.range(0, 3) * 0.5;
        if (best == 0 || cost < bestCost) {
            bestCost = cost;
            best = pitch;
        }
    }
    return best != 0 ? best : adjusted(ctx, target, c, true);
}

int PitchGenerator::walkPitch(ComposeContext& ctx, const PitchContext& c) {
    const MelodyPartSettings& s = *c.settings;
    if (ctx.random.range(1, 4) == 1) walkDirection_ = -walkDirection_;
    const int start = c.previous != 0 ? c.previous : s.middle();
    const int wanted = c.firstOfChord ? 8 : 5;
    int p = start;
    for (int tries = 0; tries < kWalkTries; ++tries) {
        if (s.walkVariant == 1) p = start;
        const int step = walkStep(ctx);
        if (!s.inRange(p + walkDirection_ * step)) walkDirection_ = -walkDirection_;
        p += walkDirection_ * step;
        if (ProfileWeight(c.profile, p) >= wanted) break;
    }
    if (ctx.random.range(1, 8) == 1) return 0;
    return p;
}

int PitchGenerator::ladderPitch(const PitchContext& c) {
    const int moves = c.settings->algorithm == 4 ? 2 : 1;
    for (int n = 0; n < moves; ++n) {
        rung_ += ladderSteps_[static_cast<size_t>(ladderStep_)];
        ladderStep_ = (ladderStep_ + 1) % static_cast<int>(ladderSteps_.size());
        if (rung_ < 0) rung_ = -rung_;
        if (rung_ > 20) rung_ = 40 - rung_;
    }
    return ladder_[static_cast<size_t>(rung_)];
}

int PitchGenerator::contourPitch(const PitchContext& c) {
    const int steps = kContours[contour_][contourIndex_ % kContourLength];
    ++contourIndex_;
    return scaleSteps(anchor_, steps, c.profile);
}

int PitchGenerator::jumpPitch(ComposeContext& ctx, const PitchContext& c) {
    const MelodyPartSettings& s = *c.settings;
    const CompositionParameters& p = ctx.parameters;
    const int from = c.previous != 0 ? c.previous : s.middle();
    const int sizeClass = drawJumpClass(ctx);
    const int keep = std::clamp(50 - p.jumpBias[sizeClass], 0, 100);
    if (ctx.random.range(0, 99) >= keep) jumpDirection_ = -jumpDirection_;
    const int semitones = jumpSemitones(ctx, sizeClass);
    int pitch = from + jumpDirection_ * semitones;
    if (!s.inRange(pitch)) {
        jumpDirection_ = -jumpDirection_;
        pitch = from + jumpDirection_ * semitones;
    }
    return NearestWeightedPitch(pitch, c.profile, std::clamp(s.consonance, kScaleStepWeight, 9), jumpDirection_);
}

int PitchGenerator::Next(ComposeContext& ctx, const PitchContext& c) {
    const MelodyPartSettings& s = *c.settings;
    switch (s.algorithm) {
        case 1: return s.singable ? sungPitch(ctx, curvePitch(c), c) : adjusted(ctx, curvePitch(c), c, true);
        case 2: return adjusted(ctx, walkPitch(ctx, c), c, false);
        case 3:
        case 4:
            // Short notes of the stepping ladder often hold the pitch.
            if (s.algorithm == 3 && (c.length == 48 || c.length == 32) && c.previous != 0 &&
                ctx.random.range(1, 3) <= 2)
                return c.previous;
            return adjusted(ctx, ladderPitch(c), c, false);
        case 5: return FitToRange(ctx, contourPitch(c), s);
        case 6: return FitToRange(ctx, jumpPitch(ctx, c), s);
        case 7: return s.middle();
        default:
            if (!invalidReported_) ReportComposeError(zemc::AlgorithmSelection);
            invalidReported_ = true;
            return 0;
    }
}

}  // namespace tunecase
