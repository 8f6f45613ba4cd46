// Shared set-up of the engine tests: a default style applied, a fixed seed, boxes captured,
// and the program folder's knowledge files.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "base/reporter.h"
#include "compose/knowledge_files.h"
#include "compose/random_range.h"
#include "styles/composition_parameters.h"

namespace tunecase::testing {

// The source copy of the program folder (the build copies it unchanged).
inline std::string programDataFolder() { return std::string(TUNECASE_TEST_DATA) + "/../../data"; }

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        SeedSongRandom(12345);
        CompositionParameters style;
        initParameters(style);
        finishStyle(style);
        applyStyle(style);
        SetKnowledgeFolder(programDataFolder());
        for (auto which : {KnowledgeFile::Pattern, KnowledgeFile::Cadence, KnowledgeFile::TimeChart,
                           KnowledgeFile::CadenceTimeChart})
            SetKnowledgeText(which, "");
    }
    void TearDown() override { SetKnowledgeFolder({}); }

    ScopedCapture boxes;
};

}  // namespace tunecase::testing
