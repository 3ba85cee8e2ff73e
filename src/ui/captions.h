#pragma once

#include <QString>

class QFont;
class QWidget;

namespace mosaikon {

// The fonts of the windows: "MS Sans Serif" where it exists, otherwise a metric-compatible sans
// serif, at the pixel sizes of 8.25 and 9.75 points on a 96-dpi screen.
QFont HeadingFont();
QFont SmallBoldFont();
// The window's default font, which the text boxes use: the same face, regular, 8.25 points.
QFont TextBoxFont();

// Sets a caption (label, button, check box or frame title) and shrinks the control's font,
// from the given one, until the caption fits the control's width.
void SetCaption(QWidget* control, const QString& text);
void SetCaptionFont(QWidget* control, const QFont& font);

// A button's caption as set, whether or not it is shown on two lines.
QString CaptionText(const QWidget* control);

// Fits the caption again, after the control changed its width.
void FitCaption(QWidget* control);

// The widget's geometry from twips (15 twips to a pixel).
void SetTwips(QWidget* control, int left, int top, int width, int height);
int TwipsToPixels(int twips);

}  // namespace mosaikon
