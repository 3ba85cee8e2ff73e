#pragma once

#include <QWidget>
#include <functional>

#include "ui/app_state.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace mosaikon {

// The start-up window: opens the log, reads the configuration and, when no language is
// configured, asks for one. However it goes away, its unload shows the main window.
class FrmLanguage : public QWidget {
    Q_OBJECT

public:
    FrmLanguage(AppState& state, std::function<void()> showMainWindow, QWidget* parent = nullptr);

    void Form_Load();
    void Form_Unload();
    void cmdOK_Click();
    // Shows the language given as the one chosen, when it is one of those offered.
    void ChooseFrom(const std::string& language);
    // Whether the program offers the language.
    static bool Offered(const std::string& language);
    // Unloads the window, shown or not.
    void Unload();
    bool IsUnloaded() const { return unloaded_; }

    QComboBox* cmbLanguage;
    QLabel* Label1;
    QPushButton* cmdOK;

protected:
    void closeEvent(QCloseEvent* event) override;
    // Enter chooses the language shown, as OK does; Escape closes the picker as its close box.
    void keyPressEvent(QKeyEvent* event) override;

private:
    AppState& state_;
    std::function<void()> showMainWindow_;
    bool unloaded_ = false;
};

}  // namespace mosaikon
