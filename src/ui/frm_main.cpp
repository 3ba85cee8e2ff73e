#include "ui/frm_main.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <cmath>

#include "shell/failure.h"
#include "shell/language.h"
#include "shell/numbers.h"
#include "ui/artwork.h"
#include "ui/captions.h"
#include "ui/stretched_image.h"
#include "ui/window_placement.h"

namespace mosaikon {

namespace {

constexpr Qt::Alignment kRightTop = Qt::AlignRight | Qt::AlignTop;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

template <typename Control>
Control* Make(QWidget* parent, const QString& name, int left, int top, int width, int height) {
    auto* control = new Control(parent);
    control->setObjectName(name);
    SetTwips(control, left, top, width, height);
    return control;
}

QLabel* MakeLabel(QWidget* parent, const QString& name, const char* caption, const QFont& font,
                  Qt::Alignment alignment, int left, int top, int width, int height) {
    auto* label = Make<QLabel>(parent, name, left, top, width, height);
    label->setAlignment(alignment);
    label->setFocusPolicy(Qt::NoFocus);
    label->setText(caption);
    SetCaptionFont(label, font);
    return label;
}

QLineEdit* MakeBox(QWidget* parent, const QString& name, const char* text, bool centred,
                   bool readOnly, int left, int top, int width, int height) {
    auto* box = Make<QLineEdit>(parent, name, left, top, width, height);
    // Text boxes use the window's default font, not the bold caption font of their frame.
    box->setFont(TextBoxFont());
    box->setTextMargins(-1, 0, -1, 0);  // room for three digits in the narrow colour boxes
    box->setText(text);
    if (centred) box->setAlignment(Qt::AlignCenter);
    box->setReadOnly(readOnly);
    return box;
}

template <typename Button>
Button* MakeButton(QWidget* parent, const char* name, const char* caption, const QFont& font,
                   int left, int top, int width, int height) {
    auto* button = Make<Button>(parent, name, left, top, width, height);
    button->setText(caption);
    SetCaptionFont(button, font);
    if constexpr (std::is_same_v<Button, QPushButton>) button->setAutoDefault(false);
    return button;
}

QGroupBox* MakeFrame(QWidget* parent, const char* name, const char* caption, int left, int top,
                     int width, int height) {
    auto* frame = Make<QGroupBox>(parent, name, left, top, width, height);
    frame->setTitle(caption);
    SetCaptionFont(frame, HeadingFont());
    return frame;
}

}  // namespace

FrmMain::FrmMain(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName("frmMain");
    setWindowTitle("Convert Bitmap to LDRAW Sticker");
    setWindowIcon(QIcon(QPixmap::fromImage(WindowIconImage())));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(TwipsToPixels(10575), TwipsToPixels(7815));
    BuildControls();
    BuildConversionMenu();
    SetTabOrder();
    ConnectHandlers();
}

void FrmMain::BuildControls() {
    const QFont heading = HeadingFont(), small = SmallBoldFont();

    frmBrowse = MakeFrame(this, "frmBrowse", "Select Bitmap Image", 120, 120, 10335, 1215);
    lblImageLocation = MakeLabel(frmBrowse, "lblImageLocation", "Image Location:", heading,
                                 kRightTop, 120, 360, 2115, 240);
    txtImageLocation =
        MakeBox(frmBrowse, "txtImageLocation", "/", false, true, 2280, 360, 6735, 285);
    cmdBrowseOpen =
        MakeButton<QPushButton>(frmBrowse, "cmdBrowseOpen", "Browse", small, 9120, 360, 1095, 300);
    lblSaveLocation = MakeLabel(frmBrowse, "lblSaveLocation", "Save Location:", heading, kRightTop,
                                120, 720, 2160, 240);
    txtSaveLocation = MakeBox(frmBrowse, "txtSaveLocation", "/", false, true, 2280, 720, 6735, 285);
    cmdBrowseSave =
        MakeButton<QPushButton>(frmBrowse, "cmdBrowseSave", "Browse", small, 9120, 720, 1095, 300);

    frmOptions =
        MakeFrame(this, "frmOptions", "Options, Convert, and Save", 120, 1440, 10335, 2055);
    const char* detailCaptions[4] = {
        "Name of Sticker:", "Unique Part ID:", "Author of Image:", "Description Info:"};
    const int detailWidths[4] = {2160, 2175, 2145, 2145};
    for (int i = 0; i < 4; ++i) {
        const int top = 480 + 360 * i;
        lblMetaData[i] =
            MakeLabel(frmOptions, QStringLiteral("lblMetaData(%1)").arg(i), detailCaptions[i],
                      small, kRightTop, 120, top, detailWidths[i], 195);
        txtMetaData[i] = MakeBox(frmOptions, QStringLiteral("txtMetaData(%1)").arg(i), "", false,
                                 false, 2280, top, 1575, 285);
    }
    lblHeight = MakeLabel(frmOptions, "lblHeight", "Adjust Height:", small, kRightTop, 4080, 480,
                          1575, 195);
    txtHeight = MakeBox(frmOptions, "txtHeight", "0", true, false, 5640, 440, 660, 285);
    lblWidth = MakeLabel(frmOptions, "lblWidth", "Width:", small, kRightTop, 6360, 480, 1170, 195);
    txtWidth = MakeBox(frmOptions, "txtWidth", "0", true, true, 7560, 440, 615, 285);
    chkLDRAWColors = MakeButton<QCheckBox>(
        frmOptions, "chkLDRAWColors", "Use only ldraw primary colors", small, 4080, 880, 3495, 195);
    chkIgnoreWhite = MakeButton<QCheckBox>(
        frmOptions, "chkIgnoreWhite", "Ignore White colors within:", small, 4080, 1260, 3465, 195);
    txtWhite = MakeBox(frmOptions, "txtWhite", "10", true, false, 7560, 1200, 615, 285);
    chkIgnoreRGBColor = MakeButton<QCheckBox>(frmOptions, "chkIgnoreRGBColor", "Ignore", small,
                                              4080, 1620, 1155, 195);
    txtRed = MakeBox(frmOptions, "txtRed", "256", true, false, 5280, 1560, 375, 285);
    txtGreen = MakeBox(frmOptions, "txtGreen", "0", true, false, 5760, 1560, 375, 285);
    txtBlue = MakeBox(frmOptions, "txtBlue", "0", true, false, 6240, 1560, 375, 285);
    lblwithin = MakeLabel(frmOptions, "lblwithin", "within:", small, Qt::AlignLeft | Qt::AlignTop,
                          6675, 1600, 830, 255);
    txtColor = MakeBox(frmOptions, "txtColor", "10", true, false, 7560, 1560, 615, 285);
    cmdPreview =
        MakeButton<QPushButton>(frmOptions, "cmdPreview", "Preview", heading, 8400, 400, 1815, 580);
    cmdConvert = MakeButton<QPushButton>(frmOptions, "cmdConvert", "Quick Convert", heading, 8400,
                                         1200, 1815, 640);

    // Not one of the laid-out controls: it fits below the Convert button, inside the frame.
    lblQuadCount = new QLabel(frmOptions);
    lblQuadCount->setObjectName("lblQuadCount");
    lblQuadCount->setGeometry(TwipsToPixels(8400), TwipsToPixels(1200 + 640), TwipsToPixels(1815),
                              13);
    lblQuadCount->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QFont countFont = TextBoxFont();
    countFont.setPixelSize(10);
    lblQuadCount->setFont(countFont);
    lblQuadCount->setFocusPolicy(Qt::NoFocus);

    frmImage = MakeFrame(this, "frmImage", "Original Image", 120, 3600, 4815, 4095);
    imgBitmap = Make<QLabel>(frmImage, "imgBitmap", 120, 240, 4455, 3615);
    imgBitmap->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    frmPreview = MakeFrame(this, "frmPreview", "Sticker Preview", 5040, 3600, 5415, 4095);
    Image1 = Make<QLabel>(frmPreview, "Image1", 160, 230, 4980, 3825);
    Image1->setPixmap(QPixmap::fromImage(BackdropImage()));
    imgPreview = Make<StretchedImage>(frmPreview, "imgPreview", 720, 270, 4455, 3615);
    imgPreview->raise();

    // The first step: only the image location row can be used.
    for (QWidget* control : std::initializer_list<QWidget*>{
             lblSaveLocation, txtSaveLocation, cmdBrowseSave, lblHeight, txtHeight, lblWidth,
             txtWidth, chkLDRAWColors, chkIgnoreWhite, txtWhite, chkIgnoreRGBColor, txtRed,
             txtGreen, txtBlue, lblwithin, txtColor, cmdPreview, cmdConvert}) {
        control->setEnabled(false);
    }
    for (int i = 0; i < 4; ++i) {
        lblMetaData[i]->setEnabled(false);
        txtMetaData[i]->setEnabled(false);
    }
}

void FrmMain::SetTabOrder() {
    // The tab indexes of the controls that take focus, in ascending order.
    const std::initializer_list<QWidget*> order = {
        txtImageLocation,  txtSaveLocation, cmdBrowseSave,  txtMetaData[0],
        txtMetaData[1],    txtMetaData[2],  txtMetaData[3], txtHeight,
        txtWidth,          chkLDRAWColors,  chkIgnoreWhite, txtWhite,
        chkIgnoreRGBColor, txtColor,        cmdPreview,     cmdConvert,
        cmdBrowseOpen,     txtRed,          txtGreen,       txtBlue};
    QWidget* previous = nullptr;
    for (QWidget* control : order) {
        control->setFocusPolicy(Qt::StrongFocus);
        if (previous) QWidget::setTabOrder(previous, control);
        previous = control;
    }
    for (QGroupBox* frame : {frmBrowse, frmOptions, frmImage, frmPreview})
        frame->setFocusPolicy(Qt::NoFocus);
    for (QLabel* image : {imgBitmap, imgPreview, Image1}) image->setFocusPolicy(Qt::NoFocus);
}

void FrmMain::ReadLanguage() {
    QWidget* const captions[] = {
        nullptr,           this,           nullptr,    frmBrowse,  lblImageLocation, cmdBrowseOpen,
        lblSaveLocation,   cmdBrowseSave,  nullptr,    frmOptions, lblMetaData[0],   lblMetaData[1],
        lblMetaData[2],    lblMetaData[3], lblHeight,  lblWidth,   chkLDRAWColors,   chkIgnoreWhite,
        chkIgnoreRGBColor, lblwithin,      cmdPreview, cmdConvert, nullptr,          nullptr,
        frmImage,          nullptr,        frmPreview, nullptr};
    mosaikon::ReadLanguage(state_.shell, state_.config.Language, state_.programFolder,
                           [&](int line, const std::string& text) {
                               if (line == 33) fullCaption_ = Q(text);
                               if (line == 34) exactCaption_ = Q(text);
                               if (line == 35 && text.find("%1") != std::string::npos) {
                                   quadCountFormat_ = Q(text);
                               }
                               if (line >= static_cast<int>(std::size(captions))) return;
                               QWidget* control = captions[line];
                               if (control == this) {
                                   setWindowTitle(Q(text));
                               } else if (control) {
                                   SetCaption(control, Q(text));
                               }
                           });
}

void FrmMain::ApplyLanguageLayout() {
    const std::string& language = state_.config.Language;
    auto place = [](QWidget* control, int left, int width) {
        const QRect old = control->geometry();
        control->setGeometry(TwipsToPixels(left), old.top(), TwipsToPixels(width), old.height());
        FitCaption(control);
    };
    if (language == "French" || language == "Deutsch") {
        place(lblImageLocation, 120, 2745);
        place(lblSaveLocation, 120, 2745);
        place(txtImageLocation, 2888, 5895);
        place(txtSaveLocation, 2880, 5895);
        place(cmdBrowseOpen, 8880, 1335);
        place(cmdBrowseSave, 8880, 1335);
    }
    if (language == "Português") {
        place(lblImageLocation, 120, 1575);
        place(lblSaveLocation, 120, 1575);
        place(txtImageLocation, 1720, 7295);
        place(txtSaveLocation, 1720, 7295);
    }
}

void FrmMain::Form_Load() {
    try {
        WriteLog(state_.shell.log, "frmMain");
        ReadLanguage();
        const AppConfig& config = state_.config;
        QList<QRect> screens;
        for (const QScreen* screen : QGuiApplication::screens()) {
            screens.push_back(screen->availableGeometry());
        }
        move(PlaceOnScreens(QRect(TwipsToPixels(config.WindowLeft), TwipsToPixels(config.WindowTop),
                                  width(), height()),
                            screens));
        if (!config.Author.empty()) state_.DefaultAuthor = config.Author;
        if (!config.ImageLocation.empty()) txtImageLocation->setText(Q(config.ImageLocation));
        if (!config.SaveLocation.empty()) txtSaveLocation->setText(Q(config.SaveLocation));
        ApplyLanguageLayout();
    } catch (...) {
        ReportFailureWithoutLog(state_.shell, "Form_Load", CurrentFailureDescription());
    }
}

void FrmMain::ShowWindow() {
    Form_Load();
    show();
}

void FrmMain::Form_Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    try {
        AppConfig& config = state_.config;
        const double left = pos().x() * 15.0, top = pos().y() * 15.0;
        if (!isMinimized() && left > 1 && left < 10000 && top > 1 && top < 10000) {
            config.WindowLeft = ToInt16(left);
            config.WindowTop = ToInt16(top);
        }
        const std::string author = txtMetaData[2]->text().toStdString();
        config.Author = author.empty() ? state_.DefaultAuthor : author;
        config.ImageLocation = txtImageLocation->text().toStdString();
        config.SaveLocation = txtSaveLocation->text().toStdString();
        WriteConfig(state_.shell, config, state_.ConfigText, state_.programFolder);
        CloseLog(state_.shell.log);
    } catch (...) {
        setEnabled(true);
        while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
        ReportFailureWithoutLog(state_.shell, "Form_Unload", CurrentFailureDescription());
        CloseLog(state_.shell.log);
    }
}

void FrmMain::closeEvent(QCloseEvent* event) {
    if (working_) {  // no closing while a conversion runs
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

}  // namespace mosaikon
