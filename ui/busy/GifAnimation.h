#pragma once
// Plays the frames of an animated GIF into an off-screen image: the draw, delay and disposal
// rules, and the clear at the end of each loop. No threads and no widgets here; the picture
// control runs the loop on its own thread.
#include <QColor>
#include <QImage>
#include <QRect>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "ui/busy/GifBlocks.h"

struct GifFrame {
    QImage picture;  // the frame's own pixels, sized like `rect`
    QRect rect;      // offset and size within the logical screen
    uint32_t delay = gif::kNoDelay;
    int disposal = 0;
};

// Decodes each frame's stand-alone GIF. Frames the decoder rejects are left out.
std::vector<GifFrame> DecodeFrames(const gif::GifLayout& layout);

class GifAnimation {
public:
    static constexpr int kRestoreToBackground = 2;
    static constexpr int kRestoreToPrevious = 3;

    GifAnimation(std::vector<GifFrame> frames, QColor background);

    std::size_t FrameCount() const { return frames_.size(); }
    const GifFrame& Current() const { return frames_[current_]; }

    // Applies the current frame's disposal once, so a restarted animation goes on cleanly.
    void Begin(QImage& surface);
    // Draws the current frame, first saving what lies under a restore-to-previous frame.
    // False when there was nothing to draw.
    bool RenderCurrent(QImage& surface);
    // Restores the area of the current frame as its disposal method asks.
    void DisposeCurrent(QImage& surface);
    // Moves to the next frame; after the last, back to the first on a cleared surface.
    void Advance(QImage& surface);

private:
    void FillBackground(QImage& surface, const QRect& rect) const;

    std::vector<GifFrame> frames_;
    QColor background_;
    std::size_t current_ = 0;
    QImage saved_;  // the area under the current frame, for restore-to-previous
};

// The animation thread's loop: draw, show, wait, dispose, advance, until told to stop.
// `waitOrStop` waits the given time and returns true when the loop must end; `publish` hands
// over the surface after every frame drawn.
void PlayAnimation(GifAnimation& animation, QImage& surface,
                   const std::function<bool(std::chrono::milliseconds)>& waitOrStop,
                   const std::function<void(const QImage&)>& publish);
