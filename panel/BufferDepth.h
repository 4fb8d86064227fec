// Arithmetic and texts of the buffer settings page: how a depth in microseconds maps onto
// a slider, how it reads in milliseconds and in samples. Plain functions so that tests
// call them directly.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

struct _STREAM_BUFFER_INFO;

// Slider scale of a depth, in microseconds: a position p stands for the depth p * step.
struct BufferScale {
    std::uint32_t step;
    std::uint32_t minimum;
    std::uint32_t maximum;
};

// The fixed scale of the ASIO and WDM sliders: 1 ms steps from 1 ms to 80 ms.
inline constexpr BufferScale kAudioBufferScale{1000, 1000, 80000};

// What a slider is set to for a scale and a current depth.
struct SliderSetup {
    int minimum;
    int maximum;
    int tickFrequency;  // also the page step
    int singleStep;
    int position;  // clamped to minimum..maximum, as the slider itself would
    bool operator==(const SliderSetup&) const = default;
};

// The slider for `currentUs` on `scale`; nothing when the scale has no step, since such
// a record cannot be mapped onto a slider.
std::optional<SliderSetup> ComputeSliderSetup(const BufferScale& scale, std::uint32_t currentUs);

// The stream record carries its own scale.
BufferScale StreamBufferScale(const _STREAM_BUFFER_INFO& info);

// The depth a slider position stands for.
std::uint32_t DepthFromPosition(int position, std::uint32_t step);

// The buffer length in samples at `rateHz`, rounded up to a multiple of `granularity`
// (0: no rounding). The product is taken in 64 bits; the result is kept to 32 bits.
std::uint32_t DepthToSamples(std::uint32_t depthUs, std::uint32_t granularity,
                             std::uint32_t rateHz);

// "2.0 ms": whole milliseconds, a point and the tenths, cut rather than rounded.
QString DepthText(std::uint32_t depthUs, const QString& msWord);

// "2.0 ms\n96 samples".
QString DepthWithSamplesText(std::uint32_t depthUs, std::uint32_t samples, const QString& msWord,
                             const QString& samplesWord);

// The drop-out count, printed unsigned.
QString DropOutText(std::uint32_t dropOuts);
