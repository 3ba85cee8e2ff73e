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

QString CaptionOf(QWidget* control) {
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
               2 * style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, control) - 4;
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

void FitCaption(QWidget* control) {
    const QVariant base = control->property(kBaseFontProperty);
    if (!base.isValid()) return;
    QFont font = base.value<QFont>();
    const QString text = CaptionOf(control);
    const int room = RoomFor(control);
    while (font.pixelSize() > kSmallestPixelSize &&
           QFontMetrics(font).horizontalAdvance(text) > room) {
        font.setPixelSize(font.pixelSize() - 1);
    }
    control->setFont(font);
}

void SetCaption(QWidget* control, const QString& text) {
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
