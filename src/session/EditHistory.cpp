#include "session/EditHistory.h"

#include "capture/MessageSink.h"
#include "session/GraphFile.h"
#include "session/MotionCaptureSession.h"
#include "session/ProjectFile.h"
#include "skeleton/Group.h"

#include <algorithm>
#include <unordered_set>

namespace duolo {
namespace {

// The buffer of `like` when it holds the same bytes, so that unchanged parts are shared.
std::shared_ptr<const std::vector<uint8_t>> shared(std::vector<uint8_t> bytes,
                                                   const std::shared_ptr<const std::vector<uint8_t>>& like)
{
    if (like && *like == bytes)
        return like;
    return std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
}

} // namespace

EditHistory::EditHistory(std::size_t memoryBudget) : budget_(memoryBudget) {}
EditHistory::~EditHistory() = default;

void EditHistory::clear()
{
    states_.clear();
    labels_.clear();
    cursor_ = 0;
}

EditHistory::State EditHistory::capture(const MotionCaptureSession& session, Scope scope, const State& like) const
{
    State state;
    if (scope == Scope::Everything || !like.project) {
        const SilencedMessages quiet;  // a snapshot is no save: none of its notes
        state.project = shared(projectBytes(session), like.project);
    } else {
        state.project = like.project;
    }
    for (size_t k = 0; k < session.groups.size(); ++k)
        state.graphs.push_back(shared(groupGraphBytes(*session.groups[k]),
                                      k < like.graphs.size() ? like.graphs[k] : nullptr));
    return state;
}

bool EditHistory::sameState(const State& a, const State& b)
{
    return a.project == b.project && a.graphs == b.graphs;
}

void EditHistory::prepare(const MotionCaptureSession& session, Scope scope)
{
    if (states_.empty()) {
        states_.push_back(capture(session, Scope::Everything, State{}));
        cursor_ = 0;
        return;
    }
    State now = capture(session, scope, states_[cursor_]);
    if (!sameState(now, states_[cursor_]))
        states_[cursor_] = std::move(now);
}

bool EditHistory::commit(const MotionCaptureSession& session, Scope scope, std::string label)
{
    if (states_.empty())
        return false;  // no prepare(): nothing to measure the change against
    State now = capture(session, scope, states_[cursor_]);
    if (sameState(now, states_[cursor_]))
        return false;
    states_.resize(cursor_ + 1);
    labels_.resize(cursor_);
    states_.push_back(std::move(now));
    labels_.push_back(std::move(label));
    cursor_ = states_.size() - 1;
    keepWithinBudget();
    return true;
}

std::size_t EditHistory::memoryUsed() const
{
    std::unordered_set<const Bytes*> seen;
    std::size_t total = 0;
    for (const State& s : states_) {
        if (s.project && seen.insert(s.project.get()).second)
            total += s.project->size();
        for (const auto& g : s.graphs)
            if (g && seen.insert(g.get()).second)
                total += g->size();
    }
    return total;
}

void EditHistory::keepWithinBudget()
{
    // The current state and the one before it always stay: the latest step can be undone.
    while (cursor_ >= 2 && memoryUsed() > budget_) {
        states_.erase(states_.begin());
        labels_.erase(labels_.begin());
        --cursor_;
        ++dropped_;
    }
}

std::size_t EditHistory::takeDroppedSteps()
{
    return std::exchange(dropped_, 0);
}

EditHistory::Restored EditHistory::undo(MotionCaptureSession& session)
{
    if (!canUndo())
        return {};
    return moveTo(cursor_ - 1, session);
}

EditHistory::Restored EditHistory::redo(MotionCaptureSession& session)
{
    if (!canRedo())
        return {};
    return moveTo(cursor_ + 1, session);
}

EditHistory::Restored EditHistory::moveTo(std::size_t target, MotionCaptureSession& session)
{
    Restored result;
    const State& from = states_[cursor_];
    const State& to = states_[target];
    MotionCaptureSession* into = &session;
    if (from.project != to.project) {
        std::string error;
        auto fresh = loadProjectBytes(to.project->data(), to.project->size(), "the undo history", error);
        if (!fresh) {
            result.error = error;
            return result;
        }
        fresh->rotationLimit = session.rotationLimit;
        fresh->rotationLimitMax = session.rotationLimitMax;
        fresh->balanceTolerance = session.balanceTolerance;
        fresh->balanceToleranceMax = session.balanceToleranceMax;
        fresh->balanceConstraintOn = session.balanceConstraintOn;
        fresh->rotationConstraintOn = session.rotationConstraintOn;
        if (fresh->frameCount > 0)
            fresh->setFrame(std::clamp(session.currentFrame, 0, fresh->frameCount - 1));
        result.replacement = std::move(fresh);
        into = result.replacement.get();
    }
    const bool fresh = into != &session;
    for (size_t k = 0; k < into->groups.size() && k < to.graphs.size(); ++k) {
        const bool changed = fresh || k >= from.graphs.size() || from.graphs[k] != to.graphs[k];
        if (!changed)
            continue;
        std::string error;
        if (!restoreGroupGraph(*into->groups[k], *to.graphs[k], error)) {
            result.error = "the undo history: group " + std::to_string(k) + ": " + error;
            result.replacement.reset();
            return result;
        }
    }
    cursor_ = target;
    result.done = true;
    return result;
}

} // namespace duolo
