#pragma once

#include <QObject>
#include <QString>

class QSoundEffect;

namespace duolo {

// The tap heard when a collider marker touches the floor during playback. The sample
// "TapSound.wav" is taken from the current folder, else from the copy installed beside the
// program. Without the file or an audio output the player stays silent and says so once on
// stderr; play requests are always safe.
class TapSoundPlayer : public QObject {
    Q_OBJECT
public:
    explicit TapSoundPlayer(QObject* parent = nullptr);
    ~TapSoundPlayer() override;

    // Where the sample was found (empty when nowhere).
    const QString& samplePath() const { return samplePath_; }
    bool isAudible() const;
    void play();
    // How many taps were asked for (played or not): playback tests count them.
    int playRequests() const { return playRequests_; }

    // "TapSound.wav" in the current folder, else beside the program; empty when neither exists.
    static QString locateSample();

private:
    void reportSilence(const QString& reason);

    QString samplePath_;
    QSoundEffect* effect_ = nullptr;
    bool silent_ = false;
    int playRequests_ = 0;
};

} // namespace duolo
