#pragma once
// A picture control that shows a still picture (PNG, BMP, JPEG, a GIF with one image) or
// plays an animated GIF. The animation runs on a thread of its own that draws each frame into
// an off-screen image and hands a copy over under a lock; the window thread notices the new
// frame and repaints.
#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <thread>

class GifAnimation;

class CPictureEx : public QWidget {
    Q_OBJECT

public:
    explicit CPictureEx(QWidget* parent = nullptr);
    ~CPictureEx() override;

    // Reads the whole file and loads it. False: unreadable, not decodable, or a GIF without
    // a frame the decoder accepts.
    bool Load(const QString& path);
    bool Load(std::span<const uint8_t> data);

    // Shows a still picture, or starts the animation thread of an animated GIF.
    void Draw();
    // Ends the animation thread (it wakes at once) and waits for it.
    void Stop();
    // Stops and forgets the picture.
    void UnLoad();

    // Part of the picture to show; an empty rectangle shows the whole picture.
    void SetPaintRect(const QRect& rect);

    bool IsInitialised() const { return initialised_; }
    bool IsPlaying() const;
    std::size_t FrameCount() const;
    // What a paint shows now (a copy of the last finished frame).
    QImage ShownImage() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool LoadStill(std::span<const uint8_t> data, QSize pictureSize);
    bool PrepareSurface();
    void Publish(const QImage& surface);
    bool WaitOrStop(std::chrono::milliseconds time);
    void AnimationThread();
    void RepaintIfNewFrame();

    static constexpr std::chrono::milliseconds kRepaintCheck{15};

    QRect paintRect_;
    QSize pictureSize_;
    QColor background_{Qt::white};
    bool isGif_ = false;
    bool initialised_ = false;

    QImage still_;                          // non-GIF files and single-image GIFs
    std::unique_ptr<GifAnimation> frames_;  // animated GIFs
    QImage surface_;  // off-screen image; the animation thread's alone while it runs

    std::thread thread_;
    mutable std::mutex stateMutex_;  // guards playing_, exiting_
    std::condition_variable exitEvent_;
    bool playing_ = false;
    bool exiting_ = false;

    mutable std::mutex shownMutex_;  // guards shown_ and shownGeneration_
    QImage shown_;
    uint64_t shownGeneration_ = 0;    // frames handed over so far
    uint64_t paintedGeneration_ = 0;  // window thread only
    QTimer repaintTimer_;
};
