// Start-up and shut-down through the real windows: the picker, the language, the stored
// position, locations and author.

#include <unistd.h>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include <cstdlib>

#include "program_fixture.h"
#include "ui/window_placement.h"

namespace mosaikon {
namespace {

class Startup : public test::ProgramFixture {
protected:
    std::string Config(const std::string& language, int left = 600, int top = 700,
                       const std::string& author = "Ann") {
        return "<language>" + language + "<language><left>" + std::to_string(left) + "<left><top>" +
               std::to_string(top) +
               "<top><image>/pics/logo.bmp<image><save>/out/s1.dat<save>"
               "<author>" +
               author + "<author>";
    }
    // As installed: bin/ beside share/mosaikon with the language files, no Settings folder.
    std::filesystem::path Install() {
        const auto prefix = folder.path() / "prefix";
        std::filesystem::create_directories(prefix / "bin");
        std::filesystem::create_directories(prefix / "share");
        std::filesystem::rename(folder.path() / "Settings", prefix / "share/mosaikon");
        state.programFolder = (prefix / "bin").string();
        return prefix;
    }
};

// Without a configuration the picker asks: a small tool window; OK or Enter takes the language
// shown, one of those offered (no name can be typed), Escape keeps the default.
TEST_F(Startup, WithoutAConfigurationThePickerAsksAndTheChoiceIsStored) {
    Start();
    EXPECT_THAT(boxes, ElementsAre(StartsWith("Could not find: Config File ")));
    EXPECT_TRUE(picker->isVisible() && !main->isVisible());
    EXPECT_EQ(picker->windowTitle(), "Select Language");
    EXPECT_EQ(picker->size(), QSize(221, 81));
    EXPECT_TRUE(picker->windowFlags() & Qt::Tool);
    auto* combo = picker->findChild<QComboBox*>("cmbLanguage");
    auto* ok = picker->findChild<QPushButton*>("cmdOK");
    EXPECT_EQ(combo->geometry(), QRect(88, 16, 121, 21));
    EXPECT_EQ(ok->geometry(), QRect(88, 48, 41, 25));
    EXPECT_EQ(combo->currentText(), "English");
    EXPECT_EQ(combo->count(), 6);
    EXPECT_FALSE(combo->isEditable());
    combo->setCurrentText("Italiano");
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_TRUE(picker->IsUnloaded() && main->isVisible());
    EXPECT_EQ(main->windowTitle(), "Converti bitmap in adesivo LDRAW");
    EXPECT_EQ(Find<QGroupBox>("frmOptions")->title(), "Opzioni, conversione e salvataggio");
    EXPECT_THAT(state.shell.messages.MsgConvertDone, StartsWith("L'adesivo"));
    main->close();
    EXPECT_THAT(ConfigFile(), StartsWith("<language>Italiano<language>"));
    for (const auto key : {Qt::Key_Return, Qt::Key_Escape}) {
        std::filesystem::remove(folder.path() / "Settings/config.txt");
        Start();
        picker->findChild<QComboBox*>("cmbLanguage")->setCurrentText("Deutsch");
        QTest::keyClick(picker.get(), key);
        EXPECT_TRUE(picker->IsUnloaded() && main->isVisible());
        EXPECT_EQ(state.config.Language, key == Qt::Key_Return ? "Deutsch" : "Default");
        main->close();
    }
}

TEST_F(Startup, APictureGivenAtStartIsOpenedAsIfChosen) {
    WriteConfig(Config("English"));
    const std::string picture = (folder.path() / "given.bmp").string();
    test::WriteBytes(picture,
                     test::EncodeBitmap({.width = 3, .height = 2, .palette = test::GreyRamp(4)}));
    main = std::make_unique<FrmMain>(state);
    main->OpenWhenShown(QString::fromStdString(picture));
    picker = std::make_unique<FrmLanguage>(state, [this] { main->ShowWindow(); });
    picker->Form_Load();
    EXPECT_EQ(Find<QLineEdit>("txtImageLocation")->text().toStdString(), picture);
    EXPECT_EQ(Find<QLineEdit>("txtHeight")->text(), "2");
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Startup, FoldersThatCannotBeWrittenAreNamedOnceAndStickersAreStillMade) {
    // Installed, and the user's configuration and state folders cannot be made.
    Install();
    test::WriteBytes(folder.path() / "blocker", {'x'});
    setenv("XDG_CONFIG_HOME", (folder.path() / "blocker/config").c_str(), 1);
    setenv("XDG_STATE_HOME", (folder.path() / "blocker/state").c_str(), 1);
    Start();
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_STATE_HOME");
    ASSERT_GE(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Mosaikon cannot write its settings folder " +
                            (folder.path() / "blocker/config/mosaikon").string() +
                            ", so the choices of this session will not be kept.");
    picker->cmdOK_Click();
    // The preview goes to the temporary folder; the window works.
    const std::string picture = (folder.path() / "p.bmp").string();
    test::WriteBytes(picture,
                     test::EncodeBitmap({.width = 3, .height = 2, .palette = test::GreyRamp(4)}));
    main->fileDialog = [&](const FileDialogRequest& request) {
        return request.title == "Open" ? picture : (folder.path() / "s1.dat").string();
    };
    const std::size_t before = boxes.size();
    QTest::mouseClick(Find<QPushButton>("cmdBrowseOpen"), Qt::LeftButton);
    QTest::mouseClick(Find<QPushButton>("cmdBrowseSave"), Qt::LeftButton);
    QTest::mouseClick(Find<QPushButton>("cmdPreview"), Qt::LeftButton);
    QTest::mouseClick(Find<QPushButton>("cmdConvert"), Qt::LeftButton);
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "s1.dat"));
    main->close();
    ASSERT_EQ(boxes.size(), before + 1);  // the "saved" message, and nothing about the folders
}

TEST_F(Startup, AConfiguredLanguageSkipsThePicker) {
    WriteConfig(Config("Deutsch"));
    Start();
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(picker->IsUnloaded() && !picker->isVisible() && main->isVisible());
    EXPECT_EQ(main->windowTitle(), "Bitmap in LDRAW-Aufkleber umwandeln");
    EXPECT_EQ(Find<QLineEdit>("txtImageLocation")->text(), "/pics/logo.bmp");
    EXPECT_EQ(Find<QLineEdit>("txtSaveLocation")->text(), "/out/s1.dat");
    EXPECT_EQ(main->pos(), QPoint(40, 47));  // 600 and 700 twips
    // The German layout widens the location labels and moves the boxes and buttons.
    EXPECT_EQ(Find("lblImageLocation")->geometry(), QRect(8, 24, 183, 16));
    EXPECT_EQ(Find("txtImageLocation")->geometry().left(), 193);              // 2888 twips
    EXPECT_EQ(Find("txtSaveLocation")->geometry(), QRect(192, 48, 393, 19));  // 2880 twips
    EXPECT_EQ(Find("cmdBrowseOpen")->geometry(), QRect(592, 24, 89, 20));
    main->close();
    EXPECT_EQ(ConfigFile(),
              "<language>Deutsch<language><left>600<left><top>705<top><image>/pics/logo.bmp<image>"
              "<save>/out/s1.dat<save><author>Ann<author>");
}

TEST_F(Startup, ClosingThePickerOpensTheMainWindowAndKeepsDefault) {
    WriteConfig(Config("default"));
    Start();
    ASSERT_TRUE(picker->isVisible());
    picker->close();
    EXPECT_TRUE(main->isVisible());
    EXPECT_THAT(boxes, ElementsAre(StartsWith("Could not find Language File: ")));
    EXPECT_EQ(main->windowTitle(), "Convert Bitmap to LDRAW Sticker");
    main->close();
    EXPECT_THAT(ConfigFile(), StartsWith("<language>default<language>"));
    // A configured language that is not offered (a name once typed, with no file behind it)
    // asks again, instead of failing at every start.
    WriteConfig(Config("Klingon"));
    boxes.clear();
    Start();
    EXPECT_TRUE(picker->isVisible() && !main->isVisible());
    EXPECT_TRUE(boxes.empty());
    picker->findChild<QComboBox*>("cmbLanguage")->setCurrentText("Spanish");
    picker->cmdOK_Click();
    EXPECT_EQ(Find<QGroupBox>("frmImage")->title(), "Imagen original");
    main->close();
    EXPECT_THAT(ConfigFile(), StartsWith("<language>Spanish<language>"));
}

TEST_F(Startup, PositionsOutsideTheLimitsOrMinimisedAreNotStored) {
    struct Case {
        QPoint pixels;
        bool stored;
    };
    for (const Case c : {Case{{666, 10}, true}, Case{{667, 10}, false}, Case{{0, 10}, false},
                         Case{{10, -300}, false}}) {
        WriteConfig(Config("English", 1500, 1500));
        AppState fresh;
        fresh.programFolder = state.programFolder;
        fresh.shell.messageBox = state.shell.messageBox;
        FrmMain window(fresh);
        FrmLanguage picker(fresh, [&] { window.ShowWindow(); });
        picker.Form_Load();
        window.move(c.pixels);
        window.close();
        EXPECT_EQ(ConfigFile().find("<left>1500<left>") == std::string::npos, c.stored)
            << c.pixels.x() << "," << c.pixels.y();
    }
    WriteConfig(Config("English", 1500, 1500));
    Start();
    main->move(100, 100);
    main->showMinimized();
    main->close();
    EXPECT_THAT(ConfigFile(), HasSubstr("<left>1500<left><top>1500<top>"));
}

TEST_F(Startup, AStoredPositionOffEveryScreenIsBroughtBack) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect window(0, 0, 300, 200);
    // Visible where it is: kept, also with just 20 pixels of its top on the screen.
    const QPoint kept(10, screen.bottom() - 19);
    EXPECT_EQ(PlaceOnScreens(window.translated(kept), {screen}), kept);
    // Off to the right, below, or at negative places: onto the screen, as near as it allows.
    EXPECT_EQ(PlaceOnScreens(window.translated(5000, 40), {screen}),
              QPoint(screen.right() + 1 - 300, 40));
    EXPECT_EQ(PlaceOnScreens(window.translated(-2000, -2000), {screen}), screen.topLeft());
    // Two screens side by side: a window beyond the second lands on the second.
    const QRect second = screen.translated(screen.width(), 0);
    EXPECT_EQ(PlaceOnScreens(window.translated(second.right() + 900, 100), {screen, second}),
              QPoint(second.right() + 1 - 300, 100));

    WriteConfig(Config("English", 32000, 32000));
    Start();
    EXPECT_TRUE(screen.intersects(main->frameGeometry())) << main->pos().x();
}

// When the state folder cannot be made, the log and preview would go to the temporary folder:
// one that someone else made there beforehand, writable by all, with links to the user's files
// in it, is not used, and no file of the user's is written through its links.
TEST_F(Startup, ATemporaryFolderOthersCanWriteIsNotTrustedWithTheLogOrThePreview) {
    Install();
    test::WriteBytes(folder.path() / "blocker", {'x'});
    const std::string tmp = (folder.path() / "tmp").string();
    const auto planted = folder.path() / "tmp" / ("mosaikon-" + std::to_string(::getuid()));
    std::filesystem::create_directories(planted);
    std::filesystem::permissions(planted, std::filesystem::perms::all);
    const auto victim = folder.path() / "thesis.txt";
    test::WriteBytes(victim, {'m', 'y', ' ', 'w', 'o', 'r', 'k'});
    std::filesystem::create_symlink(victim, planted / "Log_File.txt");
    std::filesystem::create_symlink(victim, planted / "tempBitmap.bmp");
    setenv("XDG_CONFIG_HOME", (folder.path() / "config").c_str(), 1);
    setenv("XDG_STATE_HOME", (folder.path() / "blocker/state").c_str(), 1);
    setenv("TMPDIR", tmp.c_str(), 1);
    Start();
    picker->cmdOK_Click();
    const std::string picture = (folder.path() / "p.bmp").string();
    test::WriteBytes(picture,
                     test::EncodeBitmap({.width = 3, .height = 2, .palette = test::GreyRamp(4)}));
    main->fileDialog = [&](const FileDialogRequest& request) {
        return request.title == "Open" ? picture : (folder.path() / "s1.dat").string();
    };
    QTest::mouseClick(Find<QPushButton>("cmdBrowseOpen"), Qt::LeftButton);
    QTest::mouseClick(Find<QPushButton>("cmdBrowseSave"), Qt::LeftButton);
    QTest::mouseClick(Find<QPushButton>("cmdPreview"), Qt::LeftButton);
    main->close();
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_STATE_HOME");
    unsetenv("TMPDIR");
    EXPECT_EQ(boxes.front(),
              "The log file cannot be written (no folder private to you can hold it: the "
              "temporary one belongs to someone else or others can write it); Mosaikon goes on "
              "without a log.");
    EXPECT_EQ(test::ReadText(victim), "my work");
    EXPECT_TRUE(std::filesystem::is_symlink(planted / "tempBitmap.bmp"));
    EXPECT_FALSE(Find<PictureView>("imgPreview")->IsEmpty());  // the preview still works
}

TEST_F(Startup, ALogThatCannotBeWrittenOrAnEmptiedAuthorCostNoStoredSetting) {
    WriteConfig(Config("English", 600, 750, "Ann"));
    std::filesystem::create_directory(folder.path() / "Settings/Log_File.txt");
    Start();
    EXPECT_THAT(boxes, ElementsAre(HasSubstr("goes on without a log")));
    EXPECT_TRUE(main->isVisible());
    Find<QLineEdit>("txtMetaData(2)")->setText("");  // the author read at start-up is kept
    main->close();
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(ConfigFile(), Config("English", 600, 750, "Ann"));
}

}  // namespace
}  // namespace mosaikon
