#include "help/findinpagebar.h"
#include "help/frmbrowser.h"
#include "help/helpbrowserhost.h"
#include "help/helppane.h"
#include "widgets/twips.h"

#include "helptestpages.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QToolBar>
#include <gtest/gtest.h>

namespace fenlowick {
namespace {

class HelpBrowserTest : public ::testing::Test {
protected:
    HelpBrowserTest() : host(HelpTopicLocator({pages.startFolder(), pages.besideProgram()})) {}

    /// Waits until the browser has finished navigating and shows the page titled `title`.
    static bool shows(frmBrowser* browser, const QString& title) {
        return QTest::qWaitFor(
            [&] { return !browser->isBusy() && browser->windowTitle() == title; }, 3000);
    }

    static QComboBox* addressBox(frmBrowser* browser) {
        return browser->findChild<QComboBox*>(QStringLiteral("cboAddress"));
    }

    static void pressEnterInAddressBox(frmBrowser* browser, const QString& text) {
        QComboBox* box = addressBox(browser);
        box->setEditText(text);
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    }

    test::HelpTestPages pages;
    HelpBrowserHost host;
};

TEST_F(HelpBrowserTest, TwoTopicsInTurnShareOneWindowAndBackReturnsToTheFirst) {
    host.showTopic(QStringLiteral("\\one.htm"));
    frmBrowser* browser = host.browser();
    ASSERT_NE(browser, nullptr);
    ASSERT_TRUE(shows(browser, QStringLiteral("First page")));
    EXPECT_TRUE(browser->isVisible());

    host.showTopic(QStringLiteral("\\two.htm"));
    EXPECT_EQ(host.browser(), browser);
    ASSERT_TRUE(shows(browser, QStringLiteral("Second page")));
    EXPECT_EQ(addressBox(browser)->currentText(),
              QDir::toNativeSeparators(pages.inStartFolder(QStringLiteral("two.htm"))));

    browser->toolbarButton(QStringLiteral("Back"))->trigger();
    ASSERT_TRUE(shows(browser, QStringLiteral("First page")));
    EXPECT_EQ(addressBox(browser)->currentText(),
              QDir::toNativeSeparators(pages.inStartFolder(QStringLiteral("one.htm"))));

    browser->toolbarButton(QStringLiteral("Forward"))->trigger();
    EXPECT_TRUE(shows(browser, QStringLiteral("Second page")));
}

TEST_F(HelpBrowserTest, BackAndForwardAreOfferedOnlyWithHistory) {
    host.showTopic(QStringLiteral("\\one.htm"));
    frmBrowser* browser = host.browser();
    ASSERT_TRUE(shows(browser, QStringLiteral("First page")));
    EXPECT_FALSE(browser->toolbarButton(QStringLiteral("Back"))->isEnabled());
    EXPECT_FALSE(browser->toolbarButton(QStringLiteral("Forward"))->isEnabled());
    host.showTopic(QStringLiteral("\\two.htm"));
    ASSERT_TRUE(shows(browser, QStringLiteral("Second page")));
    EXPECT_TRUE(browser->toolbarButton(QStringLiteral("Back"))->isEnabled());
    browser->toolbarButton(QStringLiteral("Back"))->trigger();
    ASSERT_TRUE(shows(browser, QStringLiteral("First page")));
    EXPECT_FALSE(browser->toolbarButton(QStringLiteral("Back"))->isEnabled());
    EXPECT_TRUE(browser->toolbarButton(QStringLiteral("Forward"))->isEnabled());
}

TEST_F(HelpBrowserTest, ExitHidesTheWindowAndTheNextTopicShowsItAgainWithItsHistory) {
    host.showTopic(QStringLiteral("\\one.htm"));
    frmBrowser* browser = host.browser();
    ASSERT_TRUE(shows(browser, QStringLiteral("First page")));

    auto* exitButton = browser->findChild<QPushButton*>(QStringLiteral("Command1"));
    ASSERT_NE(exitButton, nullptr);
    EXPECT_EQ(exitButton->text(), QStringLiteral("E&xit"));
    QTest::mouseClick(exitButton, Qt::LeftButton);
    EXPECT_FALSE(browser->isVisible());
    EXPECT_EQ(host.browser(), browser);
    EXPECT_EQ(browser->windowTitle(), QStringLiteral("First page"));

    host.showTopic(QStringLiteral("\\two.htm"));
    EXPECT_EQ(host.browser(), browser);
    EXPECT_TRUE(browser->isVisible());
    ASSERT_TRUE(shows(browser, QStringLiteral("Second page")));
    EXPECT_TRUE(browser->page()->isBackwardAvailable());
}

TEST_F(HelpBrowserTest, TheCloseBoxDiscardsTheWindowAndTheNextTopicStartsAfresh) {
    host.showTopic(QStringLiteral("\\one.htm"));
    QPointer<frmBrowser> first = host.browser();
    ASSERT_TRUE(shows(first, QStringLiteral("First page")));
    host.showTopic(QStringLiteral("\\two.htm"));
    ASSERT_TRUE(shows(first, QStringLiteral("Second page")));

    EXPECT_TRUE(first->close());
    EXPECT_EQ(host.browser(), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }, 3000));

    host.showTopic(QStringLiteral("\\two.htm"));
    frmBrowser* second = host.browser();
    ASSERT_NE(second, nullptr);
    // Before the page arrives the new window's address box holds the home address.
    EXPECT_EQ(addressBox(second)->currentText(),
              QDir::toNativeSeparators(pages.inStartFolder(QStringLiteral("help.htm"))));
    ASSERT_TRUE(shows(second, QStringLiteral("Second page")));
    EXPECT_FALSE(second->page()->isBackwardAvailable());
    EXPECT_FALSE(second->toolbarButton(QStringLiteral("Back"))->isEnabled());
}

TEST_F(HelpBrowserTest, AMissingPageShowsOurPageNamingTheFile) {
    host.showTopic(QStringLiteral("\\nowhere.htm"));
    frmBrowser* browser = host.browser();
    ASSERT_TRUE(shows(browser, QStringLiteral("Help page not found")));
    const QString text = browser->page()->toPlainText();
    EXPECT_TRUE(text.contains(QStringLiteral("The help page nowhere.htm could not be found.")));
    EXPECT_TRUE(text.contains(
        QDir::toNativeSeparators(pages.inStartFolder(QStringLiteral("nowhere.htm")))));
    EXPECT_TRUE(text.contains(QDir::toNativeSeparators(pages.besideProgram())));
    EXPECT_TRUE(browser->isVisible());
}

TEST_F(HelpBrowserTest, ATopicMayNameASectionOfItsPage) {
    host.showTopic(QStringLiteral("\\help.htm#later"));
    frmBrowser* browser = host.browser();
    ASSERT_TRUE(shows(browser, QStringLiteral("Index page")));
    EXPECT_EQ(browser->page()->source().fragment(), QStringLiteral("later"));
    EXPECT_EQ(addressBox(browser)->currentText(),
              QDir::toNativeSeparators(pages.inStartFolder(QStringLiteral("help.htm"))) +
                  QStringLiteral("#later"));
}

TEST_F(HelpBrowserTest, AWebAddressShowsOurNoticeWithALinkToIt) {
    host.showTopic(QStringLiteral("\\one.htm"));
    frmBrowser* browser = host.browser();
    ASSERT_TRUE(shows(browser, QStringLiteral("First page")));
    pressEnterInAddressBox(browser, QStringLiteral("https://example.org/isotopes"));
    ASSERT_TRUE(shows(browser, QStringLiteral("Web address")));
    EXPECT_TRUE(browser->page()->toHtml().contains(
        QStringLiteral("href=\"https://example.org/isotopes\"")));
}

TEST_F(HelpBrowserTest, EnterInTheAddressBoxGoesToTheTypedAddressShowingWorkingMeanwhile) {
    host.showTopic(QStringLiteral("\\one.htm"));
    frmBrowser* browser = host.browser();
    ASSERT_TRUE(shows(browser, QStringLiteral("First page")));

    pressEnterInAddressBox(browser, pages.inStartFolder(QStringLiteral("two.htm")));
    EXPECT_TRUE(browser->isBusy());
    EXPECT_EQ(browser->windowTitle(), QStringLiteral("Working..."));
    ASSERT_TRUE(shows(browser, QStringLiteral("Second page")));
    EXPECT_EQ(addressBox(browser)->count(), 0);

    // A bare page name is a help page, looked for like a topic.
    pressEnterInAddressBox(browser, QStringLiteral("three.htm"));
    EXPECT_TRUE(shows(browser, QStringLiteral("Third page")));
}

TEST_F(HelpBrowserTest, EnterWithTheFirstTextOfTheAddressBoxGoesHome) {
    frmBrowser browser(HelpTopicLocator({pages.startFolder(), pages.besideProgram()}),
                       QStringLiteral("help.htm"));
    browser.show();
    QTest::keyClick(addressBox(&browser)->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(browser.windowTitle(), QStringLiteral("Working..."));
    EXPECT_TRUE(shows(&browser, QStringLiteral("Index page")));
}

TEST_F(HelpBrowserTest, StopDropsThePendingNavigationAndKeepsThePage) {
    host.showTopic(QStringLiteral("\\one.htm"));
    frmBrowser* browser = host.browser();
    ASSERT_TRUE(shows(browser, QStringLiteral("First page")));

    pressEnterInAddressBox(browser, pages.inStartFolder(QStringLiteral("two.htm")));
    ASSERT_TRUE(browser->isBusy());
    browser->toolbarButton(QStringLiteral("Stop"))->trigger();
    EXPECT_FALSE(browser->isBusy());
    EXPECT_EQ(browser->windowTitle(), QStringLiteral("First page"));
    QTest::qWait(50);
    EXPECT_EQ(browser->windowTitle(), QStringLiteral("First page"));
    EXPECT_EQ(browser->page()->source(),
              QUrl::fromLocalFile(pages.inStartFolder(QStringLiteral("one.htm"))));
}

TEST_F(HelpBrowserTest, RefreshReloadsThePageFromItsFile) {
    host.showTopic(QStringLiteral("\\one.htm"));
    frmBrowser* browser = host.browser();
    ASSERT_TRUE(shows(browser, QStringLiteral("First page")));
    QFile file(pages.inStartFolder(QStringLiteral("one.htm")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("<html><head><title>Edited page</title></head><body>New.</body></html>");
    file.close();

    browser->toolbarButton(QStringLiteral("Refresh"))->trigger();
    EXPECT_EQ(browser->windowTitle(), QStringLiteral("Working..."));
    EXPECT_TRUE(shows(browser, QStringLiteral("Edited page")));
}

TEST_F(HelpBrowserTest, HomeGoesToTheIndexPageUnlessAnotherAddressIsSet) {
    host.showTopic(QStringLiteral("\\one.htm"));
    frmBrowser* browser = host.browser();
    ASSERT_TRUE(shows(browser, QStringLiteral("First page")));
    browser->toolbarButton(QStringLiteral("Home"))->trigger();
    EXPECT_TRUE(shows(browser, QStringLiteral("Index page")));

    host.setHomeAddress(QStringLiteral("two.htm"));
    browser->toolbarButton(QStringLiteral("Home"))->trigger();
    EXPECT_TRUE(shows(browser, QStringLiteral("Second page")));

    HelpBrowserHost other(HelpTopicLocator({pages.startFolder(), pages.besideProgram()}));
    other.setHomeAddress(QStringLiteral("two.htm"));
    other.showTopic(QStringLiteral("\\one.htm"));
    EXPECT_EQ(addressBox(other.browser())->currentText(),
              QDir::toNativeSeparators(pages.inStartFolder(QStringLiteral("two.htm"))));
    ASSERT_TRUE(shows(other.browser(), QStringLiteral("First page")));
    other.browser()->toolbarButton(QStringLiteral("Home"))->trigger();
    EXPECT_TRUE(shows(other.browser(), QStringLiteral("Second page")));
}

TEST_F(HelpBrowserTest, SearchOpensAFindBoxThatSelectsTheTextInThePage) {
    host.showTopic(QStringLiteral("\\help.htm"));
    frmBrowser* browser = host.browser();
    ASSERT_TRUE(shows(browser, QStringLiteral("Index page")));
    EXPECT_FALSE(browser->findBox()->isVisible());

    browser->toolbarButton(QStringLiteral("Search"))->trigger();
    EXPECT_TRUE(browser->findBox()->isVisible());
    QTest::keyClicks(browser->findBox()->textBox(), QStringLiteral("TOLERANCE"));
    EXPECT_EQ(browser->page()->textCursor().selectedText(), QStringLiteral("tolerance"));

    browser->findBox()->textBox()->setText(QStringLiteral("enrichment"));
    EXPECT_FALSE(browser->findBox()->findNext());
    EXPECT_EQ(browser->findChild<QLabel*>(QStringLiteral("lblFindStatus"))->text(),
              QStringLiteral("Not found"));

    QTest::keyClick(browser->findBox()->textBox(), Qt::Key_Escape);
    EXPECT_FALSE(browser->findBox()->isVisible());
}

TEST_F(HelpBrowserTest, ALinkLeadsToAPageFoundInTheNextFolder) {
    host.showTopic(QStringLiteral("\\help.htm"));
    frmBrowser* browser = host.browser();
    ASSERT_TRUE(shows(browser, QStringLiteral("Index page")));
    // The link's target is missing beside the index page in StartFolder.
    browser->page()->setSource(QUrl(QStringLiteral("three.htm")));
    EXPECT_TRUE(shows(browser, QStringLiteral("Third page")));
}

TEST_F(HelpBrowserTest, TheToolbarCarriesSixKeyedButtonsWithIcons) {
    host.showTopic(QStringLiteral("\\one.htm"));
    frmBrowser* browser = host.browser();
    auto* toolbar = browser->findChild<QToolBar*>(QStringLiteral("tbToolBar"));
    ASSERT_NE(toolbar, nullptr);
    QStringList keys;
    for (const QAction* action : toolbar->actions()) {
        keys << action->data().toString();
        EXPECT_FALSE(action->icon().isNull()) << action->text().toStdString();
    }
    EXPECT_EQ(keys, QStringList({QStringLiteral("Back"), QStringLiteral("Forward"),
                                 QStringLiteral("Stop"), QStringLiteral("Refresh"),
                                 QStringLiteral("Home"), QStringLiteral("Search")}));
    EXPECT_EQ(browser->toolbarButton(QStringLiteral("Print")), nullptr);
}

TEST_F(HelpBrowserTest, TheWindowOpensAtItsDesignSize) {
    host.showTopic(QStringLiteral("\\one.htm"));
    frmBrowser* browser = host.browser();
    EXPECT_EQ(browser->size(), QSize(twipsToPixels(13020, browser), twipsToPixels(8550, browser)));
    const int width = pixelsToTwips(browser->width(), browser);
    const int height = pixelsToTwips(browser->height(), browser);
    EXPECT_EQ(browser->sizes(), (BrowserSizes{width - 100, width - 100, height - 1275 - 100}));
    auto* address = addressBox(browser);
    EXPECT_EQ(address->pos(), QPoint(twipsToPixels(50, browser), twipsToPixels(330, browser)));
    EXPECT_EQ(address->width(), twipsToPixels(width - 100, browser));
}

TEST_F(HelpBrowserTest, ResizingFollowsTheWindowOnlyAbove200And2000Twips) {
    host.showTopic(QStringLiteral("\\one.htm"));
    frmBrowser* browser = host.browser();
    ASSERT_TRUE(shows(browser, QStringLiteral("First page")));
    QComboBox* address = addressBox(browser);
    HelpPane* pane = browser->page();

    // The largest pixel sizes that are still at or below the thresholds.
    int narrow = 1;
    while (pixelsToTwips(narrow + 1, browser) <= 200) {
        ++narrow;
    }
    int low = 1;
    while (pixelsToTwips(low + 1, browser) <= 2000) {
        ++low;
    }

    browser->resize(twipsToPixels(9000, browser), twipsToPixels(6000, browser));
    ASSERT_TRUE(QTest::qWaitFor([&] { return browser->width() == twipsToPixels(9000, browser); }));
    const BrowserSizes wide = browser->sizes();
    const int width = pixelsToTwips(browser->width(), browser);
    const int height = pixelsToTwips(browser->height(), browser);
    EXPECT_EQ(wide, (BrowserSizes{width - 100, width - 100, height - 1275 - 100}));
    EXPECT_EQ(pane->width(), twipsToPixels(width - 100, browser));
    EXPECT_EQ(pane->height(), twipsToPixels(height - 1275 - 100, browser));
    const int addressWidth = address->width();
    const int paneWidth = pane->width();
    const int paneHeight = pane->height();

    browser->resize(narrow, low);
    ASSERT_TRUE(QTest::qWaitFor([&] { return browser->width() == narrow; }));
    ASSERT_EQ(browser->height(), low);
    EXPECT_EQ(browser->sizes(), wide);
    EXPECT_EQ(address->width(), addressWidth);
    EXPECT_EQ(pane->width(), paneWidth);
    EXPECT_EQ(pane->height(), paneHeight);

    browser->resize(narrow + 1, low);
    ASSERT_TRUE(QTest::qWaitFor([&] { return browser->width() == narrow + 1; }));
    const int justWide = pixelsToTwips(narrow + 1, browser);
    EXPECT_EQ(browser->sizes(), (BrowserSizes{justWide - 100, justWide - 100, wide.paneHeight}));
    EXPECT_EQ(pane->height(), paneHeight);

    browser->resize(narrow, low + 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return browser->height() == low + 1; }));
    const int justHigh = pixelsToTwips(low + 1, browser);
    EXPECT_EQ(browser->sizes(),
              (BrowserSizes{justWide - 100, justWide - 100, justHigh - 1275 - 100}));
}

} // namespace
} // namespace fenlowick
