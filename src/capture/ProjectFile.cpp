#include "capture/ProjectFile.h"

#include "capture/MotionCaptureSession.h"

namespace duolo {

bool saveProject(const MotionCaptureSession&, const std::string& path, std::string& error)
{
    error = path + ": saving projects is not available yet";
    return false;
}

std::unique_ptr<MotionCaptureSession> loadProject(const std::string& path, std::string& error)
{
    error = path + ": reading projects is not available yet";
    return nullptr;
}

} // namespace duolo
