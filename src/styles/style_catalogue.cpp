#include "styles/style_catalogue.h"
#include "base/translation.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "base/seeded_random.h"
#include "styles/knowledge_names.h"

namespace tunecase {

namespace {

constexpr const char* kCategoryNames[kStyleCategories] = {
    "Pops(World)",     "Pops(Japan)",     "Jazz", "Classic", "Ethnic(Eastern)", "Ethnic(Western)",
    "Game Music/Sound Track", "Healing Music", "Techno",
};

struct RandomStyle {
    const char* name;
    const char* description;
};

constexpr const char* kRandomPopsText =
    "Different music style is generated every time and played. To read a file and use it later, "
    "set up to record generated music styles in a file.";

constexpr RandomStyle kRandomStyles[kStyleCategories] = {
    {"Random Pops", kRandomPopsText},
    {"Random Pops", kRandomPopsText},
    {"Random Jazz", "Jazz music style is automately generated and played"},
    {"Random Classic", "Classic music style is automately generated and played."},
    {"Random Ethnic", "East region ethnic music is automately generated and played."},
    {"Random Ethnic", "West region ethnic music is automately generated and played."},
    {"Random Game", "Game music is automately generated and played."},
    {"Random Healing", "Healing music is automately generated and played."},
    {"Random Techno", "Techno music style is automately generated and played."},
};

// The knowledge file pair a style names: PATTERN/RESOLUT with ".DB", ".DB2" or ".DBB".
enum class Files { Db, Db2, Dbb };

// One named style: the settings every style gives, then an optional routine for the rest.
// Everything not set here keeps the default of initParameters.
struct NamedStyle {
    int category;
    int slot;
    const char* name;
    const char* description;
    Files files;
    int knowledgeSet;
    int meter;      // timeSignature
    int tempo;      // microseconds per quarter note
    int measures;
    int scale;
    int feel;       // rhythmFeel
    int family;     // progressionFamily
    int program;    // melody program
    int lowest;     // melody range
    int highest;
    void (*more)(CompositionParameters&) = nullptr;
};

// The style this program plays its own songs in: three music boxes (melody with an octave
// copy, bass an octave up, backing), a vibraphone for an arranged song's accompanying notes,
// no drums.
void musicBox(CompositionParameters& p) {
    p.partProgram[1] = 10;
    p.partProgram[2] = 10;
    p.partProgram[3] = 10;
    p.partProgram[15] = 11;
    for (int k : {4, 5, 7, 8, 9}) p.partProgram[k] = kNotPlayed;

    struct Mix {
        int part, volume, chorus, reverb;
    };
    constexpr Mix kMix[] = {{1, 120, 60, 0}, {2, 60, 60, 0},  {3, 100, 60, 0},
                            {4, 115, 60, 0}, {5, 115, 60, 0}, {9, 100, 60, 0}};
    for (const Mix& m : kMix) {
        p.partMixer[m.part][mixer::Volume] = static_cast<uint8_t>(m.volume);
        p.partMixer[m.part][mixer::Chorus] = static_cast<uint8_t>(m.chorus);
        p.partMixer[m.part][mixer::Reverb] = static_cast<uint8_t>(m.reverb);
    }

    p.partOctave[1] = 1;  // the melody's octave copy
    p.partOctave[2] = 1;  // bass one octave up
    p.reservedBytes[0] = 20;
    p.reservedBytes[1] = 80;
    p.bassPattern = 3;
    p.backingPattern3 = 4;
    p.drumPattern = 1;

    std::memset(p.partRules[1], 0, sizeof p.partRules[1]);
    p.partRules[1][rule::Consonance] = 9;
    p.partRules[1][rule::RhythmMode] = 1;
    p.partRules[1][rule::Highest] = 84;
    p.partRules[1][rule::Lowest] = 60;
    p.partRules[1][rule::Algorithm] = 1;

    p.partPace[1] = 160;
    p.partPace[3] = 80;
}

// Our own styles for the music box: its instruments, and a melody that sings. Scale tones
// between the chord tones (consonance 5), long notes on the strong beats (rhythm mode 7), the
// rhythm of a chord repeated under the next chord of its length, the curve sung in steps; the
// compass a little over an octave, as people sing.
template <int Lowest, int Highest>
void musicBoxOver(CompositionParameters& p) {
    musicBox(p);
    int32_t* melody = p.partRules[1];
    melody[rule::Lowest] = Lowest;
    melody[rule::Highest] = Highest;
    melody[rule::Consonance] = 5;
    melody[rule::RhythmMode] = 7;
    melody[melody_rule::RhythmRepetition] = 2;
    melody[melody_rule::Singable] = 1;
}

// A carol walks in quarter notes, with a half or a dotted half now and then.
void carol(CompositionParameters& p) {
    musicBoxOver<60, 77>(p);
    p.partRules[1][rule::RhythmMode] = 3;
}

// A siciliana moves in dotted quarters.
void dottedQuarters(CompositionParameters& p) { p.beatKind = 2; }

using F = Files;

// In category and slot order. Tempo 500000 is 120 beats per minute, 750000 is 80.
constexpr NamedStyle kNamedStyles[] = {
    // ---- Pops(World)
    {0, 1, "Acoustic", "Acoustic guitar pops with a harmonica melody.",
     F::Db2, 2, 0, 500000, 25, 1, 0, 3, 22, 60, 84},
    {0, 2, "Latin Rock", "Rock with Latin percussion and a singing electric guitar.",
     F::Db, 1, 0, 460000, 40, 1, 0, 3, 29, 57, 81},
    {0, 3, "Rock Guitar", "Straight rock led by an overdriven guitar.",
     F::Db, 1, 0, 480000, 40, 1, 0, 3, 29, 52, 76},
    {0, 4, "Easy Listening", "Gentle orchestral pops for quiet listening.",
     F::Db, 1, 0, 700000, 40, 1, 0, 3, 73, 62, 86},
    {0, 5, "AOR", "Smooth adult-oriented rock with an electric piano.",
     F::Db, 1, 0, 600000, 40, 1, 0, 4, 4, 60, 84},
    {0, 6, "Mersey Beat", "Sixties beat music with bright guitars.",
     F::Db, 1, 0, 450000, 32, 1, 0, 4, 25, 57, 81},
    {0, 7, "Ballade", "A slow ballad with a tender piano melody.",
     F::Db2, 2, 0, 900000, 32, 1, 0, 3, 0, 60, 84},
    {0, 8, "Jaunty E-Piano", "A bouncy tune played on an electric piano.",
     F::Db, 1, 0, 520000, 40, 1, 0, 3, 4, 60, 84},
    {0, 9, "Rock", "Plain rock with a driving beat.",
     F::Db, 1, 0, 460000, 40, 1, 0, 3, 30, 52, 76},
    {0, 10, "Dog Rap", "A playful rap groove with a short synthesizer line.",
     F::Db, 1, 0, 550000, 32, 1, 0, 4, 80, 55, 72},
    {0, 11, "American Rock", "Wide-open American rock with a steady beat.",
     F::Db, 1, 0, 480000, 40, 1, 0, 4, 29, 55, 79},
    {0, 12, "Rock Orchestra", "A rock band and an orchestra playing together.",
     F::Db2, 2, 0, 500000, 40, 1, 0, 3, 48, 60, 84},
    {0, 13, "Rockabilly", "Fast rockabilly with a shuffling beat and a twangy guitar.",
     F::Db, 1, 0, 380000, 40, 1, 3, 4, 27, 55, 79},
    {0, 14, "SKA", "Ska with off-beat guitar and a brass melody.",
     F::Db, 1, 0, 400000, 40, 1, 0, 4, 56, 60, 84},
    {0, 15, "90s Pops", "Pops of the nineties with glossy keyboard colours.",
     F::Db2, 2, 0, 520000, 40, 1, 0, 3, 5, 60, 84},
    {0, 16, "Oldies", "Fifties and sixties oldies with a warm saxophone.",
     F::Db, 1, 0, 560000, 40, 1, 3, 4, 66, 55, 79},
    {0, 17, "Hard Rock", "Loud hard rock with distorted guitars.",
     F::Db2, 2, 0, 430000, 40, 1, 0, 3, 30, 52, 76},
    {0, 18, "Hawaian Venture", "A surf guitar instrumental with a Hawaiian air.",
     F::Db, 1, 0, 480000, 40, 1, 0, 4, 27, 55, 79},
    {0, 19, "Progressive rock", "Progressive rock in an odd seven-eight meter.",
     F::Db2, 2, 2, 500000, 25, 1, 0, 5, 30, 60, 84},
    {0, 20, "Bossanova Vocal", "Soft bossa nova with a humming voice.",
     F::Db2, 2, 0, 600000, 40, 1, 0, 3, 53, 60, 79},
    {0, 21, "Pop Vocal", "A pop song sung by a gentle voice.",
     F::Db, 1, 0, 540000, 40, 1, 0, 3, 53, 60, 79},
    {0, 22, "Glam Rock", "Glittering glam rock with a stomping beat.",
     F::Db, 1, 0, 500000, 40, 1, 0, 4, 29, 55, 79},
    {0, 23, "3/4 Pops", "Pops in three-four time with a soft synthesizer pad.",
     F::Db, 1, 1, 650000, 40, 1, 0, 1, 88, 58, 88},

    // ---- Pops(Japan)
    {1, 1, "Enka", "Enka is a popular music style among elder people in Japan.",
     F::Db2, 2, 0, 850000, 30, 1, 3, 3, 65, 50, 80},
    {1, 2, "Japanese Pops", "Japanese popular songs with a catchy melody.",
     F::Db, 1, 0, 520000, 40, 1, 0, 3, 0, 60, 84},
    {1, 3, "JPOP DUO", "Japanese pops for two voices and acoustic guitars.",
     F::Db, 1, 0, 500000, 40, 1, 0, 3, 25, 60, 84},
    {1, 4, "Lively Dance Pops", "Lively dance pops with a bright synthesizer.",
     F::Db, 1, 0, 440000, 40, 1, 0, 4, 81, 60, 84},
    {1, 5, "Electronic chime", "A simple melody rung on electronic chimes.",
     F::Db, 1, 0, 600000, 32, 1, 0, 4, 14, 60, 77},
    {1, 6, "Okinawan Pops", "Pops with the scale and the sanshin of Okinawa.",
     F::Db, 1, 0, 520000, 40, 3, 0, 3, 106, 60, 84},
    {1, 7, "Folk Song", "Japanese folk songs sung to an acoustic guitar.",
     F::Db, 1, 0, 650000, 40, 1, 0, 4, 25, 57, 81},
    {1, 8, "Child Song", "Simple children's songs everyone can sing.",
     F::Db, 1, 0, 600000, 32, 1, 0, 4, 0, 60, 79},
    {1, 9, "70s Pops", "Japanese pops of the seventies with strings.",
     F::Db, 1, 0, 560000, 40, 1, 0, 3, 48, 60, 84},
    {1, 10, "Pops Symphonie", "Pop melodies arranged for a symphony orchestra.",
     F::Db2, 2, 0, 600000, 40, 1, 0, 3, 48, 60, 84},
    {1, 11, "Symphonic Rock", "Rock with a full symphonic sound.",
     F::Db2, 2, 0, 500000, 40, 1, 0, 3, 50, 60, 84},
    {1, 12, "Nostalgic Game", "The sound of the music of old home video games.",
     F::Db, 1, 0, 500000, 32, 1, 0, 4, 80, 60, 84},
    {1, 13, "Pop Rock", "Rock-flavoured Japanese pops.",
     F::Db, 1, 0, 480000, 40, 1, 0, 3, 29, 55, 79},
    {1, 14, "Heavy Metal", "Fast and heavy metal with distorted guitars.",
     F::Db2, 2, 0, 400000, 40, 1, 0, 3, 30, 52, 76},
    {1, 15, "Rocka Ballade", "A slow rock ballad with a crying guitar.",
     F::Db2, 2, 0, 800000, 32, 1, 0, 3, 29, 55, 79},

    // ---- Jazz
    {2, 1, "Fusion", "Jazz fusion with electric sounds and a saxophone lead.",
     F::Db, 1, 0, 480000, 40, 7, 0, 1, 65, 58, 82},
    {2, 2, "Jazz Quartet", "Swing by a quartet of saxophone, piano, bass and drums.",
     F::Db, 1, 0, 480000, 40, 7, 3, 9, 66, 55, 79},
    {2, 3, "Blues Quartet", "Blues played by a quartet led by an alto saxophone.",
     F::Dbb, 1, 0, 500000, 40, 6, 3, 6, 65, 54, 78},
    {2, 4, "Blues Guitar2", "Slow blues on a mellow electric guitar.",
     F::Dbb, 1, 0, 600000, 40, 6, 3, 6, 26, 52, 76},
    {2, 5, "Harmonica Blues", "Blues with a wailing harmonica.",
     F::Dbb, 1, 0, 550000, 40, 6, 3, 6, 22, 60, 84},
    {2, 6, "Vibraphone Jazz", "Cool jazz with a vibraphone lead.",
     F::Db, 1, 0, 500000, 40, 7, 3, 1, 11, 60, 84},
    {2, 7, "Jazz Piano Trio", "Jazz by piano, bass and drums.",
     F::Db, 1, 0, 500000, 40, 7, 3, 1, 0, 55, 84},
    {2, 8, "Rag Time", "Ragtime piano with a bouncing left hand.",
     F::Db, 1, 0, 350000, 40, 1, 3, 4, 1, 60, 84},
    {2, 9, "Bossanova Piano", "Bossa nova played on the piano.",
     F::Db2, 2, 0, 600000, 40, 1, 0, 3, 0, 60, 84},
    {2, 11, "Guitar Lounge", "Relaxed lounge jazz on a hollow-body guitar.",
     F::Db, 1, 0, 650000, 40, 7, 0, 1, 26, 55, 79},
    {2, 12, "Blues Piano", "Blues on a barrelhouse piano.",
     F::Dbb, 1, 0, 550000, 40, 6, 3, 6, 3, 55, 79},
    {2, 13, "Blues Piano Trio", "Blues by piano, bass and drums.",
     F::Dbb, 1, 0, 500000, 40, 6, 3, 6, 0, 55, 79},
    {2, 14, "Blues Guitar", "Electric blues guitar over a shuffle.",
     F::Dbb, 1, 0, 550000, 40, 6, 3, 6, 27, 52, 76},
    {2, 15, "Jazz Guitar", "Swing with a warm jazz guitar.",
     F::Db, 1, 0, 520000, 40, 7, 3, 1, 26, 55, 79},
    {2, 16, "Jazz Guitar Trio", "Jazz by guitar, bass and drums.",
     F::Db, 1, 0, 480000, 40, 7, 3, 1, 26, 55, 79},
    {2, 17, "Jazz Waltz", "Jazz in three-four time.",
     F::Db, 1, 1, 400000, 32, 1, 0, 1, 65, 59, 91},
    {2, 18, "Quarter Cutting Gt.", "Swing with a guitar cutting every quarter note.",
     F::Db, 1, 0, 500000, 40, 7, 3, 9, 26, 55, 79},
    {2, 19, "Jazz Vocal", "A jazz standard sung by a soft voice.",
     F::Db, 1, 0, 650000, 40, 7, 3, 1, 53, 58, 79},
    {2, 20, "Big Band Jazz", "Swing by a big band with full brass.",
     F::Db, 1, 0, 420000, 40, 7, 3, 9, 61, 60, 84},
    {2, 21, "Pop Rock", "Pop rock played by a jazz combo.",
     F::Db, 1, 0, 480000, 40, 1, 0, 3, 29, 55, 79},
    {2, 22, "Blues Vocal", "A slow blues sung with feeling.",
     F::Dbb, 1, 0, 600000, 40, 6, 3, 6, 53, 55, 76},

    // ---- Classic
    {3, 1, "Modern Piano", "Modern piano music with wide leaps and bold harmony.",
     F::Db, 1, 0, 600000, 40, 19, 1, 5, 1, 38, 115},
    {3, 2, "Wind Music", "Music for a woodwind ensemble.",
     F::Db, 1, 0, 600000, 40, 1, 0, 4, 68, 60, 84},
    {3, 3, "Chamber Music", "Chamber music for a small group of strings.",
     F::Db, 1, 0, 650000, 40, 1, 0, 4, 40, 60, 88},
    {3, 4, "Classic Piano", "Piano music in the classical style.",
     F::Db, 1, 0, 600000, 40, 1, 0, 4, 0, 55, 84},
    {3, 5, "Slow Salon Piano", "Slow salon music for the piano.",
     F::Db, 1, 0, 900000, 32, 1, 0, 4, 0, 55, 84},
    {3, 6, "Flute Music", "Classical music for the flute.",
     F::Db, 1, 0, 650000, 40, 1, 0, 4, 73, 65, 93},
    {3, 7, "Classical Guitar", "Music for the classical guitar.",
     F::Db2, 2, 0, 700000, 40, 1, 0, 3, 24, 52, 79},
    {3, 8, "Bolero", "A bolero in three-four time over a steady snare rhythm.",
     F::Db, 1, 1, 700000, 40, 1, 0, 3, 73, 60, 84},
    {3, 9, "Piano Solo", "A piece for solo piano.",
     F::Db, 1, 0, 700000, 40, 1, 0, 4, 0, 50, 88},
    {3, 10, "Cembalo Solo", "A baroque piece for the harpsichord.",
     F::Db, 1, 0, 550000, 40, 1, 0, 4, 6, 50, 84},
    {3, 11, "Church Organ", "Solemn music on a church organ.",
     F::Db, 1, 0, 750000, 40, 7, 0, 3, 19, 60, 84},
    {3, 12, "3/4 Piano", "Piano music in three-four time.",
     F::Db, 1, 1, 600000, 40, 1, 0, 4, 0, 55, 84},
    {3, 13, "Strings Quartet", "A string quartet of two violins, viola and cello.",
     F::Db, 1, 0, 650000, 40, 1, 0, 4, 40, 60, 88},
    {3, 14, "Mode Piano", "Piano music on an old church mode.",
     F::Db, 1, 0, 700000, 40, 17, 0, 3, 0, 55, 84},
    {3, 15, "Theremin Music", "Eerie melodies on the theremin.",
     F::Db2, 2, 0, 900000, 30, 1, 0, 3, 54, 60, 88},
    {3, 16, "Vienna Waltz", "A Viennese waltz for orchestra.",
     F::Db, 1, 1, 450000, 40, 1, 0, 4, 48, 60, 88},
    {3, 17, "BrassBand March", "A march played by a brass band.",
     F::Db, 1, 0, 500000, 40, 1, 0, 4, 56, 60, 84},
    {3, 18, "Symphonie", "A grand piece for full orchestra.",
     F::Db2, 2, 0, 650000, 40, 1, 0, 3, 48, 60, 88},
    {3, 19, "Waltz", N_("A music-box waltz: one chord a bar, the tune swinging on the first beat."),
     F::Db, 1, 1, 500000, 16, 1, 0, 3, 10, 64, 81, musicBoxOver<64, 81>},
    {3, 20, "Folk Tune", N_("A plain folk tune for the music box, walking in steps."),
     F::Db, 1, 0, 600000, 16, 1, 0, 3, 10, 62, 79, musicBoxOver<62, 79>},
    {3, 21, "Carol", N_("A carol for the music box: calm quarter notes under a festive tune."),
     F::Db, 1, 0, 700000, 16, 1, 0, 3, 10, 60, 77, carol},

    // ---- Ethnic(Eastern)
    {4, 1, "African Forest", "Kalimba music from the African forest.",
     F::Db, 1, 0, 600000, 40, 4, 0, 7, 108, 60, 84},
    {4, 2, "African", "African rhythms with a marimba melody.",
     F::Db, 1, 0, 500000, 40, 4, 0, 4, 12, 60, 84},
    {4, 3, "Aboriginal Music", "Music of the Australian outback over a droning pipe.",
     F::Db, 1, 0, 800000, 30, 4, 0, 7, 76, 48, 72},
    {4, 4, "Arabian", "Arabian melodies on a reed pipe.",
     F::Db, 1, 0, 850000, 40, 25, 0, 3, 111, 60, 84},
    {4, 5, "Xoomij", "Overtone singing of the Mongolian steppe.",
     F::Db, 1, 0, 1000000, 30, 4, 0, 7, 85, 60, 84},
    {4, 6, "Bon Odori", "Dance music of a Japanese summer festival.",
     F::Db, 1, 0, 600000, 40, 4, 0, 4, 77, 60, 84},
    {4, 7, "Japan Traditional", "Traditional Japanese music on the koto.",
     F::Db, 1, 0, 2000000, 40, 13, 0, 3, 107, 60, 84},
    {4, 8, "China Town", "The bustle of a Chinese town.",
     F::Db, 1, 0, 550000, 40, 4, 0, 4, 15, 60, 84},
    {4, 9, "Matsuri Bayashi", "Festival music of flutes and drums.",
     F::Db, 1, 0, 450000, 40, 4, 0, 4, 72, 72, 96},
    {4, 10, "Indian Traditional", "Indian music on the sitar over a drone.",
     F::Db, 1, 0, 800000, 40, 10, 0, 7, 104, 55, 79},
    {4, 11, "Gamelan && Flute", "A gamelan with a bamboo flute.",
     F::Db, 1, 0, 700000, 40, 13, 0, 7, 73, 65, 89},
    {4, 12, "Gamelan", "A Balinese gamelan of bronze metallophones.",
     F::Db, 1, 0, 650000, 40, 13, 0, 7, 9, 60, 84},
    {4, 13, "Okinawa", "Okinawan music on the scale of the islands.",
     F::Db, 1, 0, 850000, 40, 3, 0, 3, 77, 60, 84},
    {4, 14, "Okinawa Ocean", "A calm song of the Okinawan sea.",
     F::Db, 1, 0, 750000, 40, 3, 0, 3, 106, 60, 84},
    {4, 15, "Gagaku", "The ancient court music of Japan.",
     F::Db, 1, 0, 1500000, 30, 13, 0, 7, 111, 60, 79},
    {4, 16, "Chinese Spring", "A Chinese melody of spring on the bamboo flute.",
     F::Db, 1, 0, 750000, 40, 4, 0, 4, 73, 65, 89},
    {4, 17, "China", "Chinese music on a hammered dulcimer.",
     F::Db, 1, 0, 650000, 40, 4, 0, 4, 15, 60, 84},
    {4, 18, "Kecak", "The chanting chorus of a Balinese kecak.",
     F::Db, 1, 0, 500000, 30, 13, 0, 7, 52, 55, 72},
    {4, 19, "Erhu Music", "A singing melody on the Chinese erhu.",
     F::Db, 1, 0, 800000, 40, 4, 0, 4, 110, 60, 84},
    {4, 20, "Debayashi", "The shamisen and drums of the Japanese stage.",
     F::Db, 1, 0, 500000, 40, 4, 0, 4, 106, 60, 84},
    {4, 21, "Matsuri Bayashi", "Faster festival music of high flutes and drums.",
     F::Db, 2, 0, 400000, 40, 11, 0, 7, 75, 84, 98},
    {4, 22, "Deep Africa", "Deep drumming from the heart of Africa.",
     F::Db, 1, 0, 550000, 40, 4, 0, 7, 12, 55, 79},
    {4, 23, "Tsugaru Shamisen", "Fast and fierce shamisen music of northern Japan.",
     F::Db, 1, 0, 400000, 40, 4, 0, 4, 106, 52, 80},

    // ---- Ethnic(Western)
    {5, 1, "Scotland", "Scottish airs on the bagpipe.",
     F::Db, 1, 0, 600000, 40, 4, 0, 4, 109, 60, 81},
    {5, 2, "Andes", "Music of the Andes on the pan flute.",
     F::Db2, 2, 0, 750000, 40, 2, 0, 3, 75, 54, 84},
    {5, 3, "Bossanova", "Brazilian bossa nova with a nylon-string guitar.",
     F::Db2, 2, 0, 600000, 40, 1, 0, 3, 24, 55, 79},
    {5, 4, "Paris Musette", "A Parisian musette waltz on the accordion.",
     F::Db, 1, 1, 450000, 40, 1, 0, 4, 21, 60, 84},
    {5, 5, "Hawaian", "Relaxed Hawaiian music with a steel guitar.",
     F::Db, 1, 0, 650000, 40, 1, 0, 4, 25, 57, 81},
    {5, 6, "Ethnic Guitar", "Folk music of many lands on the guitar.",
     F::Db2, 2, 0, 600000, 40, 1, 0, 3, 24, 52, 79},
    {5, 7, "Samba", "Brazilian samba with a lively beat.",
     F::Db, 1, 0, 420000, 40, 1, 0, 4, 56, 60, 84},
    {5, 8, "German Polka", "A cheerful German polka on the accordion.",
     F::Db, 1, 0, 400000, 40, 1, 0, 4, 21, 60, 84},
    {5, 9, "Reggae", "Laid-back Jamaican reggae.",
     F::Db, 1, 0, 700000, 40, 1, 0, 4, 16, 57, 81},
    {5, 10, "Mambo", "Hot Cuban mambo with trumpets.",
     F::Db, 1, 0, 400000, 40, 1, 0, 4, 56, 60, 84},
    {5, 11, "European Tango", "A dramatic European tango on the bandoneon.",
     F::Db2, 2, 0, 550000, 40, 1, 0, 10, 23, 55, 79},
    {5, 12, "Country", "American country music with a fiddle.",
     F::Db, 1, 0, 500000, 40, 1, 0, 4, 110, 60, 84},
    {5, 13, "Cha Cha Cha", "A Cuban cha-cha-cha with a flute.",
     F::Db, 1, 0, 500000, 40, 1, 0, 4, 73, 65, 89},
    {5, 14, "Bulgarian Voice", "A Bulgarian women's choir in seven-eight.",
     F::Db2, 2, 2, 1000000, 30, 1, 0, 3, 52, 67, 78},
    {5, 15, "Yodel", "A yodel song of the Alps.",
     F::Db, 1, 1, 500000, 40, 1, 0, 4, 53, 60, 84},
    {5, 16, "Flamenco", "Spanish flamenco on a nylon-string guitar.",
     F::Db, 2, 0, 370000, 40, 21, 0, 10, 24, 44, 68},
    {5, 17, "Siciliani Song", "A lilting Sicilian song that sways in dotted quarters.",
     F::Db2, 2, 1, 700000, 40, 1, 0, 3, 68, 60, 84, dottedQuarters},

    // ---- Game Music/Sound Track
    {6, 1, "Against War Song", "A song against war, sung to the guitar.",
     F::Db2, 2, 0, 700000, 40, 1, 0, 3, 25, 55, 79},
    {6, 2, "Mystery Cave", "Eerie music echoing through a dark cave.",
     F::Db2, 2, 0, 800000, 40, 5, 0, 3, 99, 60, 84},
    {6, 3, "Piano Vocal", "A song for voice and piano.",
     F::Db, 1, 0, 650000, 40, 1, 0, 3, 53, 58, 79},
    {6, 4, "Horror", "Chilling music for a horror film.",
     F::Db, 1, 0, 850000, 40, 5, 0, 1, 40, 60, 84},
    {6, 5, "Hero's Theme", "A brave theme for the hero of the story.",
     F::Db, 1, 0, 480000, 40, 1, 0, 4, 56, 60, 84},
    {6, 6, "Fighting Theme", "Fast music for a battle scene.",
     F::Db2, 2, 0, 400000, 40, 1, 0, 3, 81, 60, 84},
    {6, 7, "Theme of Mouse", "A quick and comic theme for a little mouse.",
     F::Db, 1, 0, 450000, 32, 1, 0, 4, 13, 65, 89},
    {6, 8, "Japanese Tale", "Music for an old Japanese fairy tale.",
     F::Db, 1, 0, 900000, 40, 4, 0, 4, 107, 60, 84},
    {6, 9, "Theme of Stars", "Twinkling music of the starry sky.",
     F::Db, 1, 0, 700000, 40, 1, 0, 3, 8, 65, 93},
    {6, 10, "SpaghettiWestern", "A lonesome western theme with whistling.",
     F::Db2, 2, 0, 600000, 40, 1, 0, 3, 78, 60, 84},
    {6, 11, "Mandolin Club", "Music of a mandolin ensemble.",
     F::Db, 1, 0, 550000, 40, 1, 0, 4, 25, 60, 84},
    {6, 12, "Child Play", "A bright tune for children at play.",
     F::Db, 1, 0, 500000, 32, 1, 0, 4, 9, 72, 96},
    {6, 13, "School Piano", "A simple piece from a school piano lesson.",
     F::Db, 1, 0, 600000, 32, 1, 0, 4, 0, 60, 84},
    {6, 14, "Gion Bayashi", "Festival music of the Gion festival in Kyoto.",
     F::Db, 1, 0, 700000, 40, 4, 0, 4, 72, 72, 96},

    // ---- Healing Music
    {7, 1, "Music Box", N_("Sweet melody of music box."),
     F::Db, 1, 0, 750000, 16, 1, 0, 3, 10, 60, 84, musicBox},
    {7, 2, "Silk Road", "Music of the ancient trade road across Asia.",
     F::Db2, 2, 0, 800000, 40, 1, 0, 3, 75, 60, 84},
    {7, 3, "Nostalgic", "A warm melody that brings back old memories.",
     F::Db, 1, 0, 750000, 40, 1, 0, 3, 71, 55, 79},
    {7, 4, "Forest Music", "Quiet music of birds and trees in the forest.",
     F::Db, 1, 0, 800000, 40, 4, 0, 4, 74, 60, 84},
    {7, 5, "Morning Music", "Fresh music for a bright morning.",
     F::Db, 1, 0, 650000, 40, 1, 0, 4, 73, 65, 89},
    {7, 6, "Deep sea drifting", "Drifting slowly through the deep sea.",
     F::Db2, 2, 0, 1000000, 30, 12, 0, 3, 89, 55, 79},
    {7, 7, "Dream World", "A gentle journey into the world of dreams.",
     F::Db, 1, 0, 800000, 40, 12, 0, 3, 8, 65, 89},
    {7, 8, "Local Town", "The easy pace of a small local town.",
     F::Db, 1, 0, 650000, 40, 1, 0, 4, 24, 55, 79},
    {7, 9, "Fantasy", "A tale of fantasy told by harp and strings.",
     F::Db2, 2, 0, 750000, 40, 1, 0, 3, 46, 60, 88},
    {7, 10, "EZ Piano", "Easy-going piano for relaxing.",
     F::Db, 1, 0, 700000, 40, 1, 0, 4, 0, 60, 84},
    {7, 11, "Street Singers", "Street musicians playing a waltz for passers-by.",
     F::Db, 1, 1, 600000, 40, 1, 0, 4, 21, 60, 84},
    {7, 12, "Healin Harp", "Healing music on the harp.",
     F::Db, 1, 0, 850000, 40, 1, 0, 4, 46, 60, 88},
    {7, 13, "Healing Piano", "Soothing piano for rest.",
     F::Db, 1, 0, 850000, 40, 1, 0, 4, 0, 60, 84},
    {7, 14, "EZ Trio", "Easy listening by a piano trio.",
     F::Db, 1, 0, 700000, 40, 7, 0, 3, 0, 60, 84},
    {7, 15, "Space Sound", "Floating sounds of outer space.",
     F::Db2, 2, 0, 850000, 30, 12, 0, 5, 46, 63, 88},
    {7, 16, "Light Pops", "Light and airy pops.",
     F::Db, 1, 0, 600000, 40, 1, 0, 3, 4, 60, 84},
    {7, 17, "Goddess Harp", "A heavenly melody on the harp of a goddess.",
     F::Db2, 2, 0, 900000, 40, 1, 0, 3, 46, 60, 88},
    {7, 18, "Country Side", "Peaceful music of the countryside.",
     F::Db, 1, 0, 700000, 40, 1, 0, 4, 25, 57, 81},
    {7, 19, "Recorder Quartet", "Four recorders playing together.",
     F::Db, 1, 0, 650000, 40, 1, 0, 4, 74, 60, 84},
    {7, 20, "Healing Piano +", "Soothing piano with a fuller harmony.",
     F::Db, 1, 0, 850000, 40, 1, 0, 3, 0, 60, 84},
    {7, 21, "Piano Balad", "A slow piano ballad.",
     F::Db2, 2, 0, 900000, 32, 1, 0, 3, 0, 55, 84},
    {7, 22, "Baby Merry", "A lullaby like the mobile over a baby's cradle.",
     F::Db, 1, 1, 700000, 32, 1, 0, 4, 10, 60, 84},
    {7, 23, "Lullaby", N_("A slow lullaby in rocking 3/4 for the music box."),
     F::Db, 1, 1, 850000, 16, 1, 0, 3, 10, 62, 77, musicBoxOver<62, 77>},

    // ---- Techno
    {8, 1, "Techno Dance", "Techno for dancing with a pulsing bass.",
     F::Db2, 2, 0, 500000, 40, 1, 0, 4, 31, 33, 68},
    {8, 2, "Techno Rock", "Rock with a hard electronic beat.",
     F::Db, 1, 0, 460000, 40, 1, 0, 4, 81, 55, 79},
    {8, 3, "Club Techno", "Minimal techno for the club floor.",
     F::Db2, 2, 0, 470000, 40, 1, 0, 4, 87, 48, 72},
    {8, 4, "Trance", "Trance with rising synthesizer lines.",
     F::Db2, 2, 0, 430000, 40, 1, 0, 3, 81, 60, 84},
    {8, 5, "Techno Pop", "Cheerful pops made with synthesizers.",
     F::Db, 1, 0, 500000, 40, 1, 0, 4, 80, 60, 84},
    {8, 6, "J-Techno Pop", "Japanese techno pop with a catchy synthesizer melody.",
     F::Db, 1, 0, 480000, 40, 1, 0, 4, 62, 60, 84},
    {8, 7, "Euro Beat", "Fast Eurobeat with a driving synthesizer bass.",
     F::Db2, 2, 0, 400000, 40, 1, 0, 4, 81, 60, 84},
    {8, 8, "Yosakoi Soran", "A modern Japanese festival dance on a techno beat.",
     F::Db, 1, 0, 450000, 40, 4, 0, 4, 81, 60, 84},
    {8, 9, "Basara", "Wild Japanese festival music with electric sounds.",
     F::Db, 1, 0, 420000, 40, 13, 0, 4, 84, 55, 79},
    {8, 10, "", "Techno over freely wandering chords with a polysynth lead.",
     F::Db2, 2, 0, 480000, 40, 1, 0, 5, 90, 60, 84},
};

void setFiles(CompositionParameters& p, Files files) {
    switch (files) {
        case Files::Db:
            setField(p.patternFileName, "PATTERN.DB");
            setField(p.resolutionFileName, "RESOLUT.DB");
            break;
        case Files::Db2:
            setField(p.patternFileName, "PATTERN.DB2");
            setField(p.resolutionFileName, "RESOLUT.DB2");
            break;
        case Files::Dbb:
            setField(p.patternFileName, "PATTERN.DBB");
            setField(p.resolutionFileName, "RESOLUT.DBB");
            break;
    }
}

void writeNamedStyle(CompositionParameters& p, const NamedStyle& s) {
    setField(p.name, s.name);
    setField(p.shortName, s.name);
    setField(p.description, s.description);
    setFiles(p, s.files);
    p.knowledgeSet = s.knowledgeSet;
    p.timeSignature = s.meter;
    p.tempo = s.tempo;
    p.measureCount = s.measures;
    p.scale = s.scale;
    p.rhythmFeel = s.feel;
    p.progressionFamily = s.family;
    p.partProgram[1] = s.program;
    p.partRules[1][rule::Lowest] = s.lowest;
    p.partRules[1][rule::Highest] = s.highest;
    if (s.more) s.more(p);
}

// Index of the named style in each slot, -1 for none; the random styles take slot 0.
struct SlotIndex {
    int style[kStyleCategories][kStyleSlots];
    constexpr SlotIndex() : style{} {
        for (auto& row : style)
            for (int& v : row) v = -1;
        for (int i = 0; i < static_cast<int>(sizeof kNamedStyles / sizeof kNamedStyles[0]); ++i)
            style[kNamedStyles[i].category][kNamedStyles[i].slot] = i;
    }
};
constexpr SlotIndex kSlotIndex{};

// Every row lies inside the table, after the random style, in order, and no slot is
// given twice.
constexpr bool rowsInOrder() {
    int previous = 0;
    for (const NamedStyle& s : kNamedStyles) {
        if (s.category < 0 || s.category >= kStyleCategories || s.slot < 1 || s.slot >= kStyleSlots) return false;
        const int at = s.category * kStyleSlots + s.slot;
        if (at <= previous) return false;
        previous = at;
    }
    return true;
}
static_assert(rowsInOrder(), "named styles must be listed once each, in category and slot order");

// Builds every slot in table order into one record and hands it to `visit(category, slot,
// record)`: the draws are those of a whole table, without holding one.
template <typename Visit>
void buildSlots(SeededRandom& random, Visit&& visit) {
    CompositionParameters p;
    for (int c = 0; c < kStyleCategories; ++c) {
        for (int s = 0; s < kStyleSlots; ++s) {
            initParameters(p, random);
            if (s == 0) {
                // A random style has no measure table: it never passes through finishStyle.
                setField(p.name, kRandomStyles[c].name);
                setField(p.description, kRandomStyles[c].description);
                p.randomCategory = c + 1;
            } else {
                if (const int i = kSlotIndex.style[c][s]; i >= 0) writeNamedStyle(p, kNamedStyles[i]);
                finishStyle(p);
            }
            visit(c, s, p);
        }
    }
}

// The styles a user may compose in, the default first: (category, slot, written for either meter).
struct Composable {
    int category;
    int slot;
    bool eitherMeter;
};
constexpr Composable kComposable[] = {
    {kMusicBoxCategory, kMusicBoxSlot, true}, {3, 19, false}, {3, 20, true}, {3, 21, true}, {7, 23, true},
};

std::array<ComposableStyle, std::size(kComposable)> composableList() {
    std::array<ComposableStyle, std::size(kComposable)> out{};
    for (size_t i = 0; i < std::size(kComposable); ++i) {
        const Composable& c = kComposable[i];
        const NamedStyle& row = kNamedStyles[kSlotIndex.style[c.category][c.slot]];
        out[i] = {c.category, c.slot, row.name, row.description, row.meter, row.tempo, c.eitherMeter};
    }
    return out;
}

}  // namespace

std::span<const ComposableStyle> composableStyles() {
    static const auto list = composableList();
    return list;
}

const ComposableStyle* findComposableStyle(std::string_view name) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (const ComposableStyle& s : composableStyles()) {
        const std::string_view own(s.name);
        if (own.size() == name.size() && std::equal(own.begin(), own.end(), name.begin(),
                                                    [&](char a, char b) { return lower(a) == lower(b); }))
            return &s;
    }
    return nullptr;
}

const char* styleCategoryName(int category) {
    if (category < 0 || category >= kStyleCategories) return "";
    return kCategoryNames[category];
}

std::unique_ptr<StyleTable> buildStyleTable(SeededRandom& random) {
    auto table = std::make_unique<StyleTable>();
    buildSlots(random, [&](int c, int s, const CompositionParameters& p) {
        (*table)[static_cast<size_t>(c)][static_cast<size_t>(s)] = p;
    });
    return table;
}

int rebuildAndApplyStyle(SeededRandom& random, unsigned seed, CompositionParameters& current, KnowledgeNames& names,
                         int category, int slot) {
    random.reseed(seed);
    bool applied = false;
    buildSlots(random, [&](int c, int s, const CompositionParameters& p) {
        if (c != category || s != slot) return;
        applyStyle(p, current, names);
        applied = true;
    });
    return applied ? 1 : 0;
}

}  // namespace tunecase
