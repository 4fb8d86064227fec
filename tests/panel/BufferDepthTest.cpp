// The buffer page's arithmetic: slider mapping, tick spacing, samples and texts.
#include <gtest/gtest.h>

#include <climits>

#include "driver/ZivuUsbRecords.h"
#include "panel/BufferDepth.h"

namespace {

struct SliderCase {
    BufferScale scale;
    std::uint32_t currentUs;
    SliderSetup expected;
    std::uint32_t depthSent;  // what the position stands for, as an Apply would send it
    const char* text;
};

TEST(BufferDepthTest, SliderSetupAndDepthText) {
    const SliderCase cases[] = {
        // Stream record 1000..8000 step 125 at 2000.
        {{125, 1000, 8000}, 2000, {8, 64, 1, 1, 16}, 2000, "2.0 ms"},
        // A wide range spaces its ticks 12 positions apart and pages by as much.
        {{125, 500, 64000}, 2000, {4, 512, 12, 1, 16}, 2000, "2.0 ms"},
        // A depth between two steps lands on the lower one.
        {{1000, 1000, 8000}, 2500, {1, 8, 1, 1, 2}, 2000, "2.0 ms"},
        // The ASIO and WDM scale clamps at both ends.
        {kAudioBufferScale, 500, {1, 80, 1, 1, 1}, 1000, "1.0 ms"},
        {kAudioBufferScale, 90000, {1, 80, 1, 1, 80}, 80000, "80.0 ms"},
        {kAudioBufferScale, 4294967295u, {1, 80, 1, 1, 80}, 80000, "80.0 ms"},
    };
    for (const SliderCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "step " << c.scale.step << " current " << c.currentUs);
        const std::optional<SliderSetup> setup = ComputeSliderSetup(c.scale, c.currentUs);
        ASSERT_TRUE(setup);
        EXPECT_EQ(*setup, c.expected);
        const std::uint32_t depth = DepthFromPosition(setup->position, c.scale.step);
        EXPECT_EQ(depth, c.depthSent);
        EXPECT_EQ(DepthText(depth, "ms"), c.text);
    }
}

TEST(BufferDepthTest, StreamScaleComesFromTheRecordAndAZeroStepHasNoSlider) {
    const _STREAM_BUFFER_INFO info{1000, 8000, 125, 2000};
    const BufferScale scale = StreamBufferScale(info);
    EXPECT_EQ(scale.step, 125u);
    EXPECT_EQ(scale.minimum, 1000u);
    EXPECT_EQ(scale.maximum, 8000u);
    EXPECT_FALSE(ComputeSliderSetup({0, 1000, 8000}, 2000));
}

TEST(BufferDepthTest, ARangeBeyondTheSliderOrUpsideDownStaysUsable) {
    const std::optional<SliderSetup> huge = ComputeSliderSetup({1, 0, 4294967295u}, 4294967295u);
    ASSERT_TRUE(huge);
    EXPECT_EQ(huge->maximum, INT_MAX);
    EXPECT_EQ(huge->position, INT_MAX);
    EXPECT_GE(huge->tickFrequency, 1);

    const std::optional<SliderSetup> reversed = ComputeSliderSetup({100, 8000, 1000}, 5000);
    ASSERT_TRUE(reversed);
    EXPECT_EQ(reversed->minimum, 80);
    EXPECT_EQ(reversed->maximum, 80);
    EXPECT_EQ(reversed->tickFrequency, 1);
    EXPECT_EQ(reversed->position, 80);
}

TEST(BufferDepthTest, DepthToSamples) {
    struct Case {
        std::uint32_t depthUs, granularity, rate, samples;
    };
    const Case cases[] = {
        {1000, 0, 44100, 44},
        {1000, 16, 44100, 48},
        {2000, 0, 48000, 96},
        {2500, 32, 44100, 128},
        {96000, 16, 48000, 4608},  // already a multiple: unchanged
        {80000, 0, 0, 0},          // no rate read yet
        // The product does not fit 32 bits.
        {80000, 0, 384000, 30720},
        {4294967295u, 0, 4294967295u,
         static_cast<std::uint32_t>(4294967295ull * 4294967295ull / 1000000)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DepthToSamples(c.depthUs, c.granularity, c.rate), c.samples)
            << c.depthUs << " us at " << c.rate << " Hz, granularity " << c.granularity;
    }
}

TEST(BufferDepthTest, TextsCutTenthsAndPrintUnsigned) {
    EXPECT_EQ(DepthText(1250, "ms"), "1.2 ms");
    EXPECT_EQ(DepthText(999, "ms"), "0.9 ms");
    EXPECT_EQ(DepthText(4294967295u, "ms"), "4294967.2 ms");
    EXPECT_EQ(DepthWithSamplesText(2000, 96, "ms", "samples"), "2.0 ms\n96 samples");
    EXPECT_EQ(DepthWithSamplesText(2000, 4294967295u, "ms", "samples"),
              "2.0 ms\n4294967295 samples");
    EXPECT_EQ(DropOutText(4294967295u), "4294967295");
    EXPECT_EQ(DropOutText(0), "0");
}

}  // namespace
