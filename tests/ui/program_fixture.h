#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <memory>

#include "support/test_support.h"
#include "ui/app_state.h"
#include "ui/frm_language.h"
#include "ui/frm_main.h"

namespace mosaikon::test {

// A program folder of its own with the shipped language files, and the two windows started as
// the program starts them, message boxes recorded.
class ProgramFixture : public ::testing::Test {
protected:
    ProgramFixture() {
        std::filesystem::copy(MOSAIKON_SETTINGS_DIR, folder.path() / "Settings",
                              std::filesystem::copy_options::recursive);
        state.programFolder = folder.path().string();
        state.shell.messageBox = [this](const std::string& text, MessageKind) {
            boxes.push_back(text);
        };
    }

    void WriteConfig(const std::string& text) {
        WriteBytes(folder.path() / "Settings/config.txt", Bytes(text.begin(), text.end()));
    }
    std::string ConfigFile() { return ReadText(folder.path() / "Settings/config.txt"); }
    std::vector<std::string> LogLines() { return LinesOf(folder.path() / "Settings/Log_File.txt"); }

    // Starts as the program does: the picker loads first and may unload at once.
    void Start() {
        main = std::make_unique<FrmMain>(state);
        main->notice = [this](const std::string& text) { notices.push_back(text); };
        picker = std::make_unique<FrmLanguage>(state, [this] { main->ShowWindow(); });
        picker->Form_Load();
        if (!picker->IsUnloaded()) picker->show();
    }

    template <typename Control = QWidget>
    Control* Find(const char* name) {
        auto* control = main->findChild<Control*>(name);
        EXPECT_NE(control, nullptr) << name;
        return control;
    }

    TempFolder folder;
    AppState state;
    std::vector<std::string> boxes;
    std::vector<std::string> notices;  // the notes that only inform, shown without stopping
    std::unique_ptr<FrmMain> main;
    std::unique_ptr<FrmLanguage> picker;
};

}  // namespace mosaikon::test
