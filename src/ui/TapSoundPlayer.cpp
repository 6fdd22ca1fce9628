#include "ui/TapSoundPlayer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

#include <cstdio>

namespace duolo {

namespace {
const QString kSampleName = QStringLiteral("TapSound.wav");
}

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

TapSoundPlayer::TapSoundPlayer(QObject* parent) : QObject(parent)
{
    samplePath_ = locateSample();
    if (samplePath_.isEmpty()) {
        reportSilence(QStringLiteral("%1 was found neither in the current folder nor beside the program")
                          .arg(kSampleName));
        return;
    }
    if (QMediaDevices::audioOutputs().isEmpty()) {
        reportSilence(QStringLiteral("there is no audio output device"));
        return;
    }
    effect_ = new QSoundEffect(this);
    connect(effect_, &QSoundEffect::statusChanged, this, [this] {
        if (effect_->status() == QSoundEffect::Error)
            reportSilence(QStringLiteral("%1 could not be loaded").arg(samplePath_));
    });
    effect_->setSource(QUrl::fromLocalFile(samplePath_));
}

TapSoundPlayer::~TapSoundPlayer() = default;

bool TapSoundPlayer::isAudible() const
{
    return effect_ && effect_->status() != QSoundEffect::Error;
}

void TapSoundPlayer::play()
{
    ++playRequests_;
    if (isAudible())
        effect_->play();
}

void TapSoundPlayer::reportSilence(const QString& reason)
{
    // Once per run: a reset or a second window must not repeat it.
    static bool reportedThisRun = false;
    silent_ = true;
    if (reportedThisRun)
        return;
    reportedThisRun = true;
    std::fprintf(stderr, "duolo-motion-graphs: taps are silent: %s\n", reason.toLocal8Bit().constData());
}

} // namespace duolo
