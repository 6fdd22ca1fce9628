#pragma once

#include <nlohmann/json.hpp>

#include <memory>
#include <stdexcept>
#include <string>

namespace duolo {
class MotionCaptureSession;
}

namespace duolo::cli {

// A failure to report: main prints the message as one line on stderr and exits with `status`
// (1 for failures of the work, 2 for bad arguments).
class CliError : public std::runtime_error {
public:
    explicit CliError(const std::string& message, int status = 1)
        : std::runtime_error(message), status(status) {}
    int status;
};

// A JSON number, or null when the value is not finite.
nlohmann::json jsonNumber(double value);

// Prints the JSON document on stdout (indented by 2, one trailing line feed).
void printJson(const nlohmann::json& document);

// Loads a project or throws CliError naming the file and the problem.
std::unique_ptr<MotionCaptureSession> loadProjectOrThrow(const std::string& path);

} // namespace duolo::cli
