#include "entry/frmmain.h"

#include "recordingnotifier.h"
#include "testsupport.h"
#include "widgets/twips.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMenuBar>
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
    EXPECT_EQ(window.startFolder(), start);
    EXPECT_TRUE(QDir(start + QStringLiteral("/data")).exists());
    EXPECT_TRUE(QDir(start + QStringLiteral("/output")).exists());
    EXPECT_EQ(window.dataFolder(), start + QStringLiteral("/data"));
    EXPECT_EQ(window.outputFolder(), start + QStringLiteral("/output"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Fenlowick"));
    EXPECT_EQ(window.centralWidget()->size(),
              QSize(twipsToPixels(9510, &window), twipsToPixels(6045, &window)));
    EXPECT_EQ(window.centralWidget()->palette().color(QPalette::Window), kGrey);
}

TEST_F(MainWindowTest, HasSeventyThreeNamedBoxesWithTheirStartTextsAndLimits) {
    for (int tab = 0; tab < kEntryBoxCount; ++tab) {
        const QString name = QString::fromStdString(boxObjectName(tab));
        EXPECT_EQ(window.findChild<QLineEdit*>(name), window.entryBox(tab)) << tab;
    }
    EXPECT_EQ(box("Title")->text(), QStringLiteral(" "));
    Entry fresh;
    EXPECT_EQ(window.entry(), fresh);
    EXPECT_EQ(box("Mixture_3")->maxLength(), 8);
    EXPECT_EQ(box("Col4_9")->maxLength(), 8);
    EXPECT_EQ(box("Col0_0")->maxLength(), 8);
    EXPECT_GT(box("Title")->maxLength(), 1000);
    EXPECT_GT(box("Sources_2")->maxLength(), 1000);
    EXPECT_GT(box("Isotope_2")->maxLength(), 1000);
    EXPECT_EQ(box("Isotope_0")->toolTip(), QStringLiteral("Label for Isotope system"));
    EXPECT_EQ(box("Sources_9")->toolTip(), QStringLiteral("Label for sources"));
}

TEST_F(MainWindowTest, BoxesSitWhereTheLayoutPutsThem) {
    auto at = [this](int left, int top, int width, int height) {
        return twipsRect(left, top, width, height, &window);
    };
    EXPECT_EQ(box("Title")->geometry(), at(1560, 120, 7885, 405));
    EXPECT_EQ(box("Increment")->geometry(), at(1560, 720, 735, 405));
    EXPECT_EQ(box("Threshold")->geometry(), at(1560, 1320, 1095, 375));
    EXPECT_EQ(box("Isotope_4")->geometry(), at(2880 + 1320 * 4, 1320, 1300, 420));
    EXPECT_EQ(box("Mixture_1")->geometry(), at(2880 + 1320, 1800, 1300, 420));
    EXPECT_EQ(box("Sources_7")->geometry(), at(840, 2280 + 360 * 7, 2000, 420));
    EXPECT_EQ(box("Col2_4")->geometry(), at(2880 + 1320 * 2, 2280 + 360 * 4, 1300, 420));
    EXPECT_EQ(window.letterBox(6)->geometry(), at(0, 120 + 480 * 6, 855, 510));
    EXPECT_EQ(window.letterBox(6)->text(), QStringLiteral("S"));
    EXPECT_EQ(window.letterBox(3)->text(), QStringLiteral("R"));

    EXPECT_EQ(box("Increment")->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    EXPECT_EQ(box("Title")->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    EXPECT_EQ(box("Isotope_0")->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(box("Col0_0")->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);

    const QFont font = box("Col0_0")->font();
    EXPECT_EQ(font.family(), QStringLiteral("Arial"));
    EXPECT_TRUE(font.bold());
    EXPECT_DOUBLE_EQ(font.pointSizeF(), 12.0);
    EXPECT_DOUBLE_EQ(window.letterBox(0)->font().pointSizeF(), 21.75);
}

TEST_F(MainWindowTest, BoxesHaveTheirColours) {
    EXPECT_EQ(background(box("Isotope_2")), kDarkBlue);
    EXPECT_EQ(textColour(box("Isotope_2")), QColor(Qt::white));
    EXPECT_EQ(background(box("Mixture_2")), kLightCyan);
    EXPECT_EQ(textColour(box("Mixture_2")), QColor(Qt::black));
    EXPECT_EQ(background(box("Sources_2")), kDarkGreen);
    EXPECT_EQ(textColour(box("Sources_2")), QColor(Qt::white));
    EXPECT_EQ(background(box("Col3_2")), QColor(Qt::white));
    EXPECT_EQ(textColour(box("Col3_2")), QColor(Qt::black));
    EXPECT_EQ(background(box("Increment")), kGrey);
    EXPECT_EQ(background(window.letterBox(0)), kDarkGreen);
}

TEST_F(MainWindowTest, MenuBarHasTenCommandsWithoutSubmenus) {
    const QList<QAction*> actions = window.menuBar()->actions();
    QStringList texts;
    QStringList names;
    for (const QAction* action : actions) {
        texts << action->text();
        names << action->objectName();
        EXPECT_EQ(action->menu(), nullptr);
    }
    EXPECT_EQ(texts, (QStringList{QStringLiteral("&File"), QStringLiteral("&Calc"),
                                  QStringLiteral("&Print"), QStringLiteral("&Clear"),
                                  QStringLiteral("&View"), QStringLiteral("&Graph"),
                                  QStringLiteral("&Isospace"), QStringLiteral("&Exit"),
                                  QStringLiteral("&About"), QStringLiteral("&Help")}));
    EXPECT_EQ(names, (QStringList{QStringLiteral("FileOpen"), QStringLiteral("Calculate"),
                                  QStringLiteral("PrintData"), QStringLiteral("ClearForm"),
                                  QStringLiteral("ViewOutput"), QStringLiteral("GraphData"),
                                  QStringLiteral("IsospaceData"), QStringLiteral("ExitProgram"),
                                  QStringLiteral("About"), QStringLiteral("help")}));
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

TEST_F(MainWindowTest, FocusColoursComeAndGoPerKindOfBox) {
    QLineEdit* title = box("Title");
    EXPECT_EQ(background(title), kDarkRed);
    EXPECT_EQ(textColour(title), QColor(Qt::white));

    press(Qt::Key_Tab);
    EXPECT_EQ(background(title), kGrey);
    EXPECT_EQ(textColour(title), window.normalText());
    EXPECT_EQ(background(box("Increment")), kDarkRed);

    // A source label turns dark red but keeps its white text, and gets dark green back.
    QLineEdit* source = box("Sources_0");
    source->setFocus(Qt::OtherFocusReason);
    EXPECT_EQ(background(source), kDarkRed);
    EXPECT_EQ(textColour(source), QColor(Qt::white));
    press(Qt::Key_Tab);
    EXPECT_EQ(background(source), kDarkGreen);
    EXPECT_EQ(textColour(source), QColor(Qt::white));

    // A mixture box gets light cyan back with the window-text colour.
    QLineEdit* mixture = box("Mixture_4");
    mixture->setFocus(Qt::OtherFocusReason);
    EXPECT_EQ(background(mixture), kDarkRed);
    EXPECT_EQ(textColour(mixture), QColor(Qt::white));
    press(Qt::Key_Tab);
    EXPECT_EQ(background(mixture), kLightCyan);
    EXPECT_EQ(textColour(mixture), window.normalText());

    QLineEdit* isotope = box("Isotope_1");
    isotope->setFocus(Qt::OtherFocusReason);
    EXPECT_EQ(background(isotope), kDarkRed);
    press(Qt::Key_Tab);
    EXPECT_EQ(background(isotope), kDarkBlue);
    EXPECT_EQ(textColour(isotope), QColor(Qt::white));
    EXPECT_EQ(background(box("Isotope_2")), kDarkRed);
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

/// Leaves the named box by Tab with `text` typed in it; returns whether the focus moved.
struct LeaveResult {
    bool moved;
    QString text;
    QStringList messages;
    int beeps;
};

class LeaveCheckTest : public MainWindowTest {
protected:
    LeaveResult leave(const char* name, const QString& text) {
        notes.messages.clear();
        notes.beeps = 0;
        typeInto(name, text);
        QLineEdit* left = box(name);
        press(Qt::Key_Tab);
        LeaveResult result{QApplication::focusWidget() != left, left->text(), notes.messages,
                           notes.beeps};
        if (!result.moved) {
            // A refused box keeps the focus colours.
            EXPECT_EQ(background(left), kDarkRed) << name;
        }
        return result;
    }
};

TEST_F(LeaveCheckTest, IncrementRange) {
    for (const char* text : {"1", "100", "25"}) {
        const LeaveResult result = leave("Increment", QString::fromLatin1(text));
        EXPECT_TRUE(result.moved) << text;
        EXPECT_EQ(result.text, QString::fromLatin1(text));
        EXPECT_TRUE(result.messages.isEmpty());
        EXPECT_EQ(result.beeps, 0);
    }
    for (const char* text : {"0", "0.99", "100.01", "-5"}) {
        const LeaveResult result = leave("Increment", QString::fromLatin1(text));
        EXPECT_FALSE(result.moved) << text;
        EXPECT_EQ(result.text, QString());
        EXPECT_EQ(result.messages,
                  QStringList{QStringLiteral("Please enter values between 1 and 100")});
        EXPECT_EQ(result.beeps, 1);
    }
    const LeaveResult letters = leave("Increment", QStringLiteral("abc"));
    EXPECT_FALSE(letters.moved);
    EXPECT_EQ(letters.text, QString());
    EXPECT_EQ(letters.messages,
              QStringList{QStringLiteral("Please enter only numeric values between 1 and 100")});
    EXPECT_EQ(letters.beeps, 1);

    box("Increment")->setFocus(Qt::OtherFocusReason);
    box("Increment")->clear();
    notes.messages.clear();
    press(Qt::Key_Tab);
    EXPECT_EQ(focusName(), QStringLiteral("Threshold"));
    EXPECT_TRUE(notes.messages.isEmpty());
}

TEST_F(LeaveCheckTest, Tolerance) {
    EXPECT_TRUE(leave("Threshold", QStringLiteral("-3")).moved);
    EXPECT_TRUE(leave("Threshold", QStringLiteral("1E-3")).moved);
    const LeaveResult result = leave("Threshold", QStringLiteral("x"));
    EXPECT_FALSE(result.moved);
    EXPECT_EQ(result.text, QString());
    EXPECT_EQ(result.messages, QStringList{QStringLiteral("Please enter only numeric values")});
    EXPECT_EQ(result.beeps, 1);
}

TEST_F(LeaveCheckTest, SignatureAndMixtureRefuseTextWithTheTrailingBlankMessage) {
    for (const char* name : {"Col2_5", "Mixture_0"}) {
        const LeaveResult result = leave(name, QStringLiteral("12,5a"));
        EXPECT_FALSE(result.moved) << name;
        EXPECT_EQ(result.text, QString());
        EXPECT_EQ(result.messages,
                  QStringList{QStringLiteral("Please enter only numeric values ")});
        EXPECT_EQ(result.beeps, 1);
        EXPECT_EQ(focusName(), QString::fromLatin1(name));
        EXPECT_EQ(textColour(box(name)), QColor(Qt::white));
        EXPECT_TRUE(leave(name, QStringLiteral("-21.35")).moved);
    }
}

TEST_F(LeaveCheckTest, LabelsAndTitleAreNotChecked) {
    EXPECT_TRUE(leave("Title", QStringLiteral("abc")).moved);
    EXPECT_TRUE(leave("Isotope_0", QStringLiteral("12,5a")).moved);
    EXPECT_TRUE(leave("Sources_3", QStringLiteral("x")).moved);
    EXPECT_TRUE(notes.messages.isEmpty());
}

TEST_F(LeaveCheckTest, MessageComesBeforeTheBoxIsEmptied) {
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

TEST_F(LeaveCheckTest, AClickOnAnotherBoxIsCheckedToo) {
    typeInto("Col0_0", QStringLiteral("abc"));
    QLineEdit* other = box("Col3_3");
    QTest::mouseClick(other, Qt::LeftButton, {}, other->rect().center());
    EXPECT_EQ(focusName(), QStringLiteral("Col0_0"));
    EXPECT_EQ(notes.messages, QStringList{QStringLiteral("Please enter only numeric values ")});
    EXPECT_EQ(background(other), QColor(Qt::white));

    QTest::mouseClick(other, Qt::LeftButton, {}, other->rect().center());
    EXPECT_EQ(QApplication::focusWidget(), other);
    EXPECT_EQ(background(other), kDarkRed);
    EXPECT_EQ(background(box("Col0_0")), QColor(Qt::white));
    EXPECT_EQ(notes.messages.size(), 1);
}

TEST_F(MainWindowTest, EnterWalksByTabIndexAndNeverReachesTheBox) {
    QSignalSpy returns(box("Title"), &QLineEdit::returnPressed);
    press(Qt::Key_Return);
    EXPECT_EQ(focusName(), QStringLiteral("Increment"));
    EXPECT_EQ(returns.count(), 0);

    box("Isotope_4")->setFocus(Qt::OtherFocusReason);
    press(Qt::Key_Return);
    EXPECT_EQ(focusName(), QStringLiteral("Mixture_0"));

    box("Sources_9")->setFocus(Qt::OtherFocusReason);
    press(Qt::Key_Enter);
    EXPECT_EQ(focusName(), QStringLiteral("Col0_0"));

    typeInto("Col0_9", QStringLiteral("4.5"));
    press(Qt::Key_Return);
    EXPECT_EQ(focusName(), QStringLiteral("Col1_0"));

    typeInto("Col4_9", QStringLiteral("7"));
    press(Qt::Key_Return);
    EXPECT_EQ(focusName(), QStringLiteral("Col4_9"));
    EXPECT_EQ(box("Col4_9")->text(), QStringLiteral("7"));

    // A label box moves on whatever it holds.
    typeInto("Sources_2", QStringLiteral("12,5a"));
    press(Qt::Key_Return);
    EXPECT_EQ(focusName(), QStringLiteral("Sources_3"));
    EXPECT_TRUE(notes.messages.isEmpty());
}

TEST_F(MainWindowTest, EnterWithARefusedTextKeepsTheFocus) {
    typeInto("Increment", QStringLiteral("abc"));
    press(Qt::Key_Return);
    EXPECT_EQ(focusName(), QStringLiteral("Increment"));
    EXPECT_EQ(box("Increment")->text(), QString());
    EXPECT_EQ(notes.messages,
              QStringList{QStringLiteral("Please enter only numeric values between 1 and 100")});
    EXPECT_EQ(notes.beeps, 1);

    // The last box has nowhere to go, but is still checked.
    typeInto("Col4_9", QStringLiteral("x"));
    press(Qt::Key_Return);
    EXPECT_EQ(focusName(), QStringLiteral("Col4_9"));
    EXPECT_EQ(box("Col4_9")->text(), QString());
    EXPECT_EQ(notes.messages.size(), 2);
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
    EXPECT_EQ(notes.messages, QStringList{QStringLiteral("Please enter only numeric values")});
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

Entry fullEntry() {
    Entry entry;
    for (int field = 0; field < kEntryFieldCount; ++field) {
        entryField(entry, field) = "f" + std::to_string(field);
    }
    return entry;
}

TEST_F(MainWindowTest, SetEntryFillsTheBoxesInDataFileOrder) {
    const Entry entry = fullEntry();
    window.setEntry(entry);
    EXPECT_EQ(window.entry(), entry);
    EXPECT_EQ(box("Title")->text(), QStringLiteral("f0"));
    EXPECT_EQ(box("Threshold")->text(), QStringLiteral("f2"));
    EXPECT_EQ(box("Mixture_0")->text(), QStringLiteral("f8"));
    EXPECT_EQ(box("Sources_1")->text(), QStringLiteral("f19"));
    EXPECT_EQ(box("Col2_1")->text(), QStringLiteral("f22"));
    EXPECT_EQ(box("Col4_9")->text(), QStringLiteral("f72"));
    EXPECT_TRUE(notes.messages.isEmpty());

    Entry longLabel;
    longLabel.sources[2] = "Benthic microalgae and sewage particulates";
    window.setEntry(longLabel);
    EXPECT_EQ(box("Sources_2")->cursorPosition(), 0);
}

TEST_F(MainWindowTest, ClearEmptiesEveryBoxTheTitleIncluded) {
    window.setEntry(fullEntry());
    window.menuCommand(QStringLiteral("ClearForm"))->trigger();
    EXPECT_EQ(window.entry(), Entry::cleared());
    for (int tab = 0; tab < kEntryBoxCount; ++tab) {
        EXPECT_TRUE(window.entryBox(tab)->text().isEmpty()) << tab;
    }
    EXPECT_TRUE(notes.messages.isEmpty());
}

TEST_F(MainWindowTest, ViewShowsTheNoteBeforeAskingForTheViewer) {
    qsizetype messagesAtRequest = -1;
    QObject::connect(&window, &frmMain::viewOutputRequested, &window,
                     [&] { messagesAtRequest = notes.messages.size(); });
    window.menuCommand(QStringLiteral("ViewOutput"))->trigger();
    EXPECT_EQ(messagesAtRequest, 1);
    ASSERT_EQ(notes.messages.size(), 1);
    EXPECT_EQ(notes.messages[0],
              QStringLiteral(
                  "NOTE - Each of the individual solutions represents a combination of source "
                  "proportions which satisfies isotopic mass balance in the mixing model.  "
                  "Descriptive statistics are provided simply as a way to characterize this "
                  "entire distribution of feasible solutions.  To avoid misrepresenting the "
                  "results, users of this procedure should report the distribution of feasible "
                  "solutions rather than focusing on a single value such as the mean."));
}

TEST_F(MainWindowTest, CommandsThatNeedOtherWindowsAreSignals) {
    QSignalSpy file(&window, &frmMain::fileOpenRequested);
    QSignalSpy calc(&window, &frmMain::calculateRequested);
    QSignalSpy help(&window, &frmMain::helpRequested);
    window.menuCommand(QStringLiteral("FileOpen"))->trigger();
    window.menuCommand(QStringLiteral("Calculate"))->trigger();
    window.menuCommand(QStringLiteral("help"))->trigger();
    EXPECT_EQ(file.count(), 1);
    EXPECT_EQ(calc.count(), 1);
    ASSERT_EQ(help.count(), 1);
    EXPECT_EQ(help[0][0].toString(), QStringLiteral("help.htm"));
    EXPECT_TRUE(notes.messages.isEmpty());
}

TEST_F(MainWindowTest, AboutNamesTheProgramAndItsVersion) {
    window.menuCommand(QStringLiteral("About"))->trigger();
    ASSERT_EQ(notes.messages.size(), 1);
    EXPECT_EQ(notes.titles[0], QStringLiteral("Fenlowick"));
    EXPECT_TRUE(notes.messages[0].startsWith(QStringLiteral("Fenlowick " FENLOWICK_VERSION)));
    EXPECT_TRUE(notes.messages[0].contains(QStringLiteral("mixing model")));
}

TEST_F(MainWindowTest, ExitClosesTheWindowAndAnnouncesIt) {
    QSignalSpy closing(&window, &frmMain::closing);
    window.menuCommand(QStringLiteral("ExitProgram"))->trigger();
    EXPECT_EQ(closing.count(), 1);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(notes.messages.isEmpty());
}

} // namespace
} // namespace fenlowick
