#include "capture/MarkerFile.h"

#include "capture/NumberText.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace duolo {
namespace {

bool isSeparator(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// Walks the flat token stream of a marker file; past the end every value reads as 0.
class TokenStream {
public:
    explicit TokenStream(std::string_view text) : text_(text) {}

    double nextValue()
    {
        while (pos_ < text_.size() && isSeparator(text_[pos_]))
            ++pos_;
        if (pos_ >= text_.size())
            return 0.0;
        const size_t start = pos_;
        while (pos_ < text_.size() && !isSeparator(text_[pos_]))
            ++pos_;
        return parseNumberPrefix(text_.substr(start, pos_ - start));
    }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

} // namespace

std::vector<Marker> parseMarkerText(std::string_view text)
{
    // One sample per line feed, whatever the lines hold: tokens are consumed as one stream.
    const auto count = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
    std::vector<Marker> samples;
    samples.reserve(count);
    TokenStream tokens(text);
    for (size_t i = 0; i < count; ++i) {
        const double a = tokens.nextValue();
        const double b = tokens.nextValue();
        const double c = tokens.nextValue();
        // The file is z-up: its second column is depth and its third is height.
        samples.emplace_back(samples.empty() ? nullptr : &samples.back(), a * 0.1, c * 0.1, b * 0.1,
                             static_cast<int32_t>(i));
    }
    return samples;
}

bool readMarkerFile(const std::string& path, std::vector<Marker>& samples, std::string& error)
{
    samples.clear();
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = path + ": cannot read marker file: it is a folder";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open marker file: " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        error = path + ": cannot read marker file: " + std::strerror(errno);
        return false;
    }
    samples = parseMarkerText(text.str());
    return true;
}

std::string displayFileName(std::string_view path)
{
    const auto cut = path.find_last_of("/\\");
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

} // namespace duolo
