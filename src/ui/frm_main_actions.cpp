// The actions behind the main window's controls: browsing, the option boxes, the size boxes,
// Preview and Convert.

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QProgressDialog>
#include <QPushButton>
#include <QToolButton>
#include <cmath>

#include "conversion/exact_conversion.h"
#include "conversion/full_conversion.h"
#include "conversion/part_file_writer.h"
#include "image/bitmap_reader.h"
#include "image/preview_writer.h"
#include "image/quick_conversion.h"
#include "shell/failure.h"
#include "shell/numbers.h"
#include "ui/captions.h"
#include "ui/frm_main.h"

namespace mosaikon {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}
std::string S(const QString& text) {
    return text.toStdString();
}

// The name part of a path: the text after the last separator.
QString NamePart(const QString& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

bool IsSet(const QCheckBox* box) {
    return box->checkState() != Qt::Unchecked;
}

void ReportAndLog(Shell& shell, const char* procedure, const char* marker) {
    ReportFailure(shell, procedure, marker, CurrentFailureDescription());
}

}  // namespace

std::string FrmMain::GetFileSpec(const std::string& description, const std::string& extension,
                                 const std::string& initialFolder, const std::string& defaultName) {
    std::string result;
    try {
        FileDialogRequest request;
        request.title = defaultName.empty() ? "Open" : "Save";
        request.initialFolder = initialFolder;
        request.defaultName = defaultName;
        request.extension = extension;
        request.filter =
            description + " (*." + extension + ")|*." + extension + "|All Files (*.*)|*.*";
        const std::string chosen = fileDialog ? fileDialog(request) : ShowFileDialog(this, request);
        if (chosen.empty()) return result;
        if (NamePart(Q(chosen)).size() > 12 && request.title == "Save") {
            ShowMessage(state_.shell, state_.shell.messages.MsgNameTooLong);
            return result;
        }
        result = chosen;
    } catch (...) {
        ReportAndLog(state_.shell, "GetFileSpec", "GetFileSpec HAS CAUSED AN ERROR ");
        result.clear();
    }
    return result;
}

// Both browse actions first take the window back before the save file's step.
void FrmMain::DisableDetailsAndOptions() {
    for (int i = 0; i < 4; ++i) {
        lblMetaData[i]->setEnabled(false);
        txtMetaData[i]->setEnabled(false);
        txtMetaData[i]->setText("");
    }
    for (QWidget* control :
         std::initializer_list<QWidget*>{lblHeight, lblWidth, txtHeight, txtWidth, chkLDRAWColors,
                                         chkIgnoreWhite, chkIgnoreRGBColor}) {
        control->setEnabled(false);
    }
    SetConvertCaption(kQuickCaption);
    cmdPreview->setEnabled(false);
}

void FrmMain::cmdBrowseOpen_Click() {
    try {
        txtSaveLocation->setEnabled(false);
        cmdBrowseSave->setEnabled(false);
        cmdConvert->setEnabled(false);
        DisableDetailsAndOptions();
        const std::string result =
            GetFileSpec("Windows Bitmap", "bmp", S(txtImageLocation->text()), "");
        WriteLog(state_.shell.log, "Browse Open to: " + result);
        if (result.find(".bmp") == std::string::npos) return;
        txtImageLocation->setText(Q(result));
        ShowBitmap();
        cmdBrowseSave->setFocus();
    } catch (...) {
        ReportAndLog(state_.shell, "cmdBrowseOpen_Click", "ERROR BROWSE OPEN ");
    }
}

void FrmMain::ShowBitmap() {
    const QImage image(txtImageLocation->text());
    if (image.isNull()) Fail("The file could not be shown as a picture");
    imgBitmap->setPixmap(QPixmap::fromImage(image));
    imgBitmap->resize(image.size());  // natural size; the frame clips the rest
    lblSaveLocation->setEnabled(true);
    txtSaveLocation->setEnabled(true);
    cmdBrowseSave->setEnabled(true);
    double height = 0, width = 0;
    LoadBitmap(state_.shell, state_.picture, S(txtImageLocation->text()), height, width);
    txtHeight->setText(Q(NumberToText(height)));
    txtWidth->setText(QString::number(ToInt16(width)));
}

void FrmMain::cmdBrowseSave_Click() {
    try {
        DisableDetailsAndOptions();
        const std::string result =
            GetFileSpec("LDRAW DAT File", "dat", S(txtSaveLocation->text()), "s1234567");
        WriteLog(state_.shell.log, "Browse Save to: " + result);
        if (result.find(".dat") == std::string::npos) return;
        txtSaveLocation->setText(Q(result));
        SetupOptions();
    } catch (...) {
        ReportAndLog(state_.shell, "cmdBrowseSave_Click", "ERROR BROWSE SAVE ");
    }
}

void FrmMain::SetupOptions() {
    cmdConvert->setEnabled(false);
    SetConvertCaption(kQuickCaption);
    cmdPreview->setEnabled(true);
    for (int i = 0; i < 4; ++i) {
        lblMetaData[i]->setEnabled(true);
        txtMetaData[i]->setEnabled(true);
    }
    for (QWidget* control :
         std::initializer_list<QWidget*>{lblHeight, lblWidth, txtHeight, txtWidth, chkLDRAWColors,
                                         chkIgnoreWhite, chkIgnoreRGBColor, lblwithin}) {
        control->setEnabled(true);
    }
    const QString name = NamePart(txtSaveLocation->text());
    if (name.size() < 4) Fail("Invalid procedure call or argument");
    const QString base = name.left(name.size() - 4);
    txtMetaData[0]->setText("Sticker: " + base);
    txtMetaData[1]->setText(base);
    txtMetaData[2]->setText(Q(state_.DefaultAuthor));
    txtMetaData[3]->setText("Unofficial Model");
    txtMetaData[0]->setFocus();
}

void FrmMain::txtHeight_Change() {
    double height = 0;
    try {
        height = TextToDouble(S(txtHeight->text()));
    } catch (const Failure&) {
        ShowMessage(state_.shell, state_.shell.messages.MsgHeightInvalid);
        return;
    }
    if (!(height > 0)) {
        ShowMessage(state_.shell, state_.shell.messages.MsgHeightInvalid);
        return;
    }
    // With no picture, or a width beyond the box's range, the width box keeps its text.
    if (state_.picture.Height() == 0) return;
    const double width = height / state_.picture.Height() * state_.picture.Width();
    const double rounded = std::nearbyint(width);
    if (!(rounded <= 32767)) return;
    txtWidth->setText(QString::number(static_cast<int>(rounded)));
}

void FrmMain::chkLDRAWColors_Click() {
    const bool primary = IsSet(chkLDRAWColors);
    if (IsSet(chkIgnoreWhite)) txtWhite->setText(QString::number(DefaultWhiteTolerance(primary)));
    if (IsSet(chkIgnoreRGBColor))
        txtColor->setText(QString::number(DefaultColorTolerance(primary)));
}

void FrmMain::chkIgnoreWhite_Click() {
    const bool set = IsSet(chkIgnoreWhite);
    txtWhite->setEnabled(set);
    if (set) txtWhite->setText(QString::number(DefaultWhiteTolerance(IsSet(chkLDRAWColors))));
}

void FrmMain::chkIgnoreRGBColor_Click() {
    const bool set = IsSet(chkIgnoreRGBColor);
    for (QLineEdit* box : {txtColor, txtRed, txtGreen, txtBlue}) box->setEnabled(set);
    if (set) txtColor->setText(QString::number(DefaultColorTolerance(IsSet(chkLDRAWColors))));
}

ConversionSettings FrmMain::SettingsFromControls() {
    // Converted in this order, so that the first text that is no number is the one reported.
    ConversionSettings settings;
    settings.IgnoreBlue = TextToInt16(S(txtBlue->text()));
    settings.IgnoreGreen = TextToInt16(S(txtGreen->text()));
    settings.IgnoreRed = TextToInt16(S(txtRed->text()));
    settings.RgbTolerance = TextToInt32(S(txtColor->text()));
    settings.WhiteTolerance = TextToInt32(S(txtWhite->text()));
    settings.UseLdrawColors = IsSet(chkLDRAWColors);
    settings.IgnoreWhite = IsSet(chkIgnoreWhite);
    settings.IgnoreRgbColor = IsSet(chkIgnoreRGBColor);
    return settings;
}

void FrmMain::BeginWork() {
    working_ = true;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    setEnabled(false);
}

void FrmMain::EndWork() {
    setEnabled(true);
    while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
    working_ = false;
}

void FrmMain::cmdPreview_Click() {
    WriteLog(state_.shell.log, "Preview Clicked");
    if (txtHeight->text().isEmpty()) {
        ShowMessage(state_.shell, "Height must have a positive number");
        WriteLog(state_.shell.log, "Clicked Preview when Height is empty");
        return;
    }
    try {
        BeginWork();
        const QString heightText = txtHeight->text(), widthText = txtWidth->text();
        double ignoredHeight = 0, ignoredWidth = 0;
        LoadBitmap(state_.shell, state_.picture, S(txtImageLocation->text()), ignoredHeight,
                   ignoredWidth);
        txtHeight->setText(heightText);
        txtWidth->setText(QString::number(TextToInt16(S(widthText))));
        const ConversionSettings settings = SettingsFromControls();
        const std::string path = SettingsPath(state_.programFolder, "tempBitmap.bmp");
        const bool written = CreateBitmap(state_.shell, state_.picture, path, settings);
        WriteLog(state_.shell.log, "About to resize preview image: Height: " +
                                       S(txtHeight->text()) + " Width: " + S(txtWidth->text()));
        // The box takes the typed size, one pixel per unit, and stretches the picture to it.
        const double previewHeight = TextToDouble(S(txtHeight->text())) * 15;
        const double previewWidth = TextToDouble(S(txtWidth->text())) * 15;
        auto pixels = [](double twips) {
            return static_cast<int>(
                std::clamp(std::lround(static_cast<float>(twips) / 15.0f), 0L, 32767L));
        };
        imgPreview->resize(pixels(previewWidth), pixels(previewHeight));
        if (!written) {
            // The old preview must not pass for this one; the writer has said what went wrong.
            imgPreview->clear();
            EndWork();
            return;
        }
        const QImage preview(Q(path));
        if (preview.isNull()) Fail("The preview bitmap could not be shown");
        imgPreview->setPixmap(QPixmap::fromImage(preview));
        imgPreview->repaint();
        cmdConvert->setEnabled(true);
        SetConvertCaption(kQuickCaption);
        EndWork();
        cmdConvert->setFocus();
    } catch (...) {
        EndWork();
        ReportAndLog(state_.shell, "cmdPreview_Click", "ERROR IN PREVIEW CLICK ");
    }
}

void FrmMain::cmdConvert_Click() {
    const StickerDetails details = {S(txtMetaData[0]->text()), S(txtMetaData[1]->text()),
                                    S(txtMetaData[2]->text()), S(txtMetaData[3]->text())};
    WriteLog(state_.shell.log, "Convert was clicked");
    // A text that would end a header line and start another is refused, naming its box.
    const std::pair<QLineEdit*, QLabel*> texts[] = {{txtMetaData[0], lblMetaData[0]},
                                                    {txtMetaData[1], lblMetaData[1]},
                                                    {txtMetaData[2], lblMetaData[2]},
                                                    {txtMetaData[3], lblMetaData[3]},
                                                    {txtSaveLocation, lblSaveLocation}};
    for (const auto& [box, label] : texts) {
        if (IsSingleLine(S(box->text()))) continue;
        QString name = label->text().remove('&').trimmed();
        if (name.endsWith(':')) name.chop(1);
        ShowMessage(state_.shell, "The text in \"" + S(name) +
                                      "\" must be a single line without control characters. "
                                      "Please remove the line break.");
        box->setFocus();
        return;
    }
    if (txtHeight->text().isEmpty()) {
        ShowMessage(state_.shell, state_.shell.messages.MsgHeightInvalid);
        WriteLog(state_.shell.log, "Clicked Convert when Height is empty");
        return;
    }
    try {
        BeginWork();
        progressShown = -1;
        bool built = false;
        if (CaptionText(cmdConvert) == kQuickCaption) {
            const ConversionSettings settings = SettingsFromControls();
            built = ConvertBitmap(state_.shell, state_.picture, state_.quads, settings);
        } else {
            const ConversionSettings settings = SettingsFromControls();
            TextToDouble(S(txtHeight->text()));
            const bool exact = CaptionText(cmdConvert) == exactCaption_;
            // Long conversions show their progress once they have run for a moment.
            QElapsedTimer clock;
            clock.start();
            std::unique_ptr<QProgressDialog> progress;
            int shown = -1;
            const ProgressCallback report = [&](double share) {
                const int percent = static_cast<int>(share * 100);
                if (percent == shown || clock.elapsed() < progressDelayMilliseconds) return;
                if (!progress) {
                    progress = std::make_unique<QProgressDialog>(CaptionText(cmdConvert), QString(),
                                                                 0, 100, this);
                    progress->setObjectName("progress");
                    progress->setWindowTitle("Mosaikon");
                    progress->setCancelButton(nullptr);
                    progress->setMinimumDuration(0);
                    progress->setWindowModality(Qt::WindowModal);
                    progress->show();
                }
                shown = percent;
                progress->setValue(percent);
                progressShown = percent;
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            };
            built =
                exact
                    ? ConvertExact(state_.shell, state_.picture, state_.quads, settings, report)
                    : ConvertToLdraw(state_.shell, state_.picture, state_.quads, settings, report);
        }
        const std::string path = S(txtSaveLocation->text());
        const std::int32_t height = TextToInt32(S(txtHeight->text()));
        const bool written =
            WritePartFile(state_.shell, state_.picture, state_.quads, path, height, details);
        if (written) {
            lblQuadCount->setText(
                quadCountFormat_.arg(static_cast<qulonglong>(state_.quads.size())));
        }
        EndWork();
        if (built && written) ShowMessage(state_.shell, state_.shell.messages.MsgConvertDone);
    } catch (...) {
        EndWork();
        ReportAndLog(state_.shell, "cmdConvert_Click", "ERROR IN CONVERT CLICK ");
    }
}

void FrmMain::SetConvertCaption(const QString& caption) {
    SetCaption(cmdConvert, caption);
}

void FrmMain::BuildConversionMenu() {
    // A split part at the right end of the Convert button chooses the conversion it runs.
    cmdConvertMethod = new QToolButton(cmdConvert);
    cmdConvertMethod->setObjectName("cmdConvertMethod");
    cmdConvertMethod->setArrowType(Qt::DownArrow);
    cmdConvertMethod->setAutoRaise(true);
    cmdConvertMethod->setToolTip("Choose the conversion");
    cmdConvertMethod->setPopupMode(QToolButton::InstantPopup);
    // In the bottom-right corner, below the caption's line.
    cmdConvertMethod->setGeometry(cmdConvert->width() - 17, cmdConvert->height() - 15, 15, 13);
    cmdConvertMethod->setStyleSheet("QToolButton::menu-indicator { image: none; width: 0px; }");
    cmdConvertMethod->setFocusPolicy(Qt::NoFocus);
    cmdConvert->setProperty("captionReserve", 14);
    auto* menu = new QMenu(cmdConvertMethod);
    menu->setObjectName("conversionMenu");
    QAction* quick = menu->addAction(kQuickCaption);
    quick->setObjectName("actionQuickConvert");
    connect(quick, &QAction::triggered, this, [this] { SetConvertCaption(kQuickCaption); });
    QAction* full = menu->addAction(fullCaption_);
    full->setObjectName("actionFullConvert");
    connect(full, &QAction::triggered, this, [this] { SetConvertCaption(fullCaption_); });
    QAction* exact = menu->addAction(exactCaption_);
    exact->setObjectName("actionExactConvert");
    connect(exact, &QAction::triggered, this, [this] { SetConvertCaption(exactCaption_); });
    connect(menu, &QMenu::aboutToShow, this, [full, exact, this] {
        full->setText(fullCaption_);
        exact->setText(exactCaption_);
    });
    cmdConvertMethod->setMenu(menu);
}

void FrmMain::ConnectHandlers() {
    connect(cmdBrowseOpen, &QPushButton::clicked, this, &FrmMain::cmdBrowseOpen_Click);
    connect(cmdBrowseSave, &QPushButton::clicked, this, &FrmMain::cmdBrowseSave_Click);
    connect(cmdPreview, &QPushButton::clicked, this, &FrmMain::cmdPreview_Click);
    connect(cmdConvert, &QPushButton::clicked, this, &FrmMain::cmdConvert_Click);
    connect(txtHeight, &QLineEdit::textChanged, this, &FrmMain::txtHeight_Change);
    connect(chkLDRAWColors, &QCheckBox::stateChanged, this, &FrmMain::chkLDRAWColors_Click);
    connect(chkIgnoreWhite, &QCheckBox::stateChanged, this, &FrmMain::chkIgnoreWhite_Click);
    connect(chkIgnoreRGBColor, &QCheckBox::stateChanged, this, &FrmMain::chkIgnoreRGBColor_Click);
    for (QObject* watched : std::initializer_list<QObject*>{txtImageLocation, txtSaveLocation,
                                                            txtRed, txtGreen, txtBlue}) {
        watched->installEventFilter(this);
    }
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // Enter in a location box does what choosing the file does, reported alike.
            if (watched == txtImageLocation) {
                try {
                    ShowBitmap();
                    txtSaveLocation->setFocus();
                } catch (...) {
                    ReportAndLog(state_.shell, "cmdBrowseOpen_Click", "ERROR BROWSE OPEN ");
                }
                return true;
            }
            if (watched == txtSaveLocation) {
                try {
                    SetupOptions();
                } catch (...) {
                    ReportAndLog(state_.shell, "cmdBrowseSave_Click", "ERROR BROWSE SAVE ");
                }
                return true;
            }
        }
    } else if (event->type() == QEvent::FocusIn &&
               (watched == txtRed || watched == txtGreen || watched == txtBlue)) {
        static_cast<QLineEdit*>(watched)->setText("");
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace mosaikon
