#include "capture/AnimatedMarker.h"

#include <algorithm>

namespace duolo {

std::unique_ptr<AnimatedMarker> AnimatedMarker::copy() const
{
    auto c = std::make_unique<AnimatedMarker>(-1, name);
    c->samples = samples;
    c->colliderId = colliderId;
    return c;
}

const Marker* AnimatedMarker::currentSample() const
{
    return samples.empty() ? nullptr : &samples[static_cast<size_t>(current)];
}

Marker* AnimatedMarker::currentSample()
{
    return samples.empty() ? nullptr : &samples[static_cast<size_t>(current)];
}

const Marker* AnimatedMarker::sampleAt(int32_t i) const
{
    if (samples.empty())
        return nullptr;
    const int32_t last = sampleCount() - 1;
    return &samples[static_cast<size_t>(std::clamp(i, 0, last))];
}

void AnimatedMarker::nextSample()
{
    if (samples.empty())
        return;
    current = current + 1 < sampleCount() ? current + 1 : 0;
}

void AnimatedMarker::step(int32_t delta)
{
    seek(static_cast<int32_t>(std::clamp<int64_t>(int64_t{current} + delta, INT32_MIN, INT32_MAX)));
}

void AnimatedMarker::seek(int32_t frame)
{
    current = samples.empty() ? 0 : std::clamp(frame, 0, sampleCount() - 1);
}

} // namespace duolo
