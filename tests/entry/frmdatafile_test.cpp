#include "entry/frmdatafile.h"

#include "datafile.h"
#include "entry/frmmain.h"
#include "recordingnotifier.h"
#include "testsupport.h"
#include "widgets/filebrowsercontrols.h"
#include "widgets/twips.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace fenlowick {
namespace {

const QString kNoNameOpen = QStringLiteral("Please select a file, or type in it's name");
const QString kNoNameSave = QStringLiteral("Please select a file, or type in it's name!");
const QString kAccessError = QStringLiteral(
    "ERROR: Accessing the file name you entered. Make sure that you typed it in correctly!");

Entry sampleEntry() {
    Entry entry = test::threeSourceEntry();
    entry.title = "Diet study, winter 2024";
    entry.isotope[0] = "d13C, bulk";
    entry.sources[1] = "Gulls, adult";
    entry.col[4][9] = "-21.35";
    return entry;
}

class DataFileDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    }

    std::filesystem::path dataPath(const std::string& name) const {
        return temp.path() / "data" / name;
    }

    void typeName(const QString& name) { dialog.controls().setFileName(name); }

    test::TempDir temp;
    test::RecordingNotifier notes;
    frmMain main{QString::fromStdString(temp.path().string())};
    frmDataFile dialog{&main, main.dataFolder()};
};

TEST_F(DataFileDialogTest, LayoutCaptionAndStartFolder) {
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Fenlowick - Open / Save data"));
    EXPECT_EQ(dialog.controls().folder(), main.dataFolder());
    EXPECT_TRUE(dialog.controls().fileName().isEmpty());
    EXPECT_EQ(dialog.size(), QSize(twipsToPixels(9735, &dialog), twipsToPixels(4815, &dialog)));
    const struct {
        const char* name;
        const char* text;
        int top;
    } buttons[] = {{"FileOpen", "&Open", 720},
                   {"FileSave", "&Save", 1560},
                   {"help", "&Help", 2520},
                   {"FileCancel", "&Cancel", 3360}};
    for (const auto& expected : buttons) {
        auto* button = dialog.findChild<QPushButton*>(QString::fromLatin1(expected.name));
        ASSERT_NE(button, nullptr) << expected.name;
        EXPECT_EQ(button->text(), QString::fromLatin1(expected.text));
        EXPECT_EQ(button->geometry(), twipsRect(7560, expected.top, 1935, 735, &dialog));
    }
    EXPECT_EQ(dialog.controls().nameBox()->geometry(), twipsRect(1920, 4200, 5415, 375, &dialog));
    EXPECT_EQ(dialog.controls().fileList()->geometry(), twipsRect(4320, 720, 3015, 2940, &dialog));
}

TEST_F(DataFileDialogTest, SaveAndOpenRoundTripKeepsCommas) {
    const Entry entry = sampleEntry();
    main.setEntry(entry);
    typeName(QStringLiteral("run"));
    dialog.FileSave_Click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(notes.messages.isEmpty());
    EXPECT_EQ(test::readFile(dataPath("run.dat")), serializeDataFile(entry));
    EXPECT_EQ(dialog.controls().fileName(), QStringLiteral("run"));

    main.ClearForm_Click();
    dialog.showFromMenu();
    EXPECT_EQ(dialog.controls().fileName(), QStringLiteral("run"));
    typeName(QStringLiteral("run.dat"));
    dialog.FileOpen_Click();
    EXPECT_TRUE(notes.messages.isEmpty());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(main.entry(), entry);
    EXPECT_EQ(dialog.controls().fileName(), QStringLiteral("run.dat"));
}

TEST_F(DataFileDialogTest, AFreshEntrySavesAQuotedBlankTitle) {
    typeName(QStringLiteral("fresh"));
    dialog.FileSave_Click();
    const std::string empties6 = "\"\",\"\",\"\",\"\",\"\",\"\"\r\n";
    std::string expected = "\" \",\"\",\"\"\r\n";
    expected += "\"\",\"\",\"\",\"\",\"\"\r\n\"\",\"\",\"\",\"\",\"\"\r\n";
    for (int row = 0; row < 10; ++row) {
        expected += empties6;
    }
    EXPECT_EQ(test::readFile(dataPath("fresh.dat")), expected);
}

TEST_F(DataFileDialogTest, SaveForcesTheDatExtensionOnTheNameOnly) {
    const struct {
        const char* typed;
        const char* written;
    } cases[] = {{"run", "run.dat"}, {"run.txt", "run.dat"}, {"a.b.c", "a.dat"}, {"x.", "x.dat"}};
    for (const auto& c : cases) {
        dialog.showFromMenu();
        typeName(QString::fromLatin1(c.typed));
        std::filesystem::remove(dataPath(c.written));
        dialog.FileSave_Click();
        EXPECT_TRUE(std::filesystem::exists(dataPath(c.written))) << c.typed;
    }
    EXPECT_EQ(test::filesIn(temp.path() / "data"),
              (std::vector<std::string>{"a.dat", "run.dat", "x.dat"}));

    std::filesystem::create_directory(temp.path() / "my.data");
    dialog.controls().setFolder(QString::fromStdString((temp.path() / "my.data").string()));
    typeName(QStringLiteral("run"));
    dialog.FileSave_Click();
    EXPECT_EQ(test::filesIn(temp.path() / "my.data"), std::vector<std::string>{"run.dat"});
    EXPECT_TRUE(notes.messages.isEmpty());

    // At the root there is exactly one separator between the folder and the name.
    dialog.controls().setFolder(QStringLiteral("/"));
    typeName(QStringLiteral("run.txt"));
    EXPECT_EQ(dialog.savePath(), QStringLiteral("/run.dat"));
}

TEST_F(DataFileDialogTest, SavingOverAnExistingFileReplacesIt) {
    test::writeFile(dataPath("old.dat"), "whatever was here");
    main.setEntry(sampleEntry());
    typeName(QStringLiteral("old"));
    dialog.FileSave_Click();
    EXPECT_EQ(test::readFile(dataPath("old.dat")), serializeDataFile(sampleEntry()));
    EXPECT_TRUE(notes.messages.isEmpty());
}

TEST_F(DataFileDialogTest, OpenWithoutANameKeepsTheDialog) {
    dialog.FileOpen_Click();
    EXPECT_EQ(notes.messages, QStringList{kNoNameOpen});
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(DataFileDialogTest, SaveWithoutANameHidesTheDialogAndWritesNothing) {
    dialog.FileSave_Click();
    EXPECT_EQ(notes.messages, QStringList{kNoNameSave});
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(test::filesIn(temp.path() / "data").empty());
}

TEST_F(DataFileDialogTest, ATruncatedFileIsRefusedAndTheEntryStays) {
    test::writeFile(dataPath("short.dat"), "\"Title\",\"1\",\"0.1\"\r\n\"a\",\"b\"\r\n");
    const Entry before = sampleEntry();
    main.setEntry(before);
    typeName(QStringLiteral("short.dat"));
    dialog.FileOpen_Click();
    EXPECT_EQ(notes.messages, QStringList{kAccessError});
    EXPECT_TRUE(dialog.controls().fileName().isEmpty());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(main.entry(), before);

    Entry good = test::threeSourceEntry();
    test::writeFile(dataPath("good.dat"), serializeDataFile(good));
    typeName(QStringLiteral("good.dat"));
    dialog.FileOpen_Click();
    EXPECT_EQ(notes.messages.size(), 1);
    EXPECT_EQ(main.entry(), good);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(DataFileDialogTest, OpenTakesTheNameAsTypedWithoutAddingAnExtension) {
    test::writeFile(dataPath("run.dat"), serializeDataFile(sampleEntry()));
    typeName(QStringLiteral("run"));
    dialog.FileOpen_Click();
    EXPECT_EQ(notes.messages, QStringList{kAccessError});
    EXPECT_EQ(main.entry(), Entry());
}

TEST_F(DataFileDialogTest, ASingleClickInTheFileListLoadsAndHides) {
    test::writeFile(dataPath("a.dat"), serializeDataFile(test::threeSourceEntry()));
    test::writeFile(dataPath("b.dat"), serializeDataFile(sampleEntry()));
    dialog.showFromMenu();
    QListWidget* files = dialog.controls().fileList();
    ASSERT_EQ(files->count(), 2);
    const QRect item = files->visualItemRect(files->item(1));
    QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, item.center());
    EXPECT_TRUE(notes.messages.isEmpty());
    EXPECT_EQ(dialog.controls().fileName(), QStringLiteral("b.dat"));
    EXPECT_EQ(main.entry(), sampleEntry());
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(DataFileDialogTest, ShowingAgainListsFilesSavedMeanwhile) {
    dialog.FileCancel_Click();
    EXPECT_FALSE(dialog.isVisible());
    test::writeFile(dataPath("new.dat"), serializeDataFile(sampleEntry()));
    dialog.showFromMenu();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(dialog.controls().fileList()->count(), 1);
    EXPECT_EQ(dialog.controls().fileList()->item(0)->text(), QStringLiteral("new.dat"));
}

TEST_F(DataFileDialogTest, AWindowsCodePageFileShowsItsLabels) {
    std::string bytes = serializeDataFile(test::threeSourceEntry());
    bytes.replace(bytes.find("\"A\""), 3, "\"Caf\xe9 \xb5g\"");
    test::writeFile(dataPath("cp1252.dat"), bytes);
    typeName(QStringLiteral("cp1252.dat"));
    dialog.FileOpen_Click();
    EXPECT_TRUE(notes.messages.isEmpty());
    EXPECT_EQ(main.findChild<QLineEdit*>(QStringLiteral("Sources_0"))->text(),
              QStringLiteral("Caf\u00e9 \u00b5g"));
}

TEST_F(DataFileDialogTest, SaveRefusesAQuoteInsideAFieldAndWritesNothing) {
    Entry entry = test::threeSourceEntry();
    entry.title = "He said \"hi\" to me";
    main.setEntry(entry);
    typeName(QStringLiteral("quote"));
    dialog.FileSave_Click();
    ASSERT_EQ(notes.messages.size(), 1);
    EXPECT_TRUE(notes.messages.first().contains(
        QStringLiteral("Please remove the double quote (\") from the title")))
        << notes.messages.first().toStdString();
    EXPECT_FALSE(std::filesystem::exists(dataPath("quote.dat")));
}

TEST_F(DataFileDialogTest, AFileHoldingAQuoteInsideAFieldLoadsByTheReadingRule) {
    Entry entry = test::threeSourceEntry();
    entry.title = "He said \"hi\" to me";
    test::writeFile(dataPath("quote.dat"), serializeDataFile(entry));
    typeName(QStringLiteral("quote.dat"));
    dialog.FileOpen_Click();
    EXPECT_TRUE(notes.messages.isEmpty());
    // The title ends at its second quote; the rest of that field is passed over, and every
    // other box comes back unchanged.
    Entry expected = entry;
    expected.title = "He said ";
    EXPECT_EQ(main.entry(), expected);
}

TEST_F(DataFileDialogTest, AFailedSaveNamesTheFileAndKeepsTheDialog) {
    // A name that leads below a regular file cannot be created, not even by root.
    test::writeFile(temp.path() / "blocker", "a regular file");
    dialog.controls().setFolder(QString::fromStdString(temp.path().string()));
    typeName(QStringLiteral("blocker/run"));
    dialog.FileSave_Click();
    ASSERT_EQ(notes.messages.size(), 1);
    const QString path = QString::fromStdString((temp.path() / "blocker" / "run.dat").string());
    EXPECT_EQ(notes.messages[0],
              QStringLiteral("The data file %1 could not be saved: Not a directory").arg(path));
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(DataFileDialogTest, AFailedWriteLeavesTheEarlierFileIntact) {
    const std::string earlier = serializeDataFile(test::threeSourceEntry());
    test::writeFile(dataPath("keep.dat"), earlier);
    Entry large = sampleEntry();
    large.title = std::string(64 * 1024, 'x');
    main.setEntry(large);
    typeName(QStringLiteral("keep"));

    // A file-size limit makes the write fail part way, as a full disk would.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    dialog.FileSave_Click();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    ASSERT_EQ(notes.messages.size(), 1);
    const QString path = QString::fromStdString(dataPath("keep.dat").string());
    EXPECT_TRUE(notes.messages[0].startsWith(
        QStringLiteral("The data file %1 could not be saved: ").arg(path)))
        << notes.messages[0].toStdString();
    EXPECT_EQ(test::readFile(dataPath("keep.dat")), earlier);
    EXPECT_EQ(test::filesIn(temp.path() / "data"), std::vector<std::string>{"keep.dat"});
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(DataFileDialogTest, HelpAsksForItsTopic) {
    QSignalSpy help(&dialog, &frmDataFile::helpRequested);
    dialog.findChild<QPushButton*>(QStringLiteral("help"))->click();
    ASSERT_EQ(help.count(), 1);
    EXPECT_EQ(help[0][0].toString(), QStringLiteral("file_open_save.htm"));
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(DataFileDialogTest, TheCloseBoxDiscardsTheDialog) {
    QSignalSpy discarded(&dialog, &frmDataFile::discarded);
    dialog.close();
    EXPECT_EQ(discarded.count(), 1);
    EXPECT_FALSE(dialog.isVisible());
}

} // namespace
} // namespace fenlowick
