#include "capture/ValueFormat.h"

#include "capture/NumberText.h"

namespace duolo {
namespace {

// Applies the decimals rule to a plain decimal text (no exponent).
std::string applyDecimals(std::string text, int minDecimals)
{
    const auto point = text.rfind('.');
    if (minDecimals <= 0) {
        if (point != std::string::npos)
            text.erase(point);
        return text;
    }
    if (point == std::string::npos) {
        text += '.';
        text.append(static_cast<size_t>(minDecimals), '0');
        return text;
    }
    const auto decimals = static_cast<int>(text.size() - point - 1);
    if (decimals < minDecimals)
        text.append(static_cast<size_t>(minDecimals - decimals), '0');
    return text;
}

} // namespace

std::string formatNumber(double value, int minDecimals)
{
    const std::string text = formatGeneral(value, 10);
    const auto exponent = text.find_first_of("eE");
    if (exponent == std::string::npos)
        return applyDecimals(text, minDecimals);

    // Exponent notation: |value| is at least 1e10 (a whole number at ten digits) or below 1e-4.
    const std::string mantissa = text.substr(0, exponent);
    const std::string tail = text.substr(exponent);
    const bool tiny = tail.size() > 1 && tail[1] == '-';
    if (minDecimals <= 0)
        return tiny ? (value < 0 ? "-0" : "0") : text;
    return applyDecimals(mantissa, minDecimals) + tail;
}

} // namespace duolo
