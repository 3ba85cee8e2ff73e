// SVG files read by Qt SVG, drawn into a paint engine that records each filled path with its
// brush, pen and transform. The document is first read once by the program itself: what Qt SVG
// would leave out without a word, or would fetch from elsewhere, is taken out and said.

#include "drawing/svg_reader.h"

#include <zlib.h>

#include <QByteArray>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLibraryInfo>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cmath>
#include <map>
#include <mutex>
#include <set>

#include "shell/failure.h"
#include "shell/text_file.h"

namespace mosaikon {

namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string BaseNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What is taken out of the document before Qt SVG draws it, and what is drawn otherwise than
// written; each kind said once, with the ids of its elements.
struct Omissions {
    // kind -> ids (an element without one counted by an empty id)
    std::map<std::string, std::vector<std::string>> kinds;
    void Add(const std::string& kind, const std::string& id) { kinds[kind].push_back(id); }
};

// The text a warning gives for each kind of element.
const std::map<std::string, std::string>& KindTexts() {
    static const std::map<std::string, std::string> texts = {
        {"clipPath", "is not applied: the shapes it clips are drawn whole"},
        {"mask", "is not applied: the shapes it masks are drawn whole"},
        {"pattern", "is not drawn: shapes filled with it are left out"},
        {"filter", "is not applied: the shapes are drawn without it"},
        {"marker", "is not drawn"},
        {"image", "is a picture, not shapes: it is left out"},
        {"text", "is not drawn: turn the text into paths (outlines) in the drawing first"},
        {"textPath", "is not drawn along its path: turn it into paths (outlines) in the drawing "
                     "first"},
        {"font", "is not at hand: its text is drawn in a font that is"},
        {"gradient", "is drawn in its first colour"},
        {"reference", "refers to another file: not followed, left out"},
        {"script", "is left out"},
        {"foreignObject", "is left out"},
        {"opacity", "is partly transparent: drawn blended over what lies beneath it"},
    };
    return texts;
}

std::string Quoted(const std::string& text) {
    std::string shown = text.size() > 40 ? text.substr(0, 40) + "..." : text;
    return "\"" + shown + "\"";
}

// Colours written rgba(r, g, b, a), which Qt SVG reads as black: rgb(r, g, b) and the opacity
// of the same paint (fill-opacity, stroke-opacity, stop-opacity).
QString OpacityOf(const QString& paint) {
    return paint == "stop-color" ? QString("stop-opacity") : paint + "-opacity";
}

const QRegularExpression& RgbaColour() {
    static const QRegularExpression rgba(
        R"(rgba\(\s*([^,\s]+)\s*,\s*([^,\s]+)\s*,\s*([^,\s]+)\s*[,/]\s*([^)\s]+)\s*\))");
    return rgba;
}

// In a style sheet or style attribute: "fill: rgba(...)" becomes "fill: rgb(...); fill-opacity: a".
QString StyleWithoutRgba(QString style) {
    static const QRegularExpression property(
        R"((fill|stroke|stop-color)\s*:\s*rgba\(\s*([^,\s]+)\s*,\s*([^,\s]+)\s*,\s*([^,\s]+)\s*[,/]\s*([^)\s]+)\s*\))");
    QString out;
    qsizetype from = 0;
    for (auto it = property.globalMatch(style); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += style.mid(from, m.capturedStart() - from);
        out += m.captured(1) + ":rgb(" + m.captured(2) + "," + m.captured(3) + "," + m.captured(4) +
               ");" + OpacityOf(m.captured(1)) + ":" + m.captured(5);
        from = m.capturedEnd();
    }
    return out + style.mid(from);
}

// An element as read, its rgba() colours written as Qt SVG reads them, but for the attributes
// named in leftOut.
void WriteStartElement(const QXmlStreamReader& reader, QXmlStreamWriter& writer,
                       const QStringList& leftOut = {}, bool root = false) {
    writer.writeStartElement(reader.namespaceUri().toString(), reader.name().toString());
    bool xlink = false;
    for (const QXmlStreamNamespaceDeclaration& declaration : reader.namespaceDeclarations()) {
        writer.writeNamespace(declaration.namespaceUri().toString(), declaration.prefix().toString());
        xlink = xlink || declaration.prefix() == u"xlink";
    }
    // Qt SVG reads references by the name xlink:href, which the clips' uses are written with.
    if (root && !xlink) writer.writeNamespace("http://www.w3.org/1999/xlink", "xlink");
    const QXmlStreamAttributes attributes = reader.attributes();
    for (const QXmlStreamAttribute& attribute : attributes) {
        const QString name = attribute.name().toString();
        if (leftOut.contains(name)) continue;
        QString value = attribute.value().toString();
        if (name == "style") value = StyleWithoutRgba(value);
        const QRegularExpressionMatch m = RgbaColour().match(value);
        if ((name == "fill" || name == "stroke" || name == "stop-color") && m.hasMatch()) {
            value = "rgb(" + m.captured(1) + "," + m.captured(2) + "," + m.captured(3) + ")";
            if (!attributes.hasAttribute(OpacityOf(name))) {
                writer.writeAttribute(OpacityOf(name), m.captured(4));
            }
        }
        writer.writeAttribute(attribute.namespaceUri().toString(), name, value);
    }
}

// The families a font-family value names that are not at hand, generic ones being always at hand;
// nothing when one of them is.
std::vector<std::string> FamiliesNotAtHand(const QString& value) {
    static const QStringList generic = {"serif", "sans-serif", "monospace", "cursive", "fantasy",
                                        "system-ui", "sans", "inherit"};
    std::vector<std::string> missing;
    for (QString family : value.split(u',')) {
        family = family.trimmed();
        if (family.size() >= 2 && (family.front() == u'\'' || family.front() == u'"')) {
            family = family.mid(1, family.size() - 2);
        }
        if (family.isEmpty()) continue;
        if (generic.contains(family, Qt::CaseInsensitive) || QFontDatabase::hasFamily(family)) return {};
        missing.push_back(family.toStdString());
    }
    return missing;
}

// The font families of a style (attribute or sheet) that are not at hand, said as "font".
void NoteFonts(const QString& style, Omissions& omitted) {
    static const QRegularExpression family(R"(font-family\s*:\s*([^;}]+))");
    for (auto it = family.globalMatch(style); it.hasNext();) {
        for (const std::string& missing : FamiliesNotAtHand(it.next().captured(1))) {
            omitted.Add("font", missing);
        }
    }
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}
std::string S(const QString& text) {
    return text.toStdString();
}

// Clipping. Qt SVG draws every shape whole, so the document is rewritten for the recording
// engine to clip: each clipPath becomes a group kept in defs, its shapes filled in kClipColour;
// an element it clips is drawn between three markers (small squares of their own colours): the
// clip's begin, then the clip's shapes (drawn through a use of the group, in the clipped
// element's user space), the body's begin, the element itself, and the clip's end.
constexpr QRgb kClipBegin = 0x13f7a1, kClipBody = 0x13f7a2, kClipEnd = 0x13f7a3,
               kClipColour = 0x13f7a4;
const QString kClipPrefix = "mosaikon-clip-";

QString ColourText(QRgb colour) {
    return QString("rgb(%1,%2,%3)").arg(qRed(colour)).arg(qGreen(colour)).arg(qBlue(colour));
}

void WriteMarker(QXmlStreamWriter& writer, QRgb colour) {
    writer.writeStartElement("http://www.w3.org/2000/svg", "rect");
    writer.writeAttribute("width", "1");
    writer.writeAttribute("height", "1");
    writer.writeAttribute("fill", ColourText(colour));
    writer.writeAttribute("stroke", "none");
    writer.writeEndElement();
}

// A property of an element: its attribute, or the same in its style attribute.
QString PropertyOf(const QXmlStreamAttributes& attributes, const QString& name) {
    const QRegularExpression styled("(?:^|;)\\s*" + QRegularExpression::escape(name) +
                                    "\\s*:\\s*([^;]+)");
    const QRegularExpressionMatch inStyle = styled.match(attributes.value("style").toString());
    return (inStyle.hasMatch() ? inStyle.captured(1) : attributes.value(name).toString()).trimmed();
}

// The id a property's "url(#id)" names, else empty.
QString UrlOf(const QString& value) {
    static const QRegularExpression url(R"(^\s*url\(\s*['"]?#([^'")\s]+)['"]?\s*\)\s*$)");
    const QRegularExpressionMatch m = url.match(value);
    return m.hasMatch() ? m.captured(1) : QString();
}

// The clip an element refers to (its clip-path), else empty.
QString ClipOf(const QXmlStreamAttributes& attributes) {
    return UrlOf(PropertyOf(attributes, "clip-path"));
}

// The mask an element refers to, else empty.
QString MaskOf(const QXmlStreamAttributes& attributes) {
    return UrlOf(PropertyOf(attributes, "mask"));
}

// Whether an element within a mask shows through it wholly where it is drawn, as a clip's shape
// does: a plain shape (or group) filled white, fully opaque, without a stroke; inherited says
// whether the group around it is filled white.
bool PlainMaskShape(QStringView element, const QXmlStreamAttributes& attributes, bool inherited,
                    bool& white) {
    static const QStringList shapes = {"g", "rect", "circle", "ellipse", "path", "polygon", "polyline"};
    if (!shapes.contains(element.toString())) return false;
    const QString fill = PropertyOf(attributes, "fill").toLower().remove(' ');
    white = fill.isEmpty() ? inherited
                           : fill == "white" || fill == "#fff" || fill == "#ffffff" ||
                                 fill == "rgb(255,255,255)";
    for (const QString opacity : {"opacity", "fill-opacity"}) {
        const QString value = PropertyOf(attributes, opacity);
        if (!value.isEmpty() && value.toDouble() < 1) return false;
    }
    const QString stroke = PropertyOf(attributes, "stroke");
    if (!stroke.isEmpty() && stroke != "none") return false;
    for (const QString other : {"filter", "mask", "clip-path"}) {
        if (!PropertyOf(attributes, other).isEmpty()) return false;
    }
    return white || element == u"g";
}

// The clipPath elements of a document that can be applied (in the user space of what they
// clip), read once before the document is rewritten; those measured by the bounding box of
// what they clip are listed apart.
struct ClipPaths {
    std::set<QString> applied, boxed;
};

ClipPaths FindClipPaths(const QByteArray& bytes) {
    ClipPaths clips;
    QXmlStreamReader reader(bytes);
    int depth = 0;
    while (!reader.atEnd() && depth <= kMostDrawingDepth) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::EndElement) --depth;
        if (token != QXmlStreamReader::StartElement) continue;
        ++depth;
        const QString id = reader.attributes().value("id").toString();
        if (reader.name() == u"mask") {
            // A mask of white shapes only, in the user space of what it masks, is a clip.
            bool plain = !id.isEmpty() &&
                         reader.attributes().value("maskContentUnits") != u"objectBoundingBox";
            const int mask = depth;
            std::vector<bool> white{false};
            while (!reader.atEnd() && depth >= mask) {
                const QXmlStreamReader::TokenType inner = reader.readNext();
                if (inner == QXmlStreamReader::EndElement) {
                    --depth;
                    white.pop_back();
                } else if (inner == QXmlStreamReader::StartElement) {
                    ++depth;
                    bool shows = false;
                    plain = PlainMaskShape(reader.name(), reader.attributes(), white.back(), shows) &&
                            plain;
                    white.push_back(shows);
                }
                if (white.empty()) white.push_back(false);
            }
            if (plain) clips.applied.insert(id);
            continue;
        }
        if (reader.name() != u"clipPath" || id.isEmpty()) continue;
        const bool boxed = reader.attributes().value("clipPathUnits") == u"objectBoundingBox";
        (boxed ? clips.boxed : clips.applied).insert(id);
    }
    return clips;
}

// The clip's begin, its shapes in the user space of the element clipped (whose transform, for
// an element wrapped in a group of its own, comes from attributes), and the body's begin.
void WriteClipStart(const QXmlStreamAttributes& attributes, const QString& clip,
                    QXmlStreamWriter& writer) {
    WriteMarker(writer, kClipBegin);
    writer.writeStartElement("http://www.w3.org/2000/svg", "use");
    writer.writeAttribute("http://www.w3.org/1999/xlink", "href", "#" + kClipPrefix + clip);
    if (attributes.hasAttribute("transform")) {
        writer.writeAttribute("transform", attributes.value("transform").toString());
    }
    writer.writeEndElement();
    WriteMarker(writer, kClipBody);
}

// What a clip's shapes keep of their attributes: their geometry and clip rule (as fill rule).
const QStringList kNotClipGeometry = {"fill", "stroke", "style", "opacity", "fill-opacity",
                                      "stroke-opacity", "stroke-width", "visibility", "display",
                                      "filter", "mask", "clip-path", "clip-rule", "class",
                                      "fill-rule"};

void WriteClipRule(const QXmlStreamAttributes& attributes, QXmlStreamWriter& writer) {
    static const QRegularExpression styled(R"(clip-rule\s*:\s*(nonzero|evenodd))");
    QString rule = attributes.value("clip-rule").toString().trimmed();
    const QRegularExpressionMatch m = styled.match(attributes.value("style").toString());
    if (m.hasMatch()) rule = m.captured(1);
    if (rule == "evenodd" || rule == "nonzero") writer.writeAttribute("fill-rule", rule);
}

// Takes the document apart once: refuses what is damaged or too deep, keeps what Qt SVG may draw
// and writes it out again, leaving out what it must not read.
QByteArray CleanDocument(const QByteArray& bytes, const std::string& name, Omissions& omitted,
                         bool textDrawn) {
    const ClipPaths clips = FindClipPaths(bytes);
    QXmlStreamReader reader(bytes);
    QByteArray clean;
    QXmlStreamWriter writer(&clean);
    int depth = 0;
    // The depths of the elements being clipped, and whether each is wrapped in a group of its own.
    std::vector<std::pair<int, bool>> clipped;
    int inClip = 0;  // the depth of the clipPath (or mask) being written as a group, else 0
    bool inMask = false;
    int skipping = 0;  // the depth of the element being left out with all it holds, else 0
    bool root = true;
    std::string textOfSkipped;
    bool inText = false;
    bool inStyle = false;  // in a style sheet
    bool anyText = false;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (reader.hasError()) break;
        switch (token) {
            case QXmlStreamReader::StartElement: {
                ++depth;
                if (depth > kMostDrawingDepth) {
                    Fail(name + " nests its elements more than " +
                         std::to_string(kMostDrawingDepth) + " deep: not read");
                }
                const std::string element = reader.name().toString().toStdString();
                if (root) {
                    if (element != "svg") Fail(name + " is not an SVG drawing");
                    root = false;
                }
                if (skipping) continue;
                const std::string id = reader.attributes().value("id").toString().toStdString();
                const QStringView href = reader.attributes().hasAttribute("http://www.w3.org/1999/xlink", "href")
                                             ? reader.attributes().value("http://www.w3.org/1999/xlink", "href")
                                             : reader.attributes().value("href");
                std::string kind;
                bool leaveOut = false;
                anyText = anyText || element == "text";
                if (element == "image" || element == "script" || element == "foreignObject") {
                    kind = element;
                    leaveOut = true;
                } else if (element == "textPath") {
                    kind = "textPath";
                    leaveOut = true;
                } else if (element == "text" && !textDrawn) {
                    kind = "text";
                    leaveOut = true;
                    inText = true;
                    textOfSkipped.clear();
                } else if (element == "use" && !href.isEmpty() && !href.startsWith(u'#')) {
                    kind = "reference";
                    leaveOut = true;
                } else if (element == "clipPath") {
                    if (inClip) {
                        kind = "clipPath";  // a clip within a clip's shapes: left out
                        leaveOut = true;
                    } else if (!clips.applied.contains(Q(id))) {
                        kind = "clipPath";  // never drawn itself: its shapes are left out
                        leaveOut = true;
                    }
                } else if (element == "mask") {
                    if (inClip || !clips.applied.contains(Q(id))) {
                        kind = "mask";
                        leaveOut = true;
                    }
                } else if (element == "pattern" || element == "filter" || element == "marker") {
                    kind = element;
                } else if (element == "linearGradient" || element == "radialGradient") {
                    kind = "gradient";
                }
                if (!kind.empty() && kind != "text") omitted.Add(kind, id);
                if (kind == "text") omitted.Add(kind, id);  // its words added when it ends
                if (leaveOut) {
                    skipping = depth;
                    continue;
                }
                inStyle = element == "style";
                if ((element == "clipPath" || element == "mask") && !inClip &&
                    clips.applied.contains(Q(id))) {
                    inMask = element == "mask";
                    // Kept out of sight in defs, as a group of shapes filled in the clip's colour.
                    inClip = depth;
                    writer.writeStartElement("http://www.w3.org/2000/svg", "defs");
                    writer.writeStartElement("http://www.w3.org/2000/svg", "g");
                    writer.writeAttribute("id", kClipPrefix + Q(id));
                    writer.writeAttribute("fill", ColourText(kClipColour));
                    writer.writeAttribute("fill-opacity", "1");
                    writer.writeAttribute("stroke", "none");
                    writer.writeAttribute("opacity", "1");
                    writer.writeAttribute("display", "inline");
                    writer.writeAttribute("visibility", "visible");
                    if (reader.attributes().hasAttribute("transform")) {
                        writer.writeAttribute("transform", reader.attributes().value("transform").toString());
                    }
                    if (!inMask) WriteClipRule(reader.attributes(), writer);
                    if (!ClipOf(reader.attributes()).isEmpty()) omitted.Add("clipPath", id);
                    break;
                }
                if (inClip) {
                    // A mask's shapes keep their fill rule; a clip's take its clip rule.
                    QStringList leftOut = kNotClipGeometry;
                    if (inMask) leftOut.removeAll("fill-rule");
                    WriteStartElement(reader, writer, leftOut);
                    if (!inMask) WriteClipRule(reader.attributes(), writer);
                    break;
                }
                // A clip, or a mask that is one (not both: the mask is then said).
                QString clip = ClipOf(reader.attributes());
                const QString mask = MaskOf(reader.attributes());
                if (!mask.isEmpty() && clips.applied.contains(mask)) {
                    if (clip.isEmpty()) {
                        clip = mask;
                    } else {
                        omitted.Add("mask", S(mask));
                    }
                }
                const bool clipping = !clip.isEmpty() && clips.applied.contains(clip) && !inClip;
                if (!clip.isEmpty() && clips.boxed.contains(clip)) omitted.Add("clipPath", S(clip));
                const bool container = element == "g" || element == "svg" || element == "a";
                if (clipping && !container) {
                    // The element in a group of its own: the clip's shapes in its user space.
                    writer.writeStartElement("http://www.w3.org/2000/svg", "g");
                    WriteClipStart(reader.attributes(), clip, writer);
                }
                if (textDrawn) {
                    const QXmlStreamAttributes attributes = reader.attributes();
                    if (attributes.hasAttribute("font-family")) {
                        for (const std::string& missing :
                             FamiliesNotAtHand(attributes.value("font-family").toString())) {
                            omitted.Add("font", missing);
                        }
                    }
                    NoteFonts(attributes.value("style").toString(), omitted);
                }
                WriteStartElement(reader, writer,
                                  clipping ? QStringList{"clip-path", "mask"} : QStringList{},
                                  depth == 1);
                if (clipping && container) WriteClipStart({}, clip, writer);
                if (clipping) clipped.emplace_back(depth, !container);
                break;
            }
            case QXmlStreamReader::EndElement:
                inStyle = false;
                if (inClip == depth && !skipping) {
                    writer.writeEndElement();  // the group
                    writer.writeEndElement();  // defs
                    inClip = 0;
                    --depth;
                    break;
                }
                if (!clipped.empty() && clipped.back().first == depth && !skipping) {
                    const bool wrapped = clipped.back().second;
                    clipped.pop_back();
                    if (wrapped) writer.writeCurrentToken(reader);
                    WriteMarker(writer, kClipEnd);
                    if (!wrapped) writer.writeCurrentToken(reader);
                    if (wrapped) writer.writeEndElement();
                    --depth;
                    break;
                }
                if (skipping == depth) {
                    skipping = 0;
                    if (inText) {
                        auto& ids = omitted.kinds["text"];
                        if (ids.back().empty()) ids.back() = textOfSkipped;
                        inText = false;
                    }
                } else if (!skipping) {
                    writer.writeCurrentToken(reader);
                }
                --depth;
                break;
            case QXmlStreamReader::Characters:
                if (inText) textOfSkipped += reader.text().toString().simplified().toStdString();
                if (inStyle && !skipping) {
                    if (textDrawn) NoteFonts(reader.text().toString(), omitted);
                    writer.writeCharacters(StyleWithoutRgba(reader.text().toString()));
                } else if (!skipping) {
                    writer.writeCurrentToken(reader);
                }
                break;
            case QXmlStreamReader::DTD:               // its entities are already expanded
            case QXmlStreamReader::EntityReference:   // one that is not declared: left out
            case QXmlStreamReader::ProcessingInstruction:
            case QXmlStreamReader::Comment:
                break;
            default:
                if (!skipping) writer.writeCurrentToken(reader);
                break;
        }
    }
    if (reader.hasError()) {
        Fail(name + " is damaged or not an SVG drawing: " +
             reader.errorString().toStdString() + " (line " +
             std::to_string(reader.lineNumber()) + ")");
    }
    if (root) Fail(name + " is not an SVG drawing");
    if (!anyText) omitted.kinds.erase("font");  // fonts named but not used
    return clean;
}

// What a path drawn is to the clipping: a clip's marker (a unit square at the origin in its
// colour) or a shape.
enum class Marker { None, Begin, Body, End };

Marker MarkerOf(const QPainterPath& path, const QBrush& brush) {
    if (brush.style() != Qt::SolidPattern || path.elementCount() > 5 ||
        path.boundingRect() != QRectF(0, 0, 1, 1)) {
        return Marker::None;
    }
    switch (brush.color().rgb() & 0xffffff) {
        case kClipBegin: return Marker::Begin;
        case kClipBody: return Marker::Body;
        case kClipEnd: return Marker::End;
        default: return Marker::None;
    }
}

// An engine that takes everything Qt SVG draws as paths (pictures are left out before drawing):
// each engine below says what becomes of a path.
class PathEngine : public QPaintEngine {
public:
    PathEngine() : QPaintEngine(AllFeatures) {}

    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    Type type() const override { return User; }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override {}

    // A polygon drawn as the path it outlines (a polyline stroked, not filled).
    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override {
        QPainterPath path;
        if (count < 2) return;
        path.moveTo(points[0]);
        for (int i = 1; i < count; ++i) path.lineTo(points[i]);
        if (mode != PolylineMode) path.closeSubpath();
        path.setFillRule(mode == OddEvenMode ? Qt::OddEvenFill : Qt::WindingFill);
        const QBrush brush = painter()->brush();
        if (mode == PolylineMode) painter()->setBrush(Qt::NoBrush);
        drawPath(path);
        if (mode == PolylineMode) painter()->setBrush(brush);
    }
};

// A paint device whose engine keeps what is drawn on it as shapes.
class RecordingEngine : public PathEngine {
public:
    RecordingEngine(Drawing& drawing, double flatness, Omissions& omitted)
        : drawing_(drawing), flatness_(flatness), omitted_(omitted) {}


    void drawPath(const QPainterPath& path) override {
        QPainter* p = painter();
        const QTransform transform = p->combinedTransform();
        const double opacity = p->opacity();
        if (p->brush().style() != Qt::NoBrush) Record(path, transform, p->brush(), opacity);
        const QPen pen = p->pen();
        if (pen.style() != Qt::NoPen && pen.brush().style() != Qt::NoBrush && pen.widthF() > 0) {
            QPainterPathStroker stroker(pen);
            QPainterPath outline = stroker.createStroke(path);
            outline.setFillRule(Qt::WindingFill);
            Record(outline, transform, pen.brush(), opacity);
        }
    }

private:
    QColor ColourOf(const QBrush& brush) {
        if (const QGradient* gradient = brush.gradient()) {
            if (!gradient->stops().isEmpty()) return gradient->stops().front().second;
        }
        return brush.color();
    }

    // A clip's marker, acted on: whether the path is one.
    bool ActOnMarker(const QPainterPath& path, const QBrush& brush) {
        switch (MarkerOf(path, brush)) {
            case Marker::Begin:
                open_.push_back(static_cast<std::uint32_t>(drawing_.clips.size()));
                drawing_.clips.emplace_back();
                collecting_ = true;
                return true;
            case Marker::Body:
                collecting_ = false;
                return true;
            case Marker::End:
                if (!open_.empty()) open_.pop_back();
                collecting_ = false;
                return true;
            case Marker::None:
                return false;
        }
        return false;
    }

    void Record(const QPainterPath& path, const QTransform& transform, const QBrush& brush,
                double opacity) {
        if (ActOnMarker(path, brush)) return;
        if (brush.style() == Qt::TexturePattern) return;  // said where the pattern is
        const QColor colour = ColourOf(brush);
        const double alpha = colour.alphaF() * opacity;
        if (!collecting_ && alpha <= 1.0 / 512) return;  // nothing to see
        DrawnShape shape;
        shape.evenOdd = path.fillRule() == Qt::OddEvenFill;
        if (alpha < 1 && !collecting_) omitted_.Add("opacity", "");
        shape.red = static_cast<std::uint8_t>(colour.red());
        shape.green = static_cast<std::uint8_t>(colour.green());
        shape.blue = static_cast<std::uint8_t>(colour.blue());
        shape.opacity = std::min(alpha, 1.0);
        const QPainterPath mapped = transform.map(path);
        std::vector<DrawingPoint>* ring = nullptr;
        QPointF last;
        for (int i = 0; i < mapped.elementCount(); ++i) {
            const QPainterPath::Element e = mapped.elementAt(i);
            if (e.isMoveTo() || !ring) {
                ring = &shape.rings.emplace_back();
                ring->push_back({e.x, e.y});
                last = QPointF(e.x, e.y);
                continue;
            }
            if (e.isLineTo()) {
                ring->push_back({e.x, e.y});
                last = QPointF(e.x, e.y);
            } else if (e.isCurveTo() && i + 2 < mapped.elementCount()) {
                const QPainterPath::Element c2 = mapped.elementAt(i + 1);
                const QPainterPath::Element end = mapped.elementAt(i + 2);
                Flatten(last, QPointF(e.x, e.y), QPointF(c2.x, c2.y), QPointF(end.x, end.y), *ring,
                        0);
                last = QPointF(end.x, end.y);
                i += 2;
            }
        }
        std::erase_if(shape.rings, [](const auto& r) { return r.size() < 3; });
        if (shape.rings.empty()) return;
        if (collecting_) {
            // A clip's shape: only its area counts.
            shape.opacity = 1;
            shape.red = shape.green = shape.blue = 0;
            drawing_.clips.back().parts.push_back(std::move(shape));
            return;
        }
        shape.clips = open_;
        drawing_.shapes.push_back(std::move(shape));
    }

    // A cubic curve as lines, each within the flatness of the curve (its control points within
    // it of the chord), the curve's end point added last.
    void Flatten(QPointF a, QPointF b, QPointF c, QPointF d, std::vector<DrawingPoint>& ring,
                 int depth) const {
        const QPointF chord = d - a;
        const double length = std::hypot(chord.x(), chord.y());
        const auto off = [&](QPointF q) {
            const QPointF v = q - a;
            if (length == 0) return std::hypot(v.x(), v.y());
            return std::abs(v.x() * chord.y() - v.y() * chord.x()) / length;
        };
        if (depth >= 16 || std::max(off(b), off(c)) <= flatness_) {
            ring.push_back({d.x(), d.y()});
            return;
        }
        const QPointF ab = (a + b) / 2, bc = (b + c) / 2, cd = (c + d) / 2;
        const QPointF abc = (ab + bc) / 2, bcd = (bc + cd) / 2, middle = (abc + bcd) / 2;
        Flatten(a, ab, abc, middle, ring, depth + 1);
        Flatten(middle, bcd, cd, d, ring, depth + 1);
    }

    Drawing& drawing_;
    const double flatness_;
    Omissions& omitted_;
    std::vector<std::uint32_t> open_;  // the clips in force
    bool collecting_ = false;          // drawing a clip's shapes
};

// A gzip stream expanded, to at most kMostDrawingBytes.
std::string Expanded(const std::string& packed, const std::string& name) {
    z_stream stream{};
    if (inflateInit2(&stream, 15 + 16) != Z_OK) Fail(name + " could not be expanded");
    struct End {
        z_stream& stream;
        ~End() { inflateEnd(&stream); }
    } end{stream};
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    stream.avail_in = static_cast<uInt>(packed.size());
    std::string text;
    char chunk[1 << 16];
    for (;;) {
        stream.next_out = reinterpret_cast<Bytef*>(chunk);
        stream.avail_out = sizeof chunk;
        const int status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END) {
            Fail(name + " is damaged: its compressed data cannot be expanded" +
                 (stream.msg ? std::string(" (") + stream.msg + ")" : std::string()));
        }
        text.append(chunk, sizeof chunk - stream.avail_out);
        if (text.size() > kMostDrawingBytes) {
            Fail(name + " expands to more than " + std::to_string(kMostDrawingBytes >> 20) +
                 " MB: not read");
        }
        if (status == Z_STREAM_END) return text;
        if (stream.avail_in == 0 && stream.avail_out != 0) {
            Fail(name + " is cut short: its compressed data ends early");
        }
    }
}

bool IsCompressed(const std::string& bytes) {
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f &&
           static_cast<unsigned char>(bytes[1]) == 0x8b;
}

// A paint device of a given size whose engine is Engine.
template <typename Engine>
class EngineDevice : public QPaintDevice {
public:
    template <typename... Arguments>
    EngineDevice(int width, int height, Arguments&&... arguments)
        : engine_(std::forward<Arguments>(arguments)...), width_(width), height_(height) {}
    ~EngineDevice() override = default;
    QPaintEngine* paintEngine() const override { return &engine_; }

protected:
    int metric(PaintDeviceMetric metric) const override {
        switch (metric) {
            case PdmWidth: return width_;
            case PdmHeight: return height_;
            case PdmWidthMM: return width_ * 254 / 960;
            case PdmHeightMM: return height_ * 254 / 960;
            case PdmNumColors: return 0x7fffffff;
            case PdmDepth: return 32;
            case PdmDpiX:
            case PdmDpiY:
            case PdmPhysicalDpiX:
            case PdmPhysicalDpiY: return 96;
            case PdmDevicePixelRatio: return 1;
            case PdmDevicePixelRatioScaled: return static_cast<int>(devicePixelRatioFScale());
        }
        return 0;
    }

private:
    mutable Engine engine_;
    int width_, height_;
};

// An engine that draws what Qt SVG draws onto a picture as Qt would, but within the clips.
class RenderingEngine : public PathEngine {
public:
    explicit RenderingEngine(QPainter& target) : target_(target) {}


    void drawPath(const QPainterPath& path) override {
        QPainter* p = painter();
        switch (MarkerOf(path, p->brush())) {
            case Marker::Begin:
                collecting_ = true;
                collected_ = QPainterPath();
                return;
            case Marker::Body:
                collecting_ = false;
                clips_.push_back(clips_.empty() ? collected_ : clips_.back().intersected(collected_));
                return;
            case Marker::End:
                if (!clips_.empty()) clips_.pop_back();
                collecting_ = false;
                return;
            case Marker::None:
                break;
        }
        if (collecting_) {
            if (p->brush().style() == Qt::NoBrush) return;
            collected_ = collected_.united(p->combinedTransform().map(path));
            return;
        }
        target_.save();
        if (!clips_.empty()) target_.setClipPath(clips_.back());
        target_.setTransform(p->combinedTransform());
        target_.setOpacity(p->opacity());
        target_.setBrush(p->brush());
        target_.setPen(p->pen());
        target_.drawPath(path);
        target_.restore();
    }

private:
    QPainter& target_;
    std::vector<QPainterPath> clips_;  // in the picture's pixels: each the clips in force
    bool collecting_ = false;
    QPainterPath collected_;
};

// The drawing drawn into a picture of width x height pixels, perUnit pixels a drawing unit. Over
// white, where anything is drawn (the textured form's picture, so that its see-through shapes look
// as their polygons do), and transparent where nothing is; else as drawn.
RgbaPicture Rendered(QSvgRenderer& renderer, const Drawing& drawing, std::int32_t width,
                     std::int32_t height, double perUnit, bool overWhite) {
    RgbaPicture picture;
    picture.width = width;
    picture.height = height;
    QImage image(width, height, overWhite ? QImage::Format_RGBA8888_Premultiplied
                                          : QImage::Format_RGBA8888);
    image.fill(Qt::transparent);
    {
        QPainter target(&image);
        target.setRenderHint(QPainter::Antialiasing);
        EngineDevice<RenderingEngine> device(width, height, target);
        QPainter painter(&device);
        renderer.render(&painter, QRectF(0, 0, drawing.width * perUnit, drawing.height * perUnit));
    }
    picture.rgba.resize(static_cast<std::size_t>(width) * height * 4);
    std::uint8_t* out = picture.rgba.data();
    for (int y = 0; y < height; ++y) {
        const uchar* in = image.constScanLine(y);
        if (!overWhite) {
            out = std::copy_n(in, static_cast<std::size_t>(width) * 4, out);
            continue;
        }
        for (int x = 0; x < width; ++x, in += 4, out += 4) {
            // Premultiplied colour over white: c + (255 - alpha).
            const int clear = 255 - in[3];
            for (int c = 0; c < 3; ++c) out[c] = static_cast<std::uint8_t>(std::min(255, in[c] + clear));
            out[3] = in[3] == 0 ? 0 : 255;
        }
    }
    return picture;
}

// The textured form's picture: one pixel for DrawingTextureScale picture units.
RgbaPicture TexturePicture(QSvgRenderer& renderer, const Drawing& drawing) {
    const std::int32_t scale = DrawingTextureScale(drawing);
    return Rendered(renderer, drawing, (DrawingPictureWidth(drawing) + scale - 1) / scale,
                    (kDrawingPictureHeight + scale - 1) / scale,
                    1.0 * kDrawingPictureHeight / scale / drawing.height, true);
}

// The picture for the conversions of pixels: side pixels on its longer side.
RgbaPicture PixelPicture(QSvgRenderer& renderer, const Drawing& drawing, std::int32_t side) {
    const DrawnSize size = DrawnSizeOf(drawing, side);
    return Rendered(renderer, drawing, size.width, size.height,
                    size.height / drawing.height, false);
}

}  // namespace

bool PrepareForDrawingText() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] {
        if (!QCoreApplication::instance()) {
            // Qt's off-screen platform reads the system's fonts without a display.
            const QString plugin = QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                                   "/platforms/libqoffscreen.so";
            if (!QFileInfo::exists(plugin)) return;
            static int argc = 3;
            static char program[] = "mosaikon", option[] = "-platform", platform[] = "offscreen";
            static char* argv[] = {program, option, platform, nullptr};
            // Starting Qt sets the locale from the environment; numbers are written as before.
            const std::string locale = std::setlocale(LC_ALL, nullptr);
            // Qt's own notes (on the session, on odd documents) are not the converter's to say.
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
            new QGuiApplication(argc, argv);  // kept to the end of the program
            std::setlocale(LC_ALL, locale.c_str());
        }
        ready = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    });
    return ready || qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

bool IsDrawingFile(const std::string& path) {
    const std::string name = Lower(BaseNameOf(path));
    return (name.size() > 4 && name.ends_with(".svg")) ||
           (name.size() > 5 && name.ends_with(".svgz"));
}

Drawing ReadSvgText(const std::string& bytes, const std::string& name, const SvgReading& reading) {
    Omissions omitted;
    const std::string expanded = IsCompressed(bytes) ? Expanded(bytes, name) : std::string();
    const std::string& text = IsCompressed(bytes) ? expanded : bytes;
    // Text needs fonts, which Qt reads only in a program with a GUI application.
    const bool textDrawn = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr &&
                           !QFontDatabase::families().isEmpty();
    const QByteArray clean = CleanDocument(
        QByteArray(text.data(), static_cast<qsizetype>(text.size())), name, omitted, textDrawn);
    QSvgRenderer renderer;
    if (!renderer.load(clean)) Fail(name + " is damaged or not an SVG drawing");
    QRectF box = renderer.viewBoxF();
    if (!(box.width() > 0) || !(box.height() > 0)) box = QRectF(QPointF(0, 0), renderer.defaultSize());
    if (!(box.width() > 0) || !(box.height() > 0) || !std::isfinite(box.width()) ||
        !std::isfinite(box.height())) {
        Fail(name + " has no size: give its svg element a viewBox, or a width and height");
    }
    Drawing drawing;
    drawing.width = box.width();
    drawing.height = box.height();
    double flatness = reading.flatness ? reading.flatness(drawing.height) : 0;
    // Finer than the lattice the corners are placed on is no finer.
    const double finest = drawing.height / (4 * kDrawingPictureHeight);
    flatness = std::isfinite(flatness) && flatness > 0 ? std::max(flatness, finest)
                                                       : drawing.height / 2000;
    EngineDevice<RecordingEngine> device(
        static_cast<int>(std::clamp(std::ceil(drawing.width), 1.0, 1e6)),
        static_cast<int>(std::clamp(std::ceil(drawing.height), 1.0, 1e6)), drawing, flatness,
        omitted);
    {
        QPainter painter(&device);
        renderer.render(&painter, QRectF(0, 0, drawing.width, drawing.height));
    }
    for (const auto& [kind, ids] : omitted.kinds) {
        std::string named;
        std::set<std::string> seen;
        std::size_t shown = 0, unnamed = 0;
        for (const std::string& id : ids) {
            if (id.empty()) {
                ++unnamed;
                continue;
            }
            if (!seen.insert(id).second) continue;
            if (++shown > 5) continue;
            named += (named.empty() ? " " : ", ") + Quoted(id);
        }
        if (shown > 5) named += " and " + std::to_string(shown - 5) + " more";
        if (kind == "opacity") named.clear();
        const std::string element = kind == "reference" ? "use" : kind;
        drawing.warnings.push_back(name + ": " + (kind == "opacity" ? "a shape" : element) + named +
                                   " " + KindTexts().at(kind));
    }
    if (drawing.shapes.empty()) {
        std::string why;
        for (const std::string& warning : drawing.warnings) {
            why += (why.empty() ? " (" : "; ") + warning.substr(name.size() + 2);
        }
        Fail(name + " draws nothing that a sticker could show" + (why.empty() ? "" : why + ")"));
    }
    if (reading.rendered) *reading.rendered = TexturePicture(renderer, drawing);
    if (reading.picture) *reading.picture = PixelPicture(renderer, drawing, reading.pictureSide);
    return drawing;
}

Drawing ReadSvg(const std::string& path, const SvgReading& reading) {
    const std::string name = BaseNameOf(path);
    std::vector<std::uint8_t> bytes;
    try {
        bytes = ReadFileBytes(path, kMostDrawingBytes);
    } catch (const Failure& failure) {
        Fail(name + " could not be read: " + failure.what());
    }
    return ReadSvgText(std::string(bytes.begin(), bytes.end()), name, reading);
}

}  // namespace mosaikon
