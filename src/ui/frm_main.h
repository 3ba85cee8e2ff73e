#pragma once

#include <QWidget>
#include <array>

#include "image/conversion_settings.h"
#include "image/rgba_picture.h"
#include "ui/app_state.h"
#include "ui/file_dialog.h"
#include "ui/window_state.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressDialog;
class QPushButton;
class QToolButton;

namespace mosaikon {

// The main window: four frames for choosing the picture and the part file, the sticker details
// and options with Preview and Convert, the original picture and the sticker preview. Tests and
// accessibility tools find its controls by their object names.
class FrmMain : public QWidget {
    Q_OBJECT

public:
    explicit FrmMain(AppState& state, QWidget* parent = nullptr);

    // Loads the window (texts, position, locations, author, layout), then shows it.
    void ShowWindow();
    void Form_Load();
    void Form_Unload();

    // A picture given on the command line (a desktop's "Open with"), opened as if chosen with
    // Browse once the window is shown.
    void OpenWhenShown(const QString& path) { pendingPicture_ = path; }

    // The captions of the three conversions as the language file gives them.
    QString ConversionCaption(ConversionMethod method) const;

    // The file dialog; the real one unless a test puts its own.
    FileDialogSeam fileDialog;
    // How long a conversion runs before its progress is shown.
    int progressDelayMilliseconds = 500;
    // The share of the last conversion last shown in its progress dialog, in percent; -1 when
    // the conversion ended before its progress was shown.
    int progressShown = -1;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Building and loading.
    void BuildControls();
    void FindControls();
    void BuildConversionMenu();
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
    void ShowBitmap();
    ReadOptions ReadOptionsFromControls() const;
    void SetupOptions();
    void txtHeight_Change();
    void chkLDRAWColors_Click();
    void chkIgnoreWhite_Click();
    void chkIgnoreRGBColor_Click();
    void cmdPreview_Click();
    void cmdConvert_Click();
    bool BuildQuads(const ConversionSettings& settings);
    void ShowConverted(const std::string& path);

    // The state, shown.
    void SetMethod(ConversionMethod method);
    void ClearResults();
    void DisableDetailsAndOptions();
    std::optional<ConversionSettings> SettingsFromControls();
    bool DetailsAreSingleLines();
    void BeginWork();
    void EndWork();

    AppState& state_;
    WindowState window_;
    QString pendingPicture_;
    bool unloaded_ = false;
    bool working_ = false;
    bool stopRequested_ = false;
    std::array<QString, 3> methodCaptions_ = {"Quick Convert", "Full Convert", "Exact Convert"};
    std::array<QString, 3> methodTips_ = {
        "One quadrilateral per run of equal pixels in a row",
        "The fewest, possibly slanted quadrilaterals per colour region; they may cross colours",
        "The picture exactly, with the fewest rectangles"};
    QString quadCountFormat_ = "%1 quadrilaterals";
    QString savedDetailsFormat_ = "%1 (%2 bytes, %3 quadrilaterals)";
    QString cancelCaption_ = "Cancel";

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
    QLabel *imgBitmap, *imgPreview, *Image1;
    QToolButton* cmdConvertMethod;  // the menu of cmdConvert: which conversion it runs
    std::array<QAction*, 3> methodActions_;
    QLabel* lblQuadCount;        // below cmdConvert: how many quadrilaterals were written
    QCheckBox* chkLDrawSticker;  // above the options: write an LDraw library sticker part
    QCheckBox* chkDither;        // above the details: dither where colours are reduced
};

}  // namespace mosaikon
