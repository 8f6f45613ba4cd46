#include "strips/strip_fitting.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "base/text_codec.h"
#include "base/utilities.h"
#include "midi/midi_event.h"
#include "midi/midi_f0_data.h"
#include "playback/song_preparation.h"
#include "base/reporter.h"
#include "base/translation.h"

namespace tunecase {

namespace {

// Two holes exactly min-repeat apart are fine; positions are computed in floating point, so
// a distance this much under the limit still counts as exactly on it.
constexpr double kLengthTolerance = 1e-9;

// The comb's teeth by key: tooth index, or -1 for a key the comb lacks.
class CombIndex {
public:
    explicit CombIndex(const std::vector<int>& comb) {
        tooth_.fill(-1);
        for (size_t i = 0; i < comb.size(); ++i)
            if (comb[i] >= 0 && comb[i] <= 127) tooth_[static_cast<size_t>(comb[i])] = static_cast<int>(i);
    }
    int toothOf(int key) const { return key >= 0 && key <= 127 ? tooth_[static_cast<size_t>(key)] : -1; }

    // The key a note off the comb is folded to: whole octaves to the nearest octave of its
    // pitch class that is a tooth (fewest octaves moved); between an octave down and an
    // octave up equally far, down. -1 when no octave of the pitch class is on the comb.
    int foldedKey(int key) const {
        for (int octaves = 1; octaves <= 21; ++octaves) {
            if (toothOf(key - 12 * octaves) >= 0) return key - 12 * octaves;
            if (toothOf(key + 12 * octaves) >= 0) return key + 12 * octaves;
        }
        return -1;
    }

private:
    std::array<int, 128> tooth_{};
};

// The song's notes placed for one transposition; tooClose filled in.
struct Placement {
    std::vector<StripNote> notes;
    int hits = 0;  // notes whose transposed key is a tooth
    int tooClose = 0;
};

// Places every note of `notes` (sorted by tick) for transposition `t`:
//  - a note whose transposed key is a tooth is kept there;
//  - otherwise it is folded by octaves (CombIndex::foldedKey), or dropped when its pitch
//    class has no tooth;
//  - one tooth takes one hole per tick: within a tick the kept notes claim their teeth first
//    (in key order), then the folded ones; a note finding its tooth taken is dropped;
//  - a hole closer than min-repeat to the previous hole on its tooth is flagged too close.
Placement place(const std::vector<SongNote>& notes, int t, const CombIndex& comb, size_t teeth, int division,
                double mmPerBeat, double minRepeatMm) {
    Placement p;
    p.notes.reserve(notes.size());
    for (const SongNote& n : notes) {
        StripNote s;
        s.tick = n.tick;
        s.originalKey = n.key;
        s.positionMm = static_cast<double>(n.tick) / division * mmPerBeat;
        const int moved = n.key + t;
        if (comb.toothOf(moved) >= 0) {
            s.key = moved;
            s.fate = StripNoteFate::Kept;
            ++p.hits;
        } else {
            s.key = comb.foldedKey(moved);
            s.fate = s.key >= 0 ? StripNoteFate::Folded : StripNoteFate::Dropped;
        }
        s.tooth = s.key >= 0 ? comb.toothOf(s.key) : -1;
        p.notes.push_back(s);
    }

    std::vector<int64_t> takenAt(teeth, -1);        // the tick of the tooth's latest hole
    std::vector<double> lastHoleMm(teeth, 0.0);
    std::vector<bool> hasHole(teeth, false);
    for (size_t begin = 0; begin < p.notes.size();) {
        size_t end = begin;
        while (end < p.notes.size() && p.notes[end].tick == p.notes[begin].tick) ++end;
        for (StripNoteFate pass : {StripNoteFate::Kept, StripNoteFate::Folded})
            for (size_t i = begin; i < end; ++i) {
                StripNote& s = p.notes[i];
                if (s.fate != pass) continue;
                const auto tooth = static_cast<size_t>(s.tooth);
                if (takenAt[tooth] == s.tick) {
                    if (s.fate == StripNoteFate::Kept) --p.hits;
                    s.fate = StripNoteFate::Dropped;
                    s.key = -1;
                    s.tooth = -1;
                    continue;
                }
                if (hasHole[tooth] && s.positionMm - lastHoleMm[tooth] < minRepeatMm - kLengthTolerance) {
                    s.tooClose = true;
                    ++p.tooClose;
                }
                takenAt[tooth] = s.tick;
                lastHoleMm[tooth] = s.positionMm;
                hasHole[tooth] = true;
            }
        begin = end;
    }
    return p;
}

// Whether transposition a (with its placement) is better than b: more direct hits, then
// fewer too-close repeats, then the smaller move, then the upward one.
bool better(int a, const Placement& pa, int b, const Placement& pb) {
    if (pa.hits != pb.hits) return pa.hits > pb.hits;
    if (pa.tooClose != pb.tooClose) return pa.tooClose < pb.tooClose;
    if (std::abs(a) != std::abs(b)) return std::abs(a) < std::abs(b);
    return a > b;
}

std::string beatText(double beat) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", beat);
    std::string s = buffer;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

std::string mmText(double mm) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", mm);
    return buffer;
}

std::string transposeText(int t) {
    if (t == 0) return tr("none");
    const std::string n = (t > 0 ? "+" : "") + std::to_string(t);
    return fillIn(std::abs(t) == 1 ? tr("%s semitone") : tr("%s semitones"), n);
}

std::string pitchClassName(int key) {
    std::string name = noteName(key);
    while (!name.empty() && (name.back() == '-' || (name.back() >= '0' && name.back() <= '9'))) name.pop_back();
    return name;
}

}  // namespace

std::optional<StripSong> loadStripSong(const std::string& path, bool deleteShortNoteChannel,
                                       bool deleteLongNoteChannel) {
    auto song = MidiF0Data::openFile(path, kDefaultSongCapacity);
    if (!song || !song->isLoaded() || !song->track() || song->state() != MidiF0Data::NoteEvents ||
        song->division() <= 0)
        return std::nullopt;
    MidiTrackData& track = *song->track();

    StripSong out;
    out.division = song->division();
    // The metre of the first time signature (its value is numerator x 256 + denominator).
    int code = 0;
    if (track.timeSignatureCode(code) && ((code >> 8) & 0xFF) > 0 && (code & 0xFF) > 0) {
        out.beatsPerBar = (code >> 8) & 0xFF;
        out.beatUnit = code & 0xFF;
    } else {
        // Without one, the bars drawn are 4/4; the player's own default measure (384 ticks)
        // is a 4/4 bar only at 96 ticks a quarter, so the trimming below is told 4/4.
        song->setTimeSignatureOverride(4 * 256 + 4);
    }
    // The title as the song import finds it: the song's title (its first track's name), else
    // the file's name (here without its extension).
    if (const std::string title = song->title(); !title.empty()) {
        out.title = displayText(title);
    } else {
        out.title = fileNamePart(path);
        if (const size_t dot = out.title.rfind('.'); dot != std::string::npos && dot > 0) out.title.resize(dot);
    }

    // As for the music box: leading silence cut to whole bars, the channel rules, one voice.
    trimLeadingMeasures(*song);
    reduceToOneVoice(*song, deleteShortNoteChannel, deleteLongNoteChannel, song->division() * 2 / 3);

    int64_t t = 0;
    for (const auto& e : track.events()) {
        t += e->delta;
        if (e->status == ev::Note && e->velocity > 0) out.notes.push_back({t, e->data1});
    }
    std::stable_sort(out.notes.begin(), out.notes.end(), [](const SongNote& a, const SongNote& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.key < b.key;
    });
    return out;
}

StripFit fitSongToBox(const StripSong& song, const BoxModel& box, const StripFitOptions& options) {
    StripFit fit;
    fit.boxName = box.name;
    fit.title = song.title;
    fit.mmPerBeat = options.mmPerBeat && *options.mmPerBeat > 0 ? *options.mmPerBeat : box.mmPerBeat;
    const int division = song.division > 0 ? song.division : 480;

    std::vector<SongNote> notes = song.notes;
    std::stable_sort(notes.begin(), notes.end(), [](const SongNote& a, const SongNote& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.key < b.key;
    });
    const CombIndex comb(box.comb);

    // Every transposition in reach (or only the one asked for), the best kept.
    int bestMove = 0;
    std::optional<Placement> best;
    const int from = options.transpose ? *options.transpose : -kMaxStripTranspose;
    const int to = options.transpose ? *options.transpose : kMaxStripTranspose;
    for (int t = from; t <= to; ++t) {
        Placement p = place(notes, t, comb, box.comb.size(), division, fit.mmPerBeat, box.minRepeatMm);
        if (!best || better(t, p, bestMove, *best)) {
            bestMove = t;
            best = std::move(p);
        }
    }

    fit.transpose = bestMove;
    fit.notes = std::move(best->notes);
    for (StripNote& n : fit.notes) {
        n.where = barBeatOf(song, n.tick);
        switch (n.fate) {
        case StripNoteFate::Kept: ++fit.kept; break;
        case StripNoteFate::Folded: ++fit.folded; break;
        case StripNoteFate::Dropped: ++fit.dropped; break;
        }
        if (n.tooClose) ++fit.tooClose;
        if (n.fate != StripNoteFate::Dropped) fit.lengthMm = std::max(fit.lengthMm, n.positionMm);
    }
    return fit;
}

BarBeat barBeatOf(const StripSong& song, int64_t tick) {
    const int64_t division = song.division > 0 ? song.division : 480;
    const int64_t beats = song.beatsPerBar > 0 ? song.beatsPerBar : 4;
    const int64_t unit = song.beatUnit > 0 ? song.beatUnit : 4;
    // In units of 1 / (4 x division) of a whole note a beat is `4 x division` long once the
    // tick is scaled by the beat unit, so bars and beats come out exact.
    const int64_t scaled = tick * unit;
    const int64_t beatLength = 4 * division;
    const int64_t barLength = beatLength * beats;
    int64_t bar = scaled / barLength;
    if (scaled < 0 && scaled % barLength != 0) --bar;
    BarBeat where;
    where.bar = static_cast<int>(bar + 1);
    where.beat = 1.0 + static_cast<double>(scaled - bar * barLength) / static_cast<double>(beatLength);
    return where;
}

std::string stripReportText(const StripFit& fit) {
    std::string out;
    out += fillIn(tr("Title: %s"), fit.title) + "\n";
    out += fillIn(tr("Box: %s"), fit.boxName) + "\n";
    out += fillIn(tr("Transposition: %s"), transposeText(fit.transpose)) + "\n";
    out += fillIn(tr("Notes: %s kept, %s folded, %s dropped; %s too close"),
                  {std::to_string(fit.kept), std::to_string(fit.folded), std::to_string(fit.dropped),
                   std::to_string(fit.tooClose)}) +
           "\n";
    // Note names are after the transposition. The previous hole on each tooth, for the
    // distance a too-close hole has.
    std::vector<const StripNote*> previousOnTooth;
    for (size_t i = 0; i < fit.notes.size(); ++i) {
        const StripNote& n = fit.notes[i];
        const std::string at = fillIn(tr("bar %s beat %s: "), {std::to_string(n.where.bar), beatText(n.where.beat)});
        const int moved = n.originalKey + fit.transpose;
        if (n.fate == StripNoteFate::Folded)
            out += at + fillIn(tr("%s folded to %s"), {noteName(moved), noteName(n.key)}) + "\n";
        if (n.fate == StripNoteFate::Dropped) {
            // A note with a tooth of its pitch class was only dropped because that tooth
            // already had a hole at that moment.
            bool doubled = false;
            for (size_t j = i; j-- > 0 && fit.notes[j].tick == n.tick;)
                doubled = doubled || (fit.notes[j].key >= 0 && (fit.notes[j].key - moved) % 12 == 0);
            for (size_t j = i + 1; j < fit.notes.size() && fit.notes[j].tick == n.tick; ++j)
                doubled = doubled || (fit.notes[j].key >= 0 && (fit.notes[j].key - moved) % 12 == 0);
            out += at +
                   (doubled ? fillIn(tr("%s dropped (its tooth already has a hole there)"), noteName(moved))
                            : fillIn(tr("%s dropped (no %s on the comb)"), {noteName(moved), pitchClassName(moved)})) +
                   "\n";
        }
        if (n.tooth < 0) continue;
        const auto tooth = static_cast<size_t>(n.tooth);
        if (tooth >= previousOnTooth.size()) previousOnTooth.resize(tooth + 1, nullptr);
        if (n.tooClose && previousOnTooth[tooth])
            out += at +
                   fillIn(tr("%s too close to the %s before it (%s mm)"),
                          {noteName(n.key), noteName(n.key), mmText(n.positionMm - previousOnTooth[tooth]->positionMm)}) +
                   "\n";
        previousOnTooth[tooth] = &n;
    }
    return out;
}

}  // namespace tunecase
