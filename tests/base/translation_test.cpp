#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <set>
#include <cstdlib>
#include <optional>
#include <string>

#include "base/config_control.h"
#include "base/general_errors.h"
#include "base/reporter.h"
#include "base/translation.h"
#include "base/user_folders.h"
#include "base/utilities.h"
#include "app/startup.h"
#include "songs/library.h"
#include "songs/song_data.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

TEST(FillIn, EachPlaceholderTakesTheNextValueAndExtraOnesStay) {
    struct Case {
        const char* pattern;
        std::initializer_list<std::string_view> values;
        const char* expected;
    };
    const Case cases[] = {
        {"%s to %s mm", {"1.5", "9"}, "1.5 to 9 mm"},
        {"no placeholder", {"x"}, "no placeholder"},
        {"%s and %s", {"only"}, "only and %s"},
        {"%s%s%s", {"a", "%s", "c"}, "a%sc"},  // a value is never read as a placeholder
        {"", {}, ""},
        {"100%, exactly %s", {"5 mm"}, "100%, exactly 5 mm"},
    };
    for (const Case& c : cases) EXPECT_EQ(fillIn(c.pattern, c.values), c.expected) << c.pattern;
}

TEST(ReporterReasons, AReasonRidesOnTheFirstReportOfItsScopeOnlyAndNests) {
    ScopedCapture cap;
    reportText("before");
    {
        ScopedReason outer("song.mwd is a song-data file");
        {
            ScopedReason inner("inner");
            reportText("inside");
            reportText("inside again");
        }
        generalError(gene::CantOpenFile, "song.mwd");
        reportText("outer again");
    }
    reportText("after");
    {
        ScopedReason none("");
        reportText("an empty reason says nothing");
    }
    std::vector<std::pair<std::string, std::string>> seen;
    for (const Report& r : cap->reports()) seen.emplace_back(r.visible, r.reason);
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, std::string>>{
                        {"before", ""},
                        {"inside", "inner"},
                        {"inside again", ""},
                        {"GENE01000007 Cant open file! [song.mwd]", "song.mwd is a song-data file"},
                        {"outer again", ""},
                        {"after", ""},
                        {"an empty reason says nothing", ""},
                    }));
}

TEST(ReporterReasons, TheCommandLineShowsTheReasonIndentedUnderItsMessage) {
    ::testing::internal::CaptureStderr();
    StderrSink sink;
    ReportSink* previous = setReportSink(&sink);
    {
        ScopedReason why("strip reads MIDI files; song.mwd is a song-data file: arrange it first");
        reportCodedText("M1DT", 0x03000004, "This is not Midi file!", "song.mwd");
    }
    setReportSink(previous);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "M1DT03000004 This is not Midi file! [song.mwd]\n"
              "  strip reads MIDI files; song.mwd is a song-data file: arrange it first\n");
}

TEST(ReporterReasons, AFileThatCannotBeOpenedSaysWhyOnlyOnItsCodedBox) {
    ScopedCapture cap;
    std::vector<uint8_t> bytes;
    const std::string missing = "/nonexistent-tunecase-folder/a.mid";
    EXPECT_EQ(readUpTo(missing, bytes, 16), 0);
    const auto reports = cap->reports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].visible, missing);
    EXPECT_EQ(reports[0].reason, "");
    EXPECT_EQ(reports[1].code, gene::CantOpenFile);
    EXPECT_EQ(reports[1].reason, missing + ": No such file or directory");
    EXPECT_EQ(whyNotReadable("/"), "/ is a folder, not a file");
    EXPECT_EQ(whyNotReadable(TUNECASE_TEST_DATA "/japanese_texts.txt"), "");
}

// The tests run under the C locale: the ids themselves, English.
TEST(TranslationsInTheCLocale, TheEnglishIdsAreShown) {
    ScopedCapture cap;
    reportFilled(kDeleteToFixText, "/p/setup.ini");
    reportCoded(kSongDataMessages, 0x0A0000FF);
    reportText(kNameClashText);
    EXPECT_EQ(cap->visibleTexts(),
              (std::vector<std::string>{"Deleting /p/setup.ini may solve the problem.",
                                        "SGDT0A0000FF An error occurred in the song data.",
                                        "A song-data file with the same name is already in the library."}));
    EXPECT_STREQ(tr("an id no catalogue has"), "an id no catalogue has");
    EXPECT_EQ(tr(std::string()), "");
}

// One process switched to Japanese and back; skipped where the locale is not installed.
class JapaneseTranslations : public ::testing::Test {
protected:
    void SetUp() override {
        if (locale_t ja = newlocale(LC_ALL_MASK, "ja_JP.UTF-8", nullptr)) {
            freelocale(ja);
        } else {
            GTEST_SKIP() << "the ja_JP.UTF-8 locale is not installed (scripts/install-deps.sh makes it)";
        }
        if (const char* all = std::getenv("LC_ALL")) saved_ = all;
        setenv("LC_ALL", "ja_JP.UTF-8", 1);
        initTranslations(findLocaleFolder());
    }
    void TearDown() override {
        if (saved_) setenv("LC_ALL", saved_->c_str(), 1);
        else unsetenv("LC_ALL");
        std::setlocale(LC_ALL, "C");
    }

private:
    std::optional<std::string> saved_;
};

TEST_F(JapaneseTranslations, BoxesShowTheFixedJapaneseTextsAndKeepTheirCodes) {
    ScopedCapture cap;
    reportFilled(kDeleteToFixText, "/p/setup.ini");
    reportCoded(kSongDataMessages, 0x0A0000FF, "/p/a.mwd");
    reportText(kRecordReinitialisedText);
    generalError(gene::FileSizeError);
    const auto reports = cap->reports();
    ASSERT_EQ(reports.size(), 4u);
    EXPECT_EQ(reports[0].visible, "/p/setup.iniを削除すると問題が解決することがあります。");
    EXPECT_EQ(reports[1].visible, "SGDT0A0000FF 楽曲情報でエラーがおきました。 [/p/a.mwd]");
    EXPECT_EQ(reports[2].visible, "iniファイルにエラーがあるため初期化しました。");
    // An English text of the original stays English, in its place after the code.
    EXPECT_EQ(reports[3].visible, "GENE0100000D file size error!(2)");
    // What the program keeps is the id: the catalogue changes only what is shown.
    EXPECT_EQ(reports[1].text, "An error occurred in the song data.");
    EXPECT_STREQ(tr("an id no catalogue has"), "an id no catalogue has");
}

TEST_F(JapaneseTranslations, HelpPagesComeInTheLanguageWhereTheyExist) {
    const std::string program = TUNECASE_TEST_DATA "/../../data";
    EXPECT_EQ(helpPagePath(program), program + "/help/ja/top.htm");
    EXPECT_EQ(helpPagePath(program, "goodbye.htm"), program + "/help/ja/goodbye.htm");
    // A folder without Japanese pages shows the English ones.
    EXPECT_EQ(helpPagePath("/opt/tunecase"), "/opt/tunecase/help/top.htm");
}

std::string pageText(const std::filesystem::path& page) {
    const std::vector<uint8_t> bytes = testing::readFileBytes(page.string());
    return std::string(bytes.begin(), bytes.end());
}

TEST(HelpPages, EveryPageHasItsJapaneseCounterpartWithTheSameLinks) {
    namespace fs = std::filesystem;
    const fs::path help = TUNECASE_TEST_DATA "/../../data/help";
    int pages = 0;
    for (const auto& entry : fs::directory_iterator(help)) {
        if (entry.path().extension() != ".htm") continue;
        ++pages;
        const fs::path japanese = help / "ja" / entry.path().filename();
        ASSERT_TRUE(fs::exists(japanese)) << japanese;
        // The same pages are linked from both, so no link leads out of the language.
        const auto links = [](const fs::path& page) {
            std::multiset<std::string> found;
            const std::string text = pageText(page);
            for (size_t at = text.find("href=\""); at != std::string::npos; at = text.find("href=\"", at + 1)) {
                const size_t end = text.find('"', at + 6);
                std::string target = text.substr(at + 6, end - at - 6);
                if (target == "style.css" || target == "../style.css") continue;
                found.insert(target);
            }
            return found;
        };
        EXPECT_EQ(links(japanese), links(entry.path())) << entry.path().filename();
        EXPECT_NE(pageText(japanese).find("lang=\"ja\""), std::string::npos) << japanese;
    }
    EXPECT_GE(pages, 10);
}

}  // namespace
}  // namespace tunecase
