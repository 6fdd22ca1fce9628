#include "support/TestSupport.h"

#include <fstream>
#include <random>

namespace duolo::test {

CapturedMessages::CapturedMessages() : previous_(setMessageSink(this)) {}
CapturedMessages::~CapturedMessages() { setMessageSink(previous_); }

std::filesystem::path sourceDir() { return DUOLO_SOURCE_DIR; }
std::filesystem::path sampleDir() { return sourceDir() / "resources" / "sample"; }
std::filesystem::path sharedDataDir() { return DUOLO_SHARED_DATA_DIR; }
bool haveSharedData() { return std::filesystem::is_directory(sharedDataDir() / "hdm05_mm_locomotion"); }

TempDir::TempDir()
{
    std::random_device rd;
    for (;;) {
        path_ = std::filesystem::temp_directory_path() / ("duolo-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(path_))
            break;
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::filesystem::path TempDir::write(const std::string& name, const std::string& text) const
{
    auto p = path_ / name;
    std::ofstream(p, std::ios::binary) << text;
    return p;
}

} // namespace duolo::test
