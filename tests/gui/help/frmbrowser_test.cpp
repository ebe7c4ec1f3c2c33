#include "gui/help/frmbrowser.h"

#include "gui/help/browsersizes.h"
#include "gui/help/findinpagebar.h"
#include "gui/help/helpbrowserhost.h"
#include "gui/help/helppane.h"
#include "gui/widgets/twips.h"
#include "support/datatable.h"
#include "support/goldenpicture.h"
#include "support/guitestsupport.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>

#include <filesystem>

namespace fenlowick {
namespace {

/// A help browser host on small pages in two folders, StartFolder and the folder beside
/// the program, copied from tests/data/gui/help/start and beside. StartFolder holds help.htm
/// ("Index page", with the word "tolerance", a link to three.htm and a section "later"),
/// one.htm ("First page") and two.htm ("Second page"); the second folder holds three.htm
/// ("Third page") and a help.htm ("Installed index") that StartFolder's hides.
class HelpBrowserTest : public ::testing::Test {
protected:
    HelpBrowserTest() {
        for (const auto& [from, to] : {std::pair{"start", &start}, {"beside", &beside}}) {
            std::filesystem::copy(FENLOWICK_TEST_DATA "/gui/help/" + std::string(from),
                                  to->path().toStdString());
        }
    }

    /// Waits until the browser has finished navigating and shows the page titled `title`.
    static bool shows(frmBrowser* browser, const char* title) {
        return QTest::qWaitFor(
            [&] {
                return !browser->isBusy() && browser->windowTitle() == QString::fromLatin1(title);
            },
            3000);
    }

    /// Shows a topic through the host; fails the test unless its page titled `title` shows.
    frmBrowser* showTopic(const char* topic, const char* title) {
        host.showTopic(QString::fromLatin1(topic));
        frmBrowser* browser = host.browser();
        if (browser == nullptr || !shows(browser, title)) {
            ADD_FAILURE() << topic << " did not show " << title;
        }
        return browser;
    }

    static QComboBox* addressBox(frmBrowser* browser) {
        return browser->findChild<QComboBox*>(u"cboAddress"_s);
    }

    /// The address box's text for a page of StartFolder.
    QString address(const char* page) const {
        return QDir::toNativeSeparators(start.filePath(QString::fromLatin1(page)));
    }

    static void enterAddress(frmBrowser* browser, const QString& text) {
        addressBox(browser)->setEditText(text);
        QTest::keyClick(addressBox(browser)->lineEdit(), Qt::Key_Return);
    }

    static QAction* button(frmBrowser* browser, const char* key) {
        return browser->toolbarButton(QString::fromLatin1(key));
    }

    QTemporaryDir start;
    QTemporaryDir beside;
    HelpBrowserHost host{HelpTopicLocator({start.path(), beside.path()})};
};

TEST_F(HelpBrowserTest, TopicsInTurnShareOneWindowAndBackAndForwardFollowTheHistory) {
    frmBrowser* browser = showTopic("\\one.htm", "First page");
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(browser->isVisible());
    EXPECT_FALSE(button(browser, "Back")->isEnabled());

    EXPECT_EQ(showTopic("\\two.htm", "Second page"), browser);
    EXPECT_EQ(addressBox(browser)->currentText(), address("two.htm"));
    EXPECT_TRUE(button(browser, "Back")->isEnabled());
    EXPECT_FALSE(button(browser, "Forward")->isEnabled());

    button(browser, "Back")->trigger();
    ASSERT_TRUE(shows(browser, "First page"));
    EXPECT_EQ(addressBox(browser)->currentText(), address("one.htm"));
    EXPECT_FALSE(button(browser, "Back")->isEnabled());
    EXPECT_TRUE(button(browser, "Forward")->isEnabled());
    button(browser, "Forward")->trigger();
    EXPECT_TRUE(shows(browser, "Second page"));
}

TEST_F(HelpBrowserTest, ExitHidesTheWindowWithItsHistoryAndTheCloseBoxDiscardsIt) {
    frmBrowser* browser = showTopic("\\one.htm", "First page");
    auto* exitButton = browser->findChild<QPushButton*>(u"Command1"_s);
    ASSERT_NE(exitButton, nullptr);
    QTest::mouseClick(exitButton, Qt::LeftButton);
    EXPECT_FALSE(browser->isVisible());
    EXPECT_EQ(showTopic("\\two.htm", "Second page"), browser);
    EXPECT_TRUE(browser->isVisible());
    EXPECT_TRUE(browser->page()->isBackwardAvailable());

    QPointer<frmBrowser> first = browser;
    EXPECT_TRUE(first->close());
    EXPECT_EQ(host.browser(), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }, 3000));
    host.showTopic(u"\\two.htm"_s);
    frmBrowser* second = host.browser();
    ASSERT_NE(second, nullptr);
    // Before the page arrives the new window's address box holds the home address.
    EXPECT_EQ(addressBox(second)->currentText(), address("help.htm"));
    ASSERT_TRUE(shows(second, "Second page"));
    EXPECT_FALSE(button(second, "Back")->isEnabled());
}

TEST_F(HelpBrowserTest, AMissingPageShowsOurPageNamingTheFileAndWhereItWasLookedFor) {
    frmBrowser* browser = showTopic("\\nowhere.htm", "Help page not found");
    const QString text = browser->page()->toPlainText();
    EXPECT_TRUE(text.contains(u"The help page nowhere.htm could not be found."_s));
    EXPECT_TRUE(text.contains(address("nowhere.htm")));
    EXPECT_TRUE(text.contains(QDir::toNativeSeparators(beside.path())));
}

TEST_F(HelpBrowserTest, ATopicMayNameASectionOfItsPageAndALinkLeadsToAPageInTheNextFolder) {
    frmBrowser* browser = showTopic("\\help.htm#later", "Index page");
    EXPECT_EQ(addressBox(browser)->currentText(), address("help.htm") + u"#later"_s);
    // The link's target is missing beside the index page in StartFolder.
    browser->page()->setSource(QUrl(u"three.htm"_s));
    EXPECT_TRUE(shows(browser, "Third page"));
}

TEST_F(HelpBrowserTest, EnterInTheAddressBoxGoesToTheTypedAddressShowingWorkingMeanwhile) {
    frmBrowser* browser = showTopic("\\one.htm", "First page");
    enterAddress(browser, start.filePath(u"two.htm"_s));
    EXPECT_EQ(browser->windowTitle(), u"Working..."_s);
    ASSERT_TRUE(shows(browser, "Second page"));
    EXPECT_EQ(addressBox(browser)->count(), 0);

    // A bare page name is a help page, looked for like a topic, in the next folder too.
    enterAddress(browser, u"three.htm"_s);
    EXPECT_TRUE(shows(browser, "Third page"));
    // A web address shows our notice with a link to it.
    enterAddress(browser, u"https://example.org/isotopes"_s);
    ASSERT_TRUE(shows(browser, "Web address"));
    EXPECT_TRUE(browser->page()->toHtml().contains(u"href=\"https://example.org/isotopes\""_s));
    // The first text of a new window's address box is the home address.
    frmBrowser fresh(HelpTopicLocator({start.path(), beside.path()}), u"help.htm"_s);
    fresh.show();
    QTest::keyClick(addressBox(&fresh)->lineEdit(), Qt::Key_Return);
    EXPECT_TRUE(shows(&fresh, "Index page"));
}

TEST_F(HelpBrowserTest, StopDropsThePendingNavigationAndRefreshReloadsThePageFromItsFile) {
    frmBrowser* browser = showTopic("\\one.htm", "First page");
    enterAddress(browser, start.filePath(u"two.htm"_s));
    ASSERT_TRUE(browser->isBusy());
    button(browser, "Stop")->trigger();
    EXPECT_FALSE(browser->isBusy());
    QTest::qWait(50);
    EXPECT_EQ(browser->windowTitle(), u"First page"_s);

    test::writeFile(start.filePath(u"one.htm"_s).toStdString(),
                    "<html><head><title>Edited page</title></head><body>New.</body></html>");
    button(browser, "Refresh")->trigger();
    EXPECT_TRUE(shows(browser, "Edited page"));
}

TEST_F(HelpBrowserTest, HomeGoesToTheIndexPageUnlessAnotherAddressIsSet) {
    frmBrowser* browser = showTopic("\\one.htm", "First page");
    button(browser, "Home")->trigger();
    EXPECT_TRUE(shows(browser, "Index page"));
    host.setHomeAddress(u"two.htm"_s);
    button(browser, "Home")->trigger();
    EXPECT_TRUE(shows(browser, "Second page"));
}

TEST_F(HelpBrowserTest, SearchOpensAFindBoxThatSelectsTheTextInThePage) {
    frmBrowser* browser = showTopic("\\help.htm", "Index page");
    EXPECT_FALSE(browser->findBox()->isVisible());
    button(browser, "Search")->trigger();
    EXPECT_TRUE(browser->findBox()->isVisible());
    QTest::keyClicks(browser->findBox()->textBox(), u"TOLERANCE"_s);
    EXPECT_EQ(browser->page()->textCursor().selectedText(), u"tolerance"_s);

    browser->findBox()->textBox()->setText(u"enrichment"_s);
    EXPECT_FALSE(browser->findBox()->findNext());
    EXPECT_EQ(browser->findChild<QLabel*>(u"lblFindStatus"_s)->text(), u"Not found"_s);
    QTest::keyClick(browser->findBox()->textBox(), Qt::Key_Escape);
    EXPECT_FALSE(browser->findBox()->isVisible());
}

TEST_F(HelpBrowserTest, ThePaneFollowsResizing) {
    // When sizes follow and when they stay is BrowserSizes' to check; the design size shows
    // in the golden picture help-browser.
    frmBrowser* browser = showTopic("\\one.htm", "First page");
    const auto pixels = [browser](int twips) { return twipsToPixels(twips, browser); };
    browser->resize(pixels(9000), pixels(6000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return browser->width() == pixels(9000); }));
    const BrowserSizes wide = browser->sizes();
    const int width = pixelsToTwips(browser->width(), browser);
    const int height = pixelsToTwips(browser->height(), browser);
    EXPECT_EQ(wide, (BrowserSizes{width - 100, width - 100, height - 1275 - 100}));
    EXPECT_EQ(browser->page()->size(), QSize(pixels(wide.paneWidth), pixels(wide.paneHeight)));
    EXPECT_EQ(addressBox(browser)->width(), pixels(wide.addressWidth));

    // Below both thresholds nothing follows.
    browser->resize(pixels(150), pixels(1500));
    ASSERT_TRUE(QTest::qWaitFor([&] { return browser->width() == pixels(150); }));
    EXPECT_EQ(browser->sizes(), wide);
    EXPECT_EQ(browser->page()->size(), QSize(pixels(wide.paneWidth), pixels(wide.paneHeight)));
}

TEST_F(HelpBrowserTest, LooksAsItsGoldenPictureWithAFoundWord) {
    frmBrowser* browser = showTopic("\\help.htm", "Index page");
    button(browser, "Search")->trigger();
    QTest::keyClicks(browser->findBox()->textBox(), u"tolerance"_s);
    // The find box's clear button fades in over about 160 ms once there is text.
    QTest::qWait(400);
    // The address box names this run's temporary folder.
    test::expectLooksAsGolden(browser, u"help-browser"_s, {addressBox(browser)});
}

TEST_F(HelpBrowserTest, TheLocatorFindsNoPageForNoTopicOrAFolder) {
    // Which folder comes first and where a missing page is expected show in the tests above.
    const HelpTopicLocator locator({start.path(), beside.path()});
    EXPECT_TRUE(locator.find(QString()).isEmpty());
    QDir(start.path()).mkdir(u"calc.htm"_s);
    EXPECT_TRUE(locator.find(u"calc.htm"_s).isEmpty());
}

TEST(BrowserSizes, WidthFollowsAbove200TwipsAndHeightAbove2000Independently) {
    for (const test::TableRow& row : test::readTable("gui/browsersizes.tsv", 3, 6)) {
        const BrowserSizes after = followWindowSize({1000, 2000, 3000}, std::stoi(row.fields[0]),
                                                    std::stoi(row.fields[1]), 600 + 675);
        EXPECT_EQ(std::to_string(after.addressWidth) + " " + std::to_string(after.paneWidth) + " " +
                      std::to_string(after.paneHeight),
                  row.fields[2])
            << row.where;
    }
}

} // namespace
} // namespace fenlowick
