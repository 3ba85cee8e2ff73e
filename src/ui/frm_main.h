#pragma once

#include <QDialog>
#include <QHash>
#include <QRect>
#include <QImage>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <set>

#include "image/conversion_settings.h"
#include "image/rgba_picture.h"
#include "ui/app_state.h"
#include "ui/file_dialog.h"
#include "ui/picture_view.h"
#include "ui/sticker_worker.h"
#include "ui/ui_texts.h"
#include "ui/window_state.h"

class QAction;
class QMenuBar;
class QTimer;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QProgressDialog;
class QPushButton;
class QToolButton;

class QSpinBox;
class QTimer;

namespace mosaikon {

class FrmLanguage;

// The main window: four frames for choosing the picture and the part file, the sticker details
// and options with Preview and Convert, the original picture and the sticker preview. Tests and
// accessibility tools find its controls by their object names.
class FrmMain : public QWidget {
    Q_OBJECT

public:
    explicit FrmMain(AppState& state, QWidget* parent = nullptr);
    ~FrmMain() override;

    // Loads the window (texts, position, locations, author, layout), then shows it.
    void ShowWindow();
    void Form_Load();
    void Form_Unload();

    // A picture given on the command line (a desktop's "Open with"), opened as if chosen with
    // Browse once the window is shown.
    void OpenWhenShown(const QString& path) { pendingPicture_ = path; }

    // The captions of the three conversions as the language file gives them.
    QString ConversionCaption(ConversionMethod method) const;
    // The count of polygons shown under Convert.
    QString PolygonText(const PartFileCounts& counts) const;
    // The window's further texts as the language file gives them.
    const UiTexts& Texts() const { return texts_; }

    // Reads the configured language's file again and shows its texts (the Language menu item).
    void ChangeLanguage(const std::string& language);

    // The sticker view: the worker that works it out, and whether the sticker shown is the one
    // the controls ask for now.
    StickerWorker& Worker() { return *worker_; }
    bool StickerCurrent() const { return sticker_.has_value(); }
    // The sticker the view shows, when it is current.
    const Sticker* CurrentSticker() const { return sticker_ ? sticker_->sticker.get() : nullptr; }
    // How long after the last change of an option the sticker is worked out again.
    int viewDelayMilliseconds = 250;
    // The size a part file may reach before the window asks whether to write it.
    std::uint64_t largeFileBytes = 20ull << 20;

    // The file dialog; the real one unless a test puts its own.
    FileDialogSeam fileDialog;
    // The folder dialog; the real one unless a test puts its own.
    FolderDialogSeam folderDialog;
    // A note that only informs (a large picture, its colours reduced), shown in a box that does
    // not stop the window; the real one unless a test puts its own.
    std::function<void(const std::string& text)> notice;
    // How long a conversion runs before its progress is shown.
    int progressDelayMilliseconds = 500;
    // The share of the last conversion last shown in its progress dialog, in percent; -1 when
    // the conversion ended before its progress was shown.
    int progressShown = -1;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Building and loading.
    void BuildControls();
    void FindControls();
    void BuildConversionMenu();
    void BuildMenuBar();
    void LayOut();
    void PlaceColourSet();
    void PlaceColourCount();
    void ChooseLibrary(bool on);
    QString LibraryPartsFolder() const;
    void ShowViewProgress(int percent);
    // Where the client area, laid out as the table says, starts below the menu bar.
    int ClientTop() const;
    QRect TwipsRect(int left, int top, int width, int height) const;
    void ConnectHandlers();
    void SetTabOrder();
    void ReadLanguage();
    void ApplyLanguageLayout();

    // The actions behind the controls.
    std::string GetFileSpec(const std::string& description, const std::string& extension,
                            const std::string& initialFolder, const std::string& defaultName);
    void cmdBrowseOpen_Click();
    void cmdBrowseSave_Click();
    void OpenPicture(const QString& path);
    void ShowBitmap(QImage image);
    ReadOptions ReadOptionsFromControls() const;
    void SetupOptions();
    void txtHeight_Change();
    void chkLDRAWColors_Click();
    void chkIgnoreWhite_Click();
    void chkIgnoreRGBColor_Click();
    void cmdPreview_Click();
    void cmdConvert_Click();
    Sticker MakeStickerWithProgress(const StickerRequest& request, const Sticker* reuse);
    void ShowConverted(const std::string& path, const PartFileCounts& counts);
    bool ConfirmTarget(const std::string& path, const StickerRequest& request);
    bool PictureBoxAgrees();
    bool ReadPictureAgain();
    void ColourReadingChanged();
    std::optional<std::int32_t> HeightFromBox();
    bool ConfirmSize(const PartFileCounts& counts);
    std::optional<StickerRequest> InputsFromControls(bool quiet);
    void ScheduleSticker();
    void RequestSticker();
    void ShowSticker(const StickerResult& result);
    bool NamesAPart(const QString& path);
    void PictureLoaded(Picture loaded, const QString& path, double height, double width,
                       QImage shown);
    // A picture as read away from the window's thread, with what the reader said.
    struct PictureRead {
        Picture picture;
        double height = 0, width = 0;
        std::shared_ptr<RgbaPicture> original;  // its own pixels
        QImage shown;                           // as Qt decodes it, where it can
        std::vector<std::pair<std::string, MessageKind>> held;
        int failures = 0;
        // A drawing's shapes, drawn for the texture, and drawn as the picture above (a PNG).
        std::shared_ptr<const Drawing> drawing;
        std::shared_ptr<const RgbaPicture> drawn;
        std::vector<std::uint8_t> drawingPicture;
    };
    PictureRead ReadInBackground(const QString& path, ReadOptions read);
    void ReadDrawing(Shell& reader, const QString& path, const ReadOptions& read,
                     PictureRead& result, const std::function<void(double)>& tell);
    void Notify(const std::string& text);

    // The state, shown.
    void SetMethod(ConversionMethod method);
    void SetShapes();  // a drawing's own shapes in place of the conversions of pixels
    void ClearResults();
    void DisableDetailsAndOptions();
    std::optional<ConversionSettings> SettingsFromControls(bool quiet = false);
    bool DetailsAreSingleLines();
    void BeginWork();
    void EndWork();
    void ChooseVectorSettings();

    AppState& state_;
    WindowState window_;
    QString pendingPicture_;
    QPointer<QMessageBox> noticeBox_;  // the note that only informs, while it is open
    bool unloaded_ = false;
    bool working_ = false;
    bool stopRequested_ = false;
    UiTexts texts_;
    std::array<QString, 4> methodCaptions_ = {"Quick Convert", "Full Convert", "Exact Convert",
                                              "Vector Convert"};
    std::array<QString, 4> methodTips_ = {
        "One quadrilateral per run of equal pixels in a row",
        "The fewest, possibly slanted quadrilaterals per colour region; they may cross colours",
        "The picture exactly, with the fewest rectangles",
        "Each colour region's smoothed outline, filled with few polygons: for logos and drawings "
        "of few colours"};
    QString quadCountFormat_ = "%1 quadrilaterals";
    // The loaded picture as the sticker view's worker reads it.
    std::shared_ptr<const Picture> pictureShared_;
    std::shared_ptr<const RgbaPicture> originalShared_;  // its own pixels, for the texture
    // An SVG drawing opened: its shapes, the frame of picture units they are placed in, the
    // drawing drawn for the texture, and drawn as the picture the conversions of pixels read (a
    // PNG, to read again); whether its shapes are converted (the default) or that picture.
    std::shared_ptr<const Drawing> drawingShared_;
    std::shared_ptr<const Picture> drawingFrame_;
    std::shared_ptr<const RgbaPicture> drawnShared_;
    std::vector<std::uint8_t> drawingPng_;
    bool shapes_ = false;
    std::array<QString, 4> filledDetails_;  // the details as the window filled them in
    std::set<std::string> written_;  // the files this window has written (FileIdentity)
    std::unique_ptr<StickerWorker> worker_;
    std::optional<StickerResult> sticker_;  // the last one worked out, for the current inputs
    QTimer* viewTimer_ = nullptr;
    bool viewActive_ = false;  // Preview was pressed: the view follows every change
    ViewTransform transform_;
    // Each control's place at the window's least size, from which it grows.
    QHash<QWidget*, QRect> base_;
    std::unique_ptr<FrmLanguage> languagePicker_;
    // The folders the file dialogs open in, one for pictures, one for part files: the last one
    // used, else that of the path in the box, else the home folder.
    QString lastPictureFolder_, lastPartFolder_;

    QGroupBox *frmBrowse, *frmOptions, *frmImage, *frmPreview;
    QLabel *lblImageLocation, *lblSaveLocation;
    QLineEdit *txtImageLocation, *txtSaveLocation;
    QPushButton *cmdBrowseOpen, *cmdBrowseSave;
    std::array<QLabel*, 4> lblMetaData;
    std::array<QLineEdit*, 4> txtMetaData;
    QLabel *lblHeight, *lblWidth, *lblwithin;
    QLineEdit *txtHeight, *txtWidth, *txtWhite, *txtColor, *txtRed, *txtGreen, *txtBlue;
    QCheckBox *chkLDRAWColors, *chkIgnoreWhite, *chkIgnoreRGBColor;
    QPushButton *cmdPreview, *cmdConvert;
    PictureView *imgBitmap, *imgPreview;
    QLabel* Image1;
    QMenuBar* menuBar_ = nullptr;
    int clientTop_ = 0;
    QLabel* lblStickerStats;  // below the frames: the sticker's polygons and size, kept current
    QAction *actionOutlines_, *actionFallback_, *actionLanguage_, *actionVector_;
    QAction* actionLibrary_ = nullptr;  // save part files into the user's LDraw library
    // The vector conversion's settings, while open: its tolerance and smallest region.
    std::unique_ptr<QDialog> vectorDialog_;
    QMenu *viewMenu_, *settingsMenu_;
    std::array<QAction*, 3> viewActions_;  // zoom in, zoom out, fit
    QToolButton* cmdConvertMethod;         // the menu of cmdConvert: which conversion it runs
    std::array<QAction*, 4> methodActions_{};
    QAction* shapesAction_ = nullptr;  // a drawing's own shapes, while one is open
    QLabel* lblQuadCount;        // below cmdConvert: how many quadrilaterals were written
    QComboBox* cmbOutputForm;  // above the options: the part file's form
    QCheckBox* chkDither;        // above the details: dither where colours are reduced
    QComboBox* cmbColourSet;     // beside the primary colours: direct, LDraw core or all LDraw
    QProgressBar* barWorking;    // in the status line: how far the view's sticker is
    QSpinBox* spnColours;        // beside Dither: the most colours kept (2 to 256)
    QTimer* coloursTimer_ = nullptr;  // the picture is read again once the typing pauses
};

}  // namespace mosaikon
