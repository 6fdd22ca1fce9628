#include "ui/TapSoundPlayer.h"

#include "ui/TapMixer.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <vector>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace duolo {

namespace {

const QString kSampleName = QStringLiteral("TapSound.wav");

// How often the stream's buffer is topped up: a small part of its length, so that it never runs
// dry while the buffer stays short.
constexpr int kFeedIntervalMs = 5;

// The feeding thread must run within a few milliseconds of its timer even while the machine is
// busy, or the server plays gaps into the taps. Where the system allows it, it gets the
// priority that audio servers give their own threads; elsewhere it keeps the default.
void raiseFeedingPriority()
{
#ifdef Q_OS_LINUX
    constexpr int kAudioNice = -11;
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kAudioNice);
#endif
}

} // namespace

// The output stream, on the player's own thread: the main thread renders and may be busy for
// longer than the stream's few tens of milliseconds of sound last. The stream is written to,
// not left to pull: its pulling only asks for sound in periods longer than the whole of the
// short buffer that a low delay needs. Between taps it is fed silence, so that it never runs
// dry and the server keeps it.
class TapStream : public QObject {
public:
    TapStream(TapMixer& mixer, int bufferMs, std::atomic<int>& underruns,
              std::function<void(const QString&)> onFailure)
        : mixer_(mixer), bufferMs_(bufferMs), underruns_(underruns), onFailure_(std::move(onFailure)),
          feedTimer_(this), closeTimer_(this)
    {
        format_.setSampleRate(mixer.sample().rate);
        format_.setChannelCount(mixer.sample().channels);
        format_.setSampleFormat(QAudioFormat::Int16);
        feedTimer_.setTimerType(Qt::PreciseTimer);
        connect(&feedTimer_, &QTimer::timeout, this, [this] { feed(); });
        closeTimer_.setSingleShot(true);
        connect(&closeTimer_, &QTimer::timeout, this, [this] { closeWhenQuiet(); });
    }

    void open(const QAudioDevice& device)
    {
        closeTimer_.stop();
        closing_ = false;
        if (sink_)
            return;
        if (device.isNull()) {
            onFailure_(QStringLiteral("there is no audio output device"));
            return;
        }
        if (!device.isFormatSupported(format_)) {
            onFailure_(QStringLiteral("the audio output takes no %1 Hz %2-channel 16-bit sound")
                           .arg(format_.sampleRate()).arg(format_.channelCount()));
            return;
        }
        sink_ = new QAudioSink(device, format_, this);
        // The server's default buffer holds seconds of sound: a tap would wait behind it.
        sink_->setBufferSize(format_.bytesForDuration(qint64(bufferMs_) * 1000));
        connect(sink_, &QAudioSink::stateChanged, this, [this](QAudio::State state) {
            if (!sink_)
                return;
            if (state == QAudio::StoppedState && sink_->error() != QAudio::NoError)
                fail(QStringLiteral("the audio output stopped (error %1)").arg(int(sink_->error())));
        });
        fed_ = false;
        output_ = sink_->start();
        if (!output_ || sink_->error() != QAudio::NoError) {
            fail(QStringLiteral("the audio output could not be opened (error %1)").arg(int(sink_->error())));
            return;
        }
        feed();
        feedTimer_.start(kFeedIntervalMs);
    }

    // Closes the stream once the taps still sounding have reached the server.
    void closeWhenQuiet()
    {
        if (!sink_)
            return;
        if (!mixer_.isQuiet()) {
            closing_ = false;
            const qint64 leftMs = qint64(mixer_.framesLeft()) * 1000 / format_.sampleRate();
            closeTimer_.start(int(leftMs) + bufferMs_);
            return;
        }
        if (!closing_ || mixer_.tapsStarted() != tapsWhenQuiet_) {
            // The last tap's end is still in the stream's buffer.
            closing_ = true;
            tapsWhenQuiet_ = mixer_.tapsStarted();
            closeTimer_.start(2 * bufferMs_);
            return;
        }
        close();
    }

    void close()
    {
        closeTimer_.stop();
        closing_ = false;
        if (!sink_)
            return;
        feedTimer_.stop();
        QAudioSink* sink = sink_;
        sink_ = nullptr;  // its state changes from here on are no failure
        output_ = nullptr;
        sink->stop();
        delete sink;
    }

private:
    // Tops the stream's buffer up with the mixer's next frames.
    void feed()
    {
        if (!sink_ || !output_)
            return;
        const qint64 frameBytes = qint64(sizeof(int16_t)) * format_.channelCount();
        const qint64 free = sink_->bytesFree();
        // Held up for as long as the buffer lasts, or asked for all of it: the server has
        // played out what the stream held and is playing a gap.
        const qint64 bufferMs = format_.durationForBytes(sink_->bufferSize()) / 1000;
        if (fed_ && (free >= sink_->bufferSize() || sinceFed_.elapsed() >= bufferMs))
            ++underruns_;
        sinceFed_.start();
        const qint64 frames = free / frameBytes;
        if (frames <= 0)
            return;
        fed_ = true;
        block_.resize(size_t(frames) * size_t(format_.channelCount()));
        mixer_.mix(block_.data(), size_t(frames));
        output_->write(reinterpret_cast<const char*>(block_.data()), frames * frameBytes);
    }

    void fail(const QString& reason)
    {
        onFailure_(reason);
        QTimer::singleShot(0, this, [this] { close(); });
    }

    TapMixer& mixer_;
    const int bufferMs_;
    std::atomic<int>& underruns_;
    std::function<void(const QString&)> onFailure_;
    QAudioFormat format_;
    QAudioSink* sink_ = nullptr;
    QIODevice* output_ = nullptr;  // the sink's, while open
    bool fed_ = false;             // since the stream was opened
    QElapsedTimer sinceFed_;
    std::vector<int16_t> block_;
    QTimer feedTimer_;
    QTimer closeTimer_;
    bool closing_ = false;
    int tapsWhenQuiet_ = 0;
};

QString TapSoundPlayer::locateSample()
{
    const QString local = QDir::current().absoluteFilePath(kSampleName);
    if (QFileInfo(local).isFile())
        return local;
    const QString installed = QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(kSampleName);
    if (QFileInfo(installed).isFile())
        return installed;
    return {};
}

TapSoundPlayer::TapSoundPlayer(QObject* parent, int bufferMs) : QObject(parent), bufferMs_(bufferMs)
{
    samplePath_ = locateSample();
    if (samplePath_.isEmpty()) {
        reportSilence(QStringLiteral("%1 was found neither in the current folder nor beside the program")
                          .arg(kSampleName));
        return;
    }
    if (!loadSample())
        return;
    if (QMediaDevices::audioOutputs().isEmpty()) {
        reportSilence(QStringLiteral("there is no audio output device"));
        return;
    }
    thread_ = new QThread(this);
    thread_->setObjectName(QStringLiteral("TapSound"));
    stream_ = new TapStream(*mixer_, bufferMs_, underruns_, [this](const QString& reason) {
        failed_ = true;
        QMetaObject::invokeMethod(this, [this, reason] { reportSilence(reason); }, Qt::QueuedConnection);
    });
    stream_->moveToThread(thread_);
    thread_->start(QThread::TimeCriticalPriority);
    QMetaObject::invokeMethod(stream_, [] { raiseFeedingPriority(); }, Qt::QueuedConnection);
}

TapSoundPlayer::~TapSoundPlayer()
{
    if (!thread_)
        return;
    // The stream is closed on its own thread; the thread then ends before the mixer goes.
    QMetaObject::invokeMethod(stream_, [this] { stream_->close(); }, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
    delete stream_;
}

bool TapSoundPlayer::loadSample()
{
    QFile file(samplePath_);
    if (!file.open(QIODevice::ReadOnly)) {
        reportSilence(QStringLiteral("%1 could not be read: %2").arg(samplePath_, file.errorString()));
        return false;
    }
    const QByteArray bytes = file.readAll();
    std::string error;
    TapSample sample = decodeWave(std::string_view(bytes.constData(), size_t(bytes.size())), error);
    if (!error.empty()) {
        reportSilence(QStringLiteral("%1 cannot be played: %2").arg(samplePath_, QString::fromStdString(error)));
        return false;
    }
    mixer_ = std::make_unique<TapMixer>(std::move(sample));
    return true;
}

bool TapSoundPlayer::isAudible() const
{
    return stream_ && !failed_;
}

void TapSoundPlayer::setPlaybackRunning(bool running)
{
    if (running == running_)
        return;
    running_ = running;
    if (!isAudible())
        return;
    if (running) {
        // Asked here, on the main thread: the list of outputs belongs to it.
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        QMetaObject::invokeMethod(stream_, [s = stream_, device] { s->open(device); }, Qt::QueuedConnection);
    } else {
        QMetaObject::invokeMethod(stream_, [s = stream_] { s->closeWhenQuiet(); }, Qt::QueuedConnection);
    }
}

void TapSoundPlayer::play()
{
    ++playRequests_;
    if (!running_)
        return;
    ++tapsDue_;
    if (isAudible())
        mixer_->startTap();
}

void TapSoundPlayer::reportSilence(const QString& reason)
{
    // Once per run: a reset or a second window must not repeat it.
    static bool reportedThisRun = false;
    if (reportedThisRun)
        return;
    reportedThisRun = true;
    std::fprintf(stderr, "duolo-motion-graphs: taps are silent: %s\n", reason.toLocal8Bit().constData());
}

} // namespace duolo
