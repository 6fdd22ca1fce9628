#pragma once

namespace duolo {

class Group;

// Fills the group's normalised and world poses, one per frame of the group (group.framesHeld():
// the stored frame count bounded by the longest of its trajectories), with floor contacts
// and support in the world poses, and sets posesBuilt. Returns false (building nothing) when the
// group lacks a heading, up vector or root; trajectories shorter than the group hold their last
// sample.
bool buildPoses(Group& group);

} // namespace duolo
