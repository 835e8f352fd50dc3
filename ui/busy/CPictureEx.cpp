#include "ui/busy/CPictureEx.h"

#include <QByteArray>
#include <QFile>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <system_error>

#include "ui/busy/GifAnimation.h"
#include "ui/busy/GifBlocks.h"

CPictureEx::CPictureEx(QWidget* parent) : QWidget(parent) {
    // The animation thread never touches the widget; the window thread looks for a finished
    // frame at about display rate and repaints.
    repaintTimer_.setInterval(kRepaintCheck);
    repaintTimer_.setTimerType(Qt::PreciseTimer);
    connect(&repaintTimer_, &QTimer::timeout, this, &CPictureEx::RepaintIfNewFrame);
}

CPictureEx::~CPictureEx() {
    UnLoad();
}

bool CPictureEx::Load(const QString& path) {
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        UnLoad();
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        UnLoad();
        return false;
    }
    return Load(std::span(reinterpret_cast<const uint8_t*>(bytes.constData()),
                          static_cast<std::size_t>(bytes.size())));
}

bool CPictureEx::Load(std::span<const uint8_t> data) {
    UnLoad();
    if (!gif::HasGifSignature(data)) {
        return LoadStill(data, QSize());
    }
    isGif_ = true;
    const auto layout = gif::ReadGif(data);
    if (!layout || layout->imageCount == 0) {
        return false;
    }
    const QSize screen(layout->screen.width, layout->screen.height);
    if (layout->imageCount == 1) {
        return LoadStill(data, screen);
    }
    std::vector<GifFrame> frames = DecodeFrames(*layout);
    if (frames.empty()) {
        return false;
    }
    pictureSize_ = screen;
    if (!PrepareSurface()) {
        return false;
    }
    frames_ = std::make_unique<GifAnimation>(std::move(frames), background_);
    return true;
}

bool CPictureEx::LoadStill(std::span<const uint8_t> data, QSize pictureSize) {
    const auto bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data.data()),
                                               static_cast<qsizetype>(data.size()));
    if (!still_.loadFromData(bytes) || still_.isNull()) {
        still_ = QImage();
        return false;
    }
    pictureSize_ = pictureSize.isEmpty() ? still_.size() : pictureSize;
    if (!PrepareSurface()) {
        still_ = QImage();
        return false;
    }
    return true;
}

// Sizes the control to the picture and makes the off-screen image, filled like an empty menu.
bool CPictureEx::PrepareSurface() {
    if (pictureSize_.isEmpty()) {
        return false;
    }
    resize(pictureSize_);
    surface_ = QImage(pictureSize_, QImage::Format_ARGB32_Premultiplied);
    if (surface_.isNull()) {
        return false;
    }
    // The file's own background colour gives way to the button face of the window system.
    background_ = palette().color(QPalette::Button);
    surface_.fill(palette().color(QPalette::Window));
    initialised_ = true;
    return true;
}

void CPictureEx::Draw() {
    if (!initialised_) {
        return;
    }
    if (!frames_) {
        QPainter painter(&surface_);
        painter.drawImage(QRect(QPoint(0, 0), pictureSize_), still_);
        painter.end();
        Publish(surface_);
        update();
        return;
    }
    if (thread_.joinable()) {
        return;  // already playing
    }
    {
        std::lock_guard lock(stateMutex_);
        exiting_ = false;
        playing_ = true;
    }
    try {
        thread_ = std::thread([this] { AnimationThread(); });
    } catch (const std::system_error&) {
        // No thread to be had: the picture stays as it is, like a box that failed to load.
        std::lock_guard lock(stateMutex_);
        playing_ = false;
        return;
    }
    repaintTimer_.start();
}

void CPictureEx::AnimationThread() {
    PlayAnimation(
        *frames_, surface_, [this](std::chrono::milliseconds time) { return WaitOrStop(time); },
        [this](const QImage& surface) { Publish(surface); });
    std::lock_guard lock(stateMutex_);
    playing_ = false;
}

bool CPictureEx::WaitOrStop(std::chrono::milliseconds time) {
    std::unique_lock lock(stateMutex_);
    return exitEvent_.wait_for(lock, time, [this] { return exiting_; });
}

void CPictureEx::Publish(const QImage& surface) {
    QImage copy = surface.copy();
    std::lock_guard lock(shownMutex_);
    shown_.swap(copy);
    ++shownGeneration_;
}

// Window thread: repaints when the animation thread has finished a new frame.
void CPictureEx::RepaintIfNewFrame() {
    uint64_t generation = 0;
    {
        std::lock_guard lock(shownMutex_);
        generation = shownGeneration_;
    }
    if (generation != paintedGeneration_) {
        paintedGeneration_ = generation;
        update();
    }
}

void CPictureEx::Stop() {
    repaintTimer_.stop();
    {
        std::lock_guard lock(stateMutex_);
        playing_ = false;
        exiting_ = true;
    }
    exitEvent_.notify_all();
    // The thread only ever waits on the exit event, so it ends at once.
    if (thread_.joinable()) {
        thread_.join();
    }
    std::lock_guard lock(stateMutex_);
    exiting_ = false;
}

void CPictureEx::UnLoad() {
    Stop();
    frames_.reset();
    still_ = QImage();
    surface_ = QImage();
    {
        std::lock_guard lock(shownMutex_);
        shown_ = QImage();
    }
    paintRect_ = QRect();
    pictureSize_ = QSize();
    background_ = Qt::white;
    isGif_ = false;
    initialised_ = false;
}

void CPictureEx::SetPaintRect(const QRect& rect) {
    paintRect_ = rect;
    update();
}

bool CPictureEx::IsPlaying() const {
    std::lock_guard lock(stateMutex_);
    return playing_;
}

std::size_t CPictureEx::FrameCount() const {
    return frames_ ? frames_->FrameCount() : 0;
}

QImage CPictureEx::ShownImage() const {
    std::lock_guard lock(shownMutex_);
    return shown_.copy();
}

void CPictureEx::paintEvent(QPaintEvent*) {
    QImage shown;
    {
        std::lock_guard lock(shownMutex_);
        shown = shown_;  // shared data; the animation thread only ever swaps in a new copy
    }
    if (shown.isNull()) {
        return;
    }
    QPainter painter(this);
    if (paintRect_.isEmpty()) {
        painter.drawImage(QPoint(0, 0), shown);
    } else {
        painter.drawImage(QPoint(0, 0), shown, paintRect_);
    }
}
