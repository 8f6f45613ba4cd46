// CONFIG's volume in the preferences file.
#include <gtest/gtest.h>

#include "app/compose_preferences.h"
#include "platform/fluid_synth_device.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

TEST(VolumePreference, RoundTripsBesideTheOtherLinesAndBrokenValuesGiveTheDefault) {
    testing::TempFolder dir;
    const std::string path = dir.file("compose.ini");
    EXPECT_EQ(readVolume(path), kDefaultPlayerGain);  // no file yet
    ASSERT_TRUE(writeFarewellPageWanted(path, false));
    for (double gain : {0.0, 0.05, 3.2, 7.25, kMaxPlayerGain}) {
        ASSERT_TRUE(writeVolume(path, gain));
        EXPECT_DOUBLE_EQ(readVolume(path), gain);
    }
    EXPECT_FALSE(farewellPageWanted(path));
    ASSERT_TRUE(writeFarewellPageWanted(path, true));
    EXPECT_DOUBLE_EQ(readVolume(path), kMaxPlayerGain);

    for (const char* text : {"volume=\n", "volume=loud\n", "volume=-1\n", "volume=10.5\n", "volume=3.2x\n",
                             "volume=nan\n", "volume=1e1\n"}) {
        testing::writeFileText(path, text);
        EXPECT_EQ(readVolume(path), kDefaultPlayerGain) << text;
    }
    testing::writeFileText(path, "volume=2\r\n");
    EXPECT_DOUBLE_EQ(readVolume(path), 2.0);
}

}  // namespace
}  // namespace tunecase
