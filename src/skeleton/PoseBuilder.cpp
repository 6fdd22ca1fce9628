#include "skeleton/PoseBuilder.h"

#include "skeleton/Group.h"

#include <cmath>
#include <map>

namespace duolo {
namespace {

// Floor contacts of one world pose: each contact set's samples at or below the contact height
// give a centre weighted by 2^count; sets with none weigh 1 at (0, 0).
void computeSupport(Skeleton& pose)
{
    Vec3 sum;
    double weight = 0.0;
    int contacts = 0;
    for (const auto& set : pose.contactSets) {
        int u = 0;
        double sx = 0.0, sz = 0.0;
        for (const auto& s : set) {
            if (s.position.y <= kContactHeight) {
                ++u;
                sx += s.position.x;
                sz += s.position.z;
            }
        }
        contacts += u;
        double cx = 0.0, cz = 0.0;
        if (u > 0) {
            cx = sx * (1.0 / u);
            cz = sz * (1.0 / u);
        }
        const double w = std::ldexp(1.0, u);
        weight += w;
        sum.x += w * cx;
        sum.z += w * cz;
    }
    if (contacts == 0) {
        pose.support.reset();
        pose.supportWeight = 0.0;
    } else {
        pose.support = Marker(sum, Vec3{}, 0);
        pose.supportWeight = weight;
    }
}

} // namespace

bool buildPoses(Group& group)
{
    if (!group.headingEnd || !group.upEnd || !group.rootTrajectory)
        return false;
    // Frames past the longest trajectory would only repeat last samples; a stored frame count
    // beyond them (a damaged or hostile file) must not size the pose lists.
    const int32_t frames = group.framesHeld();
    const int32_t m = group.memberCount();

    group.normalisedPoses.assign(static_cast<size_t>(frames), Skeleton(m));
    group.worldPoses.assign(static_cast<size_t>(frames), Skeleton(m));

    for (int32_t j = 0; j < frames; ++j) {
        const Marker* r = group.rootTrajectory->sampleAt(j);
        const Marker* h = group.headingEnd->sampleAt(j);
        const Marker* u = group.upEnd->sampleAt(j);
        if (!r || !h || !u) {
            group.normalisedPoses.clear();
            group.worldPoses.clear();
            return false;
        }
        for (auto* pose : {&group.normalisedPoses[j], &group.worldPoses[j]}) {
            pose->setHeading(*h, *r);
            pose->setUp(*u);
        }
    }

    // Collider ids come from one session-wide counter, so they are not bounded by the member
    // count: every id in use gets a contact set, in increasing id order, holding its markers in
    // member order.
    std::map<int32_t, std::vector<int32_t>> membersById;
    for (int32_t k = 0; k < m; ++k) {
        const int32_t id = group.members[static_cast<size_t>(k)]->colliderId;
        if (id != -1)
            membersById[id].push_back(k);
    }

    for (int32_t k = 0; k < m; ++k) {
        const AnimatedMarker* member = group.members[static_cast<size_t>(k)];
        for (int32_t l = 0; l < frames; ++l) {
            const Marker* s = member->sampleAt(l);
            const Marker sample = s ? *s : Marker{};
            group.normalisedPoses[l].addJoint(k, sample, true);
            group.worldPoses[l].addJoint(k, sample, false);
        }
    }

    for (int32_t f = 0; f < frames; ++f) {
        for (auto* pose : {&group.normalisedPoses[f], &group.worldPoses[f]}) {
            if (m > 0) {
                pose->centre.position.x /= m;
                pose->centre.position.y /= m;
                pose->centre.position.z /= m;
            }
        }
        if (membersById.empty())
            continue;
        Skeleton& world = group.worldPoses[f];
        world.contactSets.reserve(membersById.size());
        for (const auto& [id, ks] : membersById) {
            std::vector<Marker> set;
            set.reserve(ks.size());
            for (int32_t k : ks)
                set.push_back(world.joints[static_cast<size_t>(k)]);
            world.contactSets.push_back(std::move(set));
        }
        computeSupport(world);
    }

    group.posesBuilt = true;
    return true;
}

} // namespace duolo
