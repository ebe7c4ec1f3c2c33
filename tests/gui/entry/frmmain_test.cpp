#include "gui/entry/frmmain.h"

#include "core/entry/entry.h"
#include "gui/entry/entryrules.h"
#include "gui/entry/frmdatafile.h"
#include "gui/widgets/filebrowsercontrols.h"
#include "support/datatable.h"
#include "support/goldenpicture.h"
#include "support/guitestsupport.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>

#include <map>
#include <stdexcept>

namespace fenlowick {
namespace {

// The focused box's background; the signature boxes' own.
const QColor kDarkRed(128, 0, 0);
const QColor kWhite(Qt::white);

// The leave check's message of the mixture and signature boxes, which ends with a blank.
const char* const kNumericBlank = "Please enter only numeric values ";

// The kinds of box by their names in the tables: the kind, and a box of the main window of it.
const std::map<std::string, std::pair<BoxKind, const char*>> kKinds{
    {"Title", {BoxKind::Title, "Title"}},
    {"Increment", {BoxKind::Increment, "Increment"}},
    {"Tolerance", {BoxKind::Tolerance, "Threshold"}},
    {"IsotopeLabel", {BoxKind::IsotopeLabel, "Isotope_0"}},
    {"Mixture", {BoxKind::Mixture, "Mixture_0"}},
    {"SourceLabel", {BoxKind::SourceLabel, "Sources_0"}},
    {"Signature", {BoxKind::Signature, "Col2_5"}}};

QColor background(const QLineEdit* box) {
    return box->palette().color(QPalette::Base);
}

/// A shown, active main window on a fresh StartFolder, with messages recorded.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        ASSERT_EQ(QApplication::focusWidget(), box("Title"));
    }

    QLineEdit* box(const char* name) const {
        auto* found = window.findChild<QLineEdit*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    QString focusName() const {
        const QWidget* focus = QApplication::focusWidget();
        return focus != nullptr ? focus->objectName() : QString();
    }

    /// Types `text` into the named box (after emptying it) with the focus in it.
    void typeInto(const char* name, const QString& text) {
        QLineEdit* target = box(name);
        target->setFocus(Qt::OtherFocusReason);
        target->clear();
        QTest::keyClicks(target, text);
    }

    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    }

    test::TempDir temp;
    test::RecordingNotifier notes;
    frmMain window{QString::fromStdString(temp.path().string())};
};

TEST_F(MainWindowTest, StartUpCreatesTheSubfoldersAndEmptyBoxes) {
    const QString start = QString::fromStdString(temp.path().string());
    EXPECT_EQ(window.dataFolder(), start + u"/data"_s);
    EXPECT_EQ(window.outputFolder(), start + u"/output"_s);
    EXPECT_TRUE(QDir(window.dataFolder()).exists());
    EXPECT_TRUE(QDir(window.outputFolder()).exists());
    EXPECT_EQ(window.windowTitle(), u"Fenlowick"_s);
    EXPECT_EQ(window.entry(), Entry());
}

TEST_F(MainWindowTest, WindowsLookAsTheirGoldenPictures) {
    // At the start the Title has the focus: dark red with white text.
    test::expectLooksAsGolden(&window, u"main-window"_s);

    // A loaded entry: numbers show at most eight characters, a long label its start. The
    // boxes left on the way to the first mixture take back their own colours.
    Entry entry = test::exampleEntry("estuary-three-isotopes");
    entry.col[2][3] = "18.9000001";
    window.setEntry(entry);
    for (int step = 0; step < 4; ++step) {
        press(Qt::Key_Tab);
    }
    box("Mixture_0")->setFocus(Qt::OtherFocusReason);
    test::expectLooksAsGolden(&window, u"main-window-with-entry"_s);

    test::writeFile(temp.path() / "data" / "diet.dat", "x");
    test::writeFile(temp.path() / "data" / "estuary.dat", "x");
    frmDataFile dialog(&window, window.dataFolder());
    dialog.showFromMenu();
    dialog.controls().setFileName(u"estuary.dat"_s);
    test::expectLooksAsGolden(&dialog, u"data-file-dialog"_s,
                              {dialog.controls().folderList(), dialog.controls().driveList()});
}

TEST_F(MainWindowTest, TabRunsThroughTheBoxesByTabIndexAndWraps) {
    for (int tab = 1; tab <= kEntryBoxCount; ++tab) {
        press(Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), window.entryBox(tab % kEntryBoxCount)) << tab;
    }
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(focusName(), u"Col4_9"_s);
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(focusName(), u"Col4_8"_s);
}

TEST_F(MainWindowTest, LeavingABoxByTabBeepsShowsTheMessageThenEmptiesTheBox) {
    // Every text of the leave checks' table, in a box of its kind.
    QLineEdit* left = nullptr;
    QString textAtMessage;
    int beepsAtMessage = -1;
    notes.whenInformed = [&] {
        textAtMessage = left->text();
        beepsAtMessage = notes.beeps;
    };
    for (const test::TableRow& row : test::readTable("entry-checks/leavechecks.tsv", 3, 30)) {
        SCOPED_TRACE(row.where);
        const QString text = QString::fromStdString(row.fields[1]);
        const bool refused = row.fields[2] != "accepted";
        notes.messages.clear();
        notes.beeps = 0;
        typeInto(kKinds.at(row.fields[0]).second, text);
        left = box(kKinds.at(row.fields[0]).second);
        press(Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget() == left, refused);
        EXPECT_EQ(left->text(), refused ? QString() : text);
        EXPECT_EQ(notes.messages,
                  refused ? QStringList{QString::fromStdString(row.fields[2])} : QStringList());
        if (refused) {
            EXPECT_EQ(beepsAtMessage, 1);
            EXPECT_EQ(textAtMessage, text);
            // A refused box keeps the focus colours.
            EXPECT_EQ(background(left), kDarkRed);
        }
    }
    notes.whenInformed = nullptr;
}

TEST_F(MainWindowTest, AClickOnAnotherBoxIsCheckedToo) {
    typeInto("Col0_0", u"abc"_s);
    QLineEdit* other = box("Col3_3");
    QTest::mouseClick(other, Qt::LeftButton, {}, other->rect().center());
    EXPECT_EQ(focusName(), u"Col0_0"_s);
    EXPECT_EQ(notes.messages, QStringList{QString::fromLatin1(kNumericBlank)});
    EXPECT_EQ(background(other), kWhite);

    QTest::mouseClick(other, Qt::LeftButton, {}, other->rect().center());
    EXPECT_EQ(QApplication::focusWidget(), other);
    EXPECT_EQ(background(other), kDarkRed);
}

TEST_F(MainWindowTest, EnterMovesToTheNextTabIndexAndNeverReachesTheBox) {
    QSignalSpy returns(box("Title"), &QLineEdit::returnPressed);
    press(Qt::Key_Return);
    EXPECT_EQ(focusName(), u"Increment"_s);
    box("Sources_9")->setFocus(Qt::OtherFocusReason);
    press(Qt::Key_Enter);
    EXPECT_EQ(focusName(), u"Col0_0"_s);
    EXPECT_EQ(returns.count(), 0);

    // The last box has nowhere to go, but is still checked.
    typeInto("Col4_9", u"7"_s);
    press(Qt::Key_Return);
    EXPECT_EQ(focusName(), u"Col4_9"_s);
    typeInto("Col4_9", u"abc"_s);
    press(Qt::Key_Return);
    EXPECT_EQ(box("Col4_9")->text(), QString());
    EXPECT_EQ(notes.messages, QStringList{QString::fromLatin1(kNumericBlank)});
}

TEST_F(MainWindowTest, AnAltChordThatIsNoAccessKeyTypesNothing) {
    typeInto("Mixture_0", u"-14.2"_s);
    for (const Qt::Key key : {Qt::Key_S, Qt::Key_Q, Qt::Key_2}) {
        press(key, Qt::AltModifier);
        EXPECT_EQ(box("Mixture_0")->text(), u"-14.2"_s);
    }
    EXPECT_EQ(focusName(), u"Mixture_0"_s);
    EXPECT_TRUE(notes.messages.isEmpty()) << notes.messages.join(u'\n').toStdString();
    // Without Alt the letter is typed as before.
    press(Qt::Key_5);
    EXPECT_EQ(box("Mixture_0")->text(), u"-14.25"_s);
}

TEST_F(MainWindowTest, LetterBoxesHandTheFocusOnAfterCheckingTheBoxBeingLeft) {
    box("Col1_1")->setFocus(Qt::OtherFocusReason);
    QTest::mouseClick(window.letterBox(0), Qt::LeftButton);
    EXPECT_EQ(focusName(), u"Title"_s);
    for (int letter = 1; letter < kLetterBoxCount; ++letter) {
        box("Title")->setFocus(Qt::OtherFocusReason);
        QTest::mouseClick(window.letterBox(letter), Qt::LeftButton);
        EXPECT_EQ(focusName(), u"Col4_9"_s) << letter;
    }
    typeInto("Threshold", u"x"_s);
    QTest::mouseClick(window.letterBox(4), Qt::LeftButton);
    EXPECT_EQ(focusName(), u"Threshold"_s);
    EXPECT_EQ(notes.messages, QStringList{u"Please enter only numeric values"_s});
}

TEST_F(MainWindowTest, AnotherWindowTakingTheFocusOrAMenuCommandRunsNoCheckAndKeepsTheColours) {
    typeInto("Increment", u"abc"_s);
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_EQ(background(box("Increment")), kDarkRed);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QSignalSpy graph(&window, &frmMain::graphRequested);
    QMenuBar* bar = window.menuBar();
    const QRect item = bar->actionGeometry(window.menuCommand(u"GraphData"_s));
    QTest::mouseClick(bar, Qt::LeftButton, {}, item.center());
    EXPECT_EQ(graph.count(), 1);
    EXPECT_TRUE(notes.messages.isEmpty());
    EXPECT_EQ(box("Increment")->text(), u"abc"_s);
    EXPECT_EQ(focusName(), u"Increment"_s);
    EXPECT_EQ(background(box("Increment")), kDarkRed);
}

TEST_F(MainWindowTest, SetEntryFillsTheNamedBoxesInDataFileOrderAndClearEmptiesEveryBox) {
    Entry entry;
    for (int field = 0; field < kEntryFieldCount; ++field) {
        entryField(entry, field) = "f" + std::to_string(field);
    }
    window.setEntry(entry);
    EXPECT_EQ(window.entry(), entry);
    for (int tab = 0; tab < kEntryBoxCount; ++tab) {
        const auto* named =
            window.findChild<QLineEdit*>(QString::fromStdString(boxObjectName(tab)));
        ASSERT_EQ(named, window.entryBox(tab)) << tab;
        EXPECT_EQ(named->text().toStdString(), "f" + std::to_string(fieldIndexOfTab(tab))) << tab;
    }

    window.menuCommand(u"ClearForm"_s)->trigger();
    EXPECT_EQ(window.entry(), Entry::cleared());
}

TEST_F(MainWindowTest, ViewShowsTheNoteBeforeAskingForTheViewer) {
    qsizetype messagesAtRequest = -1;
    QObject::connect(&window, &frmMain::viewOutputRequested, &window,
                     [&] { messagesAtRequest = notes.messages.size(); });
    window.menuCommand(u"ViewOutput"_s)->trigger();
    EXPECT_EQ(messagesAtRequest, 1);
    // The note's text, one line, is in tests/data/gui/view-note.txt.
    const std::string note = test::readFile(FENLOWICK_TEST_DATA "/gui/view-note.txt");
    EXPECT_EQ(notes.messages, QStringList{QString::fromStdString(test::linesOf(note).at(0))});
}

TEST_F(MainWindowTest, OtherCommandsSignalAnnounceTheProgramOrExit) {
    QSignalSpy file(&window, &frmMain::fileOpenRequested);
    QSignalSpy calc(&window, &frmMain::calculateRequested);
    QSignalSpy closing(&window, &frmMain::closing);
    window.menuCommand(u"FileOpen"_s)->trigger();
    window.menuCommand(u"Calculate"_s)->trigger();
    EXPECT_EQ(file.count(), 1);
    EXPECT_EQ(calc.count(), 1);

    QCoreApplication::setApplicationVersion(u"9.8.7+git6.abcdef0"_s);
    window.menuCommand(u"About"_s)->trigger();
    ASSERT_EQ(notes.messages.size(), 1);
    EXPECT_EQ(notes.titles[0], u"Fenlowick"_s);
    EXPECT_TRUE(notes.messages[0].startsWith(u"Fenlowick 9.8.7+git6.abcdef0\n"_s));

    EXPECT_EQ(closing.count(), 0);
    window.menuCommand(u"ExitProgram"_s)->trigger();
    EXPECT_EQ(closing.count(), 1);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(MainWindowTest, PrintGivesOnePagePerCopyWithinMarginsAndACancelOrAFailedPrinterSaysSo) {
    const QString pdf = QString::fromStdString(temp.file("three.pdf"));
    test::expectPrinting([&](auto chooser) { window.setPrinterPrompt(chooser); },
                         [&] { window.menuCommand(u"PrintData"_s)->trigger(); }, notes,
                         QStringLiteral("There was an error during the printout!  Check your "
                                        "printer and cable before trying again."),
                         pdf, 3);
    const QImage page = test::pdfPageImage(pdf.toStdString(), 40);
    ASSERT_FALSE(page.isNull());
    EXPECT_EQ(test::inkWithinMargins(page, 12.0, 40), 0);
    EXPECT_GT(test::inkWithinMargins(page, 100.0, 40), 1000); // the window's image is there
}

TEST(EntryRules, BoxKindFollowsTheTabIndex) {
    for (const test::TableRow& row : test::readTable("entry-checks/boxkinds.tsv", 3, 7)) {
        for (const std::string& tab : {row.fields[1], row.fields[2]}) {
            EXPECT_EQ(boxKindOfTab(std::stoi(tab)), kKinds.at(row.fields[0]).first) << row.where;
        }
    }
    EXPECT_THROW(boxKindOfTab(-1), std::out_of_range);
    EXPECT_THROW(boxKindOfTab(73), std::out_of_range);
    // Where Enter and the letter boxes lead is checked by MainWindowTest.
    EXPECT_THROW(letterTarget(7), std::out_of_range);
}

TEST(EntryRules, LeaveCheckMessages) {
    for (const test::TableRow& row : test::readTable("entry-checks/leavechecks.tsv", 3, 30)) {
        EXPECT_EQ(
            leaveCheckMessage(kKinds.at(row.fields[0]).first, row.fields[1]).value_or("accepted"),
            row.fields[2])
            << row.where;
    }
}

TEST(EntryRules, TabIndexesMapOntoTheDataFileFieldsAndTheirBoxNames) {
    // That the map is one to one shows in MainWindowTest.SetEntryFillsTheNamedBoxes...
    for (int tab = 0; tab < kEntryBoxCount; ++tab) {
        EXPECT_EQ(boxObjectName(tab), test::windowBoxName(fieldIndexOfTab(tab))) << tab;
    }
    for (const auto& [tab, field] : {std::pair{13, 13}, {14, 19}, {23, 14}, {33, 15}, {72, 72}}) {
        EXPECT_EQ(fieldIndexOfTab(tab), field) << tab;
    }
}

} // namespace
} // namespace fenlowick
