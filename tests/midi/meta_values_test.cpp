#include <gtest/gtest.h>

#include "base/reporter.h"
#include "midi/meta_values.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

TEST(Numbers, TimeSignatureBytesAndSecondPortNames) {
    EXPECT_EQ(timeSignatureBytes(0x0304), (std::array<uint8_t, 4>{3, 2, 18, 8}));
    EXPECT_EQ(timeSignatureBytes(0x0608), (std::array<uint8_t, 4>{6, 3, 18, 8}));
    EXPECT_EQ(timeSignatureBytes(0x0201), (std::array<uint8_t, 4>{2, 0, 18, 8}));
    ScopedCapture cap;
    EXPECT_EQ(timeSignatureBytes(0x0300), (std::array<uint8_t, 4>{3, 2, 18, 8}));
    EXPECT_EQ(cap->visibleTexts().at(0), "GENE0100000E Time sign is invalid!");

    EXPECT_EQ(isSecondPortModule("for SC-88 B port"), 1);
    EXPECT_EQ(isSecondPortModule("88B"), 1);
    EXPECT_EQ(isSecondPortModule("SC-88A"), 0);
}

}  // namespace
}  // namespace tunecase
