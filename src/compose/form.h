// The shape of a song: how many chord blocks it has, in which order and how often each is
// played (the form), and for every block its time chart and chords.
#pragma once

#include <cstdint>
#include <vector>

namespace tunecase {

struct ComposeContext;

// a when ctx.random.range(1, b + 2) gives b + 1 or b + 2, else the number drawn: 1 .. b with
// extra weight on a.
int RandomTwoWay(ComposeContext& ctx, int a, int b);

// The number of chord blocks for the context's parameters: 3 for family 7; with one chord per
// measure the target length divided by the block size (0xff0101c7 for a chart kind other
// than 0 and 4, 0xff0101c8 and one block when nothing is left); otherwise RandomTwoWay
// drawn until it is at least 2. At most kMaxBlocks.
int ChooseBlockCount(ComposeContext& ctx);

// The form for `blockCount` blocks: block 1 played n times, then block 2, and so on, n
// being 2 for family 7, the fixed block repeats for chart kinds other than 0, else
// RandomTwoWay(2, 4) above 30 target measures and RandomTwoWay(2, 3) otherwise. At most
// kMaxFormEntries entries.
std::vector<int> BuildForm(ComposeContext& ctx, int blockCount);

// Fills the chord list of regular block `blockIndex` (from 0) by walking its time chart
// from the tonic: dominant-seventh and augmented-tonic splits in 4/4, the slash-bass choice,
// the next chord, and passing chords before short durations.
void WalkBlockChart(ComposeContext& ctx, int blockIndex, const std::vector<int32_t>& chart);

// Charts and fills the closing block (the last one) with a closing progression that starts
// after the last chord of the block before it.
void BuildClosingBlock(ComposeContext& ctx);

// Chooses the block count and form, then charts and fills every block: the regular blocks
// in order, then the closing block. Everything goes into ctx.information.
void BuildFormAndCharts(ComposeContext& ctx);

}  // namespace tunecase
