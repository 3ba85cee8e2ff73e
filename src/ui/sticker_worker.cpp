#include "ui/sticker_worker.h"

#include <QMetaObject>

#include <algorithm>
#include <cstring>

#include "shell/failure.h"

namespace mosaikon {

std::string StickerResult::Failure() const {
    if (!sticker) return "";
    for (const StickerMessage& message : sticker->messages) {
        if (message.kind == MessageKind::Failure) return message.text;
    }
    return "";
}

std::shared_ptr<const StickerPicture> PaintedSticker(const Sticker& sticker) {
    auto painted = std::make_shared<StickerPicture>();
    painted->preview = sticker.preview;
    painted->pictureWidth = sticker.request.picture->Width();
    painted->pictureHeight = sticker.request.picture->Height();
    if (sticker.request.drawing) {
        // A drawing's shapes, placed in its frame of picture units, are shown over the drawing
        // as the window shows it: the picture drawn for the conversions of pixels.
        const DrawnSize shown = DrawnSizeOf(*sticker.request.drawing);
        const double sx = static_cast<double>(shown.width) / painted->pictureWidth;
        const double sy = static_cast<double>(shown.height) / painted->pictureHeight;
        for (ViewPolygon& polygon : painted->preview.polygons) {
            for (int i = 0; i < polygon.count; ++i) {
                double& x = polygon.x[static_cast<std::size_t>(i)];
                double& y = polygon.y[static_cast<std::size_t>(i)];
                x = (x - 1) * sx + 1;
                y = (y - 1) * sy + 1;
            }
        }
        painted->pictureWidth = shown.width;
        painted->pictureHeight = shown.height;
    }
    const RgbaPicture& texture = sticker.shapes->texture;
    if (!texture.rgba.empty()) {
        // The texture's pixels, as programs that show textures draw them on the face.
        QImage image(texture.width, texture.height, QImage::Format_RGBA8888);
        for (int y = 0; y < texture.height; ++y) {
            std::memcpy(image.scanLine(y),
                        texture.rgba.data() + static_cast<std::size_t>(y) * texture.width * 4,
                        static_cast<std::size_t>(texture.width) * 4);
        }
        painted->texture = std::move(image);
    }
    PaintSticker(*painted);
    return painted;
}

StickerWorker::StickerWorker(std::function<void(const StickerResult&)> deliver, QObject* parent,
                             std::function<void(int)> progress)
    : QObject(parent),
      deliver_(std::move(deliver)),
      progress_(std::move(progress)),
      thread_([this] { Run(); }) {}

StickerWorker::~StickerWorker() {
    {
        const std::lock_guard lock(mutex_);
        quitting_ = true;
        ++generation_;
    }
    wake_.notify_one();
    thread_.join();
}

void StickerWorker::Request(const Shell& shell, StickerRequest request) {
    {
        const std::lock_guard lock(mutex_);
        // Work on the same shapes goes on, and the request takes them when it is done: only
        // its text is made again. Any other stops at its next step.
        const bool sameShapes = busy_ && running_ && running_->SameShapes(request);
        pending_ = std::move(request);
        texts_ = shell.messages;
        if (!sameShapes) ++generation_;
    }
    wake_.notify_one();
}

void StickerWorker::Cancel() {
    const std::lock_guard lock(mutex_);
    pending_.reset();
    ++generation_;
}

void StickerWorker::Run() {
    for (;;) {
        StickerRequest request;
        Shell shell;  // its own: no log, no message boxes, from this thread
        std::uint64_t generation = 0;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return quitting_ || pending_.has_value(); });
            if (quitting_) return;
            request = std::move(*pending_);
            pending_.reset();
            running_ = request;
            shell.messages = texts_;
            generation = generation_;
            busy_ = true;
        }
        // The shapes of another picture are of no more use.
        if (last_ && last_->request.picture != request.picture) last_.reset();
        const auto current = [&] { return generation_ == generation; };
        int told = -1;
        const ProgressCallback progress = [&](double done) {
            const int percent = static_cast<int>(std::clamp(done, 0.0, 1.0) * 100);
            if (progress_ && percent != told && current()) {
                told = percent;
                QMetaObject::invokeMethod(
                    this,
                    [this, percent, generation] {
                        if (generation_ == generation) progress_(percent);
                    },
                    Qt::QueuedConnection);
            }
            return current();
        };
        StickerResult result;
        if (!last_ || !last_->made || !last_->request.SameShapes(request)) ++shapesMade_;
        try {
            auto sticker = std::make_shared<Sticker>(
                MakeSticker(shell, request, progress, last_.get(), StickerUse::View));
            if (sticker->made) {
                last_ = sticker;
                if (current()) result.picture = PaintedSticker(*sticker);
            }
            result.sticker = std::move(sticker);
        } catch (...) {
            auto failed = std::make_shared<Sticker>();
            failed->request = request;
            failed->messages.push_back({CurrentFailureDescription(), MessageKind::Failure});
            result.sticker = std::move(failed);
        }
        {
            const std::lock_guard lock(mutex_);
            busy_ = false;
            running_.reset();
            // A request for the same shapes came meanwhile: its sticker is the one shown.
            if (pending_ && result.picture && pending_->SameShapes(result.sticker->request)) {
                continue;
            }
        }
        // A sticker stopped says nothing and is not shown.
        if (!current() || (!result.picture && result.Failure().empty())) continue;
        // Back on the window's thread, unless a newer request came meanwhile.
        QMetaObject::invokeMethod(
            this,
            [this, result = std::move(result), generation] {
                if (generation_ == generation) deliver_(result);
            },
            Qt::QueuedConnection);
    }
}

}  // namespace mosaikon
