#include "compose/chords.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "compose/compose_context.h"
#include "compose/compose_errors.h"
#include "compose/engine_constants.h"
#include "compose/knowledge_files.h"

namespace tunecase {

namespace {

constexpr int kPlacedLow = 60;   // thirds and sevenths are placed into 60..83
constexpr int kPlacedHigh = 83;
constexpr int kFixedBassPitch = 43;
constexpr int kMaxWeightedCandidates = 30;
constexpr int kClosingTriesPerChord = 150;
constexpr int kCadenceTriesAvoidingRepeat = 2000;

int mod12(int v) { return ((v % 12) + 12) % 12; }

// Draws a placement until the pitch lies in 60..83. `shifted` is the pitch of draw 2.
int placeByDraws(ComposeContext& ctx, int plain, int shifted) {
    for (int tries = 0; tries < 1000; ++tries) {
        const int pitch = ctx.random.range(1, 3) == 2 ? shifted : plain;
        if (pitch >= kPlacedLow && pitch <= kPlacedHigh) return pitch;
    }
    // Only reached with a broken generator: fold into the range instead of looping on.
    int pitch = plain;
    while (pitch < kPlacedLow) pitch += 12;
    while (pitch > kPlacedHigh) pitch -= 12;
    return pitch;
}

uint8_t clampPitch(int pitch) { return static_cast<uint8_t>(std::clamp(pitch, 0, 127)); }

bool majorKnowledge(const ComposeContext& ctx) { return ctx.parameters.knowledgeSet == 1; }

int familyMinimumScore(int family, bool cadence) {
    if (family == 1) return 5;
    if (family == 2) return 6;
    if (family == 3 || (cadence && family == 9)) return 7;
    return 8;
}

int circularDistance(int a, int b) {
    const int d = mod12(a - b);
    return std::min(d, 12 - d);
}

}  // namespace

ChordCode::ChordCode(std::string_view text) {
    for (size_t i = 0; i < 4; ++i) c[i] = i < text.size() ? text[i] : '\0';
}

int RootPitch(char root) {
    if (root == 'N') return 0;
    for (int pc = 0; pc < 12; ++pc)
        if (kChordRoots[pc] == root) return 60 + pc;
    return kInvalidTone;
}

int ThirdInterval(char third) {
    switch (third) {
        case 'M': return 4;
        case 'm': return 3;
        case '4': return 5;
        case 'o': return kNoTone;
        default: return kInvalidTone;
    }
}

int FifthInterval(char fifth) {
    switch (fifth) {
        case 'P': return 7;
        case 'A': return 8;
        case 'd': return 6;
        case 'C': return kNoTone;
        default: return kInvalidTone;
    }
}

int SeventhInterval(char seventh) {
    switch (seventh) {
        case 'S': return 11;
        case 's': return 10;
        case '6': return 9;
        case '9': return 14;
        case 'o': return 12;
        case 'd': return kNoTone;
        default: return kInvalidTone;
    }
}

bool IsValidChordCode(const ChordCode& code) {
    return RootPitch(code.root()) != kInvalidTone && ThirdInterval(code.third()) != kInvalidTone &&
           FifthInterval(code.fifth()) != kInvalidTone && SeventhInterval(code.seventh()) != kInvalidTone;
}

int RootPitchClass(const ChordCode& code) {
    const int root = RootPitch(code.root());
    return root >= 60 ? root - 60 : -1;
}

ChordCode WithRoot(const ChordCode& code, int pitchClass) {
    ChordCode out = code;
    out.c[0] = kChordRoots[mod12(pitchClass)];
    return out;
}

std::vector<int> ChordPitchClasses(const ChordCode& code) {
    std::vector<int> tones;
    const int root = RootPitchClass(code);
    if (root < 0) return tones;
    tones.push_back(root);
    for (int interval : {ThirdInterval(code.third()), FifthInterval(code.fifth()), SeventhInterval(code.seventh())})
        if (interval >= 0) tones.push_back(mod12(root + interval));
    return tones;
}

int BassNumber(std::string_view bassText) {
    if (bassText.size() < 2) return 0;
    const char a = bassText[0], b = bassText[1];
    if (a < '0' || a > '9' || b < '0' || b > '9') return 0;
    return (a - '0') * 10 + (b - '0');
}

ChordRecord MakeChord(ComposeContext& ctx, int duration, const ChordCode& code, std::string_view bassText) {
    ChordRecord chord;
    chord.duration = duration;
    chord.code = code;
    if (bassText.size() >= 2) {
        chord.bassText[0] = bassText[0];
        chord.bassText[1] = bassText[1];
    }

    int root = RootPitch(code.root());
    if (root == kInvalidTone) {
        ReportComposeError(zemc::RootNote);
        root = 0;
    }
    int third = ThirdInterval(code.third());
    if (third == kInvalidTone) {
        ReportComposeError(zemc::ThirdNote);
        third = kNoTone;
    }
    int fifth = FifthInterval(code.fifth());
    if (fifth == kInvalidTone) {
        ReportComposeError(zemc::FifthNote);
        fifth = 0;
    }
    int seventh = SeventhInterval(code.seventh());
    if (seventh == kInvalidTone) {
        ReportComposeError(zemc::SeventhNote);
        seventh = 0;
    }
    // No chord (or a root that is none of the twelve): no pitches at all.
    if (root == 0) return chord;

    chord.rootPitch = clampPitch(root);
    const int bassBase = ctx.parameters.bassMode == 10 ? kFixedBassPitch : root - 24;
    chord.bassPitch = clampPitch(bassBase + BassNumber(bassText));
    if (third >= 0) {
        chord.thirdPitch = ctx.parameters.backingPattern3 == 47
                               ? clampPitch(root + third)
                               : clampPitch(placeByDraws(ctx, root + third, root + third + 12));
    }
    if (fifth >= 0) chord.fifthPitch = clampPitch(root + fifth);
    if (seventh >= 0) chord.seventhPitch = clampPitch(placeByDraws(ctx, root + seventh, root + seventh - 12));
    return chord;
}

// ---- Profiles ----------------------------------------------------------------------------

std::string ScaleProfile(const ComposeContext& ctx) { return scalePatternOf(ctx.parameters); }

int ProfileDigit(std::string_view profile, int pc) {
    const size_t at = (profile.size() >= 16 ? 4 : 0) + static_cast<size_t>(mod12(pc));
    if (at >= profile.size()) return 0;
    const char d = profile[at];
    return d >= '0' && d <= '9' ? d - '0' : 0;
}

namespace {

// The table's text, the same for every composition: written once, never changed.
void writeChordToneTable(std::array<char, kKnowledgeBytes>& table) {
    table.fill('\0');
    static constexpr char kThirds[] = "Mm4";
    static constexpr char kFifths[] = "PAd";
    static constexpr char kFourths[] = "Ssdo69";
    char* at = table.data();
    for (int r = 0; r < 12; ++r)
        for (int t = 0; t < 3; ++t)
            for (int f = 0; f < 3; ++f)
                for (int s = 0; s < 6; ++s) {
                    const char code[4] = {kChordRoots[r], kThirds[t], kFifths[f], kFourths[s]};
                    char digits[12];
                    std::memset(digits, '0', 12);
                    switch (code[3]) {
                        case '6': digits[mod12(r + 9)] = '5'; break;
                        case '9': digits[mod12(r + 14)] = '4'; break;
                        case 'S': digits[mod12(r + 11)] = '4'; break;
                        case 's': digits[mod12(r + 10)] = '5'; break;
                        default: break;  // d and o add nothing
                    }
                    digits[r] = '9';
                    digits[mod12(r + ThirdInterval(code[1]))] = '9';
                    digits[mod12(r + FifthInterval(code[2]))] = '9';
                    std::memcpy(at, code, 4);
                    std::memcpy(at + 4, digits, 12);
                    std::memcpy(at + 16, "|\r\n", 3);
                    at += kChordToneRecordBytes;
                }
}

}  // namespace

std::string_view ChordToneText() {
    static const auto table = [] {
        auto t = std::make_unique<std::array<char, kKnowledgeBytes>>();
        writeChordToneTable(*t);
        return t;
    }();
    return std::string_view(table->data(), strnlen(table->data(), table->size()));
}

bool ChordToneDigits(const ChordCode& code, char digits[12]) {
    std::memset(digits, '0', 12);
    static constexpr std::string_view kThirds = "Mm4", kFifths = "PAd", kFourths = "Ssdo69";
    const int r = RootPitchClass(code);
    const size_t t = kThirds.find(code.third()), f = kFifths.find(code.fifth()), s = kFourths.find(code.seventh());
    if (r < 0 || t == std::string_view::npos || f == std::string_view::npos || s == std::string_view::npos)
        return false;
    const std::string_view table = ChordToneText();
    const size_t index = ((static_cast<size_t>(r) * 3 + t) * 3 + f) * 6 + s;
    const size_t at = index * kChordToneRecordBytes;
    if (at + 16 > table.size() || std::memcmp(table.data() + at, code.c.data(), 4) != 0) return false;
    std::memcpy(digits, table.data() + at + 4, 12);
    return true;
}

std::string ChordProfile(const ComposeContext& ctx, const ChordCode& code) {
    const std::string scale = ScaleProfile(ctx);
    int scaleDigits[12];
    for (int pc = 0; pc < 12; ++pc) scaleDigits[pc] = ProfileDigit(scale, pc);
    std::string profile(12, '0');
    if (code.isNoChord()) {
        for (int pc = 0; pc < 12; ++pc) profile[pc] = static_cast<char>('0' + scaleDigits[pc]);
        return profile;
    }
    char tones[12];
    ChordToneDigits(code, tones);

    const int kind = ctx.parameters.scale;
    if (kind == 1 || kind == 7) {
        auto holdsChord = [&](int shift) {
            for (int pc = 0; pc < 12; ++pc)
                if (tones[pc] != '0' && scaleDigits[mod12(pc - shift)] == 0) return false;
            return true;
        };
        // A chord from outside the key borrows the scale of the key a fourth or a fifth up.
        int shift = 0;
        if (!holdsChord(0)) {
            if (holdsChord(5)) shift = 5;
            else if (holdsChord(7)) shift = 7;
        }
        if (shift) {
            int moved[12];
            for (int pc = 0; pc < 12; ++pc) moved[pc] = scaleDigits[mod12(pc - shift)];
            std::memcpy(scaleDigits, moved, sizeof moved);
        }
    }
    for (int pc = 0; pc < 12; ++pc) {
        if (scaleDigits[pc] == 0) continue;
        const int weight = std::clamp(scaleDigits[pc] + (tones[pc] - '0') - 4, 0, 9);
        profile[pc] = static_cast<char>('0' + weight);
    }
    return profile;
}

int DiatonicScore(const ComposeContext& ctx, const ChordCode& code) {
    int score = 0;
    for (int pc : ChordPitchClasses(code)) {
        if (pc == 1 || pc == 3 || pc == 10) continue;
        if (pc == 6 || pc == 8) score += majorKnowledge(ctx) ? 1 : 2;
        else score += 2;
    }
    return score;
}

// ---- Progression ---------------------------------------------------------------------------

ChordCode TonicCode(const ComposeContext& ctx) { return ChordCode(ctx.knowledgeNames.tonic); }

ChordCode WeightedSuccession(ComposeContext& ctx, const ChordCode& current) {
    int lowest;
    switch (ctx.parameters.progressionFamily) {
        case 1: lowest = 1; break;
        case 2: lowest = 3; break;
        case 3: case 6: case 9: lowest = 4; break;
        case 4: case 7: lowest = 5; break;
        default:
            ReportComposeError(zemc::ChordProgression);
            ctx.parameters.progressionFamily = 3;
            lowest = 1;
            break;
    }

    ChordCode candidates[kMaxWeightedCandidates];
    int levels[kMaxWeightedCandidates];
    int matches = 0;
    const std::string_view text = PatternText(ctx);
    size_t pos = 0;
    std::string record;
    while (ReadRecord(text, pos, record)) {
        if (record.size() < 4 || std::memcmp(record.data(), current.c.data(), 4) != 0) continue;
        if (matches < kMaxWeightedCandidates) {
            candidates[matches] = ChordCode(record.size() > 4 ? std::string_view(record).substr(4) : "");
            levels[matches] = SuccessionLevel(ctx, PatternWeight(record));
        }
        ++matches;
    }
    // Without a record for the chord the tonic follows.
    if (matches == 0) return TonicCode(ctx);
    // When no candidate reaches the family's lowest level every draw below fails: the tonic
    // follows at once instead of after all the tries.
    int highest = 0;
    for (int i = 0; i < std::min(matches, kMaxWeightedCandidates); ++i) highest = std::max(highest, levels[i]);
    if (highest < lowest) return TonicCode(ctx);

    for (int tries = 0; tries < kSuccessionTries; ++tries) {
        int index = ctx.random.range(0, matches - 1);
        if (index >= kMaxWeightedCandidates) index = kMaxWeightedCandidates - 1;
        const int threshold = ctx.random.range(lowest, 9);
        if (levels[index] < threshold) continue;
        if (candidates[index].c[0] == '\0') {
            ReportComposeError(zemc::ErrorInDb2);
            return TonicCode(ctx);
        }
        return candidates[index];
    }
    return TonicCode(ctx);
}

ChordCode RandomChord(ComposeContext& ctx) {
    ChordCode chord("CMPS");
    chord.c[0] = kChordRoots[ctx.random.range(0, 11)];
    chord.c[1] = ctx.random.range(1, 2) == 1 ? 'M' : 'm';
    if (ctx.random.range(1, 3) <= 2) {
        chord.c[2] = 'P';
    } else {
        chord.c[1] = 'm';
        chord.c[2] = 'd';
    }
    chord.c[3] = ctx.random.range(1, 2) == 1 ? 'S' : 's';
    return chord;
}

ChordCode DominantChain(ComposeContext& ctx, const ChordCode& current) {
    const int from = std::max(RootPitchClass(current), 0);
    int to;
    if (from == 2 && ctx.random.range(1, 2) == 1) to = 7;        // D -> G
    else if (from == 7 && ctx.random.range(1, 3) <= 2) to = 0;   // G -> C
    else if (from == 0 && ctx.random.range(1, 3) == 1) to = 2;   // C -> D
    else if (ctx.random.range(1, 2) == 1) to = from + 5;
    else if (ctx.random.range(1, 3) == 1) to = from + 9;
    else if (ctx.random.range(1, 2) == 1) to = from + 7;
    else to = from + 3;
    to = mod12(to);

    ChordCode chord = WithRoot(ChordCode("CMPs"), to);
    switch (to) {
        case 0: chord.c[3] = ctx.random.range(1, 4) == 1 ? 's' : 'S'; break;
        case 2: chord.c[3] = ctx.random.range(1, 5) == 1 ? 'S' : 's'; break;
        case 7: chord.c[3] = ctx.random.range(1, 6) == 1 ? 'S' : 's'; break;
        default: chord.c[3] = ctx.random.range(1, 2) == 1 ? 'S' : 's'; break;
    }
    return chord;
}

ChordCode DescendingMinorLoop(ComposeContext& ctx, const ChordCode& current) {
    const char* next = nullptr;
    switch (current.root()) {
        case 'A': next = "GMPS"; break;
        case 'E': next = majorKnowledge(ctx) ? "CMPS" : "AmPs"; break;
        case 'F': next = "EMPs"; break;
        case 'G': next = "FMPS"; break;
        default: break;
    }
    if (next && ctx.random.range(1, 3) <= 2) return ChordCode(next);
    static constexpr const char* kAny[4] = {"GMPS", "FMPS", "EMPs", "AmPs"};
    return ChordCode(kAny[ctx.random.range(0, 3)]);
}

ChordCode GeneratedSuccession(ComposeContext& ctx, const ChordCode& current) {
    const int minimum = familyMinimumScore(ctx.parameters.progressionFamily, false);
    const int from = std::max(RootPitchClass(current), 0);
    const std::vector<int> currentTones = ChordPitchClasses(current);

    for (int tries = 0; tries < kSuccessionTries; ++tries) {
        ChordCode candidate = RandomChord(ctx);
        if (ctx.random.range(1, 4) == 1) {
            candidate.c = {candidate.c[0], 'm', 'd', 's'};  // half-diminished
        } else if (ctx.random.range(1, 3) == 1) {
            candidate = WithRoot(candidate, from + 7);        // a fifth up
            if (ctx.random.range(1, 2) == 1) candidate.c = {candidate.c[0], 'M', 'P', 's'};
        } else if (ctx.random.range(1, 3) == 1) {
            candidate = WithRoot(candidate, from + 5);        // a fourth up
            if (ctx.random.range(1, 2) == 1) candidate.c = {candidate.c[0], 'M', 'P', 'S'};
        }
        if (DiatonicScore(ctx, candidate) < ctx.random.range(minimum, 8)) continue;

        // Voice leading: how far each new tone lies from the nearest tone of the chord before.
        int common = 0, semitone = 0, wholeTone = 0;
        std::vector<int> tones = ChordPitchClasses(candidate);
        std::sort(tones.begin(), tones.end());
        for (int tone : tones) {
            int nearest = 12;
            for (int old : currentTones) nearest = std::min(nearest, circularDistance(tone, old));
            if (nearest == 0) ++common;
            else if (nearest == 1) ++semitone;
            else if (nearest == 2) ++wholeTone;
        }
        int score = (semitone == 1 || semitone == 3) ? 1 : 0;
        if (current.isDominantSeventh()) ++score;
        if (candidate.isMajorSeventh() || candidate.isMinorSeventh()) ++score;

        if (wholeTone == 3) return candidate;
        if (common == 3 && ctx.random.range(1, 2) == 1) return candidate;
        if (common == 2) ++score;
        if (score > 1) return candidate;
    }
    return TonicCode(ctx);
}

void NextChord(ComposeContext& ctx, ChordCode& current) {
    auto draw = [&]() {
        // Read the family again: the weighted succession may have repaired it.
        const int f = ctx.parameters.progressionFamily;
        if (f == 5) return RandomChord(ctx);
        if (f == 9) return DominantChain(ctx, current);
        if (f == 10) return DescendingMinorLoop(ctx, current);
        if (f == 6 || ctx.parameters.progressionMethod != 1) return WeightedSuccession(ctx, current);
        return GeneratedSuccession(ctx, current);
    };
    ChordCode next = draw();
    const int kind = ctx.parameters.scale;
    if (kind != 1 && kind != 6 && kind != 7) {
        const std::string scale = ScaleProfile(ctx);
        auto outOfScale = [&](const ChordCode& chord) {
            const int root = RootPitchClass(chord);
            return root >= 0 && ProfileDigit(scale, root) <= 1;
        };
        for (int draws = 1; draws < 21 && outOfScale(next); ++draws) next = draw();
    }
    current = next;
}

namespace {

// The closing chord that follows `previous` when closings are derived.
ChordCode DeriveClosingChord(ComposeContext& ctx, const ChordCode& previous) {
    const int root = std::max(RootPitchClass(previous), 0);
    if (previous.isDominantSeventh())
        return WithRoot(ChordCode(ctx.random.range(1, 2) == 1 ? "CMPS" : "CmPs"), root + 5);
    if (previous.isMajorSeventh()) {
        switch (ctx.random.range(1, 3)) {
            case 1: return WithRoot(ChordCode("CmPs"), root + 2);
            case 2: return WithRoot(ChordCode("CMPS"), root + 5);
            default: return WithRoot(ChordCode("CMPs"), root + 2);
        }
    }
    if (previous.isMinorSeventh()) return WithRoot(ChordCode("CMPs"), root + 5);
    return TonicCode(ctx);
}

}  // namespace

std::vector<ChordCode> PickCadence(ComposeContext& ctx, const ChordCode& before, int count) {
    std::vector<ChordCode> closing;
    if (count <= 0) return closing;

    if (ctx.parameters.progressionMethod == 1) {
        const int minimum = familyMinimumScore(ctx.parameters.progressionFamily, true);
        ChordCode previous = before;
        for (int i = 0; i < count; ++i) {
            ChordCode next = DeriveClosingChord(ctx, previous);
            for (int tries = 1; tries < kClosingTriesPerChord && DiatonicScore(ctx, next) < minimum; ++tries)
                next = DeriveClosingChord(ctx, previous);
            closing.push_back(next);
            previous = next;
        }
        return closing;
    }

    const ChartList list = ReadChartList(CadenceText(ctx));
    std::string progression;
    for (int tries = 0; tries < kSuccessionTries; ++tries) {
        // A file that cannot give a progression says so once; the closing is then the tonic.
        if (!list.Pick(ctx, progression)) break;
        if (progression.size() != static_cast<size_t>(count) * 4) continue;
        if (tries < kCadenceTriesAvoidingRepeat && std::memcmp(progression.data(), before.c.data(), 4) == 0)
            continue;
        for (int i = 0; i < count; ++i) closing.emplace_back(std::string_view(progression).substr(i * 4, 4));
        return closing;
    }
    closing.assign(static_cast<size_t>(count), TonicCode(ctx));
    return closing;
}

std::string ChooseBassText(ComposeContext& ctx, const ChordCode& code) {
    if (ctx.parameters.slashBass != 1) return "00";
    if (ctx.random.range(1, 4) != 1) return "00";
    switch (ctx.random.range(1, 3)) {
        case 1: return "07";
        case 2: return code.third() == 'M' ? "04" : code.third() == 'm' ? "03" : "00";
        default: return code.seventh() == 'S' ? "11" : code.seventh() == 's' ? "10" : "00";
    }
}

ChordCode PassingChord(ComposeContext& ctx, const ChordCode& next) {
    const int step = ctx.random.range(1, 2) == 1 ? 1 : -1;
    const int root = RootPitchClass(next);
    if (root < 0) return next;
    return WithRoot(next, root + step);
}

std::string ChordName(const ChordCode& code, std::string_view bassText) {
    static constexpr const char* kNoteNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    const char root = code.root();
    std::string name;
    if (root == 'N') {
        name = "N/C";
    } else if (root >= 'a' && root <= 'z') {
        name.push_back(static_cast<char>(root - 'a' + 'A'));
        name.push_back('b');
    } else {
        name.push_back(root);
    }
    const bool natural = root >= 'A' && root <= 'Z' && root != 'N';
    const bool minor = code.third() == 'm';
    if (minor) name.push_back('m');
    if (code.fifth() == 'd') {
        if (minor) name.replace(name.size() - 1, 1, "dim");
        else if (natural) ReportComposeError(zemc::DiminishChord);
    } else if (code.fifth() == 'A') {
        name += "aug";
    }
    if (code.seventh() == 's') name += "7";
    else if (code.seventh() == 'S') name += "M7";
    else name += " ";

    const int rootPc = RootPitchClass(code);
    if (rootPc >= 0 && bassText.size() >= 2 && bassText.substr(0, 2) != "00") {
        name += "on";
        name += kNoteNames[mod12(rootPc + BassNumber(bassText))];
    }
    return name;
}

}  // namespace tunecase
