#include "capture/MarkerFile.h"

#include "capture/NumberText.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Reads a whole regular file. Anything else is refused before a byte is read: a device such as
// /dev/zero never ends and a FIFO can block for ever (it is opened without waiting for a writer).
bool readRegularFile(const std::string& path, std::string& text, std::string& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = path + ": cannot open marker file: " + std::strerror(errno);
        return false;
    }
    auto fail = [&](const std::string& reason) {
        error = path + ": cannot read marker file: " + reason;
        ::close(fd);
        return false;
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return fail(std::strerror(errno));
    if (S_ISDIR(st.st_mode))
        return fail("it is a folder");
    if (!S_ISREG(st.st_mode))
        return fail("it is not a regular file");
    text.clear();
    text.reserve(static_cast<size_t>(st.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return fail(std::strerror(errno));
        }
        if (got == 0)
            break;
        text.append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    return true;
}

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
    std::string text;
    if (!readRegularFile(path, text, error))
        return false;
    samples = parseMarkerText(text);
    return true;
}

std::string displayFileName(std::string_view path)
{
    const auto cut = path.find_last_of("/\\");
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

} // namespace duolo
