// Time charts: the chord durations of one chord block, read from a knowledge file or made
// without one.
//
// A chart record holds durations as three-digit groups in ticks ("384192192" is a measure
// and two half notes). A chart has at most kMaxChartDurations durations.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tunecase {

struct ComposeContext;

// Decodes `record` three digits at a time into `durations` (replacing what was there) and
// checks them against the meter. A duration of 0 ends the chart and reports 0xff01003a;
// in 3/4 a duration other than 288 or 576 reports 0xff01003b, in 7/8 one other than 336
// 0xff01003c (once per chart each, the durations are kept); more than 255 durations
// report 0xff01003d and the rest is dropped.
void DecodeTimeChart(const ComposeContext& ctx, std::string_view record, std::vector<int32_t>& durations);

// Picks one chart of a time chart text (count record, then charts) and decodes it. False,
// with `durations` empty, when the text gives no chart (reported by the picker).
bool ReadTimeChart(ComposeContext& ctx, std::string_view chartText, std::vector<int32_t>& durations);

// Makes a chart without a file: 4 durations (ctx.random.range(3, 8) for fixed chart kind 0).
// With one chord per measure each is one measure; otherwise 4/4 draws 192, 384, 576 or
// 768, 3/4 draws 288 or 576 and 7/8 uses 336.
void GenerateTimeChart(ComposeContext& ctx, std::vector<int32_t>& durations, int chartKind);

}  // namespace tunecase
