#include "cli/batch.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include <omp.h>

#include "image/picture_file.h"
#include "shell/english_texts.h"

namespace mosaikon {

namespace {

namespace fs = std::filesystem;

bool HasPictureExtension(const fs::path& path) {
    std::string extension = path.extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* known : {".bmp", ".png", ".jpg", ".jpeg", ".gif", ".webp", ".svg", ".svgz"}) {
        if (extension == known) return true;
    }
    return false;
}

// A JSON string, with the bytes that are not valid UTF-8 given as the code points of Latin-1.
std::string JsonText(const std::string& text) {
    std::string json = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            json += escaped;
        } else if (c < 0x80) {
            json += static_cast<char>(c);
        } else {
            // The length of a UTF-8 sequence starting here, when it is a whole, valid one.
            const std::size_t length = c >= 0xF0 && c < 0xF5 ? 4
                                       : c >= 0xE0           ? 3
                                       : c >= 0xC2           ? 2
                                                             : 0;
            bool valid = length > 0 && c < 0xF5 && i + length <= text.size();
            for (std::size_t k = 1; valid && k < length; ++k) {
                valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
            }
            if (valid) {
                json.append(text, i, length);
                i += length - 1;
            } else {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                json += escaped;
            }
        }
    }
    return json + "\"";
}

}  // namespace

std::vector<std::string> CollectPictures(const std::vector<std::string>& paths, bool recursive,
                                         std::vector<Unreadable>& unreadable) {
    std::vector<std::string> found;
    const auto reason = [](const std::error_code& error) { return error.message(); };
    for (const std::string& path : paths) {
        std::error_code error;
        const fs::file_status status = fs::status(path, error);
        if (fs::is_regular_file(status)) {
            found.push_back(path);
            continue;
        }
        if (!fs::is_directory(status)) {
            unreadable.push_back({path, error ? reason(error) : "it is neither a picture nor a folder"});
            continue;
        }
        // The folders still to read, each read on its own, so that one that cannot be read is
        // reported and the others are still walked.
        std::vector<fs::path> folders = {path};
        std::vector<std::string> pictures;
        while (!folders.empty()) {
            const fs::path folder = folders.back();
            folders.pop_back();
            fs::directory_iterator entries(folder, error);
            if (error) {
                unreadable.push_back({folder.string(), reason(error)});
                continue;
            }
            for (auto entry = fs::begin(entries); entry != fs::end(entries); entry.increment(error)) {
                if (error) {
                    unreadable.push_back({folder.string(), reason(error)});
                    break;
                }
                std::error_code kind;
                const fs::file_status linked = entry->symlink_status(kind);
                if (recursive && fs::is_directory(linked)) {
                    folders.push_back(entry->path());
                    continue;
                }
                if (!HasPictureExtension(entry->path())) continue;
                const fs::file_status target = entry->status(kind);
                if (fs::is_regular_file(target)) {
                    pictures.push_back(entry->path().string());
                } else if (!fs::is_directory(target)) {
                    // A FIFO, a device, a link that leads nowhere or round in a loop.
                    unreadable.push_back({entry->path().string(),
                                          kind ? reason(kind) : "it is not a regular file"});
                }
            }
        }
        std::sort(pictures.begin(), pictures.end());
        found.insert(found.end(), pictures.begin(), pictures.end());
    }
    return found;
}

std::vector<std::string> PartNames(const std::vector<std::string>& pictures) {
    constexpr std::size_t kLongest = 8;
    std::vector<std::string> names;
    std::set<std::string> taken;
    for (const std::string& picture : pictures) {
        std::string name;
        for (const char c : fs::path(picture).stem().string()) {
            const char small = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if ((small >= 'a' && small <= 'z') || (small >= '0' && small <= '9') || small == '_' ||
                small == '-') {
                name += small;
            }
        }
        if (name.empty()) name = "sticker";
        name.resize(std::min(name.size(), kLongest));
        std::string unique = name;
        for (int number = 2; taken.count(unique) > 0; ++number) {
            const std::string suffix = std::to_string(number);
            unique = name.substr(0, std::min(name.size(), kLongest - suffix.size())) + suffix;
        }
        taken.insert(unique);
        names.push_back(unique);
    }
    return names;
}

std::uint64_t PictureMemoryNeed(const std::string& picture, const JobOptions& options) {
    const PictureFileNeed need = InspectPictureFile(picture);
    return need.width * need.height * MemoryNeedPerPixel(options.method, options.format);
}

std::vector<JobReport> RunBatch(const std::vector<std::string>& pictures,
                                const std::vector<std::string>& partPaths,
                                const JobOptions& options, unsigned jobs,
                                std::uint64_t memoryBudget,
                                const std::function<void(const BatchProgress&)>& progress) {
    const std::size_t count = pictures.size();
    std::vector<JobReport> reports(count);
    std::vector<std::uint64_t> needs(count);
    for (std::size_t i = 0; i < count; ++i) needs[i] = PictureMemoryNeed(pictures[i], options);

    std::mutex mutex;
    std::condition_variable roomFreed;
    std::vector<bool> started(count, false);
    std::uint64_t inFlight = 0, mostInFlight = 0;
    std::size_t running = 0, next = 0, done = 0, failed = 0;
    const auto begin = std::chrono::steady_clock::now();

    // The largest pictures go first, so that the last ones to finish are small and no core
    // waits long for another at the end.
    std::vector<std::size_t> order(count);
    for (std::size_t i = 0; i < count; ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return needs[a] > needs[b]; });
    // The first picture in that order not yet started that fits beside those in progress, or
    // with none in progress the first one left; count when none may start now.
    const auto choose = [&]() -> std::size_t {
        while (next < count && started[order[next]]) ++next;
        for (std::size_t k = next; k < count; ++k) {
            const std::size_t i = order[k];
            if (!started[i] && (running == 0 || inFlight + needs[i] <= memoryBudget)) return i;
        }
        return count;
    };
    const unsigned threads = std::max(1u, std::min<unsigned>(jobs, static_cast<unsigned>(count)));
    const auto work = [&] {
        // A batch is spread over the cores by its pictures: each picture's colour reduction runs
        // on its own worker alone, not on threads of its own that the other pictures need.
        omp_set_num_threads(1);
        std::unique_lock lock(mutex);
        for (;;) {
            std::size_t i = count;
            roomFreed.wait(lock, [&] {
                i = choose();
                return i < count || next >= count;
            });
            if (i == count) return;
            started[i] = true;
            inFlight += needs[i];
            mostInFlight = std::max(mostInFlight, inFlight);
            ++running;
            lock.unlock();
            Shell shell;  // no log; messages are kept in the report
            english::UseEnglishMessages(shell.messages);
            JobReport report = ConvertPicture(shell, pictures[i], partPaths[i], options);
            lock.lock();
            reports[i] = std::move(report);
            inFlight -= needs[i];
            --running;
            ++done;
            failed += reports[i].converted ? 0 : 1;
            if (progress) {
                BatchProgress state{done, failed, count, -1, mostInFlight};
                const double elapsed =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
                state.secondsLeft =
                    elapsed / static_cast<double>(done) * static_cast<double>(count - done);
                progress(state);
            }
            roomFreed.notify_all();
        }
    };
    std::vector<std::thread> workers;
    for (unsigned t = 1; t < threads; ++t) workers.emplace_back(work);
    work();
    for (std::thread& worker : workers) worker.join();
    return reports;
}

std::string ReportJson(const std::vector<JobReport>& reports, const JobOptions& options) {
    std::string json =
        "{\n  \"report\": \"mosaikon-convert\",\n  \"version\": 1,\n  \"pictures\": [";
    const char* separator = "\n";
    for (const JobReport& r : reports) {
        char seconds[32];
        const auto end = std::to_chars(seconds, seconds + sizeof seconds - 1, r.seconds,
                                       std::chars_format::fixed, 3);
        *end.ptr = '\0';
        json += separator;
        separator = ",\n";
        json += "    {\"input\": " + JsonText(r.input) + ", \"output\": " + JsonText(r.output) +
                ", \"status\": \"" + (r.converted ? "converted" : "failed") +
                "\", \"message\": " + JsonText(r.message) + ", \"warnings\": [";
        for (std::size_t w = 0; w < r.warnings.size(); ++w) {
            json += (w ? ", " : "") + JsonText(r.warnings[w]);
        }
        json += "], \"width\": " + std::to_string(r.width) +
                ", \"height\": " + std::to_string(r.height) + ", \"conversion\": \"" +
                MethodName(options.method) + "\", \"form\": \"" + FormatName(options.format) +
                "\", \"colours\": " + std::to_string(r.colours) +
                ", \"quadrilaterals\": " + std::to_string(r.counts.quadrilaterals) +
                ", \"triangles\": " + std::to_string(r.counts.triangles) +
                ", \"bytes\": " + std::to_string(r.counts.bytes) + ", \"seconds\": " + seconds +
                "}";
    }
    json += "\n  ]\n}\n";
    return json;
}

}  // namespace mosaikon
