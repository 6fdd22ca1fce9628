#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace duolo {

class MotionCaptureSession;

// Undo and redo for a session's edits, kept as snapshots of the document between steps: the
// project file's bytes and each group's graph state (groupGraphBytes). Snapshots share the
// buffers that a step did not change, so a graph edit costs the bytes of one group's graph and
// a skeleton edit those of the project. Undoing and redoing return exactly the bytes that were
// recorded, whatever the edit was.
//
// An edit is bracketed: prepare() before it (which takes the document as it is as the step's
// starting point, so changes that record no step of their own, such as a selection, are
// returned by undoing the next edit), commit() after it (which records the step when something
// changed and drops what could be redone).
//
// The history holds at most `memoryBudget` bytes of snapshots; past that the oldest steps are
// dropped (at least one step always stays undoable).
class EditHistory {
public:
    // What an edit may have changed. Graphs: only graph states (the project's bytes are taken as
    // they were); Everything: the project too.
    enum class Scope { Graphs, Everything };

    static constexpr std::size_t kDefaultMemoryBudget = std::size_t{512} << 20;

    explicit EditHistory(std::size_t memoryBudget = kDefaultMemoryBudget);
    ~EditHistory();
    EditHistory(const EditHistory&) = delete;
    EditHistory& operator=(const EditHistory&) = delete;

    // Forgets every step (a new or reopened session).
    void clear();
    void prepare(const MotionCaptureSession& session, Scope scope);
    // True when a step was recorded.
    bool commit(const MotionCaptureSession& session, Scope scope, std::string label);

    bool canUndo() const { return cursor_ > 0; }
    bool canRedo() const { return cursor_ + 1 < states_.size(); }
    // The labels of the step undo would take back and the one redo would carry out.
    std::string undoLabel() const { return canUndo() ? labels_[cursor_ - 1] : std::string(); }
    std::string redoLabel() const { return canRedo() ? labels_[cursor_] : std::string(); }

    // Returns the document to the state before the last step (after the next one). When the
    // project's bytes differ the session is read anew from them: `replacement` then holds the
    // new session (with the old one's frame and playback settings), and the caller puts it in
    // the old one's place. Otherwise only the graphs that differ are put back in `session`.
    struct Restored {
        bool done = false;
        std::unique_ptr<MotionCaptureSession> replacement;
        std::string error;
    };
    Restored undo(MotionCaptureSession& session);
    Restored redo(MotionCaptureSession& session);

    // Steps dropped for the budget since the last call.
    std::size_t takeDroppedSteps();
    std::size_t memoryUsed() const;
    std::size_t memoryBudget() const { return budget_; }
    std::size_t stepCount() const { return labels_.size(); }

private:
    using Bytes = std::vector<uint8_t>;
    struct State {
        std::shared_ptr<const Bytes> project;
        std::vector<std::shared_ptr<const Bytes>> graphs;
    };
    State capture(const MotionCaptureSession& session, Scope scope, const State& like) const;
    static bool sameState(const State& a, const State& b);
    Restored moveTo(std::size_t target, MotionCaptureSession& session);
    void keepWithinBudget();

    std::vector<State> states_;
    std::vector<std::string> labels_;  // labels_[k]: the step from states_[k] to states_[k + 1]
    std::size_t cursor_ = 0;           // the state the document is in
    std::size_t budget_;
    std::size_t dropped_ = 0;
};

} // namespace duolo
