#pragma once

#include <QWidget>
#include <array>

#include "ui/app_state.h"

class QCheckBox;
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

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildControls();
    void SetTabOrder();
    void ReadLanguage();
    void ApplyLanguageLayout();

    AppState& state_;
    bool unloaded_ = false;
};

}  // namespace mosaikon
