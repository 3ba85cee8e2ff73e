#include "ui/frm_main.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QProgressBar>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

#include "shell/failure.h"
#include "shell/limits.h"
#include "shell/language.h"
#include "shell/numbers.h"
#include "ui/artwork.h"
#include "ui/captions.h"
#include "ui/frm_language.h"
#include "ui/main_window_layout.h"
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
QWidget* MakeControl(const ControlLayout& row, QWidget* parent, ViewTransform* transform) {
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
        case ControlKind::View:
            control = new PictureView(transform, parent);
            break;
    }
    control->setObjectName(row.name);
    SetTwips(control, row.left, row.top, row.width, row.height);
    if (row.kind != ControlKind::TextBox && row.kind != ControlKind::Image &&
        row.kind != ControlKind::View) {
        SetCaptionFont(control, FontOf(row.font));
    }
    control->setEnabled(row.enabled);
    // The picture boxes take the focus when clicked, for their keys, but Tab passes them by.
    control->setFocusPolicy(row.tab >= 0                    ? Qt::StrongFocus
                            : row.kind == ControlKind::View ? Qt::ClickFocus
                                                            : Qt::NoFocus);
    return control;
}

}  // namespace

FrmMain::FrmMain(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName("frmMain");
    setWindowTitle("Convert Bitmap to LDRAW Sticker");
    setWindowIcon(QIcon(QPixmap::fromImage(WindowIconImage())));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setAcceptDrops(true);
    BuildControls();
    FindControls();
    BuildConversionMenu();
    BuildMenuBar();
    // The client area, laid out as the table says, starts below the menu bar.
    clientTop_ = menuBar_->sizeHint().height();
    for (const ControlLayout& row : MainWindowLayout()) {
        if (*row.frame) continue;
        QWidget* frame = findChild<QWidget*>(row.name);
        frame->move(frame->x(), frame->y() + clientTop_);
    }
    lblStickerStats->setGeometry(TwipsToPixels(120), clientTop_ + TwipsToPixels(kMainWindowHeight),
                                 TwipsToPixels(10335), 18);
    // At the status line's right end, while the view's sticker is worked out.
    barWorking->setGeometry(lblStickerStats->geometry().right() - 150,
                            lblStickerStats->geometry().y() + 2, 150, 14);
    SetTabOrder();
    ConnectHandlers();
    // The client area as laid out is the least the window takes; it grows from there.
    const QSize least(TwipsToPixels(kMainWindowWidth),
                      ClientTop() + TwipsToPixels(kMainWindowHeight) + lblStickerStats->height());
    setMinimumSize(least);
    resize(least);
    for (QWidget* child : findChildren<QWidget*>()) base_[child] = child->geometry();
    worker_ = std::make_unique<StickerWorker>(
        [this](const StickerResult& result) { ShowSticker(result); }, this,
        [this](int percent) { ShowViewProgress(percent); });
    viewTimer_ = new QTimer(this);
    viewTimer_->setSingleShot(true);
    connect(viewTimer_, &QTimer::timeout, this, &FrmMain::RequestSticker);
}

FrmMain::~FrmMain() = default;

int FrmMain::ClientTop() const {
    return clientTop_;
}

void FrmMain::BuildControls() {
    menuBar_ = new QMenuBar(this);
    menuBar_->setObjectName("menuBar");
    for (const ControlLayout& row : MainWindowLayout()) {
        QWidget* frame = *row.frame ? findChild<QWidget*>(row.frame) : this;
        MakeControl(row, frame, &transform_);
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
    connect(&transform_, &ViewTransform::changed, this, [this] {
        // Zooming moves both boxes alike; no picture box is left behind.
        imgBitmap->update();
        imgPreview->update();
    });

    // Below the frames: the polygons and size of the sticker as it would be written now.
    lblStickerStats = new QLabel(this);
    lblStickerStats->setObjectName("lblStickerStats");
    lblStickerStats->setFont(TextBoxFont());
    lblStickerStats->setFocusPolicy(Qt::NoFocus);
    barWorking = new QProgressBar(this);
    barWorking->setObjectName("barWorking");
    barWorking->setRange(0, 100);
    barWorking->setTextVisible(false);
    barWorking->setFocusPolicy(Qt::NoFocus);
    barWorking->hide();

    // Not one of the laid-out controls: it fits below the Convert button, inside the frame.
    lblQuadCount = new QLabel(frmOptions);
    lblQuadCount->setObjectName("lblQuadCount");
    // Below the ignore options too, so that a count of quadrilaterals and triangles fits on one
    // line, ending under the button.
    lblQuadCount->setGeometry(TwipsToPixels(4080), TwipsToPixels(1200 + 650),
                              TwipsToPixels(8400 + 1815 - 4080), 13);
    lblQuadCount->setAlignment(Qt::AlignRight | Qt::AlignTop);
    QFont countFont = TextBoxFont();
    countFont.setPixelSize(10);
    lblQuadCount->setFont(countFont);
    lblQuadCount->setFocusPolicy(Qt::NoFocus);

    // Not laid out either: in the free strip below the options frame's title, over the options.
    cmbOutputForm = new QComboBox(frmOptions);
    cmbOutputForm->setObjectName("cmbOutputForm");
    SetTwips(cmbOutputForm, 4080, 120, 4095, 195);
    cmbOutputForm->setFixedHeight(TwipsToPixels(300));
    cmbOutputForm->setFont(SmallBoldFont());
    cmbOutputForm->addItem(UiTexts::English(UiText::FormClassic));
    cmbOutputForm->addItem("LDraw library sticker (flat, with backing)");
    cmbOutputForm->addItem(UiTexts::English(UiText::FormTextured));
    cmbOutputForm->setToolTip(UiTexts::English(UiText::FormTip));
    cmbOutputForm->setEnabled(false);
    // Beside the primary colours check box, in the room its caption leaves (PlaceColourSet).
    cmbColourSet = new QComboBox(frmOptions);
    cmbColourSet->setObjectName("cmbColourSet");
    cmbColourSet->setFont(TextBoxFont());
    for (const UiText set : {UiText::ColoursDirect, UiText::ColoursCore, UiText::ColoursAll}) {
        cmbColourSet->addItem(UiTexts::English(set));
    }
    cmbColourSet->setEnabled(false);
    chkDither = new QCheckBox("Dither reduced colours", frmOptions);
    chkDither->setObjectName("chkDither");
    SetTwips(chkDither, 120, 230, 3735, 195);
    SetCaptionFont(chkDither, SmallBoldFont());
    // Right after Dither's caption, in the strip before the output form (PlaceColourCount).
    spnColours = new QSpinBox(frmOptions);
    spnColours->setObjectName("spnColours");
    spnColours->setRange(2, 256);
    spnColours->setValue(256);
    spnColours->setFont(SmallBoldFont());
    spnColours->setAccelerated(true);
}

// Tab follows the layout: frame by frame from the top, and within a frame column by column from
// the left (the options frame has three: the details, the options, the buttons), each from the
// top, left to right in a row; the conversion's arrow comes right after Convert.
void FrmMain::SetTabOrder() {
    std::vector<QWidget*> focusable;
    for (const ControlLayout& row : MainWindowLayout()) {
        if (row.tab >= 0) focusable.push_back(findChild<QWidget*>(row.name));
    }
    for (QWidget* extra : std::initializer_list<QWidget*>{chkDither, cmbOutputForm}) {
        focusable.push_back(extra);
    }
    const auto place = [this](QWidget* control) {
        const QWidget* frame = control->parentWidget();
        const QPoint at = control->mapTo(this, QPoint(0, 0));
        const QPoint frameAt = frame->mapTo(this, QPoint(0, 0));
        const int x = at.x() - frameAt.x();
        const int column = frame != frmOptions ? 0 : x < TwipsToPixels(4080) ? 0 : x < TwipsToPixels(8400) ? 1 : 2;
        // Controls whose middles are within a few pixels stand in one row.
        const int row = (at.y() + control->height() / 2) / 12;
        return std::tuple(frameAt.y(), frameAt.x(), column, row, at.x());
    };
    std::stable_sort(focusable.begin(), focusable.end(),
                     [&](QWidget* a, QWidget* b) { return place(a) < place(b); });
    // The colour set, placed beside the primary colours' caption as long as it is, follows it.
    focusable.insert(std::find(focusable.begin(), focusable.end(), chkLDRAWColors) + 1, cmbColourSet);
    // The colour count, right after Dither's caption, follows it.
    focusable.insert(std::find(focusable.begin(), focusable.end(), chkDither) + 1, spnColours);
    for (std::size_t i = 0; i + 1 < focusable.size(); ++i) {
        QWidget::setTabOrder(focusable[i], focusable[i + 1]);
    }
    QWidget::setTabOrder(cmdConvert, cmdConvertMethod);
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
                               if (line == 39) {
                                   // A choice has no marked letter.
                                   cmbOutputForm->setItemText(1, Q(text).remove('&'));
                               }
                               if (line == 40) SetCaption(chkDither, Q(text));
                               if (line == 35 && text.find("%1") != std::string::npos) {
                                   quadCountFormat_ = Q(text);
                               }
                               texts_.Take(line, Q(text));
                               if (line >= static_cast<int>(std::size(captions))) return;
                               QWidget* control = captions[line];
                               if (control == this) {
                                   setWindowTitle(Q(text));
                               } else if (control) {
                                   SetCaption(control, Q(text));
                               }
                           });
    methodCaptions_[3] = texts_(UiText::VectorCaption);
    methodTips_[3] = texts_(UiText::VectorTip);
    for (std::size_t i = 0; i < methodActions_.size(); ++i) {
        methodActions_[i]->setText(methodCaptions_[i]);
        methodActions_[i]->setToolTip(methodTips_[i]);
    }
    shapesAction_->setText(texts_(UiText::ShapesCaption));
    shapesAction_->setToolTip(texts_(UiText::ShapesTip));
    if (shapes_) {
        SetShapes();
    } else {
        SetMethod(window_.method);
    }
    cmdConvertMethod->setToolTip(texts_(UiText::ChooseConversion));
    viewMenu_->setTitle(texts_(UiText::ViewMenu));
    viewActions_[0]->setText(texts_(UiText::ZoomIn));
    viewActions_[1]->setText(texts_(UiText::ZoomOut));
    viewActions_[2]->setText(texts_(UiText::FitView));
    actionOutlines_->setText(texts_(UiText::ShowOutlines));
    actionFallback_->setText(texts_(UiText::ShowFallback));
    settingsMenu_->setTitle(texts_(UiText::SettingsMenu));
    const UiText sets[] = {UiText::ColoursDirect, UiText::ColoursCore, UiText::ColoursAll};
    for (int i = 0; i < 3; ++i) cmbColourSet->setItemText(i, texts_(sets[i]));
    cmbColourSet->setToolTip(texts_(UiText::ColoursTip));
    PlaceColourSet();
    {
        const QString format = texts_(UiText::ColourCount);
        const qsizetype at = format.indexOf("%1");
        spnColours->setPrefix(at < 0 ? QString() : format.left(at));
        spnColours->setSuffix(at < 0 ? " " + format : format.mid(at + 2));
        spnColours->setToolTip(texts_(UiText::ColourCountTip));
    }
    PlaceColourCount();
    actionLanguage_->setText(texts_(UiText::LanguageItem));
    actionVector_->setText(texts_(UiText::VectorItem));
    actionLibrary_->setText(texts_(UiText::LibraryItem));
    actionLibrary_->setToolTip(texts_(UiText::LibraryTip));
    cmbOutputForm->setItemText(0, texts_(UiText::FormClassic));
    cmbOutputForm->setItemText(2, texts_(UiText::FormTextured));
    cmbOutputForm->setToolTip(texts_(UiText::FormTip));
    // The procedures' failure reports and the colour-reduction warning, in the same language.
    MessageTexts& messages = state_.shell.messages;
    if (texts_(UiText::CausedAnError).contains("%2")) {
        messages.CausedAnError = texts_(UiText::CausedAnError).toStdString();
    }
    messages.MsgColoursKept = texts_(UiText::ColoursKept).toStdString();
}

void FrmMain::ChangeLanguage(const std::string& language) {
    state_.config.Language = language;
    texts_ = UiTexts();
    for (const ControlLayout& row : MainWindowLayout()) {
        if (std::string(row.frame) == "frmBrowse") {
            QWidget* control = findChild<QWidget*>(row.name);
            base_[control] = TwipsRect(row.left, row.top, row.width, row.height);
        }
    }
    ReadLanguage();
    ApplyLanguageLayout();
    LayOut();
    if (window_.quadCount) {
        lblQuadCount->setText(
            quadCountFormat_.arg(QLocale().toString(static_cast<qulonglong>(*window_.quadCount))));
    }
    if (sticker_) ShowSticker(*sticker_);
}

void FrmMain::ApplyLanguageLayout() {
    const std::string& language = state_.config.Language;
    auto place = [this](QWidget* control, int left, int width) {
        QRect& base = base_[control];
        base = QRect(TwipsToPixels(left), base.top(), TwipsToPixels(width), base.height());
        control->setGeometry(base);
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

QRect FrmMain::TwipsRect(int left, int top, int width, int height) const {
    return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                 TwipsToPixels(height));
}

void FrmMain::BuildMenuBar() {
    viewMenu_ = menuBar_->addMenu(texts_(UiText::ViewMenu));
    viewMenu_->setObjectName("viewMenu");
    const auto zoom = [this](double factor) {
        const QSize picture =
            !imgPreview->IsEmpty() ? imgPreview->PictureSize() : imgBitmap->PictureSize();
        if (picture.isEmpty()) return;
        transform_.Set(transform_.Zoom() * factor, transform_.Centre());
    };
    viewActions_[0] = viewMenu_->addAction(texts_(UiText::ZoomIn), this, [zoom] { zoom(1.25); });
    viewActions_[0]->setShortcuts({QKeySequence::ZoomIn, QKeySequence("Ctrl+=")});
    viewActions_[1] = viewMenu_->addAction(texts_(UiText::ZoomOut), this, [zoom] { zoom(0.8); });
    viewActions_[1]->setShortcut(QKeySequence::ZoomOut);
    viewActions_[2] = viewMenu_->addAction(texts_(UiText::FitView), this, [this] {
        transform_.Fit(!imgPreview->IsEmpty() ? imgPreview->PictureSize()
                                              : imgBitmap->PictureSize());
    });
    viewActions_[2]->setShortcut(QKeySequence("Ctrl+0"));
    const char* viewNames[] = {"actionZoomIn", "actionZoomOut", "actionFitView"};
    for (std::size_t i = 0; i < viewActions_.size(); ++i)
        viewActions_[i]->setObjectName(viewNames[i]);
    viewMenu_->addSeparator();
    actionOutlines_ = viewMenu_->addAction(texts_(UiText::ShowOutlines));
    actionOutlines_->setObjectName("actionOutlines");
    actionOutlines_->setCheckable(true);
    actionOutlines_->setShortcut(QKeySequence("Ctrl+L"));
    connect(actionOutlines_, &QAction::toggled, imgPreview, &PictureView::SetOutlines);
    actionFallback_ = viewMenu_->addAction(texts_(UiText::ShowFallback));
    actionFallback_->setObjectName("actionShowFallback");
    actionFallback_->setCheckable(true);
    actionFallback_->setEnabled(false);
    connect(actionFallback_, &QAction::toggled, imgPreview, &PictureView::SetFallbackShown);
    settingsMenu_ = menuBar_->addMenu(texts_(UiText::SettingsMenu));
    settingsMenu_->setObjectName("settingsMenu");
    actionLanguage_ = settingsMenu_->addAction(texts_(UiText::LanguageItem));
    actionLanguage_->setObjectName("actionLanguage");
    connect(actionLanguage_, &QAction::triggered, this, [this] {
        const std::string before = state_.config.Language;
        languagePicker_ = std::make_unique<FrmLanguage>(state_, [this, before] {
            // Only a language taken with OK (or Enter) changes anything.
            if (state_.config.Language != before) {
                ChangeLanguage(state_.config.Language);
            }
        });
        languagePicker_->ChooseFrom(before);
        languagePicker_->setWindowModality(Qt::ApplicationModal);
        languagePicker_->show();
    });
    actionVector_ = settingsMenu_->addAction(texts_(UiText::VectorItem));
    actionVector_->setObjectName("actionVectorSettings");
    connect(actionVector_, &QAction::triggered, this, &FrmMain::ChooseVectorSettings);
    actionLibrary_ = settingsMenu_->addAction(texts_(UiText::LibraryItem));
    actionLibrary_->setObjectName("actionSaveIntoLibrary");
    actionLibrary_->setCheckable(true);
    actionLibrary_->setToolTip(texts_(UiText::LibraryTip));
    settingsMenu_->setToolTipsVisible(true);
    connect(actionLibrary_, &QAction::triggered, this, &FrmMain::ChooseLibrary);
    menuBar_->setGeometry(0, 0, TwipsToPixels(kMainWindowWidth), menuBar_->sizeHint().height());
}

// Saving into the LDraw library: turned on, it asks for the library's folder (the one chosen
// before, else $LDRAWDIR, else home) and the Save dialog opens in its unofficial/parts folder,
// made where it is missing; the texture of a textured sticker goes into parts/textures beside
// it, where LDraw programs look it up. Cancelled, it stays off.
void FrmMain::ChooseLibrary(bool on) {
    AppConfig& config = state_.config;
    if (!on) {
        config.SaveIntoLibrary = false;
        return;
    }
    std::string start = config.Library;
    if (start.empty() && std::getenv("LDRAWDIR")) start = std::getenv("LDRAWDIR");
    if (start.empty()) start = QDir::homePath().toStdString();
    const std::string title = texts_(UiText::LibraryTitle).toStdString();
    const std::string chosen =
        folderDialog ? folderDialog(title, start) : ShowFolderDialog(this, title, start);
    const QDir library(QString::fromStdString(chosen));
    bool take = !chosen.empty() && library.exists();
    if (take && !library.exists("parts") && !library.exists("unofficial/parts")) {
        take = state_.shell.question &&
               state_.shell.question(
                   texts_(UiText::NotALibrary).arg(QString::fromStdString(chosen)).toStdString());
    }
    std::error_code made;
    if (take) {
        std::filesystem::create_directories(library.filePath("unofficial/parts").toStdString(),
                                            made);
    }
    if (made) {
        ShowMessage(state_.shell,
                    texts_(UiText::WriteFailed)
                        .arg(library.filePath("unofficial/parts"),
                             PlainReason(texts_, std::strerror(made.value())))
                        .toStdString());
        take = false;
    }
    WriteLog(state_.shell.log, "Save into the LDraw library: " + (take ? chosen : std::string()));
    if (!take) {
        actionLibrary_->setChecked(false);
        return;
    }
    config.Library = library.absolutePath().toStdString();
    config.SaveIntoLibrary = true;
}

// The folder part files go into when they are saved into the library; empty when they are not.
QString FrmMain::LibraryPartsFolder() const {
    if (!actionLibrary_ || !actionLibrary_->isChecked() || state_.config.Library.empty()) return {};
    return QDir(QString::fromStdString(state_.config.Library)).filePath("unofficial/parts");
}

// A small panel with the vector conversion's two settings, beside the window: each change takes
// at once and the sticker view follows; OK closes it, Cancel or Escape puts back the settings it
// opened with. They are kept for the next run.
void FrmMain::ChooseVectorSettings() {
    vectorDialog_ = std::make_unique<QDialog>(this);
    QDialog* dialog = vectorDialog_.get();
    dialog->setObjectName("dlgVectorSettings");
    dialog->setWindowTitle(texts_(UiText::VectorTitle));
    auto* tolerance = new QDoubleSpinBox(dialog);
    tolerance->setObjectName("spnTolerance");
    tolerance->setRange(0, kMostVectorTolerance);
    tolerance->setDecimals(2);
    tolerance->setSingleStep(0.25);
    tolerance->setValue(window_.vector.tolerance);
    tolerance->setToolTip(texts_(UiText::ToleranceTip));
    auto* minArea = new QSpinBox(dialog);
    minArea->setObjectName("spnMinArea");
    minArea->setRange(0, kMostVectorMinArea);
    minArea->setValue(window_.vector.minArea);
    minArea->setToolTip(texts_(UiText::MinAreaTip));
    auto* form = new QFormLayout;
    auto* toleranceLabel = new QLabel(texts_(UiText::ToleranceLabel), dialog);
    toleranceLabel->setBuddy(tolerance);
    auto* minAreaLabel = new QLabel(texts_(UiText::MinAreaLabel), dialog);
    minAreaLabel->setBuddy(minArea);
    form->addRow(toleranceLabel, tolerance);
    form->addRow(minAreaLabel, minArea);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Cancel)->setText(texts_(UiText::Cancel));
    auto* layout = new QVBoxLayout(dialog);
    layout->addLayout(form);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    // The settings take at once, and the sticker view follows while the window stays usable;
    // Cancel puts back those the panel opened with.
    const auto take = [this](VectorOptions vector) {
        if (vector.tolerance == window_.vector.tolerance && vector.minArea == window_.vector.minArea)
            return;
        window_.vector = vector;
        state_.config.VectorTolerance = vector.tolerance;
        state_.config.VectorMinArea = vector.minArea;
        WriteLog(state_.shell.log, "Vector settings: tolerance " + NumberToText(vector.tolerance) +
                                       ", smallest region " + std::to_string(vector.minArea));
        if (window_.method == ConversionMethod::Vector) ScheduleSticker();
    };
    const auto changed = [take, tolerance, minArea] { take({tolerance->value(), minArea->value()}); };
    connect(tolerance, &QDoubleSpinBox::valueChanged, this, changed);
    connect(minArea, &QSpinBox::valueChanged, this, changed);
    connect(dialog, &QDialog::rejected, this, [take, before = window_.vector] { take(before); });
    dialog->setWindowModality(Qt::NonModal);
    dialog->show();
}

// The frames grow with the window from the layout's sizes: the top two in width (their location
// boxes wider, the buttons at their right ends), the picture boxes in both directions, side by
// side.
void FrmMain::LayOut() {
    const int dx = std::max(0, width() - minimumWidth());
    const int dy = std::max(0, height() - minimumHeight());
    const int left = dx / 2, right = dx - left;
    auto grow = [this](QWidget* control, int moveX, int moveY, int wider, int taller) {
        const QRect base = base_.value(control, control->geometry());
        control->setGeometry(base.x() + moveX, base.y() + moveY, base.width() + wider,
                             base.height() + taller);
    };
    menuBar_->setGeometry(0, 0, width(), menuBar_->sizeHint().height());
    grow(frmBrowse, 0, 0, dx, 0);
    grow(txtImageLocation, 0, 0, dx, 0);
    grow(txtSaveLocation, 0, 0, dx, 0);
    grow(cmdBrowseOpen, dx, 0, 0, 0);
    grow(cmdBrowseSave, dx, 0, 0, 0);
    grow(frmOptions, 0, 0, dx, 0);
    grow(cmdPreview, dx, 0, 0, 0);
    grow(cmdConvert, dx, 0, 0, 0);
    grow(lblQuadCount, dx, 0, 0, 0);
    grow(frmImage, 0, 0, left, dy);
    grow(imgBitmap, 0, 0, left, dy);
    grow(frmPreview, left, 0, right, dy);
    grow(imgPreview, 0, 0, right, dy);
    grow(Image1, 0, 0, right, dy);
    grow(lblStickerStats, 0, dy, dx, 0);
    grow(barWorking, dx, dy, 0, 0);
    const QSize backdrop = base_.value(Image1).size() + QSize(right, dy);
    if (Image1->pixmap().size() != backdrop) {
        Image1->setPixmap(QPixmap::fromImage(BackdropImage(backdrop.width(), backdrop.height())));
    }
}

// The primary colours check box keeps the width its caption needs; the colour set takes the
// rest of the row up to Preview.
void FrmMain::PlaceColourSet() {
    const QRect box = base_.value(chkLDRAWColors, chkLDRAWColors->geometry());
    const int needed = chkLDRAWColors->sizeHint().width() + 4;
    const int width = std::min(box.width(), needed);
    chkLDRAWColors->setGeometry(box.x(), box.y(), width, box.height());
    const int left = box.x() + width + 2;
    const int right = base_.value(cmdPreview, cmdPreview->geometry()).x() - 6;
    cmbColourSet->setGeometry(left, box.y() - 4, std::max(40, right - left), 21);
}

// Dither as wide as its caption, and the colour count right after it, before the output form.
void FrmMain::PlaceColourCount() {
    const QRect box = chkDither->geometry();
    const int width = chkDither->sizeHint().width() + 4;
    chkDither->setGeometry(box.x(), box.y(), width, box.height());
    const int left = box.x() + width + 4;
    const int right = cmbOutputForm->geometry().x() - 6;
    const int wanted = spnColours->sizeHint().width();
    // In Dither's row, below the frame's title.
    spnColours->setGeometry(left, box.y() - 2, std::min(wanted, right - left), box.height() + 4);
}

void FrmMain::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
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
        cmbOutputForm->setCurrentIndex(config.Form == "ldraw-texture"   ? 2
                                       : config.Form == "ldraw-sticker" ? 1
                                                                        : 0);
        window_.vector = {config.VectorTolerance, config.VectorMinArea};
        spnColours->setValue(config.MostColours);
        actionLibrary_->setChecked(config.SaveIntoLibrary);
        cmbColourSet->setCurrentIndex(config.Colours == "ldraw"        ? 2
                                      : config.Colours == "ldraw-core" ? 1
                                                                       : 0);
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
        const char* forms[] = {"classic", "ldraw-sticker", "ldraw-texture"};
        config.Form = forms[std::clamp(cmbOutputForm->currentIndex(), 0, 2)];
        const char* sets[] = {"direct", "ldraw-core", "ldraw"};
        config.Colours = sets[std::clamp(cmbColourSet->currentIndex(), 0, 2)];
        config.MostColours = spnColours->value();
        config.SaveIntoLibrary = actionLibrary_->isChecked() && !config.Library.empty();
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
