#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace duolo {

class MotionCaptureSession;

// Writes the session as a project file (*.dwz). The bytes go to a temporary file beside the
// target, which then replaces it, so an existing project is never left half written. On failure
// returns false with `error` naming the file and the reason.
bool saveProject(const MotionCaptureSession& session, const std::string& path, std::string& error);

// Reads a project file into a new session. On any failure returns null with `error` naming the
// file and the problem: nothing is ever half loaded.
std::unique_ptr<MotionCaptureSession> loadProject(const std::string& path, std::string& error);

// The bytes of the project file for the session (what saveProject writes).
std::vector<uint8_t> projectBytes(const MotionCaptureSession& session);

// Reads a project from bytes in memory; `path` only names the source in messages.
std::unique_ptr<MotionCaptureSession> loadProjectBytes(const uint8_t* data, std::size_t size,
                                                       const std::string& path, std::string& error);

} // namespace duolo
