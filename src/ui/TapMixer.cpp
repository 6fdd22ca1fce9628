#include "ui/TapMixer.h"

#include <algorithm>
#include <limits>

namespace duolo {

namespace {

uint32_t readU32(std::string_view bytes, size_t at)
{
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return value;
}

uint16_t readU16(std::string_view bytes, size_t at)
{
    return static_cast<uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                 (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;

} // namespace

TapSample decodeWave(std::string_view bytes, std::string& error)
{
    error.clear();
    if (bytes.size() < 12 || bytes.substr(0, 4) != "RIFF" || bytes.substr(8, 4) != "WAVE") {
        error = "it is not a WAVE file";
        return {};
    }
    bool haveFormat = false;
    uint16_t channels = 0, bits = 0;
    uint32_t rate = 0;
    std::string_view data;
    bool haveData = false;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const std::string_view id = bytes.substr(at, 4);
        const uint32_t declared = readU32(bytes, at + 4);
        const size_t body = at + 8;
        // Writers that stream leave the last chunk's size too large: take what is there.
        const size_t size = std::min<size_t>(declared, bytes.size() - body);
        if (id == "fmt ") {
            if (size < 16) {
                error = "its format chunk is cut short";
                return {};
            }
            uint16_t tag = readU16(bytes, body);
            if (tag == kFormatExtensible && size >= 26)
                tag = readU16(bytes, body + 24);  // the sub-format's first two bytes
            channels = readU16(bytes, body + 2);
            rate = readU32(bytes, body + 4);
            bits = readU16(bytes, body + 14);
            if (tag != kFormatPcm) {
                error = "its samples are not PCM (format " + std::to_string(tag) + ")";
                return {};
            }
            haveFormat = true;
        } else if (id == "data") {
            data = bytes.substr(body, size);
            haveData = true;
        }
        at = body + size + (size & 1);  // chunks are padded to an even length
    }
    if (!haveFormat) {
        error = "it has no format chunk";
        return {};
    }
    if (bits != 8 && bits != 16) {
        error = "its samples have " + std::to_string(bits) + " bits; only 8- and 16-bit samples are played";
        return {};
    }
    if (channels < 1 || channels > 2) {
        error = "it has " + std::to_string(channels) + " channels; only mono and stereo are played";
        return {};
    }
    if (rate < 1000 || rate > 192000) {
        error = "its sample rate " + std::to_string(rate) + " Hz is out of range";
        return {};
    }
    const size_t frameBytes = static_cast<size_t>(channels) * (bits / 8);
    const size_t frames = haveData ? data.size() / frameBytes : 0;
    if (frames == 0) {
        error = "it holds no sound";
        return {};
    }
    TapSample sample;
    sample.rate = static_cast<int>(rate);
    sample.channels = channels;
    sample.samples.resize(frames * channels);
    for (size_t i = 0; i < sample.samples.size(); ++i) {
        if (bits == 16)
            sample.samples[i] = static_cast<int16_t>(readU16(data, 2 * i));
        else  // 8-bit samples are unsigned, centred on 128
            sample.samples[i] = static_cast<int16_t>((static_cast<unsigned char>(data[i]) - 128) * 256);
    }
    return sample;
}

TapMixer::TapMixer(TapSample sample) : sample_(std::move(sample)) {}

void TapMixer::startTap()
{
    std::lock_guard lock(mutex_);
    if (voices_.size() == kMaxVoices)
        voices_.erase(voices_.begin());
    voices_.push_back(0);
    ++tapsStarted_;
}

void TapMixer::mix(int16_t* out, size_t frames)
{
    const size_t channels = static_cast<size_t>(std::max(sample_.channels, 1));
    const size_t count = frames * channels;
    std::lock_guard lock(mutex_);
    if (voices_.empty()) {
        std::fill(out, out + count, int16_t{0});
        return;
    }
    sum_.assign(count, 0);
    const size_t sampleFrames = sample_.frames();
    for (size_t& next : voices_) {
        const size_t take = std::min(frames, sampleFrames - next);
        const int16_t* from = sample_.samples.data() + next * channels;
        for (size_t i = 0; i < take * channels; ++i)
            sum_[i] += from[i];
        next += take;
    }
    voices_.erase(std::remove(voices_.begin(), voices_.end(), sampleFrames), voices_.end());
    constexpr int32_t lo = std::numeric_limits<int16_t>::min(), hi = std::numeric_limits<int16_t>::max();
    for (size_t i = 0; i < count; ++i)
        out[i] = static_cast<int16_t>(std::clamp(sum_[i], lo, hi));
}

bool TapMixer::isQuiet() const
{
    std::lock_guard lock(mutex_);
    return voices_.empty();
}

size_t TapMixer::framesLeft() const
{
    std::lock_guard lock(mutex_);
    // The oldest tap ends first and the newest last.
    return voices_.empty() ? 0 : sample_.frames() - voices_.back();
}

int TapMixer::tapsStarted() const
{
    std::lock_guard lock(mutex_);
    return tapsStarted_;
}

} // namespace duolo
