#include "ui/main_window_layout.h"

namespace mosaikon {

namespace {

using K = ControlKind;
using F = CaptionFont;

constexpr ControlLayout kLayout[] = {
    {"frmBrowse", K::Frame, "", "Select Bitmap Image", 120, 120, 10335, 1215, -1, true, F::Heading},
    {"frmOptions", K::Frame, "", "Options, Convert, and Save", 120, 1440, 10335, 2055, -1, true,
     F::Heading},
    {"frmImage", K::Frame, "", "Original Image", 120, 3600, 4815, 4095, -1, true, F::Heading},
    {"frmPreview", K::Frame, "", "Sticker Preview", 5040, 3600, 5415, 4095, -1, true, F::Heading},
    {"lblImageLocation", K::Label, "frmBrowse", "Image Location:", 120, 360, 2115, 240, -1, true,
     F::Heading},
    {"txtImageLocation", K::TextBox, "frmBrowse", "/", 2280, 360, 6735, 285, 1, true, F::Text},
    {"cmdBrowseOpen", K::Button, "frmBrowse", "Browse", 9120, 360, 1095, 300, 18, true},
    {"lblSaveLocation", K::Label, "frmBrowse", "Save Location:", 120, 720, 2160, 240, -1, false,
     F::Heading},
    {"txtSaveLocation", K::TextBox, "frmBrowse", "/", 2280, 720, 6735, 285, 3, false, F::Text},
    {"cmdBrowseSave", K::Button, "frmBrowse", "Browse", 9120, 720, 1095, 300, 4, false},
    {"lblMetaData(0)", K::Label, "frmOptions", "Name of Sticker:", 120, 480, 2160, 195, -1, false},
    {"lblMetaData(1)", K::Label, "frmOptions", "Unique Part ID:", 120, 840, 2175, 195, -1, false},
    {"lblMetaData(2)", K::Label, "frmOptions", "Author of Image:", 120, 1200, 2145, 195, -1, false},
    {"lblMetaData(3)", K::Label, "frmOptions", "Description Info:", 120, 1560, 2145, 195, -1,
     false},
    {"txtMetaData(0)", K::TextBox, "frmOptions", "", 2280, 480, 1575, 285, 5, false, F::Text},
    {"txtMetaData(1)", K::TextBox, "frmOptions", "", 2280, 840, 1575, 285, 6, false, F::Text},
    {"txtMetaData(2)", K::TextBox, "frmOptions", "", 2280, 1200, 1575, 285, 7, false, F::Text},
    {"txtMetaData(3)", K::TextBox, "frmOptions", "", 2280, 1560, 1575, 285, 8, false, F::Text},
    {"lblHeight", K::Label, "frmOptions", "Adjust Height:", 4080, 480, 1575, 195, -1, false},
    {"txtHeight", K::TextBox, "frmOptions", "0", 5640, 440, 660, 285, 9, false, F::Text, false,
     true},
    {"lblWidth", K::Label, "frmOptions", "Width:", 6360, 480, 1170, 195, -1, false},
    {"txtWidth", K::TextBox, "frmOptions", "0", 7560, 440, 615, 285, 10, false, F::Text, true,
     true},
    {"chkLDRAWColors", K::CheckBox, "frmOptions", "Use only ldraw primary colors", 4080, 880, 3495,
     195, 11, false},
    {"chkIgnoreWhite", K::CheckBox, "frmOptions", "Ignore White colors within:", 4080, 1260, 3465,
     195, 12, false},
    {"txtWhite", K::TextBox, "frmOptions", "10", 7560, 1200, 615, 285, 13, false, F::Text, false,
     true},
    {"chkIgnoreRGBColor", K::CheckBox, "frmOptions", "Ignore", 4080, 1620, 1155, 195, 14, false},
    {"txtRed", K::TextBox, "frmOptions", "0", 5280, 1560, 375, 285, 30, false, F::Text, false,
     true},
    {"txtGreen", K::TextBox, "frmOptions", "0", 5760, 1560, 375, 285, 31, false, F::Text, false,
     true},
    {"txtBlue", K::TextBox, "frmOptions", "0", 6240, 1560, 375, 285, 32, false, F::Text, false,
     true},
    {"lblwithin", K::Label, "frmOptions", "within:", 6675, 1600, 830, 255, -1, false, F::SmallBold,
     false, false, true},
    {"txtColor", K::TextBox, "frmOptions", "10", 7560, 1560, 615, 285, 15, false, F::Text, false,
     true},
    {"cmdPreview", K::Button, "frmOptions", "Preview", 8400, 400, 1815, 580, 16, false, F::Heading},
    {"cmdConvert", K::Button, "frmOptions", "Quick Convert", 8400, 1200, 1815, 640, 17, false,
     F::Heading},
    {"imgBitmap", K::View, "frmImage", "", 120, 240, 4455, 3615, -1, true},
    {"Image1", K::Image, "frmPreview", "", 160, 230, 4980, 3825, -1, true},
    {"imgPreview", K::View, "frmPreview", "", 720, 270, 4455, 3615, -1, true},
};

}  // namespace

std::span<const ControlLayout> MainWindowLayout() {
    return kLayout;
}

}  // namespace mosaikon
