#include "ui/captions.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVariant>
#include <cmath>

namespace mosaikon {

namespace {

constexpr const char* kBaseFontProperty = "mosaikonCaptionFont";
constexpr int kSmallestPixelSize = 7;

void RegisterSubstitutes() {
    static const bool done = [] {
        QFont::insertSubstitutions("MS Sans Serif", {"Liberation Sans", "Arial", "DejaVu Sans"});
        return true;
    }();
    (void)done;
}

QFont CaptionFont(int pixelSize) {
    RegisterSubstitutes();
    QFont font("MS Sans Serif");
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Bold);
    return font;
}

constexpr const char* kCaptionProperty = "mosaikonCaption";
constexpr int kReadablePixelSize = 10;

QString CaptionOf(QWidget* control) {
    const QVariant caption = control->property(kCaptionProperty);
    if (caption.isValid()) return caption.toString();
    if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
    if (auto* frame = qobject_cast<QGroupBox*>(control)) return frame->title();
    return {};
}

// The width a caption may take in its control.
int RoomFor(QWidget* control) {
    QStyle* style = control->style();
    if (qobject_cast<QCheckBox*>(control)) {
        return control->width() - style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, control) -
               style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, control) - 2;
    }
    if (qobject_cast<QPushButton*>(control)) {
        return control->width() -
               2 * style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, control) - 4 -
               control->property("captionReserve").toInt();
    }
    if (qobject_cast<QGroupBox*>(control)) return control->width() - 24;
    return control->width();
}

}  // namespace

QFont HeadingFont() {
    return CaptionFont(13);
}

QFont TextBoxFont() {
    QFont font = CaptionFont(11);
    font.setWeight(QFont::Normal);
    return font;
}
QFont SmallBoldFont() {
    return CaptionFont(11);
}

int TwipsToPixels(int twips) {
    return static_cast<int>(std::lround(twips / 15.0));
}

void SetTwips(QWidget* control, int left, int top, int width, int height) {
    control->setGeometry(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                         TwipsToPixels(height));
}

void SetCaptionFont(QWidget* control, const QFont& font) {
    control->setProperty(kBaseFontProperty, QVariant::fromValue(font));
    FitCaption(control);
}

namespace {

// The widest line of a caption.
int CaptionWidth(const QFont& font, const QString& text) {
    int widest = 0;
    for (const QString& line : text.split('\n')) {
        widest = std::max(widest, QFontMetrics(font).horizontalAdvance(line));
    }
    return widest;
}

QFont ShrunkToFit(QFont font, const QString& text, int room, int smallest) {
    while (font.pixelSize() > smallest && CaptionWidth(font, text) > room) {
        font.setPixelSize(font.pixelSize() - 1);
    }
    return font;
}

// A button's caption on two lines, broken at the space nearest its middle.
QString OnTwoLines(const QString& text) {
    int best = -1;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == ' ' &&
            (best < 0 || std::abs(i - text.size() / 2) < std::abs(best - text.size() / 2))) {
            best = i;
        }
    }
    if (best < 0) return text;
    QString lines = text;
    lines[best] = '\n';
    return lines;
}

}  // namespace

QString CaptionText(const QWidget* control) {
    const QVariant caption = control->property(kCaptionProperty);
    if (caption.isValid()) return caption.toString();
    if (auto* button = qobject_cast<const QAbstractButton*>(control)) return button->text();
    return {};
}

void FitCaption(QWidget* control) {
    const QVariant base = control->property(kBaseFontProperty);
    if (!base.isValid()) return;
    const QFont baseFont = base.value<QFont>();
    const QString text = CaptionOf(control);
    const int room = RoomFor(control);
    QFont font = ShrunkToFit(baseFont, text, room, kSmallestPixelSize);
    // A push button tall enough for two lines breaks a long caption rather than shrink it
    // beyond easy reading; it keeps the caption itself for whoever reads it.
    if (auto* button = qobject_cast<QPushButton*>(control)) {
        QString shown = text;
        if (font.pixelSize() < kReadablePixelSize) {
            const QString lines = OnTwoLines(text);
            const QFont twoLineFont = ShrunkToFit(baseFont, lines, room, kSmallestPixelSize);
            if (lines != text &&
                2 * QFontMetrics(twoLineFont).lineSpacing() + 6 <= control->height()) {
                shown = lines;
                font = twoLineFont;
            }
        }
        button->setText(shown);
    }
    control->setFont(font);
}

void SetCaption(QWidget* control, const QString& text) {
    if (qobject_cast<QPushButton*>(control)) control->setProperty(kCaptionProperty, text);
    if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(text);
    } else if (auto* frame = qobject_cast<QGroupBox*>(control)) {
        frame->setTitle(text);
    } else {
        control->setWindowTitle(text);
    }
    FitCaption(control);
}

}  // namespace mosaikon
