#include "ui/sticker_worker.h"

#include <QMetaObject>
#include <QPointer>

#include "conversion/exact_conversion.h"
#include "conversion/full_conversion.h"
#include "ldraw/part_preview.h"
#include "conversion/quick_conversion.h"
#include "conversion/vector_conversion.h"
#include "shell/failure.h"

namespace mosaikon {

bool StickerInputs::SameAs(const StickerInputs& other) const {
    const ConversionSettings &a = settings, &b = other.settings;
    const bool sameVector = method != ConversionMethod::Vector ||
                            (vector.tolerance == other.vector.tolerance &&
                             vector.minArea == other.vector.minArea);
    return picture == other.picture && method == other.method && sameVector &&
           format == other.format &&
           height == other.height && details == other.details && fileName == other.fileName &&
           a.UseLdrawColors == b.UseLdrawColors && a.IgnoreWhite == b.IgnoreWhite &&
           a.WhiteTolerance == b.WhiteTolerance && a.IgnoreRgbColor == b.IgnoreRgbColor &&
           a.RgbTolerance == b.RgbTolerance && a.IgnoreRed == b.IgnoreRed &&
           a.IgnoreGreen == b.IgnoreGreen && a.IgnoreBlue == b.IgnoreBlue;
}

StickerWorker::StickerWorker(std::function<void(const StickerResult&)> deliver, QObject* parent)
    : QObject(parent), deliver_(std::move(deliver)), thread_([this] { Run(); }) {}

StickerWorker::~StickerWorker() {
    {
        const std::lock_guard lock(mutex_);
        quitting_ = true;
        ++generation_;
    }
    wake_.notify_one();
    thread_.join();
}

void StickerWorker::Request(StickerInputs inputs) {
    {
        const std::lock_guard lock(mutex_);
        pending_ = std::move(inputs);
        ++generation_;  // the work in progress stops at its next step
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
        StickerInputs inputs;
        std::uint64_t generation = 0;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return quitting_ || pending_.has_value(); });
            if (quitting_) return;
            inputs = std::move(*pending_);
            pending_.reset();
            generation = generation_;
            busy_ = true;
        }
        const auto current = [&] { return generation_ == generation; };
        const ProgressCallback progress = [&](double) { return current(); };
        StickerResult result;
        result.inputs = inputs;
        Shell shell;  // its own: no log, no message boxes, from this thread
        shell.messageBox = [&result](const std::string& text, MessageKind kind) {
            if (kind == MessageKind::Failure && result.failure.empty()) result.failure = text;
        };
        auto quads = std::make_shared<Quads>();
        bool built = false;
        try {
            switch (inputs.method) {
                case ConversionMethod::Full:
                    built =
                        ConvertToLdraw(shell, *inputs.picture, *quads, inputs.settings, progress);
                    break;
                case ConversionMethod::Exact:
                    built = ConvertExact(shell, *inputs.picture, *quads, inputs.settings, progress);
                    break;
                case ConversionMethod::Vector:
                    built = ConvertVector(shell, *inputs.picture, *quads, inputs.settings,
                                          inputs.vector, progress);
                    break;
                case ConversionMethod::Quick:
                    built =
                        ConvertBitmap(shell, *inputs.picture, *quads, inputs.settings, progress);
                    break;
            }
            if (built && current()) {
                auto sticker = std::make_shared<StickerPicture>();
                sticker->preview = PreviewPartFile(shell, *inputs.picture, *quads, inputs.format,
                                                   inputs.height, inputs.details, inputs.fileName,
                                                   DigitsFor(inputs.method));
                sticker->pictureWidth = inputs.picture->Width();
                sticker->pictureHeight = inputs.picture->Height();
                if (current()) PaintSticker(*sticker);
                result.sticker = std::move(sticker);
                result.quads = std::move(quads);
            }
        } catch (...) {
            result.failure = CurrentFailureDescription();
        }
        busy_ = false;
        if (!current() || (!built && result.failure.empty())) continue;
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
