// The actions behind the main window's controls: browsing, the option boxes, the size boxes,
// Preview and Convert.

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPixmap>
#include <QPointer>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <atomic>
#include <cmath>
#include <memory>
#include <thread>

#include "image/bitmap_reader.h"
#include "image/preview_writer.h"
#include "drawing/svg_reader.h"
#include "shell/failure.h"
#include "shell/numbers.h"
#include "ui/captions.h"
#include "ui/frm_main.h"

namespace mosaikon {

namespace {

constexpr const char* kPicturesFilter =
    "Pictures (*.bmp *.png *.jpg *.jpeg *.gif *.webp *.svg *.svgz)|*.bmp *.png *.jpg *.jpeg *.gif "
    "*.webp *.svg *.svgz";

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

// What went wrong, from a procedure's failure report ("<procedure> has caused an error <why>");
// a text that is no such report, as it is.
std::string ReportedReason(const Shell& shell, const char* procedure, const std::string& report) {
    const std::string lead = FillIn(shell.messages.CausedAnError, {procedure, ""});
    return report.rfind(lead, 0) == 0 ? report.substr(lead.size()) : report;
}

// A label's caption as a name for its box in a message: without its colon.
QString BoxName(const QLabel* label) {
    QString name = label->text().remove('&').trimmed();
    if (name.endsWith(':')) name.chop(1);
    return name;
}

// How long the progress window may go without handling the user's input (its Cancel button).
constexpr qint64 kEventsEveryMilliseconds = 50;

// The part file's name the Save dialog proposes for a picture: its base name as a valid part
// name (lower case letters, digits, "_" and "-", eight at most), else s1234567.
std::string PartNameFor(const std::string& picturePath) {
    std::string name;
    for (const char c : S(QFileInfo(Q(picturePath)).completeBaseName().toLower())) {
        if (name.size() == 8) break;
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-') name += c;
    }
    return name.empty() ? "s1234567" : name;
}

// A picture of rows from the top, four bytes a pixel, as Qt shows it.
QImage ImageOf(const RgbaPicture& picture) {
    QImage image(picture.width, picture.height, QImage::Format_RGBA8888);
    for (int y = 0; y < picture.height; ++y) {
        std::copy_n(picture.rgba.data() + static_cast<std::size_t>(y) * picture.width * 4,
                    static_cast<std::size_t>(picture.width) * 4, image.scanLine(y));
    }
    return image;
}

}  // namespace

std::string FrmMain::GetFileSpec(const std::string& description, const std::string& extension,
                                 const std::string& initialFolder, const std::string& defaultName) {
    std::string result;
    try {
        FileDialogRequest request;
        request.title = defaultName.empty() ? "Open" : "Save";
        // The folder last used, else the one of the box's path when it is there, else home.
        QString& last = defaultName.empty() ? lastPictureFolder_ : lastPartFolder_;
        QString folder = last;
        // Saved into the library, a part file goes into its folder of parts.
        if (request.title == "Save" && !LibraryPartsFolder().isEmpty()) {
            folder = LibraryPartsFolder();
        }
        // A part file goes beside its picture unless another folder was chosen.
        if (folder.isEmpty() && request.title == "Save" &&
            (initialFolder.empty() || initialFolder == "/") && !window_.picturePath.empty()) {
            folder = QFileInfo(Q(window_.picturePath)).absolutePath();
        }
        if (folder.isEmpty()) {
            const QFileInfo box(Q(initialFolder));
            if (!initialFolder.empty() && initialFolder != "/" && box.absoluteDir().exists()) {
                folder = box.isDir() ? box.absoluteFilePath() : box.absolutePath();
            } else {
                folder = QDir::homePath();
            }
        }
        request.initialFolder = S(folder);
        request.defaultName = defaultName;
        request.extension = extension;
        request.filter =
            description + " (*." + extension + ")|*." + extension + "|All Files (*.*)|*.*";
        // Every picture the reader takes is offered first.
        if (request.title == "Open")
            request.filter = std::string(kPicturesFilter) + "|" + request.filter;
        const std::string chosen = fileDialog ? fileDialog(request) : ShowFileDialog(this, request);
        if (chosen.empty()) return result;
        last = QFileInfo(Q(chosen)).absolutePath();
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

void FrmMain::SetShapes() {
    const bool changed = !shapes_;
    shapes_ = true;
    shapesAction_->setChecked(true);
    SetCaption(cmdConvert, texts_(UiText::ShapesCaption));
    cmdConvert->setToolTip(texts_(UiText::ShapesTip));
    if (changed) ScheduleSticker();
}

void FrmMain::SetMethod(ConversionMethod method) {
    const bool changed = window_.method != method || shapes_;
    window_.method = method;
    shapes_ = false;
    if (methodActions_[static_cast<std::size_t>(method)]) {
        methodActions_[static_cast<std::size_t>(method)]->setChecked(true);
    }
    SetCaption(cmdConvert, ConversionCaption(method));
    cmdConvert->setToolTip(methodTips_[static_cast<std::size_t>(method)]);
    if (changed) ScheduleSticker();
}

// The preview and the count belong to the picture and options they were made from.
void FrmMain::ClearResults() {
    window_.previewShown = false;
    window_.quadCount.reset();
    imgPreview->Clear();
    lblQuadCount->clear();
    lblStickerStats->clear();
    barWorking->hide();
    viewActive_ = false;
    viewTimer_->stop();
    worker_->Cancel();
    sticker_.reset();
}

// Both browse actions first take the window back before the save file's step.
void FrmMain::DisableDetailsAndOptions() {
    // The details stay: those typed by the user are kept for the next part file.
    for (int i = 0; i < 4; ++i) {
        lblMetaData[i]->setEnabled(false);
        txtMetaData[i]->setEnabled(false);
    }
    for (QWidget* control : std::initializer_list<QWidget*>{
             lblHeight, lblWidth, txtHeight, txtWidth, chkLDRAWColors, cmbColourSet, chkIgnoreWhite,
             chkIgnoreRGBColor, cmbOutputForm}) {
        control->setEnabled(false);
    }
    window_.partPath.clear();
    cmdPreview->setEnabled(false);
    cmdConvert->setEnabled(false);
    ClearResults();
}

void FrmMain::cmdBrowseOpen_Click() {
    try {
        // Nothing changes until a picture is chosen and loaded: a cancelled or refused choice
        // leaves the window as it was.
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
// the save file's step; a picture the reader refuses (with one message) changes nothing, and the
// location box shows the picture that stays loaded.
void FrmMain::OpenPicture(const QString& path) {
    const auto keepLoaded = [this] {
        txtImageLocation->setText(window_.picturePath.empty() ? "/" : Q(window_.picturePath));
    };
    if (!QFileInfo(path).isFile()) {
        keepLoaded();
        Fail(S(path) + " does not exist");
    }
    if (working_) return;
    Shell& shell = state_.shell;
    ReadOptions read = ReadOptionsFromControls();
    PictureRead picture = ReadInBackground(path, read);
    bool acceptDamage = false;
    // A damaged or cut-short picture brings up a question in place of the report: convert what
    // could be read all the same?
    const std::string name = S(NamePart(path));
    const std::size_t damageAt =
        picture.held.empty()
            ? std::string::npos
            : std::min(picture.held.back().first.find(name + " is damaged or cut short: "),
                       picture.held.back().first.find(name + " is cut short: "));
    if (picture.failures > 0 && damageAt != std::string::npos && shell.question) {
        const QString damage = Q(picture.held.back().first.substr(damageAt));
        if (!shell.question(S(texts_(UiText::DamagedQuestion).arg(damage)))) {
            keepLoaded();
            return;
        }
        read.acceptDamaged = true;
        acceptDamage = true;
        picture = ReadInBackground(path, read);
    }
    // A failure stops and is shown as such; what only informs (a large picture, colours
    // reduced, damage accepted) comes in one note that does not stop the window.
    std::string note;
    // A file the system would not let be read: which, and why, in the window's words.
    for (const auto& [text, kind] : picture.held) {
        const std::string why = ReportedReason(shell, "LoadBitmap", text);
        const QString plain = PlainReason(texts_, why);
        if (kind == MessageKind::Failure && why != text && plain != Q(why)) {
            ShowMessage(shell, S(texts_(UiText::ReadFailed).arg(path, plain)), kind);
        } else if (kind == MessageKind::Failure || picture.failures > 0) {
            ShowMessage(shell, text, kind);
        } else {
            note += (note.empty() ? "" : "\n\n") + text;
        }
    }
    if (!note.empty()) Notify(note);
    shell.failuresReported += picture.failures;
    if (picture.failures > 0) {
        keepLoaded();
        return;
    }
    originalShared_ = std::move(picture.original);
    drawingShared_ = picture.drawing;
    drawnShared_ = picture.drawn;
    drawingPng_ = std::move(picture.drawingPicture);
    drawingFrame_.reset();
    if (drawingShared_) {
        auto frame = std::make_shared<Picture>();
        frame->infoHeader.biWidth = DrawingPictureWidth(*drawingShared_);
        frame->infoHeader.biHeight = kDrawingPictureHeight;
        drawingFrame_ = std::move(frame);
    }
    PictureLoaded(std::move(picture.picture), path, picture.height, picture.width,
                  std::move(picture.shown));
    // A drawing's own shapes are converted unless a conversion of pixels is chosen.
    shapesAction_->setEnabled(drawingShared_ != nullptr);
    if (drawingShared_) {
        SetShapes();
    } else if (shapes_) {
        SetMethod(window_.method);
    }
    // Accepted once, the damage is accepted for this picture from now on.
    window_.damageAccepted = acceptDamage;
    cmdBrowseSave->setFocus();
}

void FrmMain::Notify(const std::string& text) {
    if (notice) {
        notice(text);
        return;
    }
    if (!noticeBox_) {
        noticeBox_ = new QMessageBox(this);
        noticeBox_->setAttribute(Qt::WA_DeleteOnClose);
        noticeBox_->setWindowModality(Qt::NonModal);
        noticeBox_->setWindowTitle("Mosaikon");
        noticeBox_->setTextFormat(Qt::PlainText);
        noticeBox_->setIcon(QMessageBox::NoIcon);
        noticeBox_->setStandardButtons(QMessageBox::Ok);
    }
    noticeBox_->setText(Q(text));
    noticeBox_->show();
    noticeBox_->raise();
}

// Reads the picture on a thread of its own while the window goes on answering (its frames
// disabled, the status line saying so); what the reader says is held, for the caller to show.
FrmMain::PictureRead FrmMain::ReadInBackground(const QString& path, ReadOptions read) {
    auto result = std::make_shared<PictureRead>();
    result->original = std::make_shared<RgbaPicture>();
    read.original = result->original.get();
    Shell reader;  // its own: its log lines kept, its messages held, no questions
    std::vector<std::string> logLines;
    reader.log.kept = &logLines;
    reader.messages = state_.shell.messages;
    reader.messageBox = [result](const std::string& text, MessageKind kind) {
        result->held.emplace_back(text, kind);
    };
    BeginWork();
    const QString before = lblStickerStats->text();
    lblStickerStats->setText(texts_(UiText::Reading).arg(NamePart(path)));
    barWorking->setRange(0, 100);
    barWorking->setValue(0);
    barWorking->show();
    // The bar follows the reader's fraction: decoding and choosing the colours up to nine
    // tenths, the picture decoded for showing the rest.
    std::atomic<int> percent{0};
    QPointer<QProgressBar> bar(barWorking);
    const auto tell = [&percent, bar](double done) {
        const int now = static_cast<int>(done * 100);
        if (percent.exchange(now) == now) return;
        QMetaObject::invokeMethod(
            bar, [bar, now] { if (bar) bar->setValue(now); }, Qt::QueuedConnection);
    };
    read.progress = [&tell](double done) { tell(0.9 * done); };
    QEventLoop wait;
    std::atomic<bool> done{false};
    std::thread thread([&] {
        try {
            if (IsDrawingFile(S(path))) {
                ReadDrawing(reader, path, read, *result, tell);
            } else {
                LoadBitmap(reader, result->picture, S(path), result->height, result->width, read);
                result->failures = reader.failuresReported;
                // The picture as it is shown, decoded here too when Qt reads it itself.
                if (result->failures == 0) result->shown = QImage(path);
            }
            tell(1);
        } catch (...) {
            result->failures = std::max(result->failures, 1);
        }
        done = true;
        QMetaObject::invokeMethod(&wait, [&wait] { wait.quit(); }, Qt::QueuedConnection);
    });
    if (!done) wait.exec();
    thread.join();
    for (const std::string& line : logLines) WriteLog(state_.shell.log, line);
    barWorking->hide();
    barWorking->setRange(0, 100);
    lblStickerStats->setText(before);
    EndWork();
    return std::move(*result);
}

// A drawing read away from the window's thread: its shapes (what it could not draw said), the
// drawing drawn for the texture and for the picture box, and drawn as a picture that is read as
// pictures are, for the conversions of pixels (what only concerns that picture is not said).
void FrmMain::ReadDrawing(Shell& reader, const QString& path, const ReadOptions& read,
                          PictureRead& result, const std::function<void(double)>& tell) {
    auto drawn = std::make_shared<RgbaPicture>();
    RgbaPicture pixels;
    SvgReading reading;
    reading.rendered = drawn.get();
    reading.picture = &pixels;
    try {
        auto drawing = std::make_shared<Drawing>(ReadSvg(S(path), reading));
        for (const std::string& warning : drawing->warnings) {
            ShowMessage(reader, warning, MessageKind::Warning);
        }
        result.drawing = std::move(drawing);
    } catch (const Failure& failure) {
        ShowMessage(reader, failure.what(), MessageKind::Failure);
        result.failures = 1;
        return;
    }
    tell(0.3);
    result.drawingPicture = EncodePng(pixels);
    Shell quiet;
    quiet.messages = reader.messages;
    quiet.log.kept = reader.log.kept;
    quiet.messageBox = [&reader](const std::string& text, MessageKind kind) {
        if (kind == MessageKind::Failure) ShowMessage(reader, text, kind);
    };
    ReadOptions again = read;
    again.progress = [&tell](double done) { tell(0.3 + 0.6 * done); };
    LoadBitmapBytes(quiet, result.picture, result.drawingPicture, S(NamePart(path)), result.height,
                    result.width, again);
    result.failures = quiet.failuresReported;
    if (result.failures > 0) return;
    result.shown = ImageOf(pixels);
    result.drawn = std::move(drawn);
    // As high as the drawing's own units say, as the converter makes it.
    const Drawing& drawing = *result.drawing;
    result.height = static_cast<double>(std::clamp(std::lround(drawing.height), 1L, 100000L));
    result.width = std::round(result.height * drawing.width / drawing.height);
}

void FrmMain::PictureLoaded(Picture loaded, const QString& path, double height, double width,
                            QImage shown) {
    txtSaveLocation->setEnabled(false);
    cmdBrowseSave->setEnabled(false);
    DisableDetailsAndOptions();
    state_.picture = std::move(loaded);
    pictureShared_ = std::make_shared<const Picture>(state_.picture);
    txtImageLocation->setText(path);
    ShowBitmap(std::move(shown));
    txtHeight->setText(Q(NumberToText(height)));
    txtWidth->setText(QString::number(ToInt16(width)));
}

// Shows the loaded picture as it is, transparent parts clear; where Qt cannot read the file
// itself, as the reader decoded it.
void FrmMain::ShowBitmap(QImage image) {
    const QString path = txtImageLocation->text();
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
    imgBitmap->SetPicture(image);
    transform_.Fit(image.size());
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
    options.reduction.mostColours = spnColours->value();
    // The primary colours are matched as ever; the colour sets when they are not ticked.
    const ColourSet sets[] = {ColourSet::Direct, ColourSet::LdrawCore, ColourSet::Ldraw};
    if (!IsSet(chkLDRAWColors))
        options.colours = sets[std::clamp(cmbColourSet->currentIndex(), 0, 2)];
    return options;
}

void FrmMain::cmdBrowseSave_Click() {
    try {
        const std::string result = GetFileSpec("LDRAW DAT File", "dat",
                                               S(txtSaveLocation->text()),
                                               PartNameFor(window_.picturePath));
        WriteLog(state_.shell.log, "Browse Save to: " + result);
        if (result.empty()) return;
        if (!Q(result).endsWith(".dat", Qt::CaseInsensitive)) {
            ShowMessage(state_.shell, S(texts_(UiText::NotAPartName)));
            return;
        }
        DisableDetailsAndOptions();
        txtSaveLocation->setText(Q(result));
        SetupOptions();
    } catch (...) {
        ReportAndLog(state_.shell, "cmdBrowseSave_Click", "ERROR BROWSE SAVE ");
    }
}

// A part file name typed into the location box follows the rule of the Save dialog: it ends in
// ".dat", with at most 8 characters before it. A name that does not is refused with its message,
// and the box shows the part file chosen before.
bool FrmMain::NamesAPart(const QString& path) {
    const QString name = NamePart(path);
    const bool dat = name.endsWith(".dat", Qt::CaseInsensitive) && name.size() > 4;
    if (dat && name.size() <= 12) return true;
    ShowMessage(state_.shell,
                dat ? state_.shell.messages.MsgNameTooLong : S(texts_(UiText::NotAPartName)));
    txtSaveLocation->setText(window_.partPath.empty() ? "/" : Q(window_.partPath));
    return false;
}

void FrmMain::SetupOptions() {
    ClearResults();
    // Convert needs no Preview first: it works the sticker out itself.
    cmdPreview->setEnabled(true);
    cmdConvert->setEnabled(true);
    for (int i = 0; i < 4; ++i) {
        lblMetaData[i]->setEnabled(true);
        txtMetaData[i]->setEnabled(true);
    }
    for (QWidget* control : std::initializer_list<QWidget*>{
             lblHeight, lblWidth, txtHeight, txtWidth, chkLDRAWColors, chkIgnoreWhite,
             chkIgnoreRGBColor, lblwithin, cmbOutputForm}) {
        control->setEnabled(true);
    }
    cmbColourSet->setEnabled(!IsSet(chkLDRAWColors));
    const QString name = NamePart(txtSaveLocation->text());
    if (name.size() < 4) Fail("Invalid procedure call or argument");
    const QString base = name.left(name.size() - 4);
    // The details filled in follow the new name; those the user typed stay as typed.
    const std::array<QString, 4> filled = {"Sticker: " + base, base, Q(state_.DefaultAuthor),
                                           "Unofficial Model"};
    for (std::size_t i = 0; i < filled.size(); ++i) {
        QLineEdit* box = txtMetaData[i];
        if (box->text().isEmpty() || box->text() == filledDetails_[i]) box->setText(filled[i]);
    }
    filledDetails_ = filled;
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
    cmbColourSet->setEnabled(chkLDRAWColors->isEnabled() && !primary);
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

// The options as the boxes give them. Only a ticked option's boxes count; one that is empty, no
// whole number or out of its range is named in a message (unless quiet), and the answer is empty.
std::optional<ConversionSettings> FrmMain::SettingsFromControls(bool quiet) {
    ConversionSettings settings;
    settings.UseLdrawColors = IsSet(chkLDRAWColors);
    settings.IgnoreWhite = IsSet(chkIgnoreWhite);
    settings.IgnoreRgbColor = IsSet(chkIgnoreRGBColor);
    struct Box {
        QLineEdit* box;
        QString name;
        bool used;
        int least, most;
    };
    // A tolerance is compared with a sum of three differences of 0 to 255.
    constexpr int kMostTolerance = 3 * 255 + 1;
    const Box boxes[] = {{txtBlue, texts_(UiText::BlueBox), settings.IgnoreRgbColor, 0, 255},
                         {txtGreen, texts_(UiText::GreenBox), settings.IgnoreRgbColor, 0, 255},
                         {txtRed, texts_(UiText::RedBox), settings.IgnoreRgbColor, 0, 255},
                         {txtColor, BoxName(lblwithin), settings.IgnoreRgbColor, 0, kMostTolerance},
                         {txtWhite, BoxName(lblwithin), settings.IgnoreWhite, 0, kMostTolerance}};
    int values[5] = {};
    for (std::size_t i = 0; i < std::size(boxes); ++i) {
        const Box& box = boxes[i];
        if (!box.used) continue;
        if (box.box->text().trimmed().isEmpty()) {
            if (!quiet) {
                ShowMessage(state_.shell, S(texts_(UiText::EmptyBox).arg(box.name)));
                box.box->setFocus();
            }
            return std::nullopt;
        }
        bool number = true;
        std::int32_t value = 0;
        try {
            value = TextToInt32(S(box.box->text()));
        } catch (const Failure&) {
            number = false;
        }
        if (!number || value < box.least || value > box.most) {
            if (!quiet) {
                ShowMessage(state_.shell,
                            S(texts_(UiText::BoxRange).arg(box.name).arg(box.least).arg(box.most)));
                box.box->setFocus();
                box.box->selectAll();
            }
            return std::nullopt;
        }
        values[i] = value;
    }
    if (settings.IgnoreRgbColor) {
        settings.IgnoreBlue = static_cast<std::int16_t>(values[0]);
        settings.IgnoreGreen = static_cast<std::int16_t>(values[1]);
        settings.IgnoreRed = static_cast<std::int16_t>(values[2]);
        settings.RgbTolerance = values[3];
    }
    if (settings.IgnoreWhite) settings.WhiteTolerance = values[4];
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
        ShowMessage(state_.shell, S(texts_(UiText::HeightNeeded)));
        WriteLog(state_.shell.log, "Clicked Preview when Height is empty");
        return;
    }
    try {
        if (!PictureBoxAgrees() || !HeightFromBox()) return;
        const std::optional<ConversionSettings> settings = SettingsFromControls();
        if (!settings) return;
        BeginWork();
        const QString heightText = txtHeight->text(), widthText = txtWidth->text();
        ReadPictureAgain();
        txtHeight->setText(heightText);
        txtWidth->setText(QString::number(TextToInt16(S(widthText))));
        std::string path = SettingsPath(state_.programFolder, "tempBitmap.bmp");
        if (path.empty()) path = FreshPrivateFolder() + "/tempBitmap.bmp";
        const bool written =
            CreateBitmap(state_.shell, state_.picture, path, *settings, nullptr, false);
        WriteLog(state_.shell.log, "About to resize preview image: Height: " +
                                       S(txtHeight->text()) + " Width: " + S(txtWidth->text()));
        ClearResults();
        if (!written) {  // the writer has said what went wrong
            EndWork();
            return;
        }
        // The recoloured picture until the sticker itself is worked out, fitted to the box.
        const QImage preview(Q(path));
        if (preview.isNull()) Fail("The preview bitmap could not be shown");
        imgPreview->SetPicture(preview);
        window_.previewShown = true;
        viewActive_ = true;
        RequestSticker();
        cmdConvert->setEnabled(true);
        EndWork();
        cmdConvert->setFocus();
    } catch (...) {
        EndWork();
        ReportAndLog(state_.shell, "cmdPreview_Click", "ERROR IN PREVIEW CLICK ");
    }
}

// The picture is read again, as it is now and as the colour options read it (dithered, in the
// colour set); what it said when it was opened (its colours, its size) is not said again. A
// failure is said, and the picture read before stays.
bool FrmMain::ReadPictureAgain() {
    Shell& shell = state_.shell;
    const int reported = shell.failuresReported;
    const MessageBoxSeam show = shell.messageBox;
    shell.messageBox = [&show](const std::string& text, MessageKind kind) {
        if (kind == MessageKind::Failure && show) show(text, kind);
    };
    Picture reloaded;
    auto original = std::make_shared<RgbaPicture>();
    ReadOptions read = ReadOptionsFromControls();
    read.original = original.get();
    read.acceptDamaged = window_.damageAccepted;
    double ignoredHeight = 0, ignoredWidth = 0;
    try {
        if (drawingShared_) {
            // The drawing as drawn when it was opened, read as a picture again.
            LoadBitmapBytes(shell, reloaded, drawingPng_, S(NamePart(Q(window_.picturePath))),
                            ignoredHeight, ignoredWidth, read);
        } else {
            LoadBitmap(shell, reloaded, window_.picturePath, ignoredHeight, ignoredWidth, read);
        }
    } catch (...) {
        shell.messageBox = show;
        throw;
    }
    shell.messageBox = show;
    if (shell.failuresReported != reported) return false;
    state_.picture = std::move(reloaded);
    pictureShared_ = std::make_shared<const Picture>(state_.picture);
    originalShared_ = std::move(original);
    return true;
}

// A change of how the picture's colours are read (dither, the colour set) reads it again, and
// the sticker view follows.
void FrmMain::ColourReadingChanged() {
    if (window_.picturePath.empty() || working_) return;
    sticker_.reset();
    if (window_.previewShown) {
        cmdPreview_Click();  // reads it again and shows the new sticker
        return;
    }
    try {
        ReadPictureAgain();
    } catch (...) {
        ReportAndLog(state_.shell, "ReadPictureAgain", "ERROR IN PREVIEW CLICK ");
    }
}

// The sticker as the controls ask for it now; nothing while a box holds no valid value.
std::optional<StickerRequest> FrmMain::InputsFromControls(bool quiet) {
    if (!pictureShared_) return std::nullopt;
    const std::optional<ConversionSettings> settings = SettingsFromControls(quiet);
    if (!settings) return std::nullopt;
    std::int32_t height = 0;
    try {
        height = TextToInt32(S(txtHeight->text()));
    } catch (const Failure&) {
        return std::nullopt;
    }
    if (height <= 0) return std::nullopt;
    StickerRequest request;
    request.picture = pictureShared_;
    request.settings = *settings;
    request.method = window_.method;
    request.vector = window_.vector;
    request.colours = ReadOptionsFromControls().colours;
    const PartFormat forms[] = {PartFormat::Classic, PartFormat::LdrawSticker,
                                PartFormat::LdrawTexture};
    request.format = forms[std::clamp(cmbOutputForm->currentIndex(), 0, 2)];
    if (request.format == PartFormat::LdrawTexture || request.method == ConversionMethod::Vector) {
        request.original = originalShared_;
    }
    if (drawingShared_ && shapes_) {
        // The drawing's own shapes, placed in its frame; drawn, they are the texture.
        request.picture = drawingFrame_;
        request.drawing = drawingShared_;
        request.method = ConversionMethod::Quick;
        request.vector = {};
        request.original =
            request.format == PartFormat::LdrawTexture ? drawnShared_ : nullptr;
    }
    request.height = height;
    request.details = {S(txtMetaData[0]->text()), S(txtMetaData[1]->text()),
                       S(txtMetaData[2]->text()), S(txtMetaData[3]->text())};
    request.fileName = S(NamePart(txtSaveLocation->text()));
    return request;
}

// After an option changes, the sticker is worked out again once the typing pauses.
void FrmMain::ScheduleSticker() {
    if (!viewActive_ || !viewTimer_) return;
    sticker_.reset();
    lblStickerStats->setText(texts_(UiText::Working));
    viewTimer_->start(viewDelayMilliseconds);
}

void FrmMain::RequestSticker() {
    const std::optional<StickerRequest> request = InputsFromControls(true);
    if (!request) {
        worker_->Cancel();
        lblStickerStats->clear();
        barWorking->hide();
        return;
    }
    // The stage: what is worked out, by which conversion.
    lblStickerStats->setText(texts_(UiText::Working) + " (" +
                             QString(methodCaptions_[static_cast<std::size_t>(request->method)])
                                 .remove('&')
                                 .replace('\n', ' ') + ")");
    worker_->Request(state_.shell, *request);
}

// How far the view's sticker is, in the status line.
void FrmMain::ShowViewProgress(int percent) {
    if (!viewActive_ || sticker_) return;
    barWorking->setValue(percent);
    barWorking->show();
}

QString FrmMain::PolygonText(const PartFileCounts& counts) const {
    const QLocale locale;
    if (counts.triangles == 0) {
        return quadCountFormat_.arg(
            locale.toString(static_cast<qulonglong>(counts.quadrilaterals)));
    }
    return texts_(UiText::QuadsAndTriangles)
        .arg(locale.toString(static_cast<qulonglong>(counts.quadrilaterals)),
             locale.toString(static_cast<qulonglong>(counts.triangles)));
}

void FrmMain::ShowSticker(const StickerResult& result) {
    if (!viewActive_) return;
    // A sticker of controls changed since, whose own sticker is still to be asked for, is not
    // the one they show.
    const std::optional<StickerRequest> now = InputsFromControls(true);
    if (!now || !(result.sticker->request == *now)) return;
    barWorking->hide();
    if (!result.picture) {
        sticker_.reset();
        lblStickerStats->setText(texts_(UiText::PreviewFailed).arg(Q(result.Failure())));
        return;
    }
    sticker_ = result;
    const bool newSize = imgPreview->PictureSize() !=
                         QSize(result.picture->pictureWidth, result.picture->pictureHeight);
    imgPreview->SetSticker(result.picture);
    actionFallback_->setEnabled(!result.picture->texture.isNull());
    if (newSize && imgBitmap->IsEmpty()) transform_.Fit(imgPreview->PictureSize());
    const PartFileCounts& counts = result.sticker->preview.counts;
    lblStickerStats->setText(
        texts_(UiText::StickerStats)
            .arg(PolygonText(counts), QLocale().toString((counts.bytes + 1023) / 1024)));
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
        ShowMessage(state_.shell, S(texts_(UiText::SingleLine).arg(BoxName(label))));
        box->setFocus();
        return false;
    }
    return true;
}

// Makes the sticker (its conversion, for the textured form its fallback's) with its progress
// shown after a moment, in a window whose Cancel button (or Escape) stops it.
Sticker FrmMain::MakeStickerWithProgress(const StickerRequest& request, const Sticker* reuse) {
    QElapsedTimer clock, sinceEvents;
    clock.start();
    sinceEvents.start();
    std::unique_ptr<QProgressDialog> progress;
    stopRequested_ = false;
    int shown = -1;
    const ProgressCallback report = [&](double share) {
        if (clock.elapsed() >= progressDelayMilliseconds && !progress) {
            // The caption without its marked letter, which only a button shows.
            QString caption = ConversionCaption(window_.method);
            caption.remove(QRegularExpression("&(?=[^&])"));
            progress =
                std::make_unique<QProgressDialog>(caption, texts_(UiText::Cancel), 0, 100, this);
            progress->setObjectName("progress");
            progress->setWindowTitle("Mosaikon");
            progress->setMinimumDuration(0);
            progress->setWindowModality(Qt::WindowModal);
            progress->setAutoReset(false);
            connect(progress.get(), &QProgressDialog::canceled, this,
                    [this] { stopRequested_ = true; });
            progress->show();
            QCoreApplication::processEvents();
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
    return MakeSticker(state_.shell, request, report, reuse);
}

// Whether the sticker's files may be written at path: never over the picture being converted;
// over a file that is not a sticker part of this program's, or over a texture this window did
// not write, only when the user says so.
bool FrmMain::ConfirmTarget(const std::string& path, const StickerRequest& request) {
    const std::vector<std::string> files = StickerFiles(request, path);
    if (!window_.picturePath.empty()) {
        const std::string picture = FileIdentity(window_.picturePath);
        for (const std::string& file : files) {
            if (FileIdentity(file) != picture) continue;
            ShowMessage(state_.shell, S(texts_(UiText::IsThePicture).arg(Q(file))));
            return false;
        }
    }
    const auto ask = [this](const QString& question) {
        return state_.shell.question && state_.shell.question(S(question));
    };
    if (QFileInfo(Q(path)).exists() && !IsStickerPartFile(path) &&
        !ask(texts_(UiText::ReplaceQuestion).arg(Q(path)))) {
        return false;
    }
    for (std::size_t i = 1; i < files.size(); ++i) {
        if (!QFileInfo(Q(files[i])).exists() || written_.count(FileIdentity(files[i]))) continue;
        if (!ask(texts_(UiText::ReplaceTexture).arg(Q(files[i])))) return false;
    }
    return true;
}

// Whether the picture's box names the picture shown; a path typed there and not opened is said.
bool FrmMain::PictureBoxAgrees() {
    if (S(txtImageLocation->text()) == window_.picturePath) return true;
    ShowMessage(state_.shell, S(texts_(UiText::NotShown).arg(txtImageLocation->text())));
    WriteLog(state_.shell.log, "The picture's box names another picture: " + S(txtImageLocation->text()));
    txtImageLocation->setFocus();
    return false;
}

// The height typed, when it is a number above 0; else said, naming the box, every time.
std::optional<std::int32_t> FrmMain::HeightFromBox() {
    std::optional<std::int32_t> height;
    try {
        if (TextToDouble(S(txtHeight->text())) > 0) height = TextToInt32(S(txtHeight->text()));
    } catch (const Failure&) {
    }
    if (height && *height > 0) return height;
    ShowMessage(state_.shell, S(texts_(UiText::HeightWrong).arg(BoxName(lblHeight))));
    WriteLog(state_.shell.log, "The height is no number above 0: " + S(txtHeight->text()));
    txtHeight->setFocus();
    txtHeight->selectAll();
    return std::nullopt;
}

// A part file of more than largeFileBytes is written only when the user says so.
bool FrmMain::ConfirmSize(const PartFileCounts& counts) {
    if (counts.bytes <= largeFileBytes) return true;
    const QString megabytes =
        QLocale().toString(static_cast<double>(counts.bytes) / (1 << 20), 'f', 1);
    return state_.shell.question &&
           state_.shell.question(
               S(texts_(UiText::LargeFileQuestion).arg(megabytes, PolygonText(counts))));
}

void FrmMain::cmdConvert_Click() {
    WriteLog(state_.shell.log, "Convert was clicked");
    if (!DetailsAreSingleLines()) return;
    if (txtHeight->text().isEmpty()) {
        ShowMessage(state_.shell, state_.shell.messages.MsgHeightInvalid);
        WriteLog(state_.shell.log, "Clicked Convert when Height is empty");
        return;
    }
    try {
        if (!PictureBoxAgrees() || !HeightFromBox()) return;
        // A colour count still being typed is read first.
        if (coloursTimer_->isActive()) {
            coloursTimer_->stop();
            if (!ReadPictureAgain()) return;
        }
        const std::optional<StickerRequest> request = InputsFromControls(false);
        if (!request) return;  // a box that holds no valid value has said so
        const std::string path = S(txtSaveLocation->text());
        if (!ConfirmTarget(path, *request)) return;
        BeginWork();
        progressShown = -1;
        window_.quadCount.reset();
        lblQuadCount->clear();
        // The sticker the view has worked out for the same request is the one written; one of
        // the same shapes gives them, and only the text is made again.
        const Sticker* shown = sticker_ ? sticker_->sticker.get() : nullptr;
        std::optional<Sticker> made;
        if (!shown || !(shown->request == *request)) {
            made = MakeStickerWithProgress(*request, shown);
            if (!made->made || stopRequested_) {
                // Stopped, or failed: the failure is said, and nothing is written.
                if (!stopRequested_) PassOn(state_.shell, *made, false);
                EndWork();
                cmdConvert->setFocus();
                return;
            }
        }
        const Sticker& sticker = made ? *made : *shown;
        EndWork();
        if (!ConfirmSize(sticker.preview.counts)) {
            cmdConvert->setFocus();
            return;
        }
        BeginWork();
        // The work's trace goes to the log now, whoever did it; its notes are not shown.
        PassOn(state_.shell, sticker, false);
        PartFileCounts counts;
        // A write that fails says which file, in the window's words.
        std::string failed;
        const MessageBoxSeam show = state_.shell.messageBox;
        state_.shell.messageBox = [&](const std::string& text, MessageKind kind) {
            if (kind != MessageKind::Failure && show) show(text, kind);
            if (kind == MessageKind::Failure && failed.empty()) failed = text;
        };
        bool written = false;
        try {
            written = WriteSticker(state_.shell, sticker, path, nullptr, &counts);
        } catch (...) {
            state_.shell.messageBox = show;
            throw;
        }
        state_.shell.messageBox = show;
        EndWork();
        if (!failed.empty()) {
            const std::string why = ReportedReason(state_.shell, "WritePartFile", failed);
            ShowMessage(state_.shell,
                        S(texts_(UiText::WriteFailed).arg(Q(path), PlainReason(texts_, why))),
                        MessageKind::Failure);
        }
        if (written) {
            for (const std::string& file : StickerFiles(sticker.request, path)) {
                written_.insert(FileIdentity(file));
            }
            ShowConverted(path, counts);
        }
        cmdConvert->setFocus();
    } catch (...) {
        EndWork();
        ReportAndLog(state_.shell, "cmdConvert_Click", "ERROR IN CONVERT CLICK ");
    }
}

// The count below the button and the "saved" message with the file's path, size and polygons.
void FrmMain::ShowConverted(const std::string& path, const PartFileCounts& counts) {
    const QLocale locale;
    window_.quadCount = counts.quadrilaterals + counts.triangles;
    lblQuadCount->setText(PolygonText(counts));
    const QString details =
        texts_(UiText::SavedAs)
            .arg(Q(path), locale.toString(static_cast<qulonglong>(counts.bytes)),
                 PolygonText(counts));
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
    // Reachable by Tab after Convert; Space, Enter, Alt+Down, F4, the menu key or Shift+F10
    // open the menu, there or on Convert.
    cmdConvertMethod->setFocusPolicy(Qt::StrongFocus);
    cmdConvert->setProperty("captionReserve", 14);
    auto* menu = new QMenu(cmdConvertMethod);
    menu->setObjectName("conversionMenu");
    menu->setToolTipsVisible(true);
    const char* names[] = {"actionQuickConvert", "actionFullConvert", "actionExactConvert",
                           "actionVectorConvert"};
    for (std::size_t i = 0; i < methodActions_.size(); ++i) {
        const auto method = static_cast<ConversionMethod>(i);
        methodActions_[i] = menu->addAction(methodCaptions_[i]);
        methodActions_[i]->setObjectName(names[i]);
        methodActions_[i]->setToolTip(methodTips_[i]);
        connect(methodActions_[i], &QAction::triggered, this,
                [this, method] { SetMethod(method); });
    }
    // A drawing's own shapes, offered while one is open.
    shapesAction_ = menu->addAction(texts_(UiText::ShapesCaption));
    shapesAction_->setObjectName("actionShapesConvert");
    shapesAction_->setToolTip(texts_(UiText::ShapesTip));
    shapesAction_->setEnabled(false);
    connect(shapesAction_, &QAction::triggered, this, &FrmMain::SetShapes);
    // The conversion in use is marked in the menu.
    auto* methods = new QActionGroup(menu);
    for (QAction* action : methodActions_) {
        action->setCheckable(true);
        methods->addAction(action);
    }
    shapesAction_->setCheckable(true);
    methods->addAction(shapesAction_);
    methodActions_[static_cast<std::size_t>(window_.method)]->setChecked(true);
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
    // The preview no longer shows what the conversion would use: the picture is read again,
    // dithered or given LDraw colours, at the next Preview.
    connect(chkDither, &QCheckBox::stateChanged, this, &FrmMain::ColourReadingChanged);
    coloursTimer_ = new QTimer(this);
    coloursTimer_->setSingleShot(true);
    connect(coloursTimer_, &QTimer::timeout, this, &FrmMain::ColourReadingChanged);
    connect(spnColours, &QSpinBox::valueChanged, this, [this] {
        if (window_.picturePath.empty()) return;
        sticker_.reset();  // the sticker shown is no longer the one the controls ask for
        coloursTimer_->start(viewDelayMilliseconds);
    });
    connect(cmbColourSet, &QComboBox::currentIndexChanged, this, &FrmMain::ColourReadingChanged);
    connect(chkLDRAWColors, &QCheckBox::stateChanged, this, [this] {
        if (cmbColourSet->currentIndex() != 0) ColourReadingChanged();
    });
    // Once previewed, the sticker view follows every change of what makes the sticker.
    for (QLineEdit* box : {txtHeight, txtWhite, txtColor, txtRed, txtGreen, txtBlue, txtMetaData[0],
                           txtMetaData[1], txtMetaData[2], txtMetaData[3]}) {
        connect(box, &QLineEdit::textChanged, this, &FrmMain::ScheduleSticker);
    }
    for (QCheckBox* box : {chkLDRAWColors, chkIgnoreWhite, chkIgnoreRGBColor}) {
        connect(box, &QCheckBox::stateChanged, this, &FrmMain::ScheduleSticker);
    }
    connect(cmbOutputForm, &QComboBox::currentIndexChanged, this, &FrmMain::ScheduleSticker);
    for (QObject* watched : std::initializer_list<QObject*>{txtImageLocation, txtSaveLocation,
                                                            cmdConvert, cmdConvertMethod}) {
        watched->installEventFilter(this);
    }
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
    const auto* keys = static_cast<QKeyEvent*>(event);
    const int key = keys->key();
    if (watched == cmdConvert || watched == cmdConvertMethod) {
        const bool opens = (key == Qt::Key_Down && keys->modifiers() & Qt::AltModifier) ||
                           key == Qt::Key_F4 || key == Qt::Key_Menu ||
                           (key == Qt::Key_F10 && keys->modifiers() & Qt::ShiftModifier);
        if (opens && cmdConvertMethod->isEnabled()) {
            cmdConvertMethod->showMenu();
            return true;
        }
        return QWidget::eventFilter(watched, event);
    }
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return QWidget::eventFilter(watched, event);
    // Enter in a location box does what choosing that file does, reported alike; on the file
    // already chosen it changes nothing, so that no typed text is lost.
    if (watched == txtImageLocation) {
        if (S(txtImageLocation->text()) == window_.picturePath) return true;
        try {
            const int reported = state_.shell.failuresReported;
            OpenPicture(txtImageLocation->text());
            if (state_.shell.failuresReported == reported) txtSaveLocation->setFocus();
        } catch (...) {
            ReportAndLog(state_.shell, "cmdBrowseOpen_Click", "ERROR BROWSE OPEN ");
        }
        return true;
    }
    if (watched == txtSaveLocation) {
        if (S(txtSaveLocation->text()) == window_.partPath) return true;
        try {
            if (!NamesAPart(txtSaveLocation->text())) return true;
            const QString chosen = txtSaveLocation->text();
            DisableDetailsAndOptions();
            txtSaveLocation->setText(chosen);
            SetupOptions();
        } catch (...) {
            ReportAndLog(state_.shell, "cmdBrowseSave_Click", "ERROR BROWSE SAVE ");
        }
        return true;
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
