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

#include "sticker/sticker.h"
#include "ui/picture_view.h"

namespace mosaikon {

// The sticker worked out for a request, and painted for the view.
struct StickerResult {
    std::shared_ptr<const Sticker> sticker;
    std::shared_ptr<const StickerPicture> picture;  // empty when the sticker was not made

    // Why the sticker was not made; empty when it was.
    std::string Failure() const;
};

// Works out the sticker on a thread of its own, so that the window stays answering while a long
// conversion runs. A new request stops the one in progress at once (its result is never
// delivered), unless it asks for the same shapes with other details, height or file name: then
// the work goes on and the request takes its shapes, as it takes those of the last sticker made.
// Results come back through `deliver`, on the window's thread.
class StickerWorker : public QObject {
    Q_OBJECT

public:
    // `progress`, where given, hears how far the current work is (0 to 100), on the window's
    // thread, each time it gains a percent.
    explicit StickerWorker(std::function<void(const StickerResult&)> deliver,
                           QObject* parent = nullptr, std::function<void(int)> progress = {});
    ~StickerWorker() override;

    // The shell's texts word the messages; the shell itself is not used from the worker.
    void Request(const Shell& shell, StickerRequest request);
    // Stops the work in progress, if any; nothing is delivered for it.
    void Cancel();
    bool Busy() const { return busy_; }
    // How many times the worker has begun to work out a sticker's shapes (not merely its text
    // again), whether it finished or was stopped.
    int ShapesMade() const { return shapesMade_; }

private:
    void Run();

    std::function<void(const StickerResult&)> deliver_;
    std::function<void(int)> progress_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<StickerRequest> pending_;
    std::optional<StickerRequest> running_;  // the request being worked out
    MessageTexts texts_;
    std::atomic<std::uint64_t> generation_{0};
    std::atomic<bool> busy_{false};
    std::atomic<int> shapesMade_{0};
    bool quitting_ = false;
    std::shared_ptr<const Sticker> last_;  // the worker thread's own
    std::thread thread_;
};

// The sticker painted for the view: its face's polygons, and the textured form's texture.
std::shared_ptr<const StickerPicture> PaintedSticker(const Sticker& sticker);

}  // namespace mosaikon
