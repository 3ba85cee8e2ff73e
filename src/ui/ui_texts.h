#pragma once

#include <QString>
#include <array>
#include <string>

#include "shell/language.h"

namespace mosaikon {

// The window's texts beyond the captions and the five messages, each on its own line of the
// language file, from line 41 on. Every line may be missing: its English text is used then.
enum class UiText {
    SavedAs = 41,       // %1 path, %2 bytes, %3 polygons
    QuadsAndTriangles,  // %1 quadrilaterals, %2 triangles
    Cancel,             // the progress window's button
    ChooseConversion,   // the tip of the conversion arrow
    CausedAnError,      // %1 procedure, %2 what went wrong
    ColoursKept,        // %1 colours of the picture, %2 kept
    ReplaceQuestion,    // %1 path of a file that is not a sticker part of ours
    IsThePicture,       // %1 path of the picture being converted
    NotAPartName,       // a part file name that does not end in .dat
    BoxRange,           // %1 box, %2 least, %3 most
    LargeFileQuestion,  // %1 megabytes, %2 polygons
    StickerStats,       // %1 polygons, %2 kilobytes
    Working,            // while the view is worked out
    ViewMenu,           // the menus and their items
    ZoomIn,
    ZoomOut,
    FitView,
    ShowOutlines,
    SettingsMenu,
    LanguageItem,
    DamagedQuestion,     // %1 what is damaged
    LogNotWritten,       // %1 path, %2 why
    SettingsNotWritten,  // %1 folder
    EmptyBox,            // %1 box
    SingleLine,          // %1 box
    HeightNeeded,        // Preview with an empty height box
    RedBox,
    GreenBox,
    BlueBox,
    PreviewFailed,  // %1 what went wrong
    ColoursDirect,  // the colour sets, and their tip
    ColoursCore,
    ColoursAll,
    ColoursTip,
    VectorCaption,  // the vector conversion on the Convert button's menu, and its tip
    VectorTip,
    VectorItem,  // the Settings menu's item, the dialog's title, its boxes and their tips
    VectorTitle,
    ToleranceLabel,
    MinAreaLabel,
    ToleranceTip,
    MinAreaTip,
    FormClassic,  // the choices of the part file's form (the library sticker's is line 39), and
    FormTextured,  // their tip
    FormTip,
    ShowFallback,  // the View menu's item: a textured sticker's fallback instead of its texture
    HeightWrong,   // %1 box: a height that is no number above 0
    NotShown,      // %1 the path typed in the picture's box
    WriteFailed,   // %1 path, %2 what went wrong
    ReplaceTexture,  // %1 path of a texture PNG there already
    ColourCount,     // the colour-count box: %1 the number, and its tip
    ColourCountTip,
    Reading,  // the status line while a picture is read: %1 its name
    LibraryItem,  // the Settings menu's choice of saving into the LDraw library, and its tip
    LibraryTip,
    LibraryTitle,  // the folder dialog's title
    NotALibrary,   // %1 a folder without a parts folder
    ReadFailed,    // %1 path, %2 what went wrong
    ReasonDenied,  // what went wrong, in plain words, for the system's reasons a user can mend
    ReasonReadOnly,
    ReasonFull,
    ReasonMissing,
    ReasonIsFolder,
    ReasonNameTooLong,
    ReasonNotRegular,
    ReasonDevice,
    ShapesCaption,  // a drawing's own shapes on the Convert button's menu, and its tip
    ShapesTip,
    End
};

inline constexpr int kFirstUiTextLine = static_cast<int>(UiText::SavedAs);
// Every text's line is read from the language file.
static_assert(static_cast<int>(UiText::End) - 1 == kLanguageLines + kOptionalLanguageLines);
inline constexpr int kUiTextCount = static_cast<int>(UiText::End) - kFirstUiTextLine;

class UiTexts {
public:
    UiTexts();
    // Takes a line of the language file; lines before 41 are not the texts' own.
    void Take(int line, const QString& text);
    QString operator()(UiText which) const {
        return texts_[static_cast<std::size_t>(static_cast<int>(which) - kFirstUiTextLine)];
    }
    // The English texts, as the window has them without a language file.
    static QString English(UiText which);

private:
    std::array<QString, kUiTextCount> texts_;
};

// The system's reason for a failed read or write ("Permission denied", ...) in the window's
// words; any other reason as it is.
QString PlainReason(const UiTexts& texts, const std::string& why);

}  // namespace mosaikon
