#include "compose/melody.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>

#include "compose/chords.h"
#include "compose/compose_context.h"
#include "compose/note_length.h"
#include "compose/pitch_algorithms.h"
#include "styles/composition_parameters.h"

namespace tunecase {

namespace {

constexpr int kRememberedChords = 256;  // chords per block whose rhythm and intervals are kept
constexpr int kRememberedNotes = 256;   // notes per chord kept
constexpr int kNoPreviousPitch = 256;   // interval code: there was no pitch before
constexpr int kRestInterval = 257;      // interval code: the note was a rest
constexpr int kNothingStored = -32768;  // no note at that index
constexpr int kPushTicks = 48;
constexpr int kEarlyEndRoom = 288;      // a chord tone leaving more than this ends the last chord
constexpr int kLongestRest = 384;
constexpr int kRestsInARow = 4;
constexpr int kOrnamentDraws = 100;
constexpr int kHalfBar = 192;
constexpr int kBeat = 96;

int mod12(int v) { return ((v % 12) + 12) % 12; }

// The pitch of class `pitchClass` nearest `pitch` (the lower one on a tie).
int nearestClass(int pitch, int pitchClass) {
    const int down = mod12(pitch - pitchClass);
    return down <= 6 ? pitch - down : pitch + 12 - down;
}

// The rhythm and intervals of one chord of the block, for the repetitions.
struct ChordMemory {
    int duration = 0;
    std::array<int16_t, kRememberedNotes> lengths{};    // 0: no note at that index
    std::array<int16_t, kRememberedNotes> intervals{};
    ChordMemory() { intervals.fill(static_cast<int16_t>(kNothingStored)); }
};

bool isTriadTone(const ChordCode& code, int pitch) {
    char digits[12];
    if (!ChordToneDigits(code, digits)) return false;
    return digits[mod12(pitch)] == '9';
}

bool draws(ComposeContext& ctx, int setting) {
    return setting == 2 || (setting == 1 && ctx.random.range(1, 2) == 1);
}

// Scale kind 21: the melody leans on E, and takes G or G sharp from the chord.
int leanOnE(ComposeContext& ctx, int pitch, int previous, const ChordCode& code, const MelodyPartSettings& s) {
    const int original = pitch;
    const int octave = pitch - mod12(pitch);
    if (mod12(pitch) != 4) {
        const int root = RootPitchClass(code);
        const bool fallingFromF = previous != 0 && mod12(previous) == 5 && pitch < previous;
        const int d = (root != 4 && root != 9 && !fallingFromF) ? 4 : 3;
        if (ctx.random.range(1, 2) == 1 && ctx.random.oneIn(d)) pitch = octave + 4;
    }
    if (mod12(pitch) == 7 || mod12(pitch) == 8) {
        const std::vector<int> tones = ChordPitchClasses(code);
        const bool holdsG = std::find(tones.begin(), tones.end(), 7) != tones.end();
        const bool holdsGSharp = std::find(tones.begin(), tones.end(), 8) != tones.end();
        const bool risingInto = previous != 0 && previous < pitch;
        if (holdsG) pitch = octave + 7;
        else if (holdsGSharp || risingInto) pitch = octave + 8;
    }
    // Moving to the E of the octave may leave a range that ends just below it.
    return s.inRange(pitch) ? pitch : original;
}

// Adds `pitch` as an ornament group when the draws allow one; false leaves it to the caller.
bool addOrnamentGroup(ComposeContext& ctx, EventList& melody, int pitch, int length, int previous,
                      const MelodyPartSettings& s) {
    const CompositionParameters& p = ctx.parameters;
    std::vector<int> pitches;
    int unit = 24;
    if (length > 192 && previous == 0) {
        const bool refused = (ctx.random.range(1, 3) != 1 && ctx.random.range(0, s.consonance) != 1) ||
                             (s.majorKnowledge && ctx.random.range(1, 2) != 1);
        if (refused || !s.inRange(pitch - 1)) return false;
        pitches = {pitch, pitch - 1, pitch};
        unit = 48;
    } else if (previous != 0 && std::abs(pitch - previous) == 4) {
        // A passing tone through a major third, kept as often as the record keeps steps
        // (size class 1) and thirds (size class 2).
        if (ctx.random.range(0, 99) >= p.jumpAcceptance[1] || ctx.random.range(0, 99) >= p.jumpAcceptance[2])
            return false;
        pitches = {(pitch + previous) / 2, pitch};
    } else if (length == 96 && s.beat != 3 && s.pace > 79) {
        const int r = ctx.random.range(1, 9);
        if (r <= 2) pitches = {pitch, pitch};
        else if (r == 3) pitches = {pitch, pitch, pitch};
        else return false;
    } else {
        return false;
    }
    std::vector<int> lengths;
    if (!OrnamentLengths(ctx, length, unit, static_cast<int>(pitches.size()), lengths)) return false;
    for (size_t i = 0; i < pitches.size(); ++i) melody.AddNote(lengths[i], pitches[i]);
    return true;
}

// Mirrors melody notes into a second line around an axis that follows the melody.
struct Mirror {
    int axis = -1;
    int held = 0;
    int holds = 0;

    int note(ComposeContext& ctx, int pitch, int setting) {
        if (pitch != 0) {
            if (axis < 0) axis = pitch - 2;
            else if (pitch <= axis) axis = pitch - 3;
            int second = 2 * axis - pitch;
            if (pitch - second > 12) {
                while (pitch - second > 12) second += 12;
                axis += 2;
            }
            while (second < 12) second += 12;
            held = second;
            holds = 0;
            return second;
        }
        if (setting != 2 || held == 0) return 0;
        int out;
        if (ctx.random.range(1, 7) == 1) out = held + 12 <= 127 ? held + 12 : held;
        else if (ctx.random.range(1, 4) == 1) out = 0;
        else out = held;
        ++holds;
        if (holds > 4 && ctx.random.range(1, 2) == 1) held = 0;
        return out;
    }
};

}  // namespace

bool OrnamentLengths(ComposeContext& ctx, int total, int unit, int count, std::vector<int>& lengths) {
    lengths.clear();
    if (unit <= 0 || count <= 0 || total % unit != 0 || total / unit < count) return false;
    const int units = total / unit;
    for (int draw = 0; draw < kOrnamentDraws; ++draw) {
        lengths.clear();
        int spent = 0;
        for (int i = 0; i < count; ++i) {
            const int most = std::max(1, units - spent - (count - i - 1));
            const int k = ctx.random.range(1, most);
            lengths.push_back(k * unit);
            spent += k;
        }
        if (spent == units) return true;
    }
    lengths.clear();
    return false;
}

int GenerateBlockMelody(ComposeContext& ctx, int blockIndex, int part, const EventList& chords,
                        EventList& melody) {
    const MelodyPartSettings s = MelodySettings(ctx, part);
    const CompositionParameters& p = ctx.parameters;
    melody.Clear();

    std::vector<const ComposeEntry*> chordEntries;
    int blockTicks = 0;
    for (const ComposeEntry& e : chords)
        if (e.isChord()) {
            chordEntries.push_back(&e);
            blockTicks += std::max(e.length, 0);
        }

    NoteLengthState lengths;
    lengths.BeginBlock();
    PitchGenerator pitches;
    pitches.BeginBlock(ctx, s, blockTicks);
    std::vector<ChordMemory> memory;
    memory.reserve(std::min(chordEntries.size(), static_cast<size_t>(kRememberedChords)));

    int previous = 0, previous2 = 0;  // pitch history (0: none or a rest)
    int previousLength = 0;
    int restsInARow = 0;
    int pushIn = 0;
    int chordStart = 0;
    const int measure = MeasureLength(ctx);

    for (size_t ci = 0; ci < chordEntries.size(); ++ci) {
        const ComposeEntry& entry = *chordEntries[ci];
        const int duration = std::max(entry.length, 0);
        const bool lastChord = ci + 1 == chordEntries.size();
        const std::string_view bass(entry.bassText, 2);

        if (s.program != 0) {
            if (ci > 0) melody.AddProgram(0);
            melody.AddProgram(s.program);
        }
        const ChordRecord chord = MakeChord(ctx, duration, entry.chord, bass);
        melody.AddChord(duration, entry.chord, bass);
        if (p.progressionMethod != 8) {
            if (p.timeSignature == 1 && duration != 288 && duration != 576) ReportComposeError(zemc::ThreeFour);
            if (p.timeSignature == 2 && duration != 336) ReportComposeError(zemc::SevenEight);
        }

        // Rhythm mode 9 may push a chord's last note across the bar line into the next chord.
        int pushOut = 0;
        if (p.timeSignature == 0 && s.rhythmMode == 9 && s.beat != 3 && duration != 768 && !lastChord &&
            chordEntries[ci + 1]->length > kPushTicks && ctx.random.range(1, 3) <= 2)
            pushOut = kPushTicks;
        const int walk = std::max(duration - pushIn + pushOut, 0);

        PitchContext c;
        c.settings = &s;
        c.chord = &chord;
        c.profile = ChordProfile(ctx, entry.chord);
        if (c.profile.find_first_not_of('0') == std::string::npos) ReportComposeError(zemc::General);
        c.previous = previous;
        c.previous2 = previous2;
        lengths.BeginChord(ctx, s, duration, chordStart, previousLength);
        pitches.BeginChord(c);

        // An earlier chord of the same duration lends its rhythm and intervals.
        int source = -1;
        for (size_t j = 0; j < memory.size(); ++j)
            if (memory[j].duration == duration) {
                source = static_cast<int>(j);
                break;
            }
        bool repeatRhythm = source >= 0 && draws(ctx, s.rhythmRepetition);
        // A singable tune's new block may take up a rhythm an earlier block had under a chord of
        // this length.
        const std::vector<int>* songRhythm = nullptr;
        if (source < 0 && s.singable && blockIndex > 0 && ctx.random.range(1, 2) == 1)
            for (const auto& [ticks, rhythm] : ctx.information.songRhythms)
                if (ticks == duration) songRhythm = &rhythm;
        const bool repeatIntervals = source >= 0 && draws(ctx, s.intervalRepetition);
        ChordMemory mine;
        mine.duration = duration;

        const int wrap = s.rhythmMode == 9 && duration > 0 ? duration : measure;
        int position = 0;
        int index = 0;
        while (position < walk) {
            const int remaining = walk - position;
            int length = NoteLength(ctx, s, lengths, position % wrap, position, remaining, previousLength);
            if (length <= 0) break;

            c.length = length;
            c.previousLength = previousLength;
            c.position = position;
            c.measure = measure;
            c.blockPosition = chordStart + pushIn + position;
            c.firstOfChord = index == 0;
            c.previous = previous;
            c.previous2 = previous2;
            int pitch = pitches.Next(ctx, c);

            const bool remembered = index < kRememberedNotes;
            if (repeatRhythm && remembered) {
                const int stored = memory[static_cast<size_t>(source)].lengths[static_cast<size_t>(index)];
                length = stored > 0 ? stored : remaining;
                c.length = length;
            } else if (songRhythm != nullptr) {
                const size_t at = static_cast<size_t>(index);
                length = at < songRhythm->size() ? (*songRhythm)[at] : remaining;
                c.length = length;
            }
            if (repeatIntervals && remembered && s.inRange(pitch)) {
                const int interval = memory[static_cast<size_t>(source)].intervals[static_cast<size_t>(index)];
                if (interval == kRestInterval) pitch = 0;
                else if (interval != kNothingStored && interval != kNoPreviousPitch && previous != 0)
                    pitch = FitToRange(ctx, AcceptablePitch(ctx, previous + interval, c), s);
            }

            // The note ends at the chord's end at the latest, and is never longer than a melodic
            // part may hold.
            length = std::min({length, remaining, kLongestMelodyNote});
            c.length = length;

            if (s.algorithm != 5 && pitch != 0 && previous != 0) {
                if (pitch > previous + 12) pitch -= 12;
                else if (pitch < previous - 12) pitch += 12;
            }

            if (s.restSwitch == 1) {
                bool rest = false;
                if (ctx.random.range(1, 2) == 1) {
                    if (restsInARow < kRestsInARow && pitch != 0 && pitch == previous) rest = true;
                    else if (ctx.random.range(1, 4) == 1) rest = true;
                }
                if (rest) {
                    pitch = 0;
                    ++restsInARow;
                } else {
                    restsInARow = 0;
                }
            }

            if (pitch != 0) {
                if (pitch < 12 || pitch > 127) {
                    pitch = 0;
                } else if (!s.inRange(pitch)) {
                    if (index == 0) return 0;
                    pitch = 0;
                }
            }

            // Slower parts breathe more.
            if (pitch != 0 && (previous == 0 || previous2 != 0 || ctx.random.range(1, 4) == 1)) {
                const int pace = s.paceClass;
                bool rest = false;
                if (s.algorithm == 1 && pace != 1 && ctx.random.oneIn(20 - 2 * pace)) rest = true;
                if ((s.algorithm == 3 || s.algorithm == 4) && pace != 1 &&
                    (ctx.random.range(1, 10 - pace) == 1 || ctx.random.range(1, 10 - pace) == 2))
                    rest = true;
                if (pace == 6 && ctx.random.oneIn(7)) rest = true;
                else if (pace > 6 && ctx.random.oneIn(3)) rest = true;
                if (pace == 8 && ctx.random.oneIn(2)) rest = true;
                if (rest) pitch = 0;
            }

            if (s.scale == 21 && pitch != 0) pitch = leanOnE(ctx, pitch, previous, entry.chord, s);

            // The last chord of a block may end early on a chord tone: the phrase breathes. The note is
            // held so that the breath lasts at most a beat, not most of a bar; a note that cannot be
            // held that long goes on walking.
            const int left = walk - position - length;
            const int breath = left % kBeat != 0 ? left % kBeat : kBeat;
            const bool endsPhrase = lastChord && !ctx.engine.Arranging() && pitch != 0 && left > kEarlyEndRoom &&
                                    length + left - breath <= kLongestMelodyNote && isTriadTone(entry.chord, pitch);
            if (endsPhrase) {
                length += left - breath;
                c.length = length;
            }

            const bool ornamented = s.algorithm == 6 && (s.scale == 1 || s.scale == 7) && pitch > 11 &&
                                    length >= 96 && addOrnamentGroup(ctx, melody, pitch, length, previous, s);
            if (!ornamented) melody.AddNote(length, pitch);

            if (remembered) {
                mine.lengths[static_cast<size_t>(index)] = static_cast<int16_t>(length);
                mine.intervals[static_cast<size_t>(index)] = static_cast<int16_t>(
                    pitch == 0 ? kRestInterval : previous == 0 ? kNoPreviousPitch : pitch - previous);
            }
            previous2 = previous;
            previous = pitch;
            previousLength = length;
            if (length == 0) ReportComposeError(zemc::LengthDetermination);
            position += length;
            if (position > walk) ReportComposeError(zemc::ChordLength);
            ++index;

            if (endsPhrase) break;
        }
        for (int left = walk - position; left > 0; left -= kLongestRest) melody.AddRest(std::min(left, kLongestRest));

        if (memory.size() < static_cast<size_t>(kRememberedChords)) memory.push_back(mine);
        if (s.singable && source < 0 && songRhythm == nullptr) {
            auto& known = ctx.information.songRhythms;
            const bool first = std::none_of(known.begin(), known.end(), [&](const auto& r) { return r.first == duration; });
            if (first && index > 0 && index <= kRememberedNotes)
                known.emplace_back(duration, std::vector<int>(mine.lengths.begin(), mine.lengths.begin() + index));
        }
        chordStart += duration;
        pushIn = pushOut;
    }
    if (s.program != 0) melody.AddProgram(0);
    return 1;
}

int PlaceBlockMelodies(ComposeContext& ctx, int part, BlockLists& lists, uint32_t everyThousandCode) {
    ComposeInformation& ci = ctx.information;
    if (part < 1 || part >= kPartCount) return 0;
    int32_t& mode = ctx.parameters.partRules[part][rule::RhythmMode];
    const int32_t savedMode = mode;
    int result = 1;
    for (int b = 0; b < ci.blockCount && result; ++b) {
        if (b > ci.blockCount / 2 && savedMode == 2) mode = 1;
        const size_t at = static_cast<size_t>(b);
        for (int failures = 0; !GenerateBlockMelody(ctx, b, part, ci.blockChords[at], lists[at]);) {
            ++failures;
            if (failures % kTriesPerBlock == 0) ReportComposeError(everyThousandCode);
            if (failures >= kMaxBlockFailures) {
                ReportComposeError(zemc::MelodyGeneration);
                lists[at].Clear();
                result = 0;
                break;
            }
        }
    }
    mode = savedMode;
    return result;
}

int PlaceMelodies(ComposeContext& ctx, int part) {
    return PlaceBlockMelodies(ctx, part, ctx.information.blockMelodies, zemc::General);
}

int FlattenBlocks(const ComposeContext& ctx, BlockLists& blocks, EventList& song) {
    const ComposeInformation& ci = ctx.information;
    song.Clear();
    for (int number : ci.form) {
        if (number < 1) {
            ReportComposeError(zemc::PatternProcess);
            continue;
        }
        if (number > kMaxBlocks) continue;
        for (const ComposeEntry& e : blocks[static_cast<size_t>(number - 1)]) song.Add(e);
    }
    for (EventList& list : blocks) list.Clear();
    return LastPitch(song);
}

int LastPitch(const EventList& song) {
    for (auto it = song.end(); it != song.begin();) {
        --it;
        if (it->isNote()) return it->value;
    }
    return 0;
}

void CloseJoinLeaps(const ComposeContext& ctx, int part, EventList& song) {
    const MelodyPartSettings s = MelodySettings(ctx, part);
    if (s.algorithm == 5) return;
    int previous = 0;
    for (ComposeEntry& e : song) {
        if (!e.isNote() || e.value == 0) continue;
        // Blocks are made apart and joined in form order: the octave rule of a block's own notes
        // holds across the joins too, wherever the range allows.
        if (previous != 0) {
            if (e.value > previous + 12 && s.inRange(e.value - 12)) e.value -= 12;
            else if (e.value < previous - 12 && s.inRange(e.value + 12)) e.value += 12;
        }
        previous = e.value;
    }
}

std::vector<std::array<int, 2>> ClosingFigure(const ComposeContext& ctx, int figure, int tonic) {
    const bool major = ctx.parameters.knowledgeSet == 1;
    if (figure == 1) return {{96, tonic + 7}, {96, tonic + (major ? 4 : 3)}, {384, tonic}};
    // A turn: the scale tones above and below the tonic, then the tonic.
    const std::string scale = ScaleProfile(ctx);
    int upper = tonic + 1, lower = tonic - 1;
    while (upper < tonic + 3 && ProfileDigit(scale, mod12(upper)) < 5) ++upper;
    while (lower > tonic - 3 && ProfileDigit(scale, mod12(lower)) < 5) --lower;
    return {{48, upper}, {48, lower}, {288, tonic}};
}

void AppendEnding(ComposeContext& ctx, int part, EventList& song, int lastPitch) {
    const MelodyPartSettings s = MelodySettings(ctx, part);
    const CompositionParameters& p = ctx.parameters;
    const bool major = p.knowledgeSet == 1;
    song.AddChord(kClosingChordTicks, kClosingChordCode, "00");
    if (lastPitch < 24 || lastPitch > 127) lastPitch = (major ? 12 : 9) + 12 * ((s.highest + s.lowest) / 24) - 12;
    if (p.progressionMethod == 8) return;
    const int tonicClass = major ? 0 : 9;

    if (part != 1) {
        const int tonic = lastPitch - mod12(lastPitch) + tonicClass;
        song.AddNote(192, FitClassIntoRange(tonic, s));
        return;
    }

    std::vector<std::array<int, 2>> closing;
    if (s.effect == 1) {
        int tonic = lastPitch - mod12(lastPitch - tonicClass);
        if (lastPitch - tonic > 6) tonic += 12;
        closing = ClosingFigure(ctx, ctx.random.range(1, 4) == 1 ? 1 : 2, tonic);
    } else {
        char digits[12];
        ChordToneDigits(TonicCode(ctx), digits);
        auto weight = [&](int pitch) { return digits[mod12(pitch)] - '0'; };
        const int direction = ctx.random.range(1, 2) == 1 ? 1 : -1;
        int pitch = lastPitch;
        for (int step = 0; step < 8; ++step) {
            pitch += direction;
            const int w = weight(pitch);
            if (w == 0) break;
            if (w > 1) closing.push_back({w >= 5 ? 96 : 48, pitch});
        }
        // The last note lands on the tonic itself, of all the tonic chord's tones: a song that
        // stops on its third or fifth sounds unfinished.
        const bool longLast = p.scale != 13 && ctx.random.range(1, 2) == 1;
        if (longLast) pitch += 5;
        closing.push_back({longLast ? 192 : 96, nearestClass(pitch, tonicClass)});
    }

    int total = 0;
    for (const auto& note : closing) total += note[0];
    if (total > kClosingChordTicks) {
        ReportComposeError(zemc::ObbligatoLength);
        while (total > kClosingChordTicks && closing.size() > 1) {
            total -= closing.front()[0];
            closing.erase(closing.begin());
        }
    }
    // The last note falls on a strong beat (a half-bar line of a 4/4 song, a bar line in other
    // meters; blocks with short chords may leave the closing chord off one): the note before it is
    // held up to one, or a rest leads in.
    const int strongBeat = MeasureLength(ctx) == 384 ? kHalfBar : MeasureLength(ctx);
    int songTicks = 0;
    for (const ComposeEntry& e : song)
        if (e.isNote()) songTicks += e.length;
    for (;;) {
        int onset = songTicks;
        for (size_t i = 0; i + 1 < closing.size(); ++i) onset += closing[i][0];
        const int hold = (strongBeat - onset % strongBeat) % strongBeat;
        if (hold == 0) break;
        if (onset - songTicks + hold + closing.back()[0] <= kClosingChordTicks) {
            if (closing.size() > 1) closing[closing.size() - 2][0] += hold;
            else closing.insert(closing.begin(), {hold, 0});
            break;
        }
        if (closing.size() <= 1) break;
        closing.erase(closing.begin());
    }
    for (const auto& note : closing) song.AddNote(note[0], FitClassIntoRange(note[1], s));
}

void DeriveSecondLine(ComposeContext& ctx, int part) {
    ComposeInformation& ci = ctx.information;
    const MelodyPartSettings s = MelodySettings(ctx, part);
    for (int b = 0; b < ci.blockCount; ++b) {
        const size_t at = static_cast<size_t>(b);
        EventList& line = ci.blockSecondLines[at];
        line.Clear();
        Mirror mirror;
        for (const ComposeEntry& e : ci.blockMelodies[at]) {
            if (e.isChord()) line.Add(e);
            else if (e.isNote()) line.AddNote(e.length, mirror.note(ctx, e.value, s.secondLine));
        }
    }
}

void AppendSecondLineEnding(ComposeContext& ctx, int part, const EventList& melody, EventList& secondLine) {
    const MelodyPartSettings s = MelodySettings(ctx, part);
    size_t from = melody.size();
    for (size_t i = melody.size(); i > 0; --i)
        if (melody[i - 1].isChord()) {
            from = i - 1;
            break;
        }
    Mirror mirror;
    for (size_t i = from; i < melody.size(); ++i) {
        const ComposeEntry& e = melody[i];
        if (e.isChord()) secondLine.Add(e);
        else if (e.isNote()) secondLine.AddNote(e.length, mirror.note(ctx, e.value, s.secondLine));
    }
}

}  // namespace tunecase
