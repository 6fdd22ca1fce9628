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
// returns false with `error` naming the file and the reason. `written`, when given, receives the
// bytes written.
bool saveProject(const MotionCaptureSession& session, const std::string& path, std::string& error,
                 std::vector<uint8_t>* written = nullptr);

// Reads a project file into a new session. On any failure returns null with `error` naming the
// file and the problem: nothing is ever half loaded.
std::unique_ptr<MotionCaptureSession> loadProject(const std::string& path, std::string& error);

// The bytes of the project file for the session (what saveProject writes).
std::vector<uint8_t> projectBytes(const MotionCaptureSession& session);

// Writes `bytes` to a temporary file beside `path` and renames it over `path`, so that what was
// there stays whole until the new file is (a link is followed to its target). On failure
// returns false with `error` naming the file and the reason.
bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);

// Reads a whole file; on failure false with `error` naming the file and the reason.
bool readWholeFile(const std::string& path, std::vector<uint8_t>& data, std::string& error);

// Reads a project from bytes in memory; `path` only names the source in messages.
std::unique_ptr<MotionCaptureSession> loadProjectBytes(const uint8_t* data, std::size_t size,
                                                       const std::string& path, std::string& error);

} // namespace duolo
