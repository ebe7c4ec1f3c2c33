#include "gui/entry/frmmain.h"

#include "gui/widgets/twips.h"
#include "support/recordingnotifier.h"
#include "support/testsupport.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMenuBar>
#include <QPrinter>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace fenlowick {
namespace {

const QColor kGrey(224, 224, 224);
const QColor kDarkBlue(0, 0, 192);
const QColor kLightCyan(128, 255, 255);
const QColor kDarkGreen(0, 128, 0);
const QColor kDarkRed(128, 0, 0);
const QColor kWhite(Qt::white);

const QString kNumericBlank = QStringLiteral("Please enter only numeric values ");
const QString kNumeric = QStringLiteral("Please enter only numeric values");
const QString kNumericRange = QStringLiteral("Please enter only numeric values between 1 and 100");

QColor background(const QLineEdit* box) {
    return box->palette().color(QPalette::Base);
}

QColor textColour(const QLineEdit* box) {
    return box->palette().color(QPalette::Text);
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
        ASSERT_EQ(QApplication::focusWidget(), target);
        target->clear();
        QTest::keyClicks(target, text);
        ASSERT_EQ(target->text(), text);
    }

    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    }

    test::TempDir temp;
    test::RecordingNotifier notes;
    frmMain window{QString::fromStdString(temp.path().string())};
};

TEST_F(MainWindowTest, StartUpTakesTheFolderCreatesItsSubfoldersAndCaptionsTheWindow) {
    const QString start = QString::fromStdString(temp.path().string());
    for (const QString& sub : {QStringLiteral("/data"), QStringLiteral("/output")}) {
        EXPECT_TRUE(QDir(start + sub).exists()) << sub.toStdString();
    }
    EXPECT_EQ(window.dataFolder(), start + QStringLiteral("/data"));
    EXPECT_EQ(window.outputFolder(), start + QStringLiteral("/output"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Fenlowick"));
    EXPECT_EQ(window.centralWidget()->size(),
              QSize(twipsToPixels(9510, &window), twipsToPixels(6045, &window)));
    EXPECT_EQ(window.centralWidget()->palette().color(QPalette::Window), kGrey);
}

TEST_F(MainWindowTest, SeventyThreeNamedBoxesWithTheirStartTextsLimitsAndLayout) {
    for (int tab = 0; tab < kEntryBoxCount; ++tab) {
        const QString name = QString::fromStdString(boxObjectName(tab));
        EXPECT_EQ(window.findChild<QLineEdit*>(name), window.entryBox(tab)) << tab;
    }
    EXPECT_EQ(box("Title")->text(), QStringLiteral(" "));
    EXPECT_EQ(window.entry(), Entry());
    for (const char* name : {"Mixture_3", "Col4_9", "Col0_0"}) {
        EXPECT_EQ(box(name)->maxLength(), 8) << name;
    }
    for (const char* name : {"Title", "Sources_2", "Isotope_2"}) {
        EXPECT_GT(box(name)->maxLength(), 1000) << name;
    }
    EXPECT_EQ(box("Isotope_0")->toolTip(), QStringLiteral("Label for Isotope system"));
    EXPECT_EQ(box("Sources_9")->toolTip(), QStringLiteral("Label for sources"));

    const struct {
        const char* name;
        int left, top, width, height;
        Qt::Alignment alignment; // not checked when empty
    } boxes[] = {{"Title", 1560, 120, 7885, 405, Qt::AlignLeft},
                 {"Increment", 1560, 720, 735, 405, Qt::AlignRight},
                 {"Threshold", 1560, 1320, 1095, 375, {}},
                 {"Isotope_0", 2880, 1320, 1300, 420, Qt::AlignHCenter},
                 {"Isotope_4", 2880 + 1320 * 4, 1320, 1300, 420, {}},
                 {"Mixture_1", 2880 + 1320, 1800, 1300, 420, {}},
                 {"Sources_7", 840, 2280 + 360 * 7, 2000, 420, {}},
                 {"Col0_0", 2880, 2280, 1300, 420, Qt::AlignRight},
                 {"Col2_4", 2880 + 1320 * 2, 2280 + 360 * 4, 1300, 420, {}}};
    for (const auto& b : boxes) {
        EXPECT_EQ(box(b.name)->geometry(), twipsRect(b.left, b.top, b.width, b.height, &window))
            << b.name;
        if (b.alignment != Qt::Alignment()) {
            EXPECT_EQ(box(b.name)->alignment() & Qt::AlignHorizontal_Mask, b.alignment) << b.name;
        }
    }
    EXPECT_EQ(window.letterBox(6)->geometry(), twipsRect(0, 120 + 480 * 6, 855, 510, &window));
    EXPECT_EQ(window.letterBox(6)->text(), QStringLiteral("S"));
    EXPECT_EQ(window.letterBox(3)->text(), QStringLiteral("R"));
    EXPECT_EQ(background(window.letterBox(0)), kDarkGreen);

    const QFont font = box("Col0_0")->font();
    EXPECT_EQ(font.family(), QStringLiteral("Arial"));
    EXPECT_TRUE(font.bold());
    EXPECT_DOUBLE_EQ(font.pointSizeF(), 12.0);
    EXPECT_DOUBLE_EQ(window.letterBox(0)->font().pointSizeF(), 21.75);
}

TEST_F(MainWindowTest, MenuBarHasTenCommandsWithoutSubmenus) {
    // The commands' object names are those the other tests find them by.
    QStringList texts;
    for (const QAction* action : window.menuBar()->actions()) {
        texts << action->text();
        EXPECT_EQ(action->menu(), nullptr);
    }
    EXPECT_EQ(texts,
              QStringLiteral("&File &Calc &Print C&lear &View &Graph &Isospace &Exit &About &Help")
                  .split(u' '));
}

TEST_F(MainWindowTest, TabRunsThroughTheBoxesByTabIndexAndWraps) {
    for (int tab = 1; tab <= kEntryBoxCount; ++tab) {
        press(Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), window.entryBox(tab % kEntryBoxCount)) << tab;
    }
    EXPECT_EQ(focusName(), QStringLiteral("Title"));
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(focusName(), QStringLiteral("Col4_9"));
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(focusName(), QStringLiteral("Col4_8"));
    EXPECT_TRUE(notes.messages.isEmpty());
}

TEST_F(MainWindowTest, BoxesHaveTheirColoursAndTurnDarkRedWithWhiteTextUnderFocus) {
    EXPECT_EQ(background(box("Increment")), kGrey);
    QLineEdit* title = box("Title");
    EXPECT_EQ(background(title), kDarkRed);
    EXPECT_EQ(textColour(title), kWhite);
    press(Qt::Key_Tab);
    EXPECT_EQ(background(title), kGrey);
    EXPECT_EQ(textColour(title), window.normalText());

    // Labels keep their white text when the focus leaves; the others get the window text.
    const struct {
        const char* name;
        QColor background;
        bool label;
    } boxes[] = {{"Increment", kGrey, false},
                 {"Isotope_1", kDarkBlue, true},
                 {"Mixture_4", kLightCyan, false},
                 {"Sources_0", kDarkGreen, true},
                 {"Col3_2", kWhite, false}};
    for (const auto& b : boxes) {
        SCOPED_TRACE(b.name);
        QLineEdit* left = box(b.name);
        if (left != QApplication::focusWidget()) {
            EXPECT_EQ(background(left), b.background);
            EXPECT_EQ(textColour(left), b.label ? kWhite : QColor(Qt::black));
            left->setFocus(Qt::OtherFocusReason);
        }
        EXPECT_EQ(background(left), kDarkRed);
        EXPECT_EQ(textColour(left), kWhite);
        press(Qt::Key_Tab);
        EXPECT_EQ(background(left), b.background);
        EXPECT_EQ(textColour(left), b.label ? kWhite : window.normalText());
        EXPECT_EQ(background(qobject_cast<QLineEdit*>(QApplication::focusWidget())), kDarkRed);
    }
}

TEST_F(MainWindowTest, AnotherWindowTakingTheFocusRunsNoCheckAndKeepsTheColours) {
    typeInto("Threshold", QStringLiteral("x"));
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_EQ(background(box("Threshold")), kDarkRed);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_EQ(focusName(), QStringLiteral("Threshold"));
    EXPECT_EQ(background(box("Threshold")), kDarkRed);
    EXPECT_EQ(box("Threshold")->text(), QStringLiteral("x"));
    EXPECT_TRUE(notes.messages.isEmpty());
}

TEST_F(MainWindowTest, LeavingABoxByTabChecksItsText) {
    // Each kind of box with each of its messages; every text is in EntryRules.LeaveCheckMessages.
    const QString range = QStringLiteral("Please enter values between 1 and 100");
    const struct {
        const char* name;
        const char* text;
        QString message; // empty when the text is accepted
    } cases[] = {
        {"Increment", "25", {}},
        {"Increment", "", {}},
        {"Increment", "0", range},
        {"Increment", "abc", kNumericRange},
        {"Threshold", "-3", {}},
        {"Threshold", "x", kNumeric},
        {"Col2_5", "12,5a", kNumericBlank},
        {"Mixture_0", "12,5a", kNumericBlank},
        {"Title", "abc", {}},
        {"Isotope_0", "12,5a", {}},
        {"Sources_3", "x", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " [" + c.text + "]");
        notes.messages.clear();
        notes.beeps = 0;
        typeInto(c.name, QString::fromLatin1(c.text));
        QLineEdit* left = box(c.name);
        press(Qt::Key_Tab);
        const bool refused = !c.message.isEmpty();
        EXPECT_EQ(QApplication::focusWidget() == left, refused);
        EXPECT_EQ(left->text(), refused ? QString() : QString::fromLatin1(c.text));
        EXPECT_EQ(notes.messages, refused ? QStringList{c.message} : QStringList());
        EXPECT_EQ(notes.beeps, refused ? 1 : 0);
        if (refused) {
            // A refused box keeps the focus colours.
            EXPECT_EQ(background(left), kDarkRed);
            EXPECT_EQ(textColour(left), kWhite);
        }
    }
}

TEST_F(MainWindowTest, TheMessageComesAfterTheBeepAndBeforeTheBoxIsEmptied) {
    class TextAtMessage : public Notifier {
    public:
        explicit TextAtMessage(QLineEdit* watched) : m_watched(watched) { setNotifier(this); }
        ~TextAtMessage() override { setNotifier(nullptr); }
        void inform(QWidget*, const QString&, const QString&) override {
            textAtMessage = m_watched->text();
            beepsBefore = beeps;
        }
        void beep() override { ++beeps; }
        QString textAtMessage;
        int beeps = 0;
        int beepsBefore = -1;

    private:
        QLineEdit* m_watched;
    };
    typeInto("Threshold", QStringLiteral("x"));
    TextAtMessage recorder(box("Threshold"));
    press(Qt::Key_Tab);
    EXPECT_EQ(recorder.beepsBefore, 1);
    EXPECT_EQ(recorder.textAtMessage, QStringLiteral("x"));
    EXPECT_EQ(box("Threshold")->text(), QString());
}

TEST_F(MainWindowTest, AClickOnAnotherBoxIsCheckedToo) {
    typeInto("Col0_0", QStringLiteral("abc"));
    QLineEdit* other = box("Col3_3");
    QTest::mouseClick(other, Qt::LeftButton, {}, other->rect().center());
    EXPECT_EQ(focusName(), QStringLiteral("Col0_0"));
    EXPECT_EQ(notes.messages, QStringList{kNumericBlank});
    EXPECT_EQ(background(other), kWhite);

    QTest::mouseClick(other, Qt::LeftButton, {}, other->rect().center());
    EXPECT_EQ(QApplication::focusWidget(), other);
    EXPECT_EQ(background(other), kDarkRed);
    EXPECT_EQ(background(box("Col0_0")), kWhite);
    EXPECT_EQ(notes.messages.size(), 1);
}

TEST_F(MainWindowTest, EnterWalksByTabIndexAndNeverReachesTheBox) {
    QSignalSpy returns(box("Title"), &QLineEdit::returnPressed);
    const struct {
        const char* from;
        const char* typed; // nullptr: the box's text stays
        Qt::Key key;
        const char* to;
    } steps[] = {{"Title", nullptr, Qt::Key_Return, "Increment"},
                 {"Isotope_4", nullptr, Qt::Key_Return, "Mixture_0"},
                 {"Sources_9", nullptr, Qt::Key_Enter, "Col0_0"},
                 {"Col0_9", "4.5", Qt::Key_Return, "Col1_0"},
                 {"Col4_9", "7", Qt::Key_Return, "Col4_9"},
                 // A label box moves on whatever it holds.
                 {"Sources_2", "12,5a", Qt::Key_Return, "Sources_3"}};
    for (const auto& s : steps) {
        if (s.typed != nullptr) {
            typeInto(s.from, QString::fromLatin1(s.typed));
        } else {
            box(s.from)->setFocus(Qt::OtherFocusReason);
        }
        press(s.key);
        EXPECT_EQ(focusName(), QString::fromLatin1(s.to)) << s.from;
    }
    EXPECT_EQ(returns.count(), 0);
    EXPECT_EQ(box("Col4_9")->text(), QStringLiteral("7"));
    EXPECT_TRUE(notes.messages.isEmpty());

    // A refused text keeps the focus; the last box has nowhere to go, but is still checked.
    for (const char* name : {"Increment", "Col4_9"}) {
        typeInto(name, QStringLiteral("abc"));
        press(Qt::Key_Return);
        EXPECT_EQ(focusName(), QString::fromLatin1(name));
        EXPECT_EQ(box(name)->text(), QString());
    }
    EXPECT_EQ(notes.messages, (QStringList{kNumericRange, kNumericBlank}));
    EXPECT_EQ(notes.beeps, 2);
}

TEST_F(MainWindowTest, LetterBoxesHandTheFocusOn) {
    box("Col1_1")->setFocus(Qt::OtherFocusReason);
    QTest::mouseClick(window.letterBox(0), Qt::LeftButton);
    EXPECT_EQ(focusName(), QStringLiteral("Title"));
    for (int letter = 1; letter < kLetterBoxCount; ++letter) {
        box("Title")->setFocus(Qt::OtherFocusReason);
        QTest::mouseClick(window.letterBox(letter), Qt::LeftButton);
        EXPECT_EQ(focusName(), QStringLiteral("Col4_9")) << letter;
    }
    for (int letter = 0; letter < kLetterBoxCount; ++letter) {
        EXPECT_EQ(window.letterBox(letter)->focusPolicy(), Qt::NoFocus);
    }

    // The box being left is checked first.
    typeInto("Threshold", QStringLiteral("x"));
    QTest::mouseClick(window.letterBox(4), Qt::LeftButton);
    EXPECT_EQ(focusName(), QStringLiteral("Threshold"));
    EXPECT_EQ(notes.messages, QStringList{kNumeric});
}

TEST_F(MainWindowTest, AMenuCommandRunsNoCheck) {
    typeInto("Increment", QStringLiteral("abc"));
    QSignalSpy graph(&window, &frmMain::graphRequested);
    QMenuBar* bar = window.menuBar();
    const QRect item = bar->actionGeometry(window.menuCommand(QStringLiteral("GraphData")));
    QTest::mouseClick(bar, Qt::LeftButton, {}, item.center());
    EXPECT_EQ(graph.count(), 1);
    EXPECT_TRUE(notes.messages.isEmpty());
    EXPECT_EQ(notes.beeps, 0);
    EXPECT_EQ(box("Increment")->text(), QStringLiteral("abc"));
    EXPECT_EQ(focusName(), QStringLiteral("Increment"));
    EXPECT_EQ(background(box("Increment")), kDarkRed);
}

TEST_F(MainWindowTest, SetEntryFillsTheBoxesInDataFileOrderAndClearEmptiesEveryBox) {
    Entry entry;
    for (int field = 0; field < kEntryFieldCount; ++field) {
        entryField(entry, field) = "f" + std::to_string(field);
    }
    window.setEntry(entry);
    EXPECT_EQ(window.entry(), entry);
    const std::pair<const char*, const char*> shown[] = {{"Title", "f0"},     {"Threshold", "f2"},
                                                         {"Mixture_0", "f8"}, {"Sources_1", "f19"},
                                                         {"Col2_1", "f22"},   {"Col4_9", "f72"}};
    for (const auto& [name, text] : shown) {
        EXPECT_EQ(box(name)->text(), QString::fromLatin1(text)) << name;
    }

    window.menuCommand(QStringLiteral("ClearForm"))->trigger();
    EXPECT_EQ(window.entry(), Entry::cleared());
    for (int tab = 0; tab < kEntryBoxCount; ++tab) {
        EXPECT_TRUE(window.entryBox(tab)->text().isEmpty()) << tab;
    }
    EXPECT_TRUE(notes.messages.isEmpty());

    Entry longLabel;
    longLabel.sources[2] = "Benthic microalgae and sewage particulates";
    window.setEntry(longLabel);
    EXPECT_EQ(box("Sources_2")->cursorPosition(), 0);
}

TEST_F(MainWindowTest, ViewShowsTheNoteBeforeAskingForTheViewer) {
    qsizetype messagesAtRequest = -1;
    QObject::connect(&window, &frmMain::viewOutputRequested, &window,
                     [&] { messagesAtRequest = notes.messages.size(); });
    window.menuCommand(QStringLiteral("ViewOutput"))->trigger();
    EXPECT_EQ(messagesAtRequest, 1);
    EXPECT_EQ(notes.messages,
              QStringList{QStringLiteral(
                  "NOTE - Each of the individual solutions represents a combination of source "
                  "proportions which satisfies isotopic mass balance in the mixing model.  "
                  "Descriptive statistics are provided simply as a way to characterize this "
                  "entire distribution of feasible solutions.  To avoid misrepresenting the "
                  "results, users of this procedure should report the distribution of feasible "
                  "solutions rather than focusing on a single value such as the mean.")});
}

TEST_F(MainWindowTest, OtherCommandsSignalAnnounceTheProgramOrExit) {
    QSignalSpy file(&window, &frmMain::fileOpenRequested);
    QSignalSpy calc(&window, &frmMain::calculateRequested);
    QSignalSpy closing(&window, &frmMain::closing);
    window.menuCommand(QStringLiteral("FileOpen"))->trigger();
    window.menuCommand(QStringLiteral("Calculate"))->trigger();
    EXPECT_EQ(file.count(), 1);
    EXPECT_EQ(calc.count(), 1);
    EXPECT_TRUE(notes.messages.isEmpty());

    window.menuCommand(QStringLiteral("About"))->trigger();
    ASSERT_EQ(notes.messages.size(), 1);
    EXPECT_EQ(notes.titles[0], QStringLiteral("Fenlowick"));
    EXPECT_TRUE(notes.messages[0].startsWith(QStringLiteral("Fenlowick " FENLOWICK_VERSION)));
    EXPECT_TRUE(notes.messages[0].contains(QStringLiteral("mixing model")));

    EXPECT_EQ(closing.count(), 0);
    window.menuCommand(QStringLiteral("ExitProgram"))->trigger();
    EXPECT_EQ(closing.count(), 1);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(notes.messages.size(), 1);
}

TEST_F(MainWindowTest, PrintGivesOnePagePerCopyAndACancelOrAFailedPrinterGivesTheMessage) {
    const std::string pdf = temp.file("three.pdf");
    window.setPrinterPrompt([pdf](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdf));
        printer.setCopyCount(3);
        return true;
    });
    window.menuCommand(QStringLiteral("PrintData"))->trigger();
    EXPECT_TRUE(notes.messages.isEmpty());
    EXPECT_NE(test::readFile(pdf).find("/Count 3\n"), std::string::npos); // three pages

    // A cancelled dialog (no file here), and a PDF printer below a regular file, which cannot
    // start, give the message.
    test::writeFile(temp.path() / "blocker", "a regular file");
    const QString blocked = QString::fromStdString(temp.file("blocker")) + QStringLiteral("/x.pdf");
    for (const QString& output : {QString(), blocked}) {
        notes.messages.clear();
        window.setPrinterPrompt([output](QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(output);
            return !output.isEmpty();
        });
        window.menuCommand(QStringLiteral("PrintData"))->trigger();
        EXPECT_EQ(notes.messages,
                  QStringList{QStringLiteral("There was an error during the printout!  Check your "
                                             "printer and cable before trying again.")});
    }
}

} // namespace
} // namespace fenlowick
