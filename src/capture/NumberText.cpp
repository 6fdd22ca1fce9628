#include "capture/NumberText.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace duolo {

double parseNumberPrefix(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    const size_t start = i;
    auto digit = [&](size_t k) { return k < text.size() && std::isdigit(static_cast<unsigned char>(text[k])); };

    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    size_t digits = 0;
    while (digit(i)) { ++i; ++digits; }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (digit(i)) { ++i; ++digits; }
    }
    if (digits == 0)
        return 0.0;
    // An exponent counts only when digits follow it.
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t k = i + 1;
        if (k < text.size() && (text[k] == '+' || text[k] == '-'))
            ++k;
        if (digit(k)) {
            while (digit(k))
                ++k;
            i = k;
        }
    }

    // from_chars takes no leading '+'; it is locale-independent.
    size_t from = start;
    bool negative = false;
    if (text[from] == '+' || text[from] == '-') {
        negative = text[from] == '-';
        ++from;
    }
    double value = 0.0;
    auto result = std::from_chars(text.data() + from, text.data() + i, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Overflow reads as infinity and underflow as zero, as strtod gives them.
        value = 0.0;
        for (size_t k = from; k < i && text[k] != 'e' && text[k] != 'E'; ++k) {
            if (text[k] != '.' && text[k] != '0') {
                const std::string_view rest(text.data() + from, i - from);
                const auto e = rest.find_first_of("eE");
                const bool negExp = e != std::string_view::npos && e + 1 < rest.size() && rest[e + 1] == '-';
                value = negExp ? 0.0 : HUGE_VAL;
                break;
            }
        }
    }
    return negative ? -value : value;
}

std::string formatGeneral(double value, int significantDigits)
{
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general,
                                significantDigits);
    // Like printf's %.*g in the C locale, including the two-digit exponent.
    std::string text(buffer, result.ptr);
    return text;
}

} // namespace duolo
