// oneTBB before Qt: Qt's `emit` macro would break oneTBB's headers.
#include <oneapi/tbb/task_arena.h>
#include <oneapi/tbb/task_scheduler_observer.h>

#include "ui/BackgroundJob.h"

#include <QProgressDialog>
#include <QWidget>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <exception>

namespace duolo {

namespace {
constexpr int kSteps = 1000;
constexpr int kPollMs = 50;
constexpr int kWorkerNice = 5;

// Lowers the scheduling priority of the calling thread, so that on a busy machine the window's
// own thread wins the processor and keeps repainting.
void yieldToTheWindow()
{
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kWorkerNice);
}

// Every thread that joins the job's arena (the pool's workers) runs below the window too.
class BackgroundPriority : public tbb::task_scheduler_observer {
public:
    explicit BackgroundPriority(tbb::task_arena& arena) : tbb::task_scheduler_observer(arena) { observe(true); }
    ~BackgroundPriority() override { observe(false); }
    void on_scheduler_entry(bool) override { yieldToTheWindow(); }
};
}

void BackgroundJob::Progress::setStep(const QString& text)
{
    std::lock_guard lock(mutex_);
    step_ = text;
    stepChanged_ = true;
}

void BackgroundJob::Progress::report(double fraction)
{
    permille_.store(static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * kSteps)),
                    std::memory_order_relaxed);
}

LongRun BackgroundJob::Progress::longRun(double from, double to)
{
    LongRun run;
    run.cancel = &cancel_;
    run.progress = [this, from, to](double f) { report(from + (to - from) * f); };
    return run;
}

std::function<void()>& BackgroundJob::workerGateForTesting()
{
    static std::function<void()> gate;
    return gate;
}

BackgroundJob::BackgroundJob(QWidget* dialogParent, const QString& title, Work work, Done done)
    : work_(std::move(work)), done_(std::move(done))
{
    dialog_ = new QProgressDialog(title, tr("Cancel"), 0, kSteps, dialogParent);
    dialog_->setWindowTitle(tr("Duolo Motion Graphs"));
    dialog_->setWindowModality(Qt::ApplicationModal);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    dialog_->setMinimumDuration(0);
    dialog_->setMinimumWidth(420);
    dialog_->hide();
    // The button only asks; the dialog stays up until the worker has stopped.
    connect(dialog_, &QProgressDialog::canceled, this, &BackgroundJob::cancel);
    poll_.setInterval(kPollMs);
    connect(&poll_, &QTimer::timeout, this, &BackgroundJob::pollProgress);
}

BackgroundJob::~BackgroundJob()
{
    progress_.cancel_ = true;
    if (worker_.joinable())
        worker_.join();
    if (running_)
        setMessageSink(forward_);
    delete dialog_.data();
}

void BackgroundJob::start()
{
    if (running_)
        return;
    running_ = true;
    uiThread_ = std::this_thread::get_id();
    forward_ = messageSink();
    setMessageSink(&sink_);
    dialog_->setValue(0);
    dialog_->show();
    poll_.start();
    worker_ = std::thread([this] {
        if (auto& gate = workerGateForTesting())
            gate();
        try {
            yieldToTheWindow();
            tbb::task_arena arena;
            BackgroundPriority priority(arena);
            arena.execute([this] { work_(progress_); });
        } catch (const std::exception& e) {
            // Out of memory on a very long take, say: the job ends and says why.
            progress_.cancel_ = true;
            sink_.showMessage(std::string("The work could not be finished: ") + e.what());
        }
        QMetaObject::invokeMethod(this, &BackgroundJob::workerFinished, Qt::QueuedConnection);
    });
}

void BackgroundJob::cancel()
{
    progress_.cancel_ = true;
    if (dialog_)
        dialog_->setLabelText(tr("Cancelling..."));
}

void BackgroundJob::cancelAndFinish()
{
    if (!running_)
        return;
    progress_.cancel_ = true;
    if (worker_.joinable())
        worker_.join();
    workerDone_ = true;
    draining_ = false;  // a box still open further up the stack keeps its own message
    drainMessages();
}

void BackgroundJob::QueuedSink::showMessage(const std::string& text)
{
    if (std::this_thread::get_id() == job_.uiThread_) {
        job_.forward_->showMessage(text);
        return;
    }
    {
        std::lock_guard lock(job_.messagesMutex_);
        job_.messages_.push_back(text);
    }
    QMetaObject::invokeMethod(&job_, &BackgroundJob::drainMessages, Qt::QueuedConnection);
}

void BackgroundJob::pollProgress()
{
    if (!dialog_)
        return;
    QString step;
    bool changed = false;
    {
        std::lock_guard lock(progress_.mutex_);
        if (progress_.stepChanged_ && !progress_.cancelled()) {
            step = progress_.step_;
            changed = true;
            progress_.stepChanged_ = false;
        }
    }
    if (changed)
        dialog_->setLabelText(step);
    dialog_->setValue(progress_.permille_.load(std::memory_order_relaxed));
}

void BackgroundJob::workerFinished()
{
    if (worker_.joinable())
        worker_.join();
    workerDone_ = true;
    drainMessages();
}

void BackgroundJob::drainMessages()
{
    // A message box runs its own event loop: later messages (and the end of the job) wait for
    // the box in front of them, so everything appears in the order it was sent.
    if (draining_)
        return;
    draining_ = true;
    for (;;) {
        std::string text;
        {
            std::lock_guard lock(messagesMutex_);
            if (messages_.empty())
                break;
            text = std::move(messages_.front());
            messages_.pop_front();
        }
        forward_->showMessage(text);
    }
    draining_ = false;
    if (workerDone_ && running_)
        finish();
}

void BackgroundJob::finish()
{
    running_ = false;
    poll_.stop();
    setMessageSink(forward_);
    const bool cancelled = progress_.cancelled();
    if (dialog_)
        dialog_->hide();
    if (done_)
        done_(cancelled);
}

} // namespace duolo
