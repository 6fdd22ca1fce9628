#pragma once

#include <QImage>
#include <QString>

#include <memory>

namespace duolo {

// Writes pictures as an MP4 video through FFmpeg's libraries: H.264 (the libx264 encoder when
// the installed libavcodec has it, else its default H.264 encoder, else MPEG-4 part 2), 4:2:0
// colour, a constant rate. Pictures of another size are scaled to the video's.
class VideoEncoder {
public:
    VideoEncoder();
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // Creates the file; the size is rounded down to even numbers (4:2:0 needs them). False
    // with `error()` naming the file and the reason.
    bool open(const QString& path, int width, int height, int framesPerSecond);
    bool addFrame(const QImage& picture);
    // Flushes the encoder and ends the file; false when the file could not be completed.
    bool finish();
    // Closes the file as it stands (after a cancel; the caller removes it).
    void abandon();
    QString error() const { return error_; }
    QString codecName() const;

private:
    struct State;
    bool fail(const QString& what, int code = 0);
    bool encode(bool flushing);

    std::unique_ptr<State> state_;
    QString path_;
    QString error_;
};

} // namespace duolo
