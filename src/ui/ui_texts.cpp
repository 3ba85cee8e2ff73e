#include "ui/ui_texts.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace mosaikon {

namespace {

// In the order of UiText, as English.txt has them from line 41.
const char* const kEnglish[] = {
    "%1 (%2 bytes, %3)",
    "%1 quadrilaterals and %2 triangles",
    "Cancel",
    "Choose the conversion (Alt+Down)",
    "%1 has caused an error %2",
    "This picture has %1 colours; the %2 that serve it best are kept.",
    "%1 exists and is not a sticker part made by Mosaikon. Replace it?",
    "%1 is the picture being converted. Please choose another name for the part file.",
    "The part file's name must end in \".dat\". Please choose a name such as s1234567.dat.",
    "The %1 box must hold a whole number from %2 to %3.",
    "The part file will take %1 MB for %2. Fewer colours or the vector conversion make it much "
    "smaller. Write it all the same?",
    "%1, %2 kB",
    "Working out the sticker...",
    "&View",
    "Zoom &In",
    "Zoom &Out",
    "&Fit to the Boxes",
    "Polygon Out&lines",
    "Se&ttings",
    "&Language...",
    "%1\n\nConvert what could be read all the same?",
    "The log file %1 cannot be written (%2); Mosaikon goes on without a log.",
    "Mosaikon cannot write its settings folder %1, so the choices of this session will not be "
    "kept.",
    "The %1 box is empty: it must hold a whole number. Please type a number.",
    "The text in \"%1\" must be a single line without control characters. Please remove the line "
    "break.",
    "Height must have a positive number",
    "red",
    "green",
    "blue",
    "The sticker could not be worked out: %1",
    "Direct",
    "LDraw core",
    "All LDraw",
    "The colours written: each picture colour as a direct colour, or the nearest LDraw colour code "
    "(the 16 core codes, or every solid LDraw colour)",
    "Ve&ctor Convert",
    "Each colour region's smoothed outline, filled with few polygons: for logos and drawings of "
    "few colours",
    "&Vector Conversion...",
    "Vector Conversion",
    "&Tolerance (pixels):",
    "Smallest &region (pixels):",
    "How far an outline may stray from the pixels' steps; 0 keeps every step",
    "Regions of fewer pixels join the neighbour they share the longest border with; 0 keeps them "
    "all",
    "Classic part file",
    "Textured LDraw sticker",
    "The part file: the classic layout, the LDraw library's sticker form, or that form showing the "
    "picture as a texture (PNG in a textures folder), with polygons for programs without textures",
    "Show Fall&back",
    "The %1 box must hold a number greater than 0, such as 48. Please type the sticker's height.",
    "%1 is typed in the picture's box, but another picture is shown. Press Enter there to open "
    "it, or choose it with Browse.",
    "%1 could not be written: %2. Please choose another folder or name.",
    "The texture %1 exists already. Replace it?",
    "%1 colours",
    "The most colours kept of a picture without a palette (2 to 256): fewer colours make far "
    "fewer polygons",
    "Reading %1...",
    "Save into My LDraw Li&brary...",
    "Part files are saved into your LDraw library's unofficial/parts folder and their textures into "
    "its unofficial/parts/textures, where LDraw programs look them up",
    "Your LDraw library's folder",
    "%1 has no parts folder. Is it your LDraw library all the same?",
    "%1 could not be read: %2. Please choose another picture.",
    "you do not have permission",
    "the disk is read-only",
    "the disk is full",
    "the file or its folder does not exist",
    "it is a folder",
    "its name is too long",
    "it is not a regular file",
    "the disk could not be read or written",
    "Dra&wing Convert",
    "The drawing's own shapes, exactly, in the fewest clean polygons: for SVG drawings",
};
static_assert(std::size(kEnglish) == static_cast<std::size_t>(kUiTextCount));

}  // namespace

UiTexts::UiTexts() {
    for (int i = 0; i < kUiTextCount; ++i) texts_[static_cast<std::size_t>(i)] = kEnglish[i];
}

QString UiTexts::English(UiText which) {
    return kEnglish[static_cast<int>(which) - kFirstUiTextLine];
}

void UiTexts::Take(int line, const QString& text) {
    const int index = line - kFirstUiTextLine;
    if (index < 0 || index >= kUiTextCount) return;
    // A line of the file cannot hold a line break: "\n" stands for one.
    QString taken = text;
    taken.replace("\\n", "\n");
    texts_[static_cast<std::size_t>(index)] = taken;
}

QString PlainReason(const UiTexts& texts, const std::string& why) {
    // The system's words for the failures a user can do something about, as the window says them.
    static const std::pair<int, UiText> kReasons[] = {
        {EACCES, UiText::ReasonDenied},     {EPERM, UiText::ReasonDenied},
        {EROFS, UiText::ReasonReadOnly},    {ENOSPC, UiText::ReasonFull},
        {EDQUOT, UiText::ReasonFull},       {ENOENT, UiText::ReasonMissing},
        {ENOTDIR, UiText::ReasonMissing},   {EISDIR, UiText::ReasonIsFolder},
        {ENAMETOOLONG, UiText::ReasonNameTooLong}, {EIO, UiText::ReasonDevice},
    };
    for (const auto& [number, text] : kReasons) {
        if (why == std::strerror(number)) return texts(text);
    }
    if (why == "Not a regular file") return texts(UiText::ReasonNotRegular);
    return QString::fromStdString(why);
}

}  // namespace mosaikon
