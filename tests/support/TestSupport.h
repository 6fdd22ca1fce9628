#pragma once

#include "capture/MessageSink.h"
#include "capture/Random.h"

#include <filesystem>
#include <string>
#include <vector>

namespace duolo::test {

// Collects every message the model shows while it is alive, and restores the previous sink.
class CapturedMessages : public MessageSink {
public:
    CapturedMessages();
    ~CapturedMessages() override;
    void showMessage(const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> messages;

private:
    MessageSink* previous_;
};

// Fixes the clock the random generator is seeded from while alive, so that node placement
// and overlap nudges repeat.
class FixedClock {
public:
    explicit FixedClock(uint32_t seconds) { setRandomClock([seconds] { return seconds; }); }
    ~FixedClock() { setRandomClock(nullptr); }
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;
};

// The repository's root, the committed sample session and the shared real takes (which a
// user's clone does not have: tests that need them skip).
std::filesystem::path sourceDir();
std::filesystem::path sampleDir();
std::filesystem::path sharedDataDir();
bool haveSharedData();

// A fresh empty folder under the system's temporary folder, removed by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path file(const std::string& name) const { return path_ / name; }
    // Writes `text` to a file in the folder and returns its path.
    std::filesystem::path write(const std::string& name, const std::string& text) const;

private:
    std::filesystem::path path_;
};

} // namespace duolo::test
