#pragma once

// Drawings: pictures made of shapes (an SVG file, read elsewhere), and their conversion into the
// polygons of a sticker.

#include <cstdint>
#include <string>
#include <vector>

#include "conversion/progress.h"
#include "image/rgba_picture.h"
#include "image/quads.h"
#include "shell/shell.h"

namespace mosaikon {

struct DrawingPoint {
    double x = 0, y = 0;
    friend bool operator==(const DrawingPoint&, const DrawingPoint&) = default;
};

// One filled shape of a drawing, as drawn: its outline's closed rings (in the drawing's units, x
// right, y down, curves already flattened), filled by its rule, in one colour: opaque, or seen
// through by the share 1 - opacity (blended over what lies beneath it, over white where nothing
// does).
struct DrawnShape {
    std::vector<std::vector<DrawingPoint>> rings;
    bool evenOdd = false;  // else nonzero winding
    std::uint8_t red = 0, green = 0, blue = 0;
    double opacity = 1;
    // The drawing's clips it is drawn within (their places in Drawing::clips): it shows only
    // where every one of them covers.
    std::vector<std::uint32_t> clips;
    friend bool operator==(const DrawnShape&, const DrawnShape&) = default;
};

// A clip: the area its shapes cover (each its rings filled by its rule; their colours unused).
struct DrawnClip {
    std::vector<DrawnShape> parts;
    friend bool operator==(const DrawnClip&, const DrawnClip&) = default;
};

// A drawing: its size (the rectangle from 0, 0 that it shows), its shapes in the order they are
// drawn (each over those before it), the clips they are drawn within, and what reading it had to
// say.
struct Drawing {
    double width = 0, height = 0;
    std::vector<DrawnShape> shapes;
    std::vector<DrawnClip> clips;
    std::vector<std::string> warnings;
    friend bool operator==(const Drawing&, const Drawing&) = default;
};

// A drawing's shapes become polygons on a lattice of half picture units; the picture a drawing
// stands for is this many units high (and as wide as its proportions make it), so that a corner
// is placed to 1/4096 of the sticker's height.
inline constexpr std::int32_t kDrawingPictureHeight = 2048;

// The size in picture units of the picture a drawing stands for: at least one unit each way.
std::int32_t DrawingPictureWidth(const Drawing& drawing);

// A drawing drawn as a picture for the conversions of pixels (and for showing it) is this many
// pixels on its longer side, by default; its size in pixels for side pixels on its longer side.
inline constexpr std::int32_t kDrawnPictureSide = 512;
struct DrawnSize {
    std::int32_t width = 1, height = 1;
};
DrawnSize DrawnSizeOf(const Drawing& drawing, std::int32_t side = kDrawnPictureSide);

// The textured form shows a drawing drawn as a picture of one pixel for this many picture units
// (at least 2): 1,024 pixels high, its longer side at most 2,048 pixels.
std::int32_t DrawingTextureScale(const Drawing& drawing);

// How the drawing's colours become colour codes: direct colours, or the nearest of an LDraw set.
// Shapes whose codes are equal and that touch become one face.
struct DrawingColours {
    ColourSet set = ColourSet::Direct;
};

// What the conversion of a drawing did beyond its polygons.
struct DrawingConversionRun {
    std::uint64_t faces = 0;         // areas of one colour, after the shapes hid each other
    std::uint64_t facesLeftOut = 0;  // those no polygons the parts library accepts could fill
    // No cut of the faces without added corners has fewer polygons (LeastPieces of each face: at
    // least (V + 2h - 2) / 2 for V corners and h holes, more around a convex hole).
    std::uint64_t leastPolygons = 0;
    // The same by the count of corners and holes alone.
    std::uint64_t countedPolygons = 0;
};

// The visible part of every shape: each hides what lies under it; the visible parts of one
// colour code that touch are one face, and every face is cut into convex quadrilaterals and
// triangles (LineType 4 and 3) the parts library accepts, the faces' corners shared where they
// meet, so that there is no gap, overlap or T-junction. Polygons are in picture units (the
// drawing's corner 0, 0 at 1, 1), counter-clockwise by the cross product; quads is emptied
// first. A failure is reported ("ConvertDrawing has caused an error ...") and leaves no
// polygons; a conversion stopped through progress ends with none and no report.
bool ConvertDrawing(Shell& shell, const Drawing& drawing, Quads& quads,
                    const DrawingColours& colours = {}, const ProgressCallback& progress = {},
                    DrawingConversionRun* run = nullptr);

}  // namespace mosaikon
