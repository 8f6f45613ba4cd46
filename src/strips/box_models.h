// Paper-strip music box movements as data: each box's comb, strip geometry and the shortest
// distance at which one tooth can sound again, read from the text file "boxes.txt" in the
// program folder. A user adds a box by adding lines to that file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tunecase {

inline constexpr const char* kBoxModelsFileName = "boxes.txt";

// One movement. Lengths are millimetres.
struct BoxModel {
    std::string name;            // what --box names, e.g. "30-note"
    std::vector<int> comb;       // MIDI keys of the teeth from low to high, strictly rising
    double stripWidthMm = 0;     // paper width
    double lineSpacingMm = 0;    // distance between neighbouring note lines
    double firstLineMm = 0;      // from the strip's lower edge to the lowest note's line
    double mmPerBeat = 0;        // strip length one beat (a quarter note) takes
    double minRepeatMm = 0;      // one tooth needs at least this much strip before it sounds again
};

// What each box field may be, in millimetres, ends included: room for any hand-cranked
// paper-strip movement, while keeping a drawing within what the PDF and SVG writers can
// place. A value outside is refused with its line.
struct LengthRange {
    double low = 0;
    double high = 0;
    bool contains(double mm) const { return mm >= low && mm <= high; }
};
inline constexpr LengthRange kBoxWidthRange{10, 300};
inline constexpr LengthRange kBoxLineSpacingRange{0.5, 20};
inline constexpr LengthRange kBoxFirstLineRange{0.5, 300};
inline constexpr LengthRange kBoxBeatRange{1, 100};
inline constexpr LengthRange kBoxMinRepeatRange{0.1, 100};

// "0.5 to 20 mm"
std::string rangeText(const LengthRange& range);

// A problem found while reading the file: its line and what is wrong.
struct BoxModelError {
    int line = 0;
    std::string message;
};

// The boxes described by `text`; every malformed box is left out and reported in `errors`.
std::vector<BoxModel> parseBoxModels(std::string_view text, std::vector<BoxModelError>& errors);

// The boxes of the file at `path` (errors as above; a file that cannot be read gives one
// error at line 0).
std::vector<BoxModel> loadBoxModels(const std::string& path, std::vector<BoxModelError>& errors);

// The box named `name` (compared without case), if any.
std::optional<BoxModel> findBoxModel(const std::vector<BoxModel>& boxes, std::string_view name);

// "C4", "F#5": the name of a MIDI key as the strip prints it (middle C = 60 = C4).
std::string noteName(int key);

}  // namespace tunecase
