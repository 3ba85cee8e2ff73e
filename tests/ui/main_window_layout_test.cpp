// The main window as laid out: every control's name, kind, frame, text, place, size, enabled
// state and tab order, against the layout table the window is built from (twips, 15 to a pixel).

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QStyle>

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

TEST_F(MainWindowLayoutTest, TabGoesThroughTheControlsByTabIndex) {
    main = std::make_unique<FrmMain>(state);
    std::vector<const ControlLayout*> focusable;
    for (const ControlLayout& row : MainWindowLayout()) {
        if (row.tab >= 0) focusable.push_back(&row);
    }
    std::sort(focusable.begin(), focusable.end(), [](auto* a, auto* b) { return a->tab < b->tab; });
    for (std::size_t i = 0; i + 1 < focusable.size(); ++i) {
        QWidget* next = Find(focusable[i]->name)->nextInFocusChain();
        // The two check boxes the table does not lay out come before Preview, and the choice
        // of the conversion after Convert.
        const auto extra = [](QWidget* w) {
            return w->objectName() == "cmbOutputForm" || w->objectName() == "chkDither" ||
                   w->objectName() == "cmdConvertMethod" || w->objectName() == "cmbColourSet";
        };
        while (!(next->focusPolicy() & Qt::TabFocus) || extra(next)) {
            EXPECT_TRUE(!extra(next) || focusable[i + 1]->name == std::string("cmdPreview") ||
                        focusable[i]->name == std::string("cmdConvert") ||
                        focusable[i]->name == std::string("chkLDRAWColors"));
            next = next->nextInFocusChain();
        }
        EXPECT_EQ(next->objectName(), focusable[i + 1]->name) << "after " << focusable[i]->name;
    }
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
