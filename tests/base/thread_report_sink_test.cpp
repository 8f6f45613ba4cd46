// A thread's own report sink: a worker's reports go there, every other thread's still go to
// the process-wide sink, and removing it gives the thread back to that sink.
#include <gtest/gtest.h>

#include <thread>

#include "base/reporter.h"

namespace tunecase {
namespace {

TEST(ThreadReportSink, TakesOnlyItsOwnThreadsReports) {
    ScopedCapture global;
    CaptureSink mine;
    std::thread worker([&] {
        EXPECT_EQ(setThreadReportSink(&mine), nullptr);
        reportText("from the worker", BoxKind::Ok);
        EXPECT_EQ(setThreadReportSink(nullptr), &mine);
        reportText("after it", BoxKind::Ok);
    });
    worker.join();
    reportText("from the test", BoxKind::Ok);
    EXPECT_EQ(mine.visibleTexts(), std::vector<std::string>{"from the worker"});
    EXPECT_EQ(global->visibleTexts(), (std::vector<std::string>{"after it", "from the test"}));
}

}  // namespace
}  // namespace tunecase
