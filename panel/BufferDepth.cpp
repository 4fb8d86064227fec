#include "BufferDepth.h"

#include <algorithm>
#include <climits>

#include "driver/ZivuUsbRecords.h"

namespace {

// Slider positions are ints; a driver range beyond that is held at the end of the scale.
int ToSliderInt(std::uint32_t value) {
    return static_cast<int>(std::min<std::uint32_t>(value, INT_MAX));
}

}  // namespace

std::optional<SliderSetup> ComputeSliderSetup(const BufferScale& scale, std::uint32_t currentUs) {
    if (scale.step == 0) return std::nullopt;
    SliderSetup setup{};
    setup.minimum = ToSliderInt(scale.minimum / scale.step);
    setup.maximum = std::max(setup.minimum, ToSliderInt(scale.maximum / scale.step));
    // A maximum below the minimum would wrap the unsigned span; such a range has no ticks
    // to space out.
    const std::uint32_t span =
        scale.maximum >= scale.minimum ? (scale.maximum - scale.minimum) / scale.step : 0;
    setup.tickFrequency = std::max(1, ToSliderInt(span / 40));
    setup.singleStep = 1;
    setup.position = std::clamp(ToSliderInt(currentUs / scale.step), setup.minimum, setup.maximum);
    return setup;
}

BufferScale StreamBufferScale(const _STREAM_BUFFER_INFO& info) {
    return {info.StepUs, info.MinimumUs, info.MaximumUs};
}

std::uint32_t DepthFromPosition(int position, std::uint32_t step) {
    return static_cast<std::uint32_t>(std::max(position, 0)) * step;
}

std::uint32_t DepthToSamples(std::uint32_t depthUs, std::uint32_t granularity,
                             std::uint32_t rateHz) {
    std::uint64_t samples = std::uint64_t{depthUs} * rateHz / 1000000u;
    if (granularity != 0) samples = (samples + granularity - 1) / granularity * granularity;
    return static_cast<std::uint32_t>(samples);
}

QString DepthText(std::uint32_t depthUs, const QString& msWord) {
    return QStringLiteral("%1.%2 %3").arg(depthUs / 1000).arg(depthUs % 1000 / 100).arg(msWord);
}

QString DepthWithSamplesText(std::uint32_t depthUs, std::uint32_t samples, const QString& msWord,
                             const QString& samplesWord) {
    return QStringLiteral("%1\n%2 %3")
        .arg(DepthText(depthUs, msWord))
        .arg(samples)
        .arg(samplesWord);
}

QString DropOutText(std::uint32_t dropOuts) { return QString::number(dropOuts); }
