// The main window as laid out: every control's name, kind, frame, text, place, size, enabled
// state and tab order, against the layout table (twips, 15 to a pixel).

#include <QApplication>
#include <QFontMetrics>
#include <QStyle>

#include "program_fixture.h"
#include "ui/captions.h"

namespace mosaikon {
namespace {

struct ControlRow {
    const char* name;
    const char* kind;  // Qt class
    const char* frame;
    const char* text;
    int left, top, width, height;
    int tab;  // -1: takes no focus
    bool enabled;
};

const ControlRow kLayout[] = {
    {"frmBrowse", "QGroupBox", "frmMain", "Select Bitmap Image", 120, 120, 10335, 1215, -1, true},
    {"frmOptions", "QGroupBox", "frmMain", "Options, Convert, and Save", 120, 1440, 10335, 2055, -1,
     true},
    {"frmImage", "QGroupBox", "frmMain", "Original Image", 120, 3600, 4815, 4095, -1, true},
    {"frmPreview", "QGroupBox", "frmMain", "Sticker Preview", 5040, 3600, 5415, 4095, -1, true},
    {"lblImageLocation", "QLabel", "frmBrowse", "Image Location:", 120, 360, 2115, 240, -1, true},
    {"txtImageLocation", "QLineEdit", "frmBrowse", "/", 2280, 360, 6735, 285, 1, true},
    {"cmdBrowseOpen", "QPushButton", "frmBrowse", "Browse", 9120, 360, 1095, 300, 18, true},
    {"lblSaveLocation", "QLabel", "frmBrowse", "Save Location:", 120, 720, 2160, 240, -1, false},
    {"txtSaveLocation", "QLineEdit", "frmBrowse", "/", 2280, 720, 6735, 285, 3, false},
    {"cmdBrowseSave", "QPushButton", "frmBrowse", "Browse", 9120, 720, 1095, 300, 4, false},
    {"lblMetaData(0)", "QLabel", "frmOptions", "Name of Sticker:", 120, 480, 2160, 195, -1, false},
    {"lblMetaData(1)", "QLabel", "frmOptions", "Unique Part ID:", 120, 840, 2175, 195, -1, false},
    {"lblMetaData(2)", "QLabel", "frmOptions", "Author of Image:", 120, 1200, 2145, 195, -1, false},
    {"lblMetaData(3)", "QLabel", "frmOptions", "Description Info:", 120, 1560, 2145, 195, -1,
     false},
    {"txtMetaData(0)", "QLineEdit", "frmOptions", "", 2280, 480, 1575, 285, 5, false},
    {"txtMetaData(1)", "QLineEdit", "frmOptions", "", 2280, 840, 1575, 285, 6, false},
    {"txtMetaData(2)", "QLineEdit", "frmOptions", "", 2280, 1200, 1575, 285, 7, false},
    {"txtMetaData(3)", "QLineEdit", "frmOptions", "", 2280, 1560, 1575, 285, 8, false},
    {"lblHeight", "QLabel", "frmOptions", "Adjust Height:", 4080, 480, 1575, 195, -1, false},
    {"txtHeight", "QLineEdit", "frmOptions", "0", 5640, 440, 660, 285, 9, false},
    {"lblWidth", "QLabel", "frmOptions", "Width:", 6360, 480, 1170, 195, -1, false},
    {"txtWidth", "QLineEdit", "frmOptions", "0", 7560, 440, 615, 285, 10, false},
    {"chkLDRAWColors", "QCheckBox", "frmOptions", "Use only ldraw primary colors", 4080, 880, 3495,
     195, 11, false},
    {"chkIgnoreWhite", "QCheckBox", "frmOptions", "Ignore White colors within:", 4080, 1260, 3465,
     195, 12, false},
    {"txtWhite", "QLineEdit", "frmOptions", "10", 7560, 1200, 615, 285, 13, false},
    {"chkIgnoreRGBColor", "QCheckBox", "frmOptions", "Ignore", 4080, 1620, 1155, 195, 14, false},
    {"txtRed", "QLineEdit", "frmOptions", "256", 5280, 1560, 375, 285, 30, false},
    {"txtGreen", "QLineEdit", "frmOptions", "0", 5760, 1560, 375, 285, 31, false},
    {"txtBlue", "QLineEdit", "frmOptions", "0", 6240, 1560, 375, 285, 32, false},
    {"lblwithin", "QLabel", "frmOptions", "within:", 6675, 1600, 830, 255, -1, false},
    {"txtColor", "QLineEdit", "frmOptions", "10", 7560, 1560, 615, 285, 15, false},
    {"cmdPreview", "QPushButton", "frmOptions", "Preview", 8400, 400, 1815, 580, 16, false},
    {"cmdConvert", "QPushButton", "frmOptions", "Quick Convert", 8400, 1200, 1815, 640, 17, false},
    {"imgBitmap", "QLabel", "frmImage", "", 120, 240, 4455, 3615, -1, true},
    {"imgPreview", "QLabel", "frmPreview", "", 720, 270, 4455, 3615, -1, true},
    {"Image1", "QLabel", "frmPreview", "", 160, 230, 4980, 3825, -1, true},
};

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

class MainWindowLayout : public test::ProgramFixture {};

TEST_F(MainWindowLayout, EveryControlStandsWhereTheTableSays) {
    main = std::make_unique<FrmMain>(state);
    EXPECT_EQ(main->objectName(), "frmMain");
    EXPECT_EQ(main->windowTitle(), "Convert Bitmap to LDRAW Sticker");
    EXPECT_EQ(main->size(), QSize(705, 521));
    for (const ControlRow& row : kLayout) {
        SCOPED_TRACE(row.name);
        QWidget* control = Find(row.name);
        ASSERT_NE(control, nullptr);
        EXPECT_TRUE(control->inherits(row.kind)) << control->metaObject()->className();
        EXPECT_EQ(control->parentWidget()->objectName(), row.frame);
        EXPECT_EQ(TextOf(control), row.text);
        EXPECT_EQ(control->geometry(),
                  QRect(Pixels(row.left), Pixels(row.top), Pixels(row.width), Pixels(row.height)));
        EXPECT_EQ(control->isEnabled(), row.enabled);
        EXPECT_EQ(control->focusPolicy() != Qt::NoFocus, row.tab >= 0);
    }
    EXPECT_FALSE(Find<QCheckBox>("chkLDRAWColors")->isChecked());
    EXPECT_TRUE(Find<QLineEdit>("txtImageLocation")->isReadOnly());
    EXPECT_TRUE(Find<QLineEdit>("txtSaveLocation")->isReadOnly());
    EXPECT_TRUE(Find<QLineEdit>("txtWidth")->isReadOnly());
    EXPECT_FALSE(Find<QLineEdit>("txtHeight")->isReadOnly());
    EXPECT_EQ(Find<QLineEdit>("txtHeight")->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    EXPECT_EQ(Find<QLabel>("lblHeight")->alignment() & Qt::AlignRight, Qt::AlignRight);
    EXPECT_EQ(Find<QLabel>("lblwithin")->alignment() & Qt::AlignLeft, Qt::AlignLeft);
    EXPECT_TRUE(Find<QLabel>("imgPreview")->hasScaledContents());
    EXPECT_FALSE(Find<QLabel>("imgBitmap")->hasScaledContents());
}

TEST_F(MainWindowLayout, TabGoesThroughTheControlsByTabIndex) {
    main = std::make_unique<FrmMain>(state);
    std::vector<const ControlRow*> focusable;
    for (const ControlRow& row : kLayout) {
        if (row.tab >= 0) focusable.push_back(&row);
    }
    std::sort(focusable.begin(), focusable.end(), [](auto* a, auto* b) { return a->tab < b->tab; });
    for (std::size_t i = 0; i + 1 < focusable.size(); ++i) {
        QWidget* next = Find(focusable[i]->name)->nextInFocusChain();
        while (next->focusPolicy() == Qt::NoFocus) next = next->nextInFocusChain();
        EXPECT_EQ(next->objectName(), focusable[i + 1]->name) << "after " << focusable[i]->name;
    }
}

TEST_F(MainWindowLayout, FontsAreTheHeadingAndTheSmallBoldFont) {
    main = std::make_unique<FrmMain>(state);
    for (const char* name :
         {"frmBrowse", "cmdPreview", "cmdConvert", "lblImageLocation", "lblSaveLocation"}) {
        EXPECT_TRUE(Find(name)->font().bold()) << name;
        EXPECT_EQ(Find(name)->font().pixelSize(), 13) << name;
    }
    for (const char* name : {"cmdBrowseOpen", "chkIgnoreWhite", "lblMetaData(0)", "lblwithin"}) {
        EXPECT_TRUE(Find(name)->font().bold()) << name;
        EXPECT_EQ(Find(name)->font().pixelSize(), 11) << name;
    }
    EXPECT_FALSE(Find("txtHeight")->font().bold());
    EXPECT_FALSE(Find("txtImageLocation")->font().bold());
}

TEST_F(MainWindowLayout, TheBackdropIsTheGreyFieldWithItsBrickStrips) {
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
    for (const QString& caption :
         {QString("Quick Convert"), main->FullCaption(), main->ExactCaption()}) {
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
    SetCaption(convert, "Quick Convert");
    for (QWidget* control : main->findChildren<QWidget*>()) {
        const QString text = TextOf(control);
        if (text.isEmpty() || qobject_cast<QLineEdit*>(control)) continue;
        SCOPED_TRACE(control->objectName().toStdString() + ": " + text.toStdString());
        EXPECT_GE(control->font().pixelSize(), 9);
        int room = control->width();
        if (qobject_cast<QCheckBox*>(control)) room -= 20;
        if (qobject_cast<QPushButton*>(control)) room -= 8;
        if (qobject_cast<QGroupBox*>(control)) room -= 24;
        EXPECT_LE(QFontMetrics(control->font()).horizontalAdvance(text), room);
    }
    main->close();
}

INSTANTIATE_TEST_SUITE_P(ShippedLanguages, CaptionsFit,
                         ::testing::Values("English", "Italiano", "Spanish", "French", "Deutsch",
                                           "Português"));

}  // namespace
}  // namespace mosaikon
