#include "ui/busy/GifAnimation.h"

#include <QByteArray>
#include <QPainter>

namespace {

// Qt's reader paints a frame onto an image of the whole logical screen; cut the frame's own
// rectangle back out so it can be placed at its offset.
QImage FramePixels(const QImage& decoded, const QRect& rect, const QSize& screen) {
    if (decoded.size() == rect.size()) {
        return decoded;
    }
    if (decoded.size() == screen) {
        return decoded.copy(rect);
    }
    return decoded.scaled(rect.size());
}

}  // namespace

std::vector<GifFrame> DecodeFrames(const gif::GifLayout& layout) {
    const QSize screen(layout.screen.width, layout.screen.height);
    std::vector<GifFrame> frames;
    frames.reserve(layout.frames.size());
    for (const gif::FrameBlock& block : layout.frames) {
        QImage decoded;
        const auto bytes =
            QByteArray::fromRawData(reinterpret_cast<const char*>(block.standalone.data()),
                                    static_cast<qsizetype>(block.standalone.size()));
        if (!decoded.loadFromData(bytes, "GIF") || decoded.isNull()) {
            continue;
        }
        GifFrame frame;
        frame.rect = QRect(block.left, block.top, block.width, block.height);
        frame.picture = FramePixels(decoded, frame.rect, screen)
                            .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        frame.delay = block.delay;
        frame.disposal = block.disposal;
        frames.push_back(std::move(frame));
    }
    return frames;
}

GifAnimation::GifAnimation(std::vector<GifFrame> frames, QColor background)
    : frames_(std::move(frames)), background_(background) {}

void GifAnimation::Begin(QImage& surface) {
    if (!frames_.empty()) {
        DisposeCurrent(surface);
    }
}

bool GifAnimation::RenderCurrent(QImage& surface) {
    const GifFrame& frame = Current();
    if (frame.picture.isNull()) {
        return false;
    }
    if (frame.disposal == kRestoreToPrevious) {
        saved_ = surface.copy(frame.rect);
    }
    QPainter painter(&surface);
    painter.drawImage(frame.rect, frame.picture);
    return true;
}

void GifAnimation::DisposeCurrent(QImage& surface) {
    const GifFrame& frame = Current();
    if (frame.disposal == kRestoreToBackground) {
        FillBackground(surface, frame.rect);
    } else if (frame.disposal == kRestoreToPrevious && !saved_.isNull()) {
        QPainter painter(&surface);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(frame.rect.topLeft(), saved_);
        saved_ = QImage();
    }
}

void GifAnimation::Advance(QImage& surface) {
    if (frames_.empty()) {
        return;
    }
    if (++current_ >= frames_.size()) {
        current_ = 0;
        FillBackground(surface, surface.rect());
    }
}

void GifAnimation::FillBackground(QImage& surface, const QRect& rect) const {
    QPainter painter(&surface);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect, background_);
}

void PlayAnimation(GifAnimation& animation, QImage& surface,
                   const std::function<bool(std::chrono::milliseconds)>& waitOrStop,
                   const std::function<void(const QImage&)>& publish) {
    if (animation.FrameCount() == 0) {
        return;
    }
    animation.Begin(surface);
    for (;;) {
        if (animation.RenderCurrent(surface)) {
            publish(surface);
        }
        if (waitOrStop(gif::FrameDisplayTime(animation.Current().delay))) {
            return;
        }
        animation.DisposeCurrent(surface);
        animation.Advance(surface);
    }
}
