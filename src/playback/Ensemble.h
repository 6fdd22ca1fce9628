#pragma once

#include <cstdint>
#include <memory>
#include <span>

namespace duolo {

class Group;

// The playback constraint settings as the session keeps them (a new session starts from these
// defaults; they are never saved).
struct ConstraintSettings {
    bool rotationConstraintOn = false;
    int32_t rotationLimit = 60;       // whole degrees; a heading angle up to and including it passes
    bool balanceConstraintOn = false;
    double balanceTolerance = 10.0;   // allowed offset per unit of contact weight, in tenths
};

// What playback reads of the session: the groups in group-number order (the playback state lives
// in each group), the recorded frame count and the constraint settings. A plain view, cheap to
// make on every pass; `session/PlaybackEnsemble.h` makes one from a session.
struct Ensemble {
    std::span<const std::unique_ptr<Group>> groups;
    int32_t frameCount = 0;
    ConstraintSettings constraints;

    int32_t groupCount() const { return static_cast<int32_t>(groups.size()); }
    Group& group(int32_t number) const { return *groups[static_cast<size_t>(number)]; }
};

} // namespace duolo
