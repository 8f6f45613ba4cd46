#include "compose/time_chart.h"

#include <string>

#include "compose/compose_context.h"
#include "compose/compose_errors.h"
#include "compose/compose_information.h"
#include "compose/knowledge_files.h"
#include "styles/composition_parameters.h"

namespace tunecase {

void DecodeTimeChart(const ComposeContext& ctx, std::string_view record, std::vector<int32_t>& durations) {
    durations.clear();
    const int meter = ctx.parameters.timeSignature;
    bool meterReported = false;
    for (size_t at = 0; at < record.size(); at += 3) {
        const int duration = RecordNumber(record.substr(at, 3));
        if (duration <= 0) {
            ReportComposeError(zemc::CreateTimeChart);
            break;
        }
        if (durations.size() >= static_cast<size_t>(kMaxChartDurations)) {
            ReportComposeError(zemc::TimeChartLength);
            break;
        }
        if (!meterReported && meter == 1 && duration != 288 && duration != 576) {
            ReportComposeError(zemc::CreateThreeFour);
            meterReported = true;
        } else if (!meterReported && meter == 2 && duration != 336) {
            ReportComposeError(zemc::CreateSevenEight);
            meterReported = true;
        }
        durations.push_back(duration);
    }
}

bool ReadTimeChart(ComposeContext& ctx, std::string_view chartText, std::vector<int32_t>& durations) {
    durations.clear();
    std::string chart;
    if (!PickChart(ctx, chartText, chart)) return false;
    DecodeTimeChart(ctx, chart, durations);
    return true;
}

void GenerateTimeChart(ComposeContext& ctx, std::vector<int32_t>& durations, int chartKind) {
    durations.clear();
    const CompositionParameters& p = ctx.parameters;
    const int count = chartKind == 0 ? ctx.random.range(3, 8) : 4;
    for (int i = 0; i < count; ++i) {
        int duration;
        if (p.oneChordPerMeasure == 1) duration = measureTicks(p.timeSignature);
        else if (p.timeSignature == 0) duration = ctx.random.range(1, 4) * 192;
        else if (p.timeSignature == 1) duration = ctx.random.range(1, 2) * 288;
        else duration = 336;
        durations.push_back(duration);
    }
}

}  // namespace tunecase
