// Shared set-up of the engine tests: a fresh composition context with a default style
// applied, a fixed seed, boxes captured, and the program folder's knowledge files.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/reporter.h"
#include "compose/compose_context.h"
#include "compose/knowledge_files.h"
#include "styles/composition_parameters.h"

namespace tunecase::testing {

// The source copy of the program folder (the build copies it unchanged).
inline std::string programDataFolder() { return std::string(TUNECASE_TEST_DATA) + "/../../data"; }

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ctx.Seed(12345);
        CompositionParameters style;
        initParameters(style, ctx.random);
        finishStyle(style);
        applyStyle(style, ctx.parameters, ctx.knowledgeNames);
        ctx.knowledge.folder = programDataFolder();
    }

    // Every test works in a composition of its own: nothing is left over from another.
    std::unique_ptr<ComposeContext> context = std::make_unique<ComposeContext>();
    ComposeContext& ctx = *context;
    ScopedCapture boxes;
};

}  // namespace tunecase::testing
