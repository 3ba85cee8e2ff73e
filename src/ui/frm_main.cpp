#include "ui/frm_main.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <cmath>
#include <utility>

#include "shell/failure.h"
#include "shell/language.h"
#include "shell/numbers.h"
#include "ui/artwork.h"
#include "ui/captions.h"
#include "ui/main_window_layout.h"
#include "ui/stretched_image.h"
#include "ui/window_placement.h"

namespace mosaikon {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QFont FontOf(CaptionFont font) {
    switch (font) {
        case CaptionFont::Heading:
            return HeadingFont();
        case CaptionFont::SmallBold:
            return SmallBoldFont();
        case CaptionFont::Text:
            break;
    }
    return TextBoxFont();
}

// One control of the layout table, made in its frame.
QWidget* MakeControl(const ControlLayout& row, QWidget* parent) {
    QWidget* control = nullptr;
    switch (row.kind) {
        case ControlKind::Frame: {
            auto* frame = new QGroupBox(parent);
            frame->setTitle(row.text);
            control = frame;
            break;
        }
        case ControlKind::Label: {
            auto* label = new QLabel(parent);
            label->setAlignment((row.alignLeft ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignTop);
            label->setText(row.text);
            control = label;
            break;
        }
        case ControlKind::TextBox: {
            auto* box = new QLineEdit(parent);
            box->setFont(TextBoxFont());
            box->setTextMargins(-1, 0, -1, 0);  // room for three digits in the narrow boxes
            box->setText(row.text);
            if (row.centred) box->setAlignment(Qt::AlignCenter);
            box->setReadOnly(row.readOnly);
            control = box;
            break;
        }
        case ControlKind::CheckBox:
            control = new QCheckBox(row.text, parent);
            break;
        case ControlKind::Button: {
            auto* button = new QPushButton(row.text, parent);
            button->setAutoDefault(false);
            control = button;
            break;
        }
        case ControlKind::Image:
            control = new QLabel(parent);
            static_cast<QLabel*>(control)->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            break;
        case ControlKind::Preview:
            control = new StretchedImage(parent);
            break;
    }
    control->setObjectName(row.name);
    SetTwips(control, row.left, row.top, row.width, row.height);
    if (row.kind != ControlKind::TextBox && row.kind != ControlKind::Image &&
        row.kind != ControlKind::Preview) {
        SetCaptionFont(control, FontOf(row.font));
    }
    control->setEnabled(row.enabled);
    control->setFocusPolicy(row.tab >= 0 ? Qt::StrongFocus : Qt::NoFocus);
    return control;
}

}  // namespace

FrmMain::FrmMain(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName("frmMain");
    setWindowTitle("Convert Bitmap to LDRAW Sticker");
    setWindowIcon(QIcon(QPixmap::fromImage(WindowIconImage())));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(TwipsToPixels(kMainWindowWidth), TwipsToPixels(kMainWindowHeight));
    setAcceptDrops(true);
    BuildControls();
    FindControls();
    BuildConversionMenu();
    SetTabOrder();
    ConnectHandlers();
}

void FrmMain::BuildControls() {
    for (const ControlLayout& row : MainWindowLayout()) {
        QWidget* frame = *row.frame ? findChild<QWidget*>(row.frame) : this;
        MakeControl(row, frame);
    }
}

void FrmMain::FindControls() {
    auto find = [this](auto*& control, const QString& name) {
        control = findChild<std::remove_reference_t<decltype(*control)>*>(name);
        Q_ASSERT(control);
    };
    find(frmBrowse, "frmBrowse"), find(frmOptions, "frmOptions");
    find(frmImage, "frmImage"), find(frmPreview, "frmPreview");
    find(lblImageLocation, "lblImageLocation"), find(lblSaveLocation, "lblSaveLocation");
    find(txtImageLocation, "txtImageLocation"), find(txtSaveLocation, "txtSaveLocation");
    find(cmdBrowseOpen, "cmdBrowseOpen"), find(cmdBrowseSave, "cmdBrowseSave");
    for (int i = 0; i < 4; ++i) {
        find(lblMetaData[i], QStringLiteral("lblMetaData(%1)").arg(i));
        find(txtMetaData[i], QStringLiteral("txtMetaData(%1)").arg(i));
    }
    find(lblHeight, "lblHeight"), find(lblWidth, "lblWidth"), find(lblwithin, "lblwithin");
    find(txtHeight, "txtHeight"), find(txtWidth, "txtWidth"), find(txtWhite, "txtWhite");
    find(txtColor, "txtColor"), find(txtRed, "txtRed"), find(txtGreen, "txtGreen");
    find(txtBlue, "txtBlue");
    find(chkLDRAWColors, "chkLDRAWColors"), find(chkIgnoreWhite, "chkIgnoreWhite");
    find(chkIgnoreRGBColor, "chkIgnoreRGBColor");
    find(cmdPreview, "cmdPreview"), find(cmdConvert, "cmdConvert");
    find(imgBitmap, "imgBitmap"), find(imgPreview, "imgPreview"), find(Image1, "Image1");
    // A label's marked letter (its caption's "&") takes the focus to its box with Alt.
    lblImageLocation->setBuddy(txtImageLocation);
    lblSaveLocation->setBuddy(txtSaveLocation);
    for (int i = 0; i < 4; ++i) lblMetaData[i]->setBuddy(txtMetaData[i]);
    lblHeight->setBuddy(txtHeight);
    Image1->setPixmap(QPixmap::fromImage(BackdropImage()));
    imgPreview->raise();

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

    // Not laid out either: in the free strip below the options frame's title, over the options.
    chkLDrawSticker = new QCheckBox("LDraw library sticker (flat, with backing)", frmOptions);
    chkLDrawSticker->setObjectName("chkLDrawSticker");
    SetTwips(chkLDrawSticker, 4080, 230, 4095, 195);
    SetCaptionFont(chkLDrawSticker, SmallBoldFont());
    chkLDrawSticker->setEnabled(false);
    chkDither = new QCheckBox("Dither reduced colours", frmOptions);
    chkDither->setObjectName("chkDither");
    SetTwips(chkDither, 120, 230, 3735, 195);
    SetCaptionFont(chkDither, SmallBoldFont());
}

void FrmMain::SetTabOrder() {
    std::vector<const ControlLayout*> focusable;
    for (const ControlLayout& row : MainWindowLayout()) {
        if (row.tab >= 0) focusable.push_back(&row);
    }
    std::sort(focusable.begin(), focusable.end(),
              [](const ControlLayout* a, const ControlLayout* b) { return a->tab < b->tab; });
    QWidget* previous = nullptr;
    for (const ControlLayout* row : focusable) {
        QWidget* control = findChild<QWidget*>(row->name);
        if (previous) QWidget::setTabOrder(previous, control);
        previous = control;
    }
    QWidget::setTabOrder(txtColor, chkDither);
    QWidget::setTabOrder(chkDither, chkLDrawSticker);
    QWidget::setTabOrder(chkLDrawSticker, cmdPreview);
}

QString FrmMain::ConversionCaption(ConversionMethod method) const {
    return methodCaptions_[static_cast<std::size_t>(method)];
}

void FrmMain::ReadLanguage() {
    QWidget* const captions[] = {
        nullptr,           this,           nullptr,    frmBrowse,  lblImageLocation, cmdBrowseOpen,
        lblSaveLocation,   cmdBrowseSave,  nullptr,    frmOptions, lblMetaData[0],   lblMetaData[1],
        lblMetaData[2],    lblMetaData[3], lblHeight,  lblWidth,   chkLDRAWColors,   chkIgnoreWhite,
        chkIgnoreRGBColor, lblwithin,      cmdPreview, nullptr,    nullptr,          nullptr,
        frmImage,          nullptr,        frmPreview, nullptr};
    mosaikon::ReadLanguage(state_.shell, state_.config.Language, state_.programFolder,
                           [&](int line, const std::string& text) {
                               // The conversions' captions (21, 33, 34) and tips (36 to 38).
                               if (line == 21) methodCaptions_[0] = Q(text);
                               if (line == 33) methodCaptions_[1] = Q(text);
                               if (line == 34) methodCaptions_[2] = Q(text);
                               if (line >= 36 && line <= 38) methodTips_[line - 36] = Q(text);
                               if (line == 39) SetCaption(chkLDrawSticker, Q(text));
                               if (line == 40) SetCaption(chkDither, Q(text));
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
    for (std::size_t i = 0; i < methodActions_.size(); ++i) {
        methodActions_[i]->setText(methodCaptions_[i]);
        methodActions_[i]->setToolTip(methodTips_[i]);
    }
    SetMethod(window_.method);
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
        chkLDrawSticker->setChecked(config.LdrawSticker);
        ApplyLanguageLayout();
    } catch (...) {
        ReportFailureWithoutLog(state_.shell, "Form_Load", CurrentFailureDescription());
    }
}

void FrmMain::ShowWindow() {
    Form_Load();
    show();
    if (pendingPicture_.isEmpty()) return;
    const QString path = std::exchange(pendingPicture_, QString());
    try {
        WriteLog(state_.shell.log, "Opened from the command line: " + path.toStdString());
        OpenPicture(QFileInfo(path).absoluteFilePath());
    } catch (...) {
        ReportFailure(state_.shell, "cmdBrowseOpen_Click", "ERROR BROWSE OPEN ",
                      CurrentFailureDescription());
    }
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
        config.LdrawSticker = chkLDrawSticker->isChecked();
        if (!state_.settingsReadOnly) {
            WriteConfig(state_.shell, config, state_.ConfigText, state_.programFolder);
        }
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
