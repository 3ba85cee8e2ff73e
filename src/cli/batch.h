#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/conversion_job.h"

namespace mosaikon {

// A path given or found that cannot be taken, and why.
struct Unreadable {
    std::string path, reason;
};

// The pictures among the given files and folders, in the order given, each folder's pictures
// (the files whose names end in a picture format's extension, any case) sorted by path; with
// recursive, those of the folders inside folders too. A given file is taken whatever its name. A path that is neither a file nor a
// folder, a folder that cannot be read (the walk goes on with the others), and a file with a
// picture's name that is no regular file (a FIFO, a device, a broken link) come back in
// unreadable.
std::vector<std::string> CollectPictures(const std::vector<std::string>& paths, bool recursive,
                                         std::vector<Unreadable>& unreadable);

// A part file name for each picture, all different: the picture's name without its extension,
// in small letters, keeping only a-z, 0-9, "_" and "-" and at most 8 of them ("sticker" when
// none is left); where a name is taken already, its end gives way to a number: logo, logo2,
// logo3, ..., longname, longnam2, ...
std::vector<std::string> PartNames(const std::vector<std::string>& pictures);

// What a picture will need in memory to be converted, from its header (0 when unknown).
std::uint64_t PictureMemoryNeed(const std::string& picture, const JobOptions& options);

// How a batch is going.
struct BatchProgress {
    std::size_t done = 0, failed = 0, total = 0;
    double secondsLeft = -1;  // below 0 while not yet known
    // The most memory that the pictures in progress at one time were to need.
    std::uint64_t mostMemoryInFlight = 0;
};

// Converts every picture into folder/<name>.dat on jobs threads at once (at least 1), each
// picture on one thread (its colour reduction too, which alone would take several). A picture
// starts only while the memory needs of those in progress, its own included, stay within the
// budget (one alone always may start; its own memory check then decides); the largest start
// first, and pictures that fit go ahead of one that waits for room. A picture's failure never
// stops the others. The reports come in the pictures' order; progress is called, on some
// thread, as each picture ends.
std::vector<JobReport> RunBatch(const std::vector<std::string>& pictures,
                                const std::vector<std::string>& partPaths,
                                const JobOptions& options, unsigned jobs,
                                std::uint64_t memoryBudget,
                                const std::function<void(const BatchProgress&)>& progress = {});

// The report of a run as JSON, in the documented format (version 1).
std::string ReportJson(const std::vector<JobReport>& reports, const JobOptions& options);

}  // namespace mosaikon
