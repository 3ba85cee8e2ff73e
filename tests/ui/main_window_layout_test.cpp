// The main window as laid out: every control's name, kind, frame, text, place, size, enabled
// state and tab order, against the layout table the window is built from (twips, 15 to a pixel).

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QMenu>
#include <QMenuBar>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>
#include <map>
#include <optional>

#include "program_fixture.h"
#include "ui/captions.h"
#include "ui/main_window_layout.h"

namespace mosaikon {
namespace {

int Pixels(int twips) {
    return static_cast<int>(std::lround(twips / 15.0));
}

QString TextOf(QWidget* control) {
    if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
    if (auto* box = qobject_cast<QLineEdit*>(control)) return box->text();
    if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
    if (auto* frame = qobject_cast<QGroupBox*>(control)) return frame->title();
    return {};
}

class MainWindowLayoutTest : public test::ProgramFixture {};

TEST_F(MainWindowLayoutTest, EveryControlStandsWhereTheTableSays) {
    main = std::make_unique<FrmMain>(state);
    EXPECT_EQ(main->objectName(), "frmMain");
    EXPECT_EQ(main->windowTitle(), "Convert Bitmap to LDRAW Sticker");
    // The client area as laid out, below the menu bar and above the sticker's counts, is the
    // window's least size.
    const int top = Find("menuBar")->height();
    const int bottom = Find("lblStickerStats")->height();
    EXPECT_EQ(main->minimumSize(), QSize(705, top + 521 + bottom));
    EXPECT_EQ(main->size(), main->minimumSize());
    const char* kinds[] = {"QGroupBox",
                           "QLabel",
                           "QLineEdit",
                           "QCheckBox",
                           "QPushButton",
                           "QLabel",
                           "mosaikon::PictureView"};
    for (const ControlLayout& row : MainWindowLayout()) {
        SCOPED_TRACE(row.name);
        QWidget* control = Find(row.name);
        ASSERT_NE(control, nullptr);
        EXPECT_TRUE(control->inherits(kinds[static_cast<int>(row.kind)]))
            << control->metaObject()->className();
        EXPECT_EQ(control->parentWidget()->objectName(), *row.frame ? row.frame : "frmMain");
        EXPECT_EQ(TextOf(control), row.text);
        EXPECT_EQ(control->geometry(),
                  QRect(Pixels(row.left), Pixels(row.top) + (*row.frame ? 0 : top),
                        Pixels(row.width), Pixels(row.height)));
        EXPECT_EQ(control->isEnabled(), row.enabled);
        EXPECT_EQ((control->focusPolicy() & Qt::TabFocus) != 0, row.tab >= 0);
    }
    // Paths may be typed or pasted, and loaded with Enter; the width is only shown.
    for (const char* box : {"txtImageLocation", "txtSaveLocation", "txtHeight", "txtWidth"})
        EXPECT_EQ(Find<QLineEdit>(box)->isReadOnly(), box == std::string("txtWidth")) << box;
    EXPECT_EQ(Find<QLineEdit>("txtHeight")->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    EXPECT_EQ(Find<QLabel>("lblHeight")->alignment() & Qt::AlignRight, Qt::AlignRight);
    EXPECT_EQ(Find<QLabel>("lblwithin")->alignment() & Qt::AlignLeft, Qt::AlignLeft);
    // The picture boxes take the focus when clicked, for their zoom keys.
    EXPECT_EQ(Find("imgPreview")->focusPolicy(), Qt::ClickFocus);
}

// Tab follows the layout: the picture's row, the part file's, then in the options frame the
// details column, the options column (its boxes left to right in their row) and the buttons.
TEST_F(MainWindowLayoutTest, TabFollowsTheLayout) {
    main = std::make_unique<FrmMain>(state);
    for (QWidget* control : main->findChildren<QWidget*>()) control->setEnabled(true);
    const std::vector<std::string> order = {
        "txtImageLocation", "cmdBrowseOpen",  "txtSaveLocation",   "cmdBrowseSave",
        "chkDither",        "spnColours",     "txtMetaData(0)",    "txtMetaData(1)",    "txtMetaData(2)",
        "txtMetaData(3)",   "cmbOutputForm",  "txtHeight",         "txtWidth",
        "chkLDRAWColors",   "cmbColourSet",   "chkIgnoreWhite",    "txtWhite",
        "chkIgnoreRGBColor", "txtRed",        "txtGreen",          "txtBlue",
        "txtColor",         "cmdPreview",     "cmdConvert",        "cmdConvertMethod"};
    std::vector<std::string> seen;
    QWidget* next = Find(order.front().c_str());
    for (std::size_t i = 0; i < order.size(); ++i) {
        seen.push_back(next->objectName().toStdString());
        do {
            next = next->nextInFocusChain();
        } while (!(next->focusPolicy() & Qt::TabFocus) || next->objectName().isEmpty() ||
                 next->objectName().startsWith("qt_"));
    }
    EXPECT_EQ(seen, order);
}

TEST_F(MainWindowLayoutTest, TheBackdropIsTheGreyFieldWithItsBrickStrips) {
    main = std::make_unique<FrmMain>(state);
    const QImage backdrop = Find<QLabel>("Image1")->pixmap().toImage();
    ASSERT_EQ(backdrop.size(), QSize(332, 255));
    EXPECT_EQ(backdrop.pixelColor(200, 120), QColor(212, 208, 200));
    EXPECT_NE(backdrop.pixelColor(10, 8), QColor(212, 208, 200));     // left strip
    EXPECT_NE(backdrop.pixelColor(200, 251), QColor(212, 208, 200));  // bottom strip
    EXPECT_EQ(main->windowIcon().pixmap(74, 74).size(), QSize(74, 74));
}

// In every shipped language each caption fits its control at a readable size.
class CaptionsFit : public test::ProgramFixture,
                    public ::testing::WithParamInterface<const char*> {};

TEST_P(CaptionsFit, InEveryControl) {
    WriteConfig(std::string("<language>") + GetParam() +
                "<language><left>500<left><top>500<top>"
                "<image>/<image><save>/<save><author>A<author>");
    Start();
    ASSERT_TRUE(boxes.empty()) << boxes.front();
    auto* convert = Find<QPushButton>("cmdConvert");
    for (const ConversionMethod method :
         {ConversionMethod::Quick, ConversionMethod::Full, ConversionMethod::Exact}) {
        const QString caption = main->ConversionCaption(method);
        SetCaption(convert, caption);
        SCOPED_TRACE(caption.toStdString());
        EXPECT_GE(convert->font().pixelSize(), 9);
        for (const QString& line : convert->text().split('\n')) {
            const int margin =
                convert->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, convert);
            EXPECT_LE(QFontMetrics(convert->font()).horizontalAdvance(line),
                      convert->width() - 2 * margin - 4 - 14);
        }
    }
    SetCaption(convert, main->ConversionCaption(ConversionMethod::Quick));
    for (QWidget* control : main->findChildren<QWidget*>()) {
        const QString text = TextOf(control);
        if (text.isEmpty() || qobject_cast<QLineEdit*>(control)) continue;
        SCOPED_TRACE(control->objectName().toStdString() + ": " + text.toStdString());
        EXPECT_GE(control->font().pixelSize(), 9);
        int room = control->width();
        if (qobject_cast<QCheckBox*>(control)) room -= 20;
        if (qobject_cast<QPushButton*>(control)) room -= 8;
        if (qobject_cast<QGroupBox*>(control)) room -= 24;
        for (const QString& line : text.split('\n')) {
            EXPECT_LE(QFontMetrics(control->font()).horizontalAdvance(line), room);
        }
    }
    // The colour count, at its widest, stands whole between Dither's caption and the output form.
    auto* colours = Find<QSpinBox>("spnColours");
    EXPECT_GE(colours->width(), colours->sizeHint().width());
    EXPECT_GT(colours->geometry().left(), Find("chkDither")->geometry().right());
    EXPECT_LT(colours->geometry().right(), Find("cmbOutputForm")->geometry().left());
    // In Dither's row, below the frame's title as Dither is.
    EXPECT_LE(std::abs(colours->geometry().center().y() - Find("chkDither")->geometry().center().y()),
              1);
    EXPECT_GE(colours->geometry().top(), Find("chkDither")->geometry().top() - 2);
    // The count under Convert, at its longest, fits on one line.
    auto* count = Find<QLabel>("lblQuadCount");
    const QString longest = main->PolygonText({.quadrilaterals = 2888888, .triangles = 888888});
    EXPECT_LE(QFontMetrics(count->font()).horizontalAdvance(longest), count->width())
        << longest.toStdString();
    // The colour sets' and the output forms' names fit their boxes; the colour sets stay
    // clear of Preview, the forms of the options below them.
    for (const char* name : {"cmbColourSet", "cmbOutputForm"}) {
        auto* box = Find<QComboBox>(name);
        for (int i = 0; i < box->count(); ++i) {
            EXPECT_LE(QFontMetrics(box->font()).horizontalAdvance(box->itemText(i)) + 24,
                      box->width())
                << box->itemText(i).toStdString();
        }
    }
    // Each Alt letter of the window, its menus' titles included, takes one control only; so do
    // those within each menu.
    std::map<QChar, QStringList> letters;
    const auto marked = [](const QString& caption) -> std::optional<QChar> {
        for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
            if (caption[i] != '&') continue;
            if (caption[i + 1] != '&') return caption[i + 1].toLower();
            ++i;
        }
        return std::nullopt;
    };
    const auto unique = [](const std::map<QChar, QStringList>& letters) {
        for (const auto& [letter, names] : letters) {
            EXPECT_EQ(names.size(), 1) << "Alt+" << QString(letter).toStdString() << ": "
                                       << names.join(", ").toStdString();
        }
    };
    for (QAction* method : Find<QToolButton>("cmdConvertMethod")->menu()->actions()) {
        // Whichever conversion Convert names.
        SetCaption(convert, method->text());
        for (QWidget* control : main->findChildren<QWidget*>()) {
            if (qobject_cast<QMenu*>(control) || qobject_cast<QLineEdit*>(control)) continue;
            const QString caption = qobject_cast<QAbstractButton*>(control) ? CaptionText(control)
                                                                              : TextOf(control);
            if (const auto letter = marked(caption)) letters[*letter] << control->objectName();
        }
        for (QAction* menu : main->findChild<QMenuBar*>()->actions()) {
            if (const auto letter = marked(menu->text())) letters[*letter] << menu->text();
        }
        unique(letters);
        letters.clear();
    }
    SetCaption(convert, main->ConversionCaption(ConversionMethod::Quick));
    std::vector<QMenu*> menus = {Find<QToolButton>("cmdConvertMethod")->menu()};
    for (QAction* menu : main->findChild<QMenuBar*>()->actions()) menus.push_back(menu->menu());
    for (QMenu* menu : menus) {
        std::map<QChar, QStringList> items;
        for (QAction* item : menu->actions()) {
            if (const auto letter = marked(item->text())) items[*letter] << item->text();
        }
        unique(items);
    }
    auto* sets = Find<QComboBox>("cmbColourSet");
    EXPECT_LE(Find("cmbOutputForm")->geometry().bottom(), Find("txtHeight")->geometry().top());
    EXPECT_LT(sets->geometry().right(), Find("cmdPreview")->geometry().left());
    EXPECT_GT(sets->geometry().left(), Find("chkLDRAWColors")->geometry().right());
    // The two controls the layout table does not have fit at their full size.
    for (const char* name : {"cmbOutputForm", "chkDither"}) {
        EXPECT_EQ(Find(name)->font().pixelSize(), SmallBoldFont().pixelSize()) << name;
    }
    main->close();
}

INSTANTIATE_TEST_SUITE_P(ShippedLanguages, CaptionsFit,
                         ::testing::Values("English", "Italiano", "Spanish", "French", "Deutsch",
                                           "Português"));

}  // namespace
}  // namespace mosaikon
