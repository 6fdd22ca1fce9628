#pragma once

#include "capture/MessageSink.h"
#include "motiongraph/FrameDistance.h"

#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <QString>
#include <QTimer>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class QWidget;

namespace duolo {

// Long model work on a worker thread behind a modal progress dialog with a Cancel button.
//
// The work function runs on the worker and must touch only what the caller handed it (the UI
// thread leaves that alone until the job is done); the dialog's modality keeps the user from
// starting anything else meanwhile, while the window keeps repainting. Messages the model shows
// during the job are queued to the UI thread and shown there in the order they were sent. When
// the worker is done (and every queued message was shown), `done` runs on the UI thread.
class BackgroundJob : public QObject {
    Q_OBJECT
public:
    // What the work function may use from the worker thread.
    class Progress {
    public:
        // Names the current step in the dialog ("Finding transitions").
        void setStep(const QString& text);
        // Fraction of the whole job done, 0..1.
        void report(double fraction);
        bool cancelled() const { return cancel_.load(std::memory_order_relaxed); }
        // A progress/cancel pair for the model's long loops, mapping their 0..1 onto
        // [from, to] of the whole job.
        LongRun longRun(double from, double to);

    private:
        friend class BackgroundJob;
        std::atomic<bool> cancel_{false};
        std::atomic<int> permille_{0};
        std::mutex mutex_;
        QString step_;
        bool stepChanged_ = false;
    };

    using Work = std::function<void(Progress&)>;
    using Done = std::function<void(bool cancelled)>;

    BackgroundJob(QWidget* dialogParent, const QString& title, Work work, Done done);
    // Cancels and waits for the worker; `done` is not called from here.
    ~BackgroundJob() override;

    void start();
    bool isRunning() const { return running_; }
    QProgressDialog* dialog() const { return dialog_; }
    // Asks the worker to stop at its next check, as the dialog's Cancel button does.
    void cancel();
    // Cancels, waits for the worker, shows what it queued and runs `done` now (used when the
    // page is left with a job still running).
    void cancelAndFinish();

    // Tests: runs on the worker thread before the work, so a test can hold the worker back
    // until it has pressed Cancel.
    static std::function<void()>& workerGateForTesting();

private:
    // Stands in for the process-wide sink while the job runs.
    class QueuedSink : public MessageSink {
    public:
        explicit QueuedSink(BackgroundJob& job) : job_(job) {}
        void showMessage(const std::string& text) override;

    private:
        BackgroundJob& job_;
    };

    void pollProgress();
    void workerFinished();
    void drainMessages();
    void finish();

    Work work_;
    Done done_;
    QPointer<QProgressDialog> dialog_;
    QTimer poll_;
    Progress progress_;
    std::thread worker_;
    std::thread::id uiThread_;
    QueuedSink sink_{*this};
    MessageSink* forward_ = nullptr;
    std::mutex messagesMutex_;
    std::deque<std::string> messages_;
    bool running_ = false;
    bool draining_ = false;
    bool finishPending_ = false;
    bool workerDone_ = false;
};

} // namespace duolo
