#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/seeded_random.h"
#include "styles/knowledge_names.h"
#include "styles/style_catalogue.h"

namespace tunecase {
namespace {

constexpr unsigned kSeed = 20240611;

// The whole table as a run with `seed` builds it.
std::unique_ptr<StyleTable> tableOf(unsigned seed) {
    SeededRandom random(seed);
    return buildStyleTable(random);
}

// A record as initParameters (and, for a finished slot, finishStyle) leaves it, with the
// rhythm motif of `motifFrom`, which the generator decides.
CompositionParameters defaultsWithMotifOf(const CompositionParameters& motifFrom, bool finished) {
    CompositionParameters p;
    SeededRandom random(1);
    initParameters(p, random);
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

TEST(StyleCatalogue, RebuildAppliesTheChosenSlotAndTheSeedFixesEveryMotif) {
    const auto first = tableOf(kSeed);
    SeededRandom wholeTable(kSeed);
    buildStyleTable(wholeTable);

    // The applied record is the slot of the whole table, whatever the context held before,
    // and the generator ends where building the whole table leaves it: the composition's
    // draws after the style are those they always were.
    SeededRandom random(99);
    CompositionParameters current{};
    current.tempo = 500000;
    KnowledgeNames names;
    names.timeChartFile = "X";
    ASSERT_EQ(rebuildAndApplyStyle(random, kSeed, current, names), 1);
    EXPECT_TRUE(sameBytes(current, (*first)[7][1]));
    EXPECT_EQ(names.timeChartFile, "TIMECHT.DB");
    EXPECT_EQ(names.cadenceTimeChartFile, "RESTIME.DB");
    EXPECT_STREQ(names.tonic, "CMPS");
    for (int i = 0; i < 100; ++i) ASSERT_EQ(random.next(), wholeTable.next()) << i;

    // Each slot draws its own motif, and another seed gives other motifs.
    EXPECT_NE(std::memcmp((*first)[7][1].rhythmMotif, (*first)[7][2].rhythmMotif, 96), 0);
    const auto other = tableOf(kSeed + 1);
    int changed = 0;
    for (int c = 0; c < kStyleCategories; ++c)
        for (int s = 0; s < kStyleSlots; ++s)
            changed += std::memcmp((*first)[c][s].rhythmMotif, (*other)[c][s].rhythmMotif, 96) != 0;
    EXPECT_GT(changed, 200);

    // Another slot can be applied the same way; a slot outside the table applies nothing but
    // still moves the generator as far as a whole table.
    ASSERT_EQ(rebuildAndApplyStyle(random, kSeed, current, names, 2, 3), 1);
    EXPECT_STREQ(current.name, "Blues Quartet");
    EXPECT_TRUE(sameBytes(current, (*first)[2][3]));
    EXPECT_STREQ(names.tonic, "CMPs");
    const CompositionParameters before = current;
    for (auto [category, slot] : {std::pair{9, 0}, std::pair{0, 24}, std::pair{-1, 1}}) {
        EXPECT_EQ(rebuildAndApplyStyle(random, kSeed, current, names, category, slot), 0);
        EXPECT_TRUE(sameBytes(current, before));
        EXPECT_STREQ(names.tonic, "CMPs");
        SeededRandom whole(kSeed);
        buildStyleTable(whole);
        EXPECT_EQ(random.next(), whole.next());
    }
}

TEST(StyleCatalogue, SlotsHoldRandomNamedAndEmptyStylesInCatalogueOrder) {
    const auto table = tableOf(kSeed);
    const StyleTable& styleTable = *table;

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
    // Category: first empty slot after the named ones, and the empty slots in between. Our own
    // music-box styles take Classic 19-21 and Healing Music 23.
    const std::pair<int, std::set<int>> empties[] = {
        {24, {}}, {16, {}}, {23, {10}}, {22, {}}, {24, {}}, {18, {}}, {15, {}}, {24, {}}, {11, {}},
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
        {3, 19, "Waltz"},           {3, 20, "Folk Tune"},         {3, 21, "Carol"},
        {7, 23, "Lullaby"},
    };
    for (const auto& n : names) EXPECT_STREQ(styleTable[n.category][n.slot].name, n.name) << n.category << "/" << n.slot;
}

TEST(StyleCatalogue, EveryBuiltStyleIsAValidRecord) {
    const auto table = tableOf(kSeed);
    const StyleTable& styleTable = *table;
    int named = 0;
    for (int c = 0; c < kStyleCategories; ++c)
        for (int s = 1; s < kStyleSlots; ++s) {
            EXPECT_TRUE(validStyle(styleTable[c][s])) << c << "/" << s << " " << styleTable[c][s].name;
            named += styleTable[c][s].description != std::string("No music style is defined.");
        }
    EXPECT_EQ(named, 163 + 4);  // with our own four

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
