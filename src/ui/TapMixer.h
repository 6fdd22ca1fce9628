#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace duolo {

// One decoded sound: 16-bit samples, interleaved when there is more than one channel.
struct TapSample {
    int rate = 0;
    int channels = 0;
    std::vector<int16_t> samples;

    size_t frames() const { return channels > 0 ? samples.size() / static_cast<size_t>(channels) : 0; }
};

// Decodes the bytes of a RIFF/WAVE file holding 8- or 16-bit PCM with one or two channels.
// On failure the sample is empty and `error` says what is wrong with the file.
TapSample decodeWave(std::string_view bytes, std::string& error);

// Mixes taps of one sample into a continuous output stream: every started tap plays from its
// first frame to its last, on top of those already sounding, and the sum is held to the 16-bit
// range. The output thread calls mix() while other threads start taps, so both lock.
class TapMixer {
public:
    // At most this many taps sound at once; a further one replaces the oldest, by then the
    // quietest of a decaying tap.
    static constexpr size_t kMaxVoices = 32;

    explicit TapMixer(TapSample sample);

    const TapSample& sample() const { return sample_; }
    // The next mix() starts a tap at its first frame.
    void startTap();
    // Writes `frames` frames of output: the sounding taps summed, silence where none sounds.
    void mix(int16_t* out, size_t frames);
    // No tap is sounding or waiting to start.
    bool isQuiet() const;
    // Frames until the last sounding tap ends.
    size_t framesLeft() const;
    int tapsStarted() const;

private:
    const TapSample sample_;
    mutable std::mutex mutex_;
    std::vector<size_t> voices_;  // the next frame of each sounding tap, oldest first
    std::vector<int32_t> sum_;    // mixing room, kept between calls
    int tapsStarted_ = 0;
};

} // namespace duolo
