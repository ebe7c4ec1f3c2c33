#include "gui/entry/frmdatafile.h"

#include "core/entry/datafile.h"
#include "gui/entry/frmmain.h"
#include "gui/widgets/filebrowsercontrols.h"
#include "support/guitestsupport.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <tuple>

namespace fenlowick {
namespace {

const QString kAccessError = QStringLiteral(
    "ERROR: Accessing the file name you entered. Make sure that you typed it in correctly!");

Entry sampleEntry() {
    Entry entry = test::threeSourceEntry();
    entry.title = "Diet study, winter 2024";
    entry.isotope[0] = "d13C, bulk";
    entry.sources[1] = "Gulls, adult \xc2\xb5"; // UTF-8 for a micro sign
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

    void writeData(const std::string& name, const Entry& entry) {
        test::writeFile(dataPath(name), serializeDataFile(entry));
    }

    void typeName(const QString& name) { dialog.controls().setFileName(name); }
    void save(const QString& name) {
        typeName(name);
        dialog.FileSave_Click();
    }
    void open(const QString& name) {
        typeName(name);
        dialog.FileOpen_Click();
    }

    test::TempDir temp;
    test::RecordingNotifier notes;
    frmMain main{QString::fromStdString(temp.path().string())};
    frmDataFile dialog{&main, main.dataFolder()};
};

TEST_F(DataFileDialogTest, SaveReplacesTheDatFileAndOpenFillsTheBoxesAgain) {
    // The file's bytes and what survives a round trip are DataFile's to check.
    test::writeFile(dataPath("run.dat"), "whatever was here");
    const Entry entry = sampleEntry();
    main.setEntry(entry);
    save(u"run.txt"_s);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(notes.messages.isEmpty());
    EXPECT_EQ(test::readFile(dataPath("run.dat")), serializeDataFile(entry));
    EXPECT_EQ(test::filesIn(temp.path() / "data"), std::vector<std::string>{"run.dat"});

    main.ClearForm_Click();
    dialog.showFromMenu();
    EXPECT_EQ(dialog.controls().fileName(), u"run.txt"_s);
    open(u"run.dat"_s);
    EXPECT_TRUE(notes.messages.isEmpty());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(main.entry(), entry);
    EXPECT_EQ(main.findChild<QLineEdit*>(u"Sources_1"_s)->text(), u"Gulls, adult \u00b5"_s);
}

TEST_F(DataFileDialogTest, WithoutANameOpenKeepsTheDialogAndSaveHidesItWritingNothing) {
    dialog.FileOpen_Click();
    EXPECT_EQ(notes.messages, QStringList{u"Please select a file, or type in it's name"_s});
    EXPECT_TRUE(dialog.isVisible());
    notes.messages.clear();
    dialog.FileSave_Click();
    EXPECT_EQ(notes.messages, QStringList{u"Please select a file, or type in it's name!"_s});
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(test::filesIn(temp.path() / "data").empty());
}

TEST_F(DataFileDialogTest, AFileThatCannotBeReadIsRefusedAndTheEntryStays) {
    // Open takes the name as typed, without adding an extension; which files cannot be read
    // is DataFile's to check.
    writeData("run.dat", test::threeSourceEntry());
    main.setEntry(sampleEntry());
    open(u"run"_s);
    EXPECT_EQ(notes.messages, QStringList{kAccessError});
    EXPECT_TRUE(dialog.controls().fileName().isEmpty());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(main.entry(), sampleEntry());
}

TEST_F(DataFileDialogTest, ShowingAgainListsFilesSavedMeanwhileAndAClickOrTheKeyboardLoads) {
    writeData("a.dat", test::threeSourceEntry());
    dialog.FileCancel_Click();
    EXPECT_FALSE(dialog.isVisible());
    writeData("b.dat", sampleEntry());
    dialog.showFromMenu();
    QListWidget* files = dialog.controls().fileList();
    ASSERT_EQ(files->count(), 2);
    const QRect item = files->visualItemRect(files->item(1));
    QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, item.center());
    EXPECT_TRUE(notes.messages.isEmpty());
    EXPECT_EQ(dialog.controls().fileName(), u"b.dat"_s);
    EXPECT_EQ(main.entry(), sampleEntry());
    EXPECT_FALSE(dialog.isVisible());

    dialog.showFromMenu();
    files->setFocus();
    files->setCurrentRow(1);
    QTest::keyClick(files, Qt::Key_Up);
    EXPECT_EQ(dialog.controls().fileName(), u"a.dat"_s);
    QTest::keyClick(files, Qt::Key_Return);
    EXPECT_EQ(main.entry(), test::threeSourceEntry());
    EXPECT_FALSE(dialog.isVisible());

    // Escape is Cancel: the dialog is hidden, not discarded, and keeps its folder.
    QSignalSpy discarded(&dialog, &frmDataFile::discarded);
    dialog.showFromMenu();
    EXPECT_EQ(dialog.focusWidget(), dialog.controls().nameBox());
    const QString folderBefore = dialog.controls().folder();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(discarded.count(), 0);
    dialog.showFromMenu();
    EXPECT_EQ(dialog.controls().folder(), folderBefore);
}

// Open b-stream.dat from the keyboard, then File again: the name box showed a-diet.dat, the
// first in the list, and Save wrote the stream entry into it without asking.
TEST_F(DataFileDialogTest, TheNameLastOpenedStaysAndAnotherFileIsReplacedOnlyWhenTheUserSaysSo) {
    Entry diet = test::threeSourceEntry();
    diet.title = "diet";
    writeData("a-diet.dat", diet);
    writeData("b-stream.dat", sampleEntry());
    dialog.showFromMenu();
    typeName(u"typed.dat"_s);
    QListWidget* files = dialog.controls().fileList();
    files->setFocus(Qt::TabFocusReason); // tabbing into the list takes no name
    EXPECT_EQ(dialog.controls().fileName(), u"typed.dat"_s);
    QTest::keyClick(files, Qt::Key_Down);
    QTest::keyClick(files, Qt::Key_Return);
    ASSERT_EQ(main.entry(), sampleEntry());

    dialog.showFromMenu();
    EXPECT_EQ(dialog.controls().fileName(), u"b-stream.dat"_s);
    Entry changed = sampleEntry();
    changed.title = "stream, corrected";
    main.setEntry(changed);
    dialog.FileSave_Click(); // the file just opened: no question
    EXPECT_TRUE(notes.questions.isEmpty());
    EXPECT_EQ(test::readFile(dataPath("b-stream.dat")), serializeDataFile(changed));

    dialog.showFromMenu();
    notes.answer = false;
    save(u"a-diet.dat"_s);
    EXPECT_EQ(notes.questions,
              QStringList{u"a-diet.dat already exists. Replace it with this entry?"_s});
    EXPECT_EQ(test::readFile(dataPath("a-diet.dat")), serializeDataFile(diet));
    EXPECT_TRUE(dialog.isVisible());
    notes.answer = true;
    dialog.FileSave_Click();
    EXPECT_EQ(test::readFile(dataPath("a-diet.dat")), serializeDataFile(changed));
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(DataFileDialogTest, ARefusedOrFailedSaveShowsWhyAndKeepsTheDialog) {
    // A quote the file cannot hold (its whole message is checked by Quotes), and a name
    // below a regular file, which cannot be created, not even by root.
    Entry quoted = test::threeSourceEntry();
    quoted.title = "He said \"hi\" to me";
    test::writeFile(temp.path() / "blocker", "a regular file");
    const QString blocked = QString::fromStdString((temp.path() / "blocker" / "run.dat").string());
    dialog.controls().setFolder(QString::fromStdString(temp.path().string()));
    for (const auto& [entry, name, messageStart] :
         {std::tuple{quoted, u"quote"_s, u"Please remove the double quote"_s},
          {test::threeSourceEntry(), u"blocker/run"_s,
           u"The data file %1 could not be saved: Not a directory"_s.arg(blocked)}}) {
        notes.messages.clear();
        main.setEntry(entry);
        save(name);
        ASSERT_EQ(notes.messages.size(), 1);
        EXPECT_TRUE(notes.messages[0].startsWith(messageStart)) << notes.messages[0].toStdString();
        EXPECT_TRUE(dialog.isVisible());
    }
    EXPECT_EQ(test::filesIn(temp.path()), (std::vector<std::string>{"blocker", "data", "output"}));
}

TEST_F(DataFileDialogTest, CaptionHelpTopicAndTheCloseBoxDiscardingTheDialog) {
    EXPECT_EQ(dialog.windowTitle(), u"Fenlowick - Open / Save data"_s);
    QSignalSpy help(&dialog, &frmDataFile::helpRequested);
    dialog.findChild<QPushButton*>(u"help"_s)->click();
    ASSERT_EQ(help.count(), 1);
    EXPECT_EQ(help[0][0].toString(), u"file_open_save.htm"_s);
    EXPECT_TRUE(dialog.isVisible());

    QSignalSpy discarded(&dialog, &frmDataFile::discarded);
    dialog.close();
    EXPECT_EQ(discarded.count(), 1);
    EXPECT_FALSE(dialog.isVisible());
}

} // namespace
} // namespace fenlowick
