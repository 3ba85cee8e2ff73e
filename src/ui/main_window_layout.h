#pragma once

#include <span>

namespace mosaikon {

// What kind of control a row of the layout makes.
// A view is a picture box that fits its picture, zooms and pans (the original and the sticker).
enum class ControlKind { Frame, Label, TextBox, CheckBox, Button, Image, View };

// The caption font of a control: the heading font, the small bold font, or the text boxes' own.
enum class CaptionFont { Heading, SmallBold, Text };

// One control of the main window as laid out: its object name, kind, frame ("" for the window
// itself), initial text, place and size in twips (15 to a pixel), tab index (-1: takes no
// focus) and whether it starts enabled.
struct ControlLayout {
    const char* name;
    ControlKind kind;
    const char* frame;
    const char* text;
    int left, top, width, height;
    int tab;
    bool enabled;
    CaptionFont font = CaptionFont::SmallBold;
    bool readOnly = false;   // text boxes
    bool centred = false;    // text boxes
    bool alignLeft = false;  // labels: left-aligned instead of right
};

// The main window's controls, frames first, in the order they are made; the window builds itself
// from this table and its test checks the window against it.
std::span<const ControlLayout> MainWindowLayout();

// The main window's size in twips.
inline constexpr int kMainWindowWidth = 10575;
inline constexpr int kMainWindowHeight = 7815;

}  // namespace mosaikon
