// mosaikon-convert over many pictures at once: a folder of every readable type with damaged
// pictures and names that collide, the report against its schema, the memory budget, and an
// interrupt in the middle.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <thread>

#include "cli/batch.h"
#include "support/test_support.h"

namespace mosaikon {
namespace {

using ::testing::AnyOf;

namespace fs = std::filesystem;
using test::Succeeds;

int Converter(const std::string& arguments, const std::string& errFile) {
    const int status = std::system(
        (std::string(MOSAIKON_CONVERT_PATH) + " " + arguments + " 2>" + errFile + " </dev/null")
            .c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(PartNames, AreShortSmallAndAllDifferent) {
    EXPECT_EQ(PartNames({"a/Logo.png", "b/logo.PNG", "c/logo.gif", "Über Straße!.jpg", "!!!.bmp",
                         "averylongname.webp", "averylongname.bmp", "x.y.z.png"}),
              (std::vector<std::string>{"logo", "logo2", "logo3", "berstrae", "sticker", "averylon",
                                        "averylo2", "xyz"}));
    // Numbers of two digits take two letters.
    std::vector<std::string> twelve(12, "longnames.png");
    const std::vector<std::string> names = PartNames(twelve);
    EXPECT_EQ(names[9], "longna10");
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 12u);
}

class Batch : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Succeeds("/usr/bin/python3 -c 'import PIL'")) GTEST_SKIP() << "Pillow is missing";
        fs::create_directories(in / "more");
        // Pictures of every type Pillow writes, each a little different, and bitmaps.
        const std::string script = R"(
import sys
from PIL import Image, ImageDraw
out = sys.argv[1]
def picture(seed, size=(40, 30)):
    im = Image.new('RGB', size, (255, 255, 255))
    d = ImageDraw.Draw(im)
    d.ellipse((seed % 7, 3, 30 + seed % 9, 25), fill=((seed * 40) % 256, 80, 200))
    d.rectangle((2, seed % 11, 14, 28), fill=(20, (seed * 70) % 256, 30))
    return im
n = 0
for ext, options in [('png', {}), ('jpg', {'quality': 90}), ('gif', {}),
                     ('webp', {'lossless': True}), ('bmp', {})]:
    for k in range(4):
        picture(n).save(f'{out}/{ext}{k}.{ext}', **options)
        n += 1
picture(50).convert('RGBA').save(f'{out}/more/averylongname1.png')
picture(51).save(f'{out}/more/averylongname2.png')
picture(52).save(f'{out}/more/progressive.jpg', progressive=True, quality=80)
data = open(f'{out}/png0.png', 'rb').read()
open(f'{out}/cut.png', 'wb').write(data[:len(data) // 2])
open(f'{out}/notes.jpg', 'w').write('not a picture')
)";
        std::ofstream(folder / "make.py") << script;
        ASSERT_TRUE(Succeeds("/usr/bin/python3 " + (folder / "make.py") + " " + in.string()));
    }

    test::TempFolder folder;
    fs::path in = folder.path() / "in";
    fs::path out = folder.path() / "out";
};

TEST_F(Batch, AFolderOfEveryTypeGivesTheBytesOfSingleRunsAndReportsTheDamaged) {
    const std::string options = "--method exact --format ldraw-sticker --height 24 --colors 16 ";
    const int status =
        Converter(options + "--recursive --jobs 2 --json " + (folder / "report.json") + " " +
                      in.string() + " --output-dir " + out.string(),
                  folder / "err.txt");
    EXPECT_EQ(status, 1);
    const std::string err = test::ReadText(folder / "err.txt");
    EXPECT_THAT(err, HasSubstr("cut.png: LoadBitmap has caused an error cut.png is damaged or "
                               "cut short: "));
    EXPECT_THAT(err, HasSubstr("notes.jpg: LoadBitmap has caused an error notes.jpg is not a "
                               "picture Mosaikon can read"));
    EXPECT_THAT(err, HasSubstr("25 pictures: 23 converted, 2 failed"));

    // Every good picture as a single run writes it, under a valid name of its own.
    std::set<std::string> names;
    int compared = 0;
    for (const auto& entry : fs::directory_iterator(out)) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(std::regex_match(name, std::regex("[a-z0-9_-]{1,8}\\.dat"))) << name;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 23u);
    EXPECT_TRUE(names.count("averylon.dat") && names.count("averylo2.dat"));
    const std::string report = test::ReadText(folder / "report.json");
    const std::regex record(
        R"re("input": "([^"]+)", "output": "([^"]+)", "status": "converted")re");
    fs::create_directory(folder.path() / "single");
    for (std::sregex_iterator m(report.begin(), report.end(), record), end; m != end; ++m) {
        const std::string single =
            (folder.path() / "single" / fs::path((*m)[2].str()).filename()).string();
        ASSERT_EQ(Converter(options + (*m)[1].str() + " " + single, folder / "single.txt"), 0);
        EXPECT_TRUE(test::ReadText((*m)[2].str()) == test::ReadText(single)) << (*m)[1];
        ++compared;
    }
    EXPECT_EQ(compared, 23);

    // The report follows its schema, with the damaged pictures' reasons.
    EXPECT_THAT(report, HasSubstr("\"status\": \"failed\", \"message\": \"LoadBitmap has caused "
                                  "an error cut.png is damaged or cut short: "));
    if (!Succeeds("/usr/bin/python3 -c 'import jsonschema'")) GTEST_SKIP() << "no jsonschema";
    EXPECT_TRUE(
        Succeeds("/usr/bin/python3 -c \"import json, jsonschema; "
                 "jsonschema.Draft202012Validator(json.load(open('" MOSAIKON_SCHEMA_DIR
                 "/report.schema.json'))).validate(json.load(open('" +
                 (folder / "report.json") + "')))\""));
}

// Every conversion, form and colour set: a batch writes the files that single runs write, part
// files and textures alike.
TEST_F(Batch, EveryConversionAndFormGivesTheFilesOfSingleRuns) {
    const std::vector<fs::path> pictures = {in / "png0.png", in / "more/averylongname1.png",
                                            in / "bmp1.bmp"};
    const char* names[] = {"png0", "averylon", "bmp1"};
    std::string list;
    for (const fs::path& picture : pictures) list += picture.string() + " ";
    for (const char* method : {"quick", "full", "exact", "vector"}) {
        for (const char* form : {"classic", "ldraw-sticker", "ldraw-texture"}) {
            for (const char* colours : {"", " --palette ldraw --colors 8"}) {
                const std::string options = std::string("--ignore-white --method ") + method +
                                            " --format " + form + colours + " ";
                SCOPED_TRACE(options);
                fs::remove_all(out);
                ASSERT_EQ(Converter(options + list + "--output-dir " + out.string(),
                                    folder / "err.txt"),
                          0);
                for (std::size_t i = 0; i < pictures.size(); ++i) {
                    const fs::path single = folder.path() / "single";
                    fs::remove_all(single);
                    fs::create_directory(single);
                    const std::string part = std::string(names[i]) + ".dat";
                    ASSERT_EQ(Converter(options + pictures[i].string() + " " +
                                            (single / part).string(),
                                        folder / "single.txt"),
                              0);
                    EXPECT_EQ(test::ReadBytes(out / part), test::ReadBytes(single / part));
                    const fs::path texture = fs::path("textures") / (std::string(names[i]) + ".png");
                    EXPECT_EQ(fs::exists(out / texture), form == std::string("ldraw-texture"));
                    if (fs::exists(out / texture)) {
                        EXPECT_EQ(test::ReadBytes(out / texture), test::ReadBytes(single / texture));
                    }
                }
            }
        }
    }
}

TEST_F(Batch, OnePictureReportsTooAndPicturesWaitForMemory) {
    // The single form's report, to standard output.
    ASSERT_EQ(Converter("--json - " + (in / "png1.png").string() + " " + (folder / "one.dat") +
                            " >" + (folder / "one.json"),
                        folder / "err.txt"),
              0);
    const std::string one = test::ReadText(folder / "one.json");
    EXPECT_THAT(one, HasSubstr("\"status\": \"converted\", \"message\": \"\""));
    EXPECT_THAT(one, HasSubstr("\"width\": 40, \"height\": 30, \"conversion\": \"quick\""));
    // A name with a quote, a backslash, a tab and a byte that is not UTF-8 comes out as JSON.
    const fs::path odd = folder.path() / "we\"ird\\name\tx\xff.png";
    fs::copy_file(in / "png1.png", odd);
    ASSERT_EQ(Converter("--json - '" + odd.string() + "' " + (folder / "odd.dat") + " >" +
                            (folder / "odd.json"),
                        folder / "err.txt"),
              0);
    const std::string oddReport = test::ReadText(folder / "odd.json");
    EXPECT_THAT(oddReport, HasSubstr("we\\\"ird\\\\name\\u0009x\\u00ff.png\""));
    EXPECT_TRUE(Succeeds("/usr/bin/python3 -c \"import json; json.load(open('" +
                         (folder / "odd.json") + "'))\""));

    // A budget for two pictures at a time: never more in progress, even with four threads.
    std::vector<std::string> pictures, parts;
    for (int k = 0; k < 4; ++k) {
        for (const char* type : {"png", "bmp"}) {
            pictures.push_back((in / (type + std::to_string(k) + "." + type)).string());
            parts.push_back(folder / (type + std::to_string(k) + ".dat"));
        }
    }
    const JobOptions options;
    const std::uint64_t need = PictureMemoryNeed(pictures[0], options);
    ASSERT_EQ(need, 40u * 30u * MemoryNeedPerPixel(ConversionMethod::Quick, PartFormat::Classic));
    BatchProgress last;
    const auto reports = RunBatch(pictures, parts, options, 4, 2 * need + need / 2,
                                  [&](const BatchProgress& state) { last = state; });
    EXPECT_EQ(last.done, pictures.size());
    EXPECT_EQ(last.failed, 0u);
    EXPECT_EQ(last.mostMemoryInFlight, 2 * need);
    for (const JobReport& report : reports) EXPECT_TRUE(report.converted) << report.message;
    // A picture needing more than the whole budget is tried alone, not left waiting.
    const auto alone = RunBatch(pictures, parts, options, 4, need / 2);
    for (const JobReport& report : alone) EXPECT_TRUE(report.converted) << report.message;
}

// Ctrl-C in the middle: the parts already written stay whole, and nothing half-written is left.
TEST_F(Batch, AnInterruptLeavesWholePartsAndNoPartialFile) {
    const fs::path slow = folder.path() / "slow";
    fs::create_directory(slow);
    for (int k = 0; k < 6; ++k) {
        ASSERT_TRUE(Succeeds("convert -size 300x240 plasma:fractal -seed " + std::to_string(k) +
                             " " + (slow / ("plasma" + std::to_string(k) + ".png")).string()));
    }
    const pid_t child = ::fork();
    if (child == 0) {
        const std::string dir = out.string(), pictures = slow.string();
        if (!::freopen("/dev/null", "w", stderr)) ::_exit(126);
        ::execl(MOSAIKON_CONVERT_PATH, MOSAIKON_CONVERT_PATH, "--method", "full", "--jobs", "1",
                "--format", "ldraw-sticker", pictures.c_str(), "--output-dir", dir.c_str(),
                nullptr);
        ::_exit(127);
    }
    // Once the first part is in place, the interrupt comes while the next one is being written.
    const auto writing = [&] {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(out, error)) {
            if (entry.path().filename().string().rfind(".mosaikon-", 0) == 0) return true;
        }
        return false;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!(fs::exists(out / "plasma0.dat") && writing()) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ::kill(child, SIGINT);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
    ASSERT_TRUE(fs::exists(out / "plasma0.dat"));
    int whole = 0;
    for (const auto& entry : fs::directory_iterator(out)) {
        const std::string name = entry.path().filename().string();
        ASSERT_EQ(name.rfind(".mosaikon-", 0), std::string::npos) << "left behind: " << name;
        // A whole sticker part ends with its backing's bottom, written last.
        const std::string text = test::ReadText(entry.path());
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << name;
        EXPECT_THAT(text.substr(text.rfind("\r\n", text.size() - 3)),
                    AnyOf(StartsWith("\r\n4 16 "), StartsWith("\r\n3 16 ")))
            << name;
        ++whole;
    }
    EXPECT_LT(whole, 6);
}

}  // namespace
}  // namespace mosaikon
