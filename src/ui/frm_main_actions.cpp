// The actions behind the main window's controls: browsing, the option boxes, the size boxes,
// Preview and Convert.

#include <QApplication>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QPixmap>
#include <QProgressDialog>
#include <QPushButton>
#include <QToolButton>
#include <cmath>
#include <memory>

#include "conversion/exact_conversion.h"
#include "conversion/full_conversion.h"
#include "conversion/part_file_writer.h"
#include "conversion/sticker_part.h"
#include "image/bitmap_reader.h"
#include "image/preview_writer.h"
#include "conversion/quick_conversion.h"
#include "shell/failure.h"
#include "shell/numbers.h"
#include "ui/captions.h"
#include "ui/frm_main.h"

namespace mosaikon {

namespace {

constexpr const char* kPicturesFilter =
    "Pictures (*.bmp *.png *.jpg *.jpeg *.gif *.webp)|*.bmp *.png *.jpg *.jpeg *.gif *.webp";

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

// A label's caption as a name for its box in a message: without its colon.
QString BoxName(const QLabel* label) {
    QString name = label->text().remove('&').trimmed();
    if (name.endsWith(':')) name.chop(1);
    return name;
}

// How long the progress window may go without handling the user's input (its Cancel button).
constexpr qint64 kEventsEveryMilliseconds = 50;

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
        // Every picture the reader takes is offered first.
        if (request.title == "Open")
            request.filter = std::string(kPicturesFilter) + "|" + request.filter;
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

void FrmMain::SetMethod(ConversionMethod method) {
    window_.method = method;
    SetCaption(cmdConvert, ConversionCaption(method));
    cmdConvert->setToolTip(methodTips_[static_cast<std::size_t>(method)]);
}

// The preview and the count belong to the picture and options they were made from.
void FrmMain::ClearResults() {
    window_.previewShown = false;
    window_.quadCount.reset();
    imgPreview->clear();
    lblQuadCount->clear();
    cmdConvert->setEnabled(false);
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
                                         chkIgnoreWhite, chkIgnoreRGBColor, chkLDrawSticker}) {
        control->setEnabled(false);
    }
    window_.partPath.clear();
    cmdPreview->setEnabled(false);
    ClearResults();
}

void FrmMain::cmdBrowseOpen_Click() {
    try {
        txtSaveLocation->setEnabled(false);
        cmdBrowseSave->setEnabled(false);
        DisableDetailsAndOptions();
        const std::string result =
            GetFileSpec("Windows Bitmap", "bmp", S(txtImageLocation->text()), "");
        WriteLog(state_.shell.log, "Browse Open to: " + result);
        // Whatever file is chosen, the reader tells by its content whether it takes it.
        if (result.empty()) return;
        OpenPicture(Q(result));
    } catch (...) {
        ReportAndLog(state_.shell, "cmdBrowseOpen_Click", "ERROR BROWSE OPEN ");
    }
}

// Loads a picture chosen, typed or dropped. Only once it has loaded does the window go back to
// the save file's step; a picture the reader refuses (with one message) changes nothing.
void FrmMain::OpenPicture(const QString& path) {
    if (!QFileInfo(path).isFile()) Fail(S(path) + " does not exist");
    Picture loaded;
    double height = 0, width = 0;
    const int reported = state_.shell.failuresReported;
    // A damaged or cut-short picture brings up a question in place of the report: convert what
    // could be read all the same?
    Shell& shell = state_.shell;
    std::vector<std::pair<std::string, MessageKind>> held;
    const MessageBoxSeam show = shell.messageBox;
    shell.messageBox = [&held](const std::string& text, MessageKind kind) {
        held.emplace_back(text, kind);
    };
    LoadBitmap(shell, loaded, S(path), height, width, ReadOptionsFromControls());
    shell.messageBox = show;
    const bool damaged =
        shell.failuresReported != reported && !held.empty() &&
        (held.back().first.find(" is damaged or cut short: ") != std::string::npos ||
         held.back().first.find(" is cut short: ") != std::string::npos);
    if (damaged && shell.question) {
        const std::string report = held.back().first;
        const std::string damage = report.substr(report.find(" has caused an error ") + 21);
        if (!shell.question(damage + "\n\nConvert what could be read all the same?")) return;
        held.clear();
        ReadOptions options = ReadOptionsFromControls();
        options.acceptDamaged = true;
        shell.failuresReported = reported;
        LoadBitmap(shell, loaded, S(path), height, width, options);
    } else {
        for (const auto& [text, kind] : held) ShowMessage(shell, text, kind);
    }
    if (shell.failuresReported != reported) return;
    DisableDetailsAndOptions();
    state_.picture = std::move(loaded);
    txtImageLocation->setText(path);
    ShowBitmap();
    txtHeight->setText(Q(NumberToText(height)));
    txtWidth->setText(QString::number(ToInt16(width)));
    cmdBrowseSave->setFocus();
}

// Shows the loaded picture as it is, transparent parts clear; where Qt cannot read the file
// itself, as the reader decoded it.
void FrmMain::ShowBitmap() {
    const QString path = txtImageLocation->text();
    QImage image(path);
    const Picture& picture = state_.picture;
    if (image.isNull()) {
        image = QImage(picture.Width(), picture.Height(), QImage::Format_ARGB32);
        for (int y = 0; y < picture.Height(); ++y) {
            for (int x = 0; x < picture.Width(); ++x) {
                const std::uint8_t index = picture.Pixels(x + 1, picture.Height() - y);
                const PaletteEntry& e = picture.Palette.at(index);
                image.setPixel(x, y,
                               index == picture.TransparentIndex ? qRgba(0, 0, 0, 0)
                                                                 : qRgb(e.Red, e.Green, e.Blue));
            }
        }
    }
    imgBitmap->setPixmap(QPixmap::fromImage(image));
    imgBitmap->resize(image.size());  // natural size; the frame clips the rest
    lblSaveLocation->setEnabled(true);
    txtSaveLocation->setEnabled(true);
    cmdBrowseSave->setEnabled(true);
    window_.picturePath = S(path);
    window_.pictureWidth = picture.Width();
    window_.pictureHeight = picture.Height();
    ClearResults();
}

ReadOptions FrmMain::ReadOptionsFromControls() const {
    ReadOptions options;
    options.reduction.dither = chkDither->isChecked();
    return options;
}

void FrmMain::cmdBrowseSave_Click() {
    try {
        DisableDetailsAndOptions();
        const std::string result =
            GetFileSpec("LDRAW DAT File", "dat", S(txtSaveLocation->text()), "s1234567");
        WriteLog(state_.shell.log, "Browse Save to: " + result);
        if (!Q(result).endsWith(".dat", Qt::CaseInsensitive)) return;
        txtSaveLocation->setText(Q(result));
        SetupOptions();
    } catch (...) {
        ReportAndLog(state_.shell, "cmdBrowseSave_Click", "ERROR BROWSE SAVE ");
    }
}

void FrmMain::SetupOptions() {
    ClearResults();
    cmdPreview->setEnabled(true);
    for (int i = 0; i < 4; ++i) {
        lblMetaData[i]->setEnabled(true);
        txtMetaData[i]->setEnabled(true);
    }
    for (QWidget* control : std::initializer_list<QWidget*>{
             lblHeight, lblWidth, txtHeight, txtWidth, chkLDRAWColors, chkIgnoreWhite,
             chkIgnoreRGBColor, lblwithin, chkLDrawSticker}) {
        control->setEnabled(true);
    }
    const QString name = NamePart(txtSaveLocation->text());
    if (name.size() < 4) Fail("Invalid procedure call or argument");
    const QString base = name.left(name.size() - 4);
    txtMetaData[0]->setText("Sticker: " + base);
    txtMetaData[1]->setText(base);
    txtMetaData[2]->setText(Q(state_.DefaultAuthor));
    txtMetaData[3]->setText("Unofficial Model");
    window_.partPath = S(txtSaveLocation->text());
    txtMetaData[0]->setFocus();
}

void FrmMain::txtHeight_Change() {
    window_.height.reset();
    double height = 0;
    bool valid = true;
    try {
        height = TextToDouble(S(txtHeight->text()));
    } catch (const Failure&) {
        valid = false;
    }
    if (!valid || !(height > 0)) {
        // Said once for a wrong text, not at every key typed into it.
        if (!window_.heightReported) {
            window_.heightReported = true;
            ShowMessage(state_.shell, state_.shell.messages.MsgHeightInvalid);
        }
        return;
    }
    window_.heightReported = false;
    window_.height = height;
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

// The options as the boxes give them. Only a ticked option's boxes count; an empty one is
// named in a message, and the answer is empty.
std::optional<ConversionSettings> FrmMain::SettingsFromControls() {
    ConversionSettings settings;
    settings.UseLdrawColors = IsSet(chkLDRAWColors);
    settings.IgnoreWhite = IsSet(chkIgnoreWhite);
    settings.IgnoreRgbColor = IsSet(chkIgnoreRGBColor);
    struct Box {
        QLineEdit* box;
        QString name;
        bool used;
    };
    const QString ignore = BoxName(chkIgnoreRGBColor->text().isEmpty() ? lblwithin : lblwithin);
    const Box boxes[] = {{txtBlue, "blue", settings.IgnoreRgbColor},
                         {txtGreen, "green", settings.IgnoreRgbColor},
                         {txtRed, "red", settings.IgnoreRgbColor},
                         {txtColor, ignore, settings.IgnoreRgbColor},
                         {txtWhite, ignore, settings.IgnoreWhite}};
    for (const Box& box : boxes) {
        if (box.used && box.box->text().trimmed().isEmpty()) {
            ShowMessage(state_.shell, "The " + S(box.name) +
                                          " box is empty: it must hold a whole number. "
                                          "Please type a number.");
            box.box->setFocus();
            return std::nullopt;
        }
    }
    // Converted in this order, so that the first text that is no number is the one reported.
    if (settings.IgnoreRgbColor) {
        settings.IgnoreBlue = TextToInt16(S(txtBlue->text()));
        settings.IgnoreGreen = TextToInt16(S(txtGreen->text()));
        settings.IgnoreRed = TextToInt16(S(txtRed->text()));
        settings.RgbTolerance = TextToInt32(S(txtColor->text()));
    }
    if (settings.IgnoreWhite) settings.WhiteTolerance = TextToInt32(S(txtWhite->text()));
    return settings;
}

void FrmMain::BeginWork() {
    working_ = true;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    for (QGroupBox* frame : {frmBrowse, frmOptions}) frame->setEnabled(false);
}

void FrmMain::EndWork() {
    for (QGroupBox* frame : {frmBrowse, frmOptions}) frame->setEnabled(true);
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
        const std::optional<ConversionSettings> settings = SettingsFromControls();
        if (!settings) return;
        BeginWork();
        const QString heightText = txtHeight->text(), widthText = txtWidth->text();
        double ignoredHeight = 0, ignoredWidth = 0;
        LoadBitmap(state_.shell, state_.picture, S(txtImageLocation->text()), ignoredHeight,
                   ignoredWidth, ReadOptionsFromControls());
        txtHeight->setText(heightText);
        txtWidth->setText(QString::number(TextToInt16(S(widthText))));
        std::string path = SettingsPath(state_.programFolder, "tempBitmap.bmp");
        if (path.empty()) path = FreshPrivateFolder() + "/tempBitmap.bmp";
        const bool written =
            CreateBitmap(state_.shell, state_.picture, path, *settings, nullptr, false);
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
        ClearResults();
        if (!written) {  // the writer has said what went wrong
            EndWork();
            return;
        }
        const QImage preview(Q(path));
        if (preview.isNull()) Fail("The preview bitmap could not be shown");
        imgPreview->setPixmap(QPixmap::fromImage(preview));
        imgPreview->repaint();
        window_.previewShown = true;
        cmdConvert->setEnabled(true);
        EndWork();
        cmdConvert->setFocus();
    } catch (...) {
        EndWork();
        ReportAndLog(state_.shell, "cmdPreview_Click", "ERROR IN PREVIEW CLICK ");
    }
}

// A text that would end a header line and start another is refused, naming its box.
bool FrmMain::DetailsAreSingleLines() {
    const std::pair<QLineEdit*, QLabel*> texts[] = {{txtMetaData[0], lblMetaData[0]},
                                                    {txtMetaData[1], lblMetaData[1]},
                                                    {txtMetaData[2], lblMetaData[2]},
                                                    {txtMetaData[3], lblMetaData[3]},
                                                    {txtSaveLocation, lblSaveLocation}};
    for (const auto& [box, label] : texts) {
        if (IsSingleLine(S(box->text()))) continue;
        ShowMessage(state_.shell, "The text in \"" + S(BoxName(label)) +
                                      "\" must be a single line without control characters. "
                                      "Please remove the line break.");
        box->setFocus();
        return false;
    }
    return true;
}

// Runs the chosen conversion into the picture's quadrilaterals. A long one shows its progress
// after a moment, in a window whose Cancel button (or Escape) stops it.
bool FrmMain::BuildQuads(const ConversionSettings& settings) {
    if (window_.method == ConversionMethod::Quick) {
        return ConvertBitmap(state_.shell, state_.picture, state_.quads, settings);
    }
    QElapsedTimer clock, sinceEvents;
    clock.start();
    sinceEvents.start();
    std::unique_ptr<QProgressDialog> progress;
    stopRequested_ = false;
    int shown = -1;
    const ProgressCallback report = [&](double share) {
        if (clock.elapsed() >= progressDelayMilliseconds && !progress) {
            progress = std::make_unique<QProgressDialog>(ConversionCaption(window_.method),
                                                         cancelCaption_, 0, 100, this);
            progress->setObjectName("progress");
            progress->setWindowTitle("Mosaikon");
            progress->setMinimumDuration(0);
            progress->setWindowModality(Qt::WindowModal);
            progress->setAutoReset(false);
            connect(progress.get(), &QProgressDialog::canceled, this,
                    [this] { stopRequested_ = true; });
            progress->show();
        }
        const int percent = static_cast<int>(share * 100);
        if (progress && percent != shown) {
            shown = percent;
            progress->setValue(percent);
            progressShown = percent;
        }
        if (progress && sinceEvents.elapsed() >= kEventsEveryMilliseconds) {
            sinceEvents.restart();
            QCoreApplication::processEvents();
        }
        return !stopRequested_;
    };
    return window_.method == ConversionMethod::Exact
               ? ConvertExact(state_.shell, state_.picture, state_.quads, settings, report)
               : ConvertToLdraw(state_.shell, state_.picture, state_.quads, settings, report);
}

void FrmMain::cmdConvert_Click() {
    const StickerDetails details = {S(txtMetaData[0]->text()), S(txtMetaData[1]->text()),
                                    S(txtMetaData[2]->text()), S(txtMetaData[3]->text())};
    WriteLog(state_.shell.log, "Convert was clicked");
    if (!DetailsAreSingleLines()) return;
    if (txtHeight->text().isEmpty()) {
        ShowMessage(state_.shell, state_.shell.messages.MsgHeightInvalid);
        WriteLog(state_.shell.log, "Clicked Convert when Height is empty");
        return;
    }
    try {
        const std::optional<ConversionSettings> settings = SettingsFromControls();
        if (!settings) return;
        const std::int32_t height = TextToInt32(S(txtHeight->text()));
        BeginWork();
        progressShown = -1;
        window_.quadCount.reset();
        lblQuadCount->clear();
        const bool built = BuildQuads(*settings);
        if (stopRequested_ || !built) {  // stopped, or reported: nothing is written
            EndWork();
            cmdConvert->setFocus();
            return;
        }
        const std::string path = S(txtSaveLocation->text());
        const auto write = chkLDrawSticker->isChecked() ? WriteStickerPart : WritePartFile;
        const bool written =
            write(state_.shell, state_.picture, state_.quads, path, height, details, nullptr,
                  nullptr);
        EndWork();
        if (written) ShowConverted(path);
        cmdConvert->setFocus();
    } catch (...) {
        EndWork();
        ReportAndLog(state_.shell, "cmdConvert_Click", "ERROR IN CONVERT CLICK ");
    }
}

// The count below the button and the "saved" message with the file's path, size and count.
void FrmMain::ShowConverted(const std::string& path) {
    const QLocale locale;
    const std::size_t count = state_.quads.size();
    window_.quadCount = count;
    lblQuadCount->setText(quadCountFormat_.arg(locale.toString(static_cast<qulonglong>(count))));
    const QString details = savedDetailsFormat_.arg(
        Q(path), locale.toString(static_cast<qlonglong>(QFileInfo(Q(path)).size())),
        locale.toString(static_cast<qulonglong>(count)));
    ShowMessage(state_.shell, state_.shell.messages.MsgConvertDone + "\n" + S(details));
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
    menu->setToolTipsVisible(true);
    const char* names[] = {"actionQuickConvert", "actionFullConvert", "actionExactConvert"};
    for (std::size_t i = 0; i < methodActions_.size(); ++i) {
        const auto method = static_cast<ConversionMethod>(i);
        methodActions_[i] = menu->addAction(methodCaptions_[i]);
        methodActions_[i]->setObjectName(names[i]);
        methodActions_[i]->setToolTip(methodTips_[i]);
        connect(methodActions_[i], &QAction::triggered, this,
                [this, method] { SetMethod(method); });
    }
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
    // The preview no longer shows what the conversion would use.
    connect(chkDither, &QCheckBox::stateChanged, this, [this] {
        if (window_.previewShown) ClearResults();
    });
    for (QObject* watched : std::initializer_list<QObject*>{txtImageLocation, txtSaveLocation,
                                                            txtRed, txtGreen, txtBlue}) {
        watched->installEventFilter(this);
    }
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // Enter in a location box does what choosing that file does, reported alike; on the
            // file already chosen it changes nothing, so that no typed text is lost.
            if (watched == txtImageLocation) {
                if (S(txtImageLocation->text()) == window_.picturePath) return true;
                try {
                    OpenPicture(txtImageLocation->text());
                    txtSaveLocation->setFocus();
                } catch (...) {
                    ReportAndLog(state_.shell, "cmdBrowseOpen_Click", "ERROR BROWSE OPEN ");
                }
                return true;
            }
            if (watched == txtSaveLocation) {
                if (S(txtSaveLocation->text()) == window_.partPath) return true;
                try {
                    DisableDetailsAndOptions();
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

void FrmMain::dragEnterEvent(QDragEnterEvent* event) {
    if (!working_ && event->mimeData()->hasUrls() && event->mimeData()->urls().size() == 1 &&
        event->mimeData()->urls().front().isLocalFile()) {
        event->acceptProposedAction();
    }
}

// A picture file dropped on the window is opened as if chosen with Browse.
void FrmMain::dropEvent(QDropEvent* event) {
    const QString path = event->mimeData()->urls().front().toLocalFile();
    event->acceptProposedAction();
    try {
        WriteLog(state_.shell.log, "Dropped: " + S(path));
        OpenPicture(path);
    } catch (...) {
        ReportAndLog(state_.shell, "cmdBrowseOpen_Click", "ERROR BROWSE OPEN ");
    }
}

}  // namespace mosaikon
