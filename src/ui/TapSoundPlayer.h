#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class QThread;

namespace duolo {

class TapMixer;
class TapStream;

// The tap heard when a collider marker touches the floor during playback. The sample
// "TapSound.wav" is taken from the current folder, else from the copy installed beside the
// program. Without the file or an audio output the player stays silent and says so once on
// stderr; play requests are always safe.
//
// Audio servers cut off or drop streams as short as one tap, so the player does not open a
// stream per tap: while playback runs it keeps one output stream open, fed from a thread of
// its own by a mixer that lays each tap over those still sounding. The stream writes only a
// few tens of milliseconds ahead of the server, so that a tap sounds soon after the pass that
// asked for it.
class TapSoundPlayer : public QObject {
    Q_OBJECT
public:
    // How far ahead of the audio server the stream is kept filled.
    static constexpr int kBufferMs = 30;

    // `bufferMs` other than the default only for tests on a machine too busy for it.
    explicit TapSoundPlayer(QObject* parent = nullptr, int bufferMs = kBufferMs);
    ~TapSoundPlayer() override;

    // Where the sample was found (empty when nowhere).
    const QString& samplePath() const { return samplePath_; }
    bool isAudible() const;

    // Playback that makes taps starts or stops. Starting opens the output stream; stopping
    // lets the taps already started sound to their end, then closes it.
    void setPlaybackRunning(bool running);
    bool isPlaybackRunning() const { return running_; }

    // One tap, mixed over any still sounding; only while playback runs.
    void play();
    // How many taps were asked for (played or not): playback tests count them.
    int playRequests() const { return playRequests_; }
    // How many of them came while playback ran: those an audio output sounds.
    int tapsDue() const { return tapsDue_; }
    // How often the stream ran dry, its thread held up by a busy machine: the server then
    // plays a gap, and the sound around it is not what was mixed.
    int underruns() const { return underruns_; }

    // "TapSound.wav" in the current folder, else beside the program; empty when neither exists.
    static QString locateSample();

private:
    bool loadSample();
    void reportSilence(const QString& reason);

    QString samplePath_;
    const int bufferMs_;
    std::unique_ptr<TapMixer> mixer_;
    QThread* thread_ = nullptr;
    TapStream* stream_ = nullptr;  // lives in thread_
    std::atomic<bool> failed_{false};
    std::atomic<int> underruns_{0};
    bool running_ = false;
    int playRequests_ = 0;
    int tapsDue_ = 0;
};

} // namespace duolo
