#pragma once

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "conversion/conversion_method.h"
#include "ldraw/part_file_writer.h"
#include "conversion/vector_conversion.h"
#include "image/conversion_settings.h"
#include "image/picture.h"
#include "image/quads.h"
#include "ui/picture_view.h"

namespace mosaikon {

// Everything the sticker depends on, as the window's controls give it.
struct StickerInputs {
    std::shared_ptr<const Picture> picture;
    ConversionSettings settings;
    ConversionMethod method = ConversionMethod::Quick;
    VectorOptions vector;  // for the vector conversion
    PartFormat format = PartFormat::Classic;
    std::int32_t height = 1;
    StickerDetails details;
    std::string fileName;

    bool SameAs(const StickerInputs& other) const;
};

// The sticker worked out for some inputs: the conversion's quadrilaterals, and what the part
// file of them holds, painted for the view. Empty quadrilaterals and a message when it failed.
struct StickerResult {
    StickerInputs inputs;
    std::shared_ptr<const Quads> quads;
    std::shared_ptr<const StickerPicture> sticker;
    std::string failure;
};

// Works out the sticker on a thread of its own, so that the window stays answering while a long
// conversion runs. A new request stops the one in progress at once (its result is never
// delivered); results come back through `deliver`, on the window's thread.
class StickerWorker : public QObject {
    Q_OBJECT

public:
    explicit StickerWorker(std::function<void(const StickerResult&)> deliver,
                           QObject* parent = nullptr);
    ~StickerWorker() override;

    void Request(StickerInputs inputs);
    // Stops the work in progress, if any; nothing is delivered for it.
    void Cancel();
    bool Busy() const { return busy_; }

private:
    void Run();

    std::function<void(const StickerResult&)> deliver_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<StickerInputs> pending_;
    std::atomic<std::uint64_t> generation_{0};
    std::atomic<bool> busy_{false};
    bool quitting_ = false;
    std::thread thread_;
};

}  // namespace mosaikon
