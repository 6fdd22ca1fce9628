#pragma once

#include "playback/Ensemble.h"
#include "session/MotionCaptureSession.h"

namespace duolo {

// The session as graph playback sees it: its groups, its frame count and its constraint settings.
// Make a fresh one for every pass, so that edits of the settings take effect at once.
inline Ensemble playbackEnsemble(const MotionCaptureSession& session)
{
    Ensemble e;
    e.groups = std::span<const std::unique_ptr<Group>>(session.groups);
    e.frameCount = session.frameCount;
    e.constraints.rotationConstraintOn = session.rotationConstraintOn;
    e.constraints.rotationLimit = session.rotationLimit;
    e.constraints.balanceConstraintOn = session.balanceConstraintOn;
    e.constraints.balanceTolerance = session.balanceTolerance;
    return e;
}

} // namespace duolo
