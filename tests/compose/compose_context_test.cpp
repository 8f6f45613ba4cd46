// The song list editor's random routine and the composition engine in one translation unit:
// the editor's RandomRange type and the engine's generator live side by side.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <vector>

#include "app/song_list_editor.h"
#include "compose/accompaniment.h"
#include "compose/compose_context.h"
#include "compose/compose_driver.h"
#include "compose/form.h"
#include "compose/melody.h"
#include "compose/score_rendering.h"

namespace tunecase {
namespace {

// AUTO SEL driven by a composition's generator picks the same songs for the same seed.
TEST(ComposeContext, TheEditorsRandomRangeCanDrawFromAContextsGenerator) {
    const auto selectionOf = [](int32_t seed) {
        const auto ctx = std::make_unique<ComposeContext>();
        ctx->Seed(seed);
        const RandomRange pick = [&](int low, int high) { return ctx->random.range(low, high); };
        return chooseAutoSelection(30, pick);
    };
    const std::vector<int> first = selectionOf(5);
    ASSERT_EQ(first.size(), static_cast<size_t>(kAutoSelectMost));
    EXPECT_EQ(std::set<int>(first.begin(), first.end()).size(), first.size());
    EXPECT_TRUE(std::all_of(first.begin(), first.end(), [](int i) { return i >= 0 && i < 30; }));
    EXPECT_EQ(selectionOf(5), first);
    EXPECT_NE(selectionOf(6), first);
}

}  // namespace
}  // namespace tunecase
