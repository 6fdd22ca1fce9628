// The project reader on arbitrary bytes. Beyond not crashing, leaking or tripping a sanitizer:
// every project that loads saves again, its canonical bytes load and save back byte for byte,
// and poses and centroids of whatever counts the file stores stay within what it holds.
#include "FuzzSupport.h"

#include "session/MotionCaptureSession.h"
#include "session/ProjectFile.h"
#include "skeleton/Group.h"
#include "skeleton/PoseBuilder.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using namespace duolo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    static fuzz::SilentSink silent;
    std::string error;
    auto session = loadProjectBytes(data, size, "fuzz.dwz", error);
    if (!session) {
        fuzz::require(!error.empty(), "a refusal says why");
        return 0;
    }
    std::vector<uint8_t> saved;
    try {
        saved = projectBytes(*session);
    } catch (const std::exception&) {
        fuzz::require(false, "a project that loads can be saved");
    }
    auto again = loadProjectBytes(saved.data(), saved.size(), "again.dwz", error);
    fuzz::require(again != nullptr, "saved bytes load");
    fuzz::require(projectBytes(*again) == saved, "saved bytes save back byte for byte");

    for (auto& g : session->groups) {
        if (buildPoses(*g))
            fuzz::require(g->normalisedPoses.size() == static_cast<std::size_t>(g->framesHeld()),
                          "one pose per frame the group holds");
        g->stepFrame();
    }
    if (session->markerCount() >= 2) {
        session->selectMarker(0);
        session->selectMarker(1);
        if (const AnimatedMarker* c = session->createCentroid())
            fuzz::require(c->sampleCount() == session->framesHeld(), "a centroid spans the frames held");
        session->setCollider();
    }
    session->frameForward();
    session->frameBack();
    return 0;
}
