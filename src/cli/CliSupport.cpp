#include "cli/CliSupport.h"

#include "session/MotionCaptureSession.h"
#include "session/ProjectFile.h"

#include <cmath>
#include <iostream>

namespace duolo::cli {

nlohmann::json jsonNumber(double value)
{
    if (!std::isfinite(value))
        return nullptr;
    return value;
}

void printJson(const nlohmann::json& document)
{
    std::cout << document.dump(2) << '\n';
}

std::unique_ptr<MotionCaptureSession> loadProjectOrThrow(const std::string& path)
{
    std::string error;
    auto session = loadProject(path, error);
    if (!session)
        throw CliError(error);
    return session;
}

} // namespace duolo::cli
