#include "ui/frm_language.h"

#include <unistd.h>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

#include <filesystem>

#include "shell/config.h"
#include "shell/failure.h"
#include "ui/artwork.h"
#include "ui/captions.h"

namespace mosaikon {

FrmLanguage::FrmLanguage(AppState& state, std::function<void()> showMainWindow, QWidget* parent)
    : QWidget(parent), state_(state), showMainWindow_(std::move(showMainWindow)) {
    setObjectName("frmLanguage");
    setWindowTitle("Select Language");
    setWindowIcon(QIcon(QPixmap::fromImage(WindowIconImage())));
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(TwipsToPixels(3315), TwipsToPixels(1215));

    cmbLanguage = new QComboBox(this);
    cmbLanguage->setObjectName("cmbLanguage");
    // Only the languages offered can be chosen: a name typed of a language without its file would
    // bring the missing file's message back at every start.
    cmbLanguage->setEditable(false);
    cmbLanguage->addItems({"English", "Italiano", "Spanish", "French", "Deutsch", "Português"});
    cmbLanguage->setCurrentIndex(0);
    SetTwips(cmbLanguage, 1320, 240, 1815, 315);

    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    Label1->setText("Language:");
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    SetTwips(Label1, 120, 240, 1110, 240);
    SetCaptionFont(Label1, HeadingFont());

    cmdOK = new QPushButton(this);
    cmdOK->setObjectName("cmdOK");
    cmdOK->setText("OK");
    cmdOK->setAutoDefault(false);
    cmdOK->setDefault(false);
    SetTwips(cmdOK, 1320, 720, 615, 375);
    SetCaptionFont(cmdOK, HeadingFont());
    QWidget::setTabOrder(cmbLanguage, cmdOK);
    connect(cmdOK, &QPushButton::clicked, this, &FrmLanguage::cmdOK_Click);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

void FrmLanguage::Form_Load() {
    try {
        try {
            OpenLog(state_.shell.log, state_.programFolder);
        } catch (const Failure& failure) {
            // Without a Settings folder nothing can be read either; a log file alone that
            // cannot be written must not cost the stored settings.
            std::error_code error;
            if (!std::filesystem::is_directory(SettingsPath(state_.programFolder, ""), error))
                throw;
            const std::string path = SettingsPath(state_.programFolder, "Log_File.txt");
            ShowMessage(state_.shell, (path.empty() ? "The log file" : "The log file " + path) +
                                          " cannot be written (" + failure.what() +
                                          "); Mosaikon goes on without a log.");
        }
        const std::string settings = SettingsFolderOf(state_.programFolder, "config.txt");
        if (::access(settings.c_str(), W_OK) != 0) {
            state_.settingsReadOnly = true;
            ShowMessage(state_.shell, "Mosaikon cannot write its settings folder " + settings +
                                          ", so the choices of this session will not be kept.");
        }
        ReadConfig(state_.shell, state_.config, state_.ConfigText, state_.programFolder);
        // A language that is not offered (a name once typed, or Default for none) asks again.
        if (!Offered(state_.config.Language)) return;
        Unload();
    } catch (...) {
        ReportFailureWithoutLog(state_.shell, "Form_Load", CurrentFailureDescription());
    }
}

bool FrmLanguage::Offered(const std::string& language) {
    for (const char* offered :
         {"English", "Italiano", "Spanish", "French", "Deutsch", "Português"}) {
        if (language == offered) return true;
    }
    return false;
}

void FrmLanguage::ChooseFrom(const std::string& language) {
    const int index = cmbLanguage->findText(QString::fromStdString(language));
    if (index >= 0) cmbLanguage->setCurrentIndex(index);
}

void FrmLanguage::cmdOK_Click() {
    state_.config.Language = cmbLanguage->currentText().toStdString();
    Unload();
}

void FrmLanguage::Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    hide();
    Form_Unload();
}

void FrmLanguage::Form_Unload() {
    if (showMainWindow_) showMainWindow_();
}

void FrmLanguage::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            cmdOK_Click();
            break;
        case Qt::Key_Escape:
            close();
            break;
        default:
            QWidget::keyPressEvent(event);
    }
}

void FrmLanguage::closeEvent(QCloseEvent* event) {
    event->accept();
    Unload();
}

}  // namespace mosaikon
