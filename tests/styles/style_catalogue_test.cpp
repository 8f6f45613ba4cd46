#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "styles/knowledge_names.h"
#include "styles/style_catalogue.h"

namespace tunecase {
namespace {

constexpr unsigned kSeed = 20240611;

// A record as initParameters (and, for a finished slot, finishStyle) leaves it, with the
// rhythm motif of `motifFrom`, which the generator decides.
CompositionParameters defaultsWithMotifOf(const CompositionParameters& motifFrom, bool finished) {
    CompositionParameters p;
    initParameters(p);
    std::memcpy(p.rhythmMotif, motifFrom.rhythmMotif, sizeof p.rhythmMotif);
    if (finished) finishStyle(p);
    return p;
}

bool sameBytes(const CompositionParameters& a, const CompositionParameters& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

template <size_t N>
bool terminated(const char (&field)[N]) {
    return std::memchr(field, '\0', N) != nullptr;
}

// The rules a style record must keep for the engine to read it as intended.
::testing::AssertionResult validStyle(const CompositionParameters& p) {
    auto fail = [](const std::string& what) { return ::testing::AssertionFailure() << what; };
    for (int k = 1; k < kPartCount; ++k) {
        const int program = p.partProgram[k];
        if (!((program >= 0 && program <= 127) || program == kNotPlayed))
            return fail("program of part " + std::to_string(k) + " is " + std::to_string(program));
        for (int b = 0; b < 16; ++b)
            if (p.partMixer[k][b] > 127) return fail("mixer byte above 127 in part " + std::to_string(k));
    }
    for (int k = 1; k < 14; ++k) {
        const int o = p.partOctave[k];
        if (!((o >= -3 && o <= 3) || (k == 2 && (o == 99 || o == 101))))
            return fail("octave of part " + std::to_string(k) + " is " + std::to_string(o));
    }
    if (!terminated(p.name) || !terminated(p.shortName) || !terminated(p.description) ||
        !terminated(p.customScale) || !terminated(p.patternFileName) || !terminated(p.resolutionFileName))
        return fail("a text field has no NUL");
    if (std::string(p.shortName) != p.name) return fail("shortName differs from name");
    if (p.description[0] == '\0') return fail("empty description");

    if (p.timeSignature < 0 || p.timeSignature > 2) return fail("meter " + std::to_string(p.timeSignature));
    if (p.measureCount < 1 || p.measureCount > kMaxMeasureEntries) return fail("measure count");
    if (measureEntryCount(p) != p.measureCount) return fail("measure table does not hold measureCount entries");
    for (int i = 0; i < p.measureCount; ++i)
        if (measureEntryTicks(p, i) != measureTicks(p.timeSignature)) return fail("measure length");
    const uint8_t* end = p.measureTable + p.measureCount * kMeasureEntryBytes;
    if (end[0] != 0 || end[1] != 0) return fail("measure table not closed");

    if (p.tempo < 100000 || p.tempo > 3000000) return fail("tempo " + std::to_string(p.tempo));
    if (p.knowledgeSet != 1 && p.knowledgeSet != 2) return fail("knowledge set");
    const std::set<int> scales = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 24, 25};
    if (!scales.count(p.scale)) return fail("scale " + std::to_string(p.scale));
    if (p.scale == 11 && scalePatternOf(p).find_first_not_of("0123456789", 4) != std::string::npos)
        return fail("custom scale");
    if (p.key < 0 || p.key > 11) return fail("key");
    if (!(p.beatKind == 1 || (p.beatKind == 2 && p.timeSignature == 1))) return fail("beat kind");
    if (p.rhythmFeel < 0 || p.rhythmFeel > 3) return fail("rhythm feel");

    const std::string pattern = p.patternFileName, resolution = p.resolutionFileName;
    const std::set<std::string> suffixes = {".DB", ".DB2", ".DBB"};
    if (pattern.rfind("PATTERN", 0) != 0 || !suffixes.count(pattern.substr(7)) ||
        resolution != "RESOLUT" + pattern.substr(7))
        return fail("knowledge files " + pattern + " / " + resolution);

    // Families with a successor rule of their own (5 random chords, 9 dominant chain,
    // 10 descending minor loop) besides the weighted ones.
    const std::set<int> families = {1, 2, 3, 4, 5, 6, 7, 9, 10};
    if (!families.count(p.progressionFamily)) return fail("family " + std::to_string(p.progressionFamily));

    const int* melody = p.partRules[1];
    if (melody[rule::RhythmMode] < 1 || melody[rule::RhythmMode] > 10) return fail("rhythm mode");
    if (melody[rule::Algorithm] < 1 || melody[rule::Algorithm] > 7) return fail("pitch algorithm");
    const int copy = p.partOctave[1] == 1 ? 12 : 0;
    if (melody[rule::Lowest] < 0 || melody[rule::Lowest] >= melody[rule::Highest] ||
        melody[rule::Highest] + copy > 127)
        return fail("melody range " + std::to_string(melody[rule::Lowest]) + "-" +
                    std::to_string(melody[rule::Highest]));
    for (int pace : p.partPace)
        if (pace < 20 || pace > 160) return fail("pace " + std::to_string(pace));
    if (p.backingPattern3 < 1 || p.backingPattern3 > 62 || p.backingPattern7 < 1 || p.backingPattern7 > 62)
        return fail("backing kind");
    if (p.bassPattern < 1 || p.bassPattern > 23) return fail("bass kind");
    if (p.drumPattern < 1 || p.drumPattern > 40) return fail("drum style");
    if (!std::set<int>{4, 6, 7, 8}.count(p.derivedPartMode)) return fail("derived part mode");
    if (p.randomCategory != 0) return fail("random category on a built style");
    return ::testing::AssertionSuccess();
}

TEST(MusicBoxStyle, HasExactlyItsListedSettingsOverTheDefaults) {
    ASSERT_EQ(rebuildAndApplyStyle(kSeed), 1);
    const CompositionParameters& box = styleTable[7][1];

    EXPECT_STREQ(box.name, "Music Box");
    EXPECT_STREQ(box.shortName, "Music Box");
    EXPECT_STREQ(box.description, "Sweet melody of music box.");
    const std::pair<int, int> programs[] = {{1, 10}, {2, 10}, {3, 10}, {15, 11}, {4, 256},
                                            {5, 256}, {7, 256}, {8, 256}, {9, 256}};
    for (auto [part, program] : programs) EXPECT_EQ(box.partProgram[part], program) << "part " << part;
    const int mix[][4] = {{1, 120, 60, 0}, {2, 60, 60, 0},  {3, 100, 60, 0},
                          {4, 115, 60, 0}, {5, 115, 60, 0}, {9, 100, 60, 0}};
    for (const auto& m : mix) {
        EXPECT_EQ(box.partMixer[m[0]][0], m[1]) << "volume of part " << m[0];
        EXPECT_EQ(box.partMixer[m[0]][1], m[2]) << "chorus of part " << m[0];
        EXPECT_EQ(box.partMixer[m[0]][2], m[3]) << "reverb of part " << m[0];
    }
    EXPECT_EQ(box.partOctave[1], 1);
    EXPECT_EQ(box.partOctave[2], 1);
    EXPECT_EQ(box.measureCount, 16);
    EXPECT_EQ(box.timeSignature, 0);
    EXPECT_EQ(box.tempo, 750000);
    EXPECT_EQ(box.knowledgeSet, 1);
    EXPECT_STREQ(box.patternFileName, "PATTERN.DB");
    EXPECT_STREQ(box.resolutionFileName, "RESOLUT.DB");
    EXPECT_EQ(box.reservedBytes[0], 20);
    EXPECT_EQ(box.reservedBytes[1], 80);
    EXPECT_EQ(box.rhythmFeel, 0);
    EXPECT_EQ(box.bassPattern, 3);
    EXPECT_EQ(box.backingPattern3, 4);
    EXPECT_EQ(box.progressionFamily, 3);
    EXPECT_EQ(box.drumPattern, 1);
    const int melody[15] = {9, 1, 0, 0, 0, 0, 0, 84, 60, 1, 0, 0, 0, 0, 0};
    for (int i = 0; i < 15; ++i) EXPECT_EQ(box.partRules[1][i], melody[i]) << "melody rule " << i;
    for (int k = 0; k < 12; ++k) EXPECT_EQ(box.partPace[k], k == 1 ? 160 : k == 3 ? 80 : 100) << "pace " << k;
    ASSERT_EQ(measureEntryCount(box), 16);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(measureEntryTicks(box, i), 384);

    // Every field the list does not name keeps its default: the defaults with the listed
    // values written over them must give the same bytes.
    CompositionParameters expected = defaultsWithMotifOf(box, false);
    setField(expected.name, "Music Box");
    setField(expected.shortName, "Music Box");
    setField(expected.description, "Sweet melody of music box.");
    for (auto [part, program] : programs) expected.partProgram[part] = program;
    for (const auto& m : mix)
        for (int b = 0; b < 3; ++b) expected.partMixer[m[0]][b] = static_cast<uint8_t>(m[b + 1]);
    expected.partOctave[1] = 1;
    expected.partOctave[2] = 1;
    expected.measureCount = 16;
    expected.reservedBytes[0] = 20;
    expected.reservedBytes[1] = 80;
    expected.bassPattern = 3;
    expected.backingPattern3 = 4;
    expected.progressionFamily = 3;
    expected.drumPattern = 1;
    std::memcpy(expected.partRules[1], melody, sizeof melody);
    expected.partPace[1] = 160;
    expected.partPace[3] = 80;
    finishStyle(expected);
    for (size_t at = 0; at < sizeof expected; ++at)
        ASSERT_EQ(reinterpret_cast<const uint8_t*>(&box)[at], reinterpret_cast<const uint8_t*>(&expected)[at])
            << "first differing byte at offset " << at;
}

TEST(StyleCatalogue, RebuildAppliesTheChosenSlotAndTheSeedFixesEveryMotif) {
    std::vector<CompositionParameters> first(kStyleCategories * kStyleSlots);
    ASSERT_EQ(rebuildAndApplyStyle(kSeed), 1);
    std::memcpy(first.data(), styleTable, sizeof styleTable);

    // Whatever was changed since, the next rebuild with the same seed restores all of it.
    currentParameters.tempo = 500000;
    styleTable[3][4].name[0] = '?';
    knowledgeNames.timeChartFile = "X";
    ASSERT_EQ(rebuildAndApplyStyle(kSeed), 1);
    EXPECT_EQ(std::memcmp(first.data(), styleTable, sizeof styleTable), 0);
    EXPECT_TRUE(sameBytes(currentParameters, styleTable[7][1]));
    EXPECT_EQ(knowledgeNames.timeChartFile, "TIMECHT.DB");
    EXPECT_EQ(knowledgeNames.cadenceTimeChartFile, "RESTIME.DB");
    EXPECT_STREQ(knowledgeNames.tonic, "CMPS");

    // Each slot draws its own motif, and another seed gives other motifs.
    EXPECT_NE(std::memcmp(styleTable[7][1].rhythmMotif, styleTable[7][2].rhythmMotif, 96), 0);
    ASSERT_EQ(rebuildAndApplyStyle(kSeed + 1), 1);
    int changed = 0;
    for (int c = 0; c < kStyleCategories; ++c)
        for (int s = 0; s < kStyleSlots; ++s)
            changed += std::memcmp(first[c * kStyleSlots + s].rhythmMotif, styleTable[c][s].rhythmMotif, 96) != 0;
    EXPECT_GT(changed, 200);

    // Another slot can be applied the same way; a slot outside the table applies nothing.
    ASSERT_EQ(rebuildAndApplyStyle(kSeed, 2, 3), 1);
    EXPECT_STREQ(currentParameters.name, "Blues Quartet");
    EXPECT_STREQ(knowledgeNames.tonic, "CMPs");
    const CompositionParameters before = currentParameters;
    EXPECT_EQ(rebuildAndApplyStyle(kSeed, 9, 0), 0);
    EXPECT_EQ(rebuildAndApplyStyle(kSeed, 0, 24), 0);
    EXPECT_EQ(rebuildAndApplyStyle(kSeed, -1, 1), 0);
    EXPECT_TRUE(sameBytes(currentParameters, before));
}

TEST(StyleCatalogue, SlotsHoldRandomNamedAndEmptyStylesInCatalogueOrder) {
    ASSERT_EQ(rebuildAndApplyStyle(kSeed), 1);

    const char* categories[] = {"Pops(World)", "Pops(Japan)", "Jazz", "Classic", "Ethnic(Eastern)",
                                "Ethnic(Western)", "Game Music/Sound Track", "Healing Music", "Techno"};
    const char* popsText =
        "Different music style is generated every time and played. To read a file and use it later, set up "
        "to record generated music styles in a file.";
    const std::pair<const char*, const char*> randoms[] = {
        {"Random Pops", popsText},
        {"Random Pops", popsText},
        {"Random Jazz", "Jazz music style is automately generated and played"},
        {"Random Classic", "Classic music style is automately generated and played."},
        {"Random Ethnic", "East region ethnic music is automately generated and played."},
        {"Random Ethnic", "West region ethnic music is automately generated and played."},
        {"Random Game", "Game music is automately generated and played."},
        {"Random Healing", "Healing music is automately generated and played."},
        {"Random Techno", "Techno music style is automately generated and played."},
    };
    // Category: first empty slot after the named ones, and the empty slots in between.
    const std::pair<int, std::set<int>> empties[] = {
        {24, {}}, {16, {}}, {23, {10}}, {19, {}}, {24, {}}, {18, {}}, {15, {}}, {23, {}}, {11, {}},
    };

    for (int c = 0; c < kStyleCategories; ++c) {
        EXPECT_STREQ(styleCategoryName(c), categories[c]);

        // Slot 0: the defaults with only name, description and category, and no measures.
        CompositionParameters random = defaultsWithMotifOf(styleTable[c][0], false);
        setField(random.name, randoms[c].first);
        setField(random.description, randoms[c].second);
        random.randomCategory = c + 1;
        EXPECT_TRUE(sameBytes(styleTable[c][0], random)) << "random style of category " << c;
        EXPECT_EQ(measureEntryCount(styleTable[c][0]), 0);

        for (int s = 1; s < kStyleSlots; ++s) {
            const CompositionParameters& p = styleTable[c][s];
            const bool empty = s >= empties[c].first || empties[c].second.count(s);
            if (empty) {
                EXPECT_TRUE(sameBytes(p, defaultsWithMotifOf(p, true))) << "empty slot " << c << "/" << s;
                EXPECT_STREQ(p.name, "");
                EXPECT_STREQ(p.description, "No music style is defined.");
            } else {
                EXPECT_STRNE(p.description, "No music style is defined.") << c << "/" << s;
                EXPECT_EQ(p.name[0] == '\0', c == 8 && s == 10) << "name of " << c << "/" << s;
            }
        }
    }
    EXPECT_STREQ(styleCategoryName(9), "");
    EXPECT_STREQ(styleCategoryName(-1), "");

    const struct {
        int category, slot;
        const char* name;
    } names[] = {
        {0, 1, "Acoustic"},         {0, 8, "Jaunty E-Piano"},     {0, 19, "Progressive rock"},
        {0, 23, "3/4 Pops"},        {1, 1, "Enka"},               {1, 13, "Pop Rock"},
        {1, 15, "Rocka Ballade"},   {2, 1, "Fusion"},             {2, 9, "Bossanova Piano"},
        {2, 11, "Guitar Lounge"},   {2, 18, "Quarter Cutting Gt."}, {2, 21, "Pop Rock"},
        {2, 22, "Blues Vocal"},     {3, 1, "Modern Piano"},       {3, 14, "Mode Piano"},
        {3, 18, "Symphonie"},       {4, 1, "African Forest"},     {4, 9, "Matsuri Bayashi"},
        {4, 11, "Gamelan && Flute"}, {4, 21, "Matsuri Bayashi"},  {4, 23, "Tsugaru Shamisen"},
        {5, 1, "Scotland"},         {5, 17, "Siciliani Song"},    {6, 1, "Against War Song"},
        {6, 14, "Gion Bayashi"},    {7, 1, "Music Box"},          {7, 20, "Healing Piano +"},
        {7, 22, "Baby Merry"},      {8, 1, "Techno Dance"},       {8, 9, "Basara"},
    };
    for (const auto& n : names) EXPECT_STREQ(styleTable[n.category][n.slot].name, n.name) << n.category << "/" << n.slot;
}

TEST(StyleCatalogue, SelectedStylesCarryTheirListedSettings) {
    ASSERT_EQ(rebuildAndApplyStyle(kSeed), 1);
    const struct {
        int category, slot;
        const char* name;
        const char* pattern;
        const char* resolution;
        int set, meter, tempo, measures, scale, feel, family, program, low, high;
    } rows[] = {
        {0, 1, "Acoustic", "PATTERN.DB2", "RESOLUT.DB2", 2, 0, 500000, 25, 1, 0, 3, 22, 60, 84},
        {1, 1, "Enka", "PATTERN.DB2", "RESOLUT.DB2", 2, 0, 850000, 30, 1, 3, 3, 65, 50, 80},
        {0, 19, "Progressive rock", "PATTERN.DB2", "RESOLUT.DB2", 2, 2, 500000, 25, 1, 0, 5, 30, 60, 84},
        {0, 23, "3/4 Pops", "PATTERN.DB", "RESOLUT.DB", 1, 1, 650000, 40, 1, 0, 1, 88, 58, 88},
        {2, 3, "Blues Quartet", "PATTERN.DBB", "RESOLUT.DBB", 1, 0, 500000, 40, 6, 3, 6, 65, 54, 78},
        {2, 17, "Jazz Waltz", "PATTERN.DB", "RESOLUT.DB", 1, 1, 400000, 32, 1, 0, 1, 65, 59, 91},
        {2, 8, "Rag Time", "PATTERN.DB", "RESOLUT.DB", 1, 0, 350000, 40, 1, 3, 4, 1, 60, 84},
        {3, 1, "Modern Piano", "PATTERN.DB", "RESOLUT.DB", 1, 0, 600000, 40, 19, 1, 5, 1, 38, 115},
        {3, 11, "Church Organ", "PATTERN.DB", "RESOLUT.DB", 1, 0, 750000, 40, 7, 0, 3, 19, 60, 84},
        {4, 4, "Arabian", "PATTERN.DB", "RESOLUT.DB", 1, 0, 850000, 40, 25, 0, 3, 111, 60, 84},
        {4, 7, "Japan Traditional", "PATTERN.DB", "RESOLUT.DB", 1, 0, 2000000, 40, 13, 0, 3, 107, 60, 84},
        {4, 13, "Okinawa", "PATTERN.DB", "RESOLUT.DB", 1, 0, 850000, 40, 3, 0, 3, 77, 60, 84},
        {5, 2, "Andes", "PATTERN.DB2", "RESOLUT.DB2", 2, 0, 750000, 40, 2, 0, 3, 75, 54, 84},
        {4, 21, "Matsuri Bayashi", "PATTERN.DB", "RESOLUT.DB", 2, 0, 400000, 40, 11, 0, 7, 75, 84, 98},
        {5, 16, "Flamenco", "PATTERN.DB", "RESOLUT.DB", 2, 0, 370000, 40, 21, 0, 10, 24, 44, 68},
        {5, 14, "Bulgarian Voice", "PATTERN.DB2", "RESOLUT.DB2", 2, 2, 1000000, 30, 1, 0, 3, 52, 67, 78},
        {6, 4, "Horror", "PATTERN.DB", "RESOLUT.DB", 1, 0, 850000, 40, 5, 0, 1, 40, 60, 84},
        {7, 15, "Space Sound", "PATTERN.DB2", "RESOLUT.DB2", 2, 0, 850000, 30, 12, 0, 5, 46, 63, 88},
        {8, 1, "Techno Dance", "PATTERN.DB2", "RESOLUT.DB2", 2, 0, 500000, 40, 1, 0, 4, 31, 33, 68},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        const CompositionParameters& p = styleTable[r.category][r.slot];
        EXPECT_STREQ(p.name, r.name);
        EXPECT_STREQ(p.patternFileName, r.pattern);
        EXPECT_STREQ(p.resolutionFileName, r.resolution);
        EXPECT_EQ(p.knowledgeSet, r.set);
        EXPECT_EQ(p.timeSignature, r.meter);
        EXPECT_EQ(p.tempo, r.tempo);
        EXPECT_EQ(p.measureCount, r.measures);
        EXPECT_EQ(p.scale, r.scale);
        EXPECT_EQ(p.rhythmFeel, r.feel);
        EXPECT_EQ(p.progressionFamily, r.family);
        EXPECT_EQ(p.partProgram[1], r.program);
        EXPECT_EQ(p.partRules[1][rule::Lowest], r.low);
        EXPECT_EQ(p.partRules[1][rule::Highest], r.high);
        EXPECT_EQ(measureEntryCount(p), r.measures);
        EXPECT_EQ(measureEntryTicks(p, r.measures - 1), measureTicks(r.meter));
    }
}

TEST(StyleCatalogue, EveryBuiltStyleIsAValidRecord) {
    ASSERT_EQ(rebuildAndApplyStyle(kSeed), 1);
    int named = 0;
    for (int c = 0; c < kStyleCategories; ++c)
        for (int s = 1; s < kStyleSlots; ++s) {
            EXPECT_TRUE(validStyle(styleTable[c][s])) << c << "/" << s << " " << styleTable[c][s].name;
            named += styleTable[c][s].description != std::string("No music style is defined.");
        }
    EXPECT_EQ(named, 163);

    // The rules bite: a broken copy of the style in use is refused.
    CompositionParameters broken = styleTable[7][1];
    broken.partProgram[4] = 128;
    EXPECT_FALSE(validStyle(broken));
    broken = styleTable[7][1];
    broken.measureCount = 17;
    EXPECT_FALSE(validStyle(broken));
    broken = styleTable[7][1];
    setField(broken.resolutionFileName, "RESOLUT.DB2");
    EXPECT_FALSE(validStyle(broken));
    broken = styleTable[7][1];
    broken.partRules[1][rule::Highest] = 120;  // its octave copy would leave the note range
    EXPECT_FALSE(validStyle(broken));
}

}  // namespace
}  // namespace tunecase
