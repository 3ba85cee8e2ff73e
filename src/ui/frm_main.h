#pragma once

#include <QWidget>
#include <array>

#include "image/conversion_settings.h"

#include "ui/app_state.h"
#include "ui/file_dialog.h"

class QCheckBox;
class QToolButton;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace mosaikon {

// The main window: four frames for choosing the bitmap and the part file, the sticker details
// and options with Preview and Convert, the original picture and the sticker preview.
class FrmMain : public QWidget {
    Q_OBJECT

public:
    explicit FrmMain(AppState& state, QWidget* parent = nullptr);

    // Loads the window (texts, position, locations, author, layout), then shows it.
    void ShowWindow();
    void Form_Load();
    void Form_Unload();

    // The actions behind the controls.
    std::string GetFileSpec(const std::string& description, const std::string& extension,
                            const std::string& initialFolder, const std::string& defaultName);
    void cmdBrowseOpen_Click();
    void cmdBrowseSave_Click();
    void ShowBitmap();
    void SetupOptions();
    void txtHeight_Change();
    void chkLDRAWColors_Click();
    void chkIgnoreWhite_Click();
    void chkIgnoreRGBColor_Click();
    void cmdPreview_Click();
    void cmdConvert_Click();

    // The captions that choose the conversion: "Quick Convert" the quick one, the exact caption
    // the exact one, any other the full one.
    static constexpr const char* kQuickCaption = "Quick Convert";
    QString FullCaption() const { return fullCaption_; }
    QString ExactCaption() const { return exactCaption_; }

    // The file dialog; the real one unless a test puts its own.
    FileDialogSeam fileDialog;
    // How long a conversion runs before its progress is shown.
    int progressDelayMilliseconds = 500;
    // The share of the last conversion last shown in its progress dialog, in percent; -1 when
    // the conversion ended before its progress was shown.
    int progressShown = -1;

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
    QLabel* lblQuadCount;           // below cmdConvert: how many quadrilaterals were written

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildConversionMenu();
    void ConnectHandlers();
    void SetConvertCaption(const QString& caption);
    void DisableDetailsAndOptions();
    void BeginWork();
    void EndWork();
    ConversionSettings SettingsFromControls();
    void SetTabOrder();
    void ReadLanguage();
    void ApplyLanguageLayout();

    AppState& state_;
    bool unloaded_ = false;
    bool working_ = false;
    QString fullCaption_ = "Full Convert";
    QString exactCaption_ = "Exact Convert";
    QString quadCountFormat_ = "%1 quadrilaterals";
};

}  // namespace mosaikon
