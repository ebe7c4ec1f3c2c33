#include "gui/help/browsersizes.h"
#include "gui/help/findinpagebar.h"
#include "gui/help/frmbrowser.h"
#include "gui/help/helpbrowserhost.h"
#include "gui/help/helppane.h"
#include "gui/widgets/twips.h"

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

    /// Shows a topic through the host; fails the test unless its page titled `title` shows.
    frmBrowser* showTopic(const char* topic, const char* title) {
        host.showTopic(QString::fromLatin1(topic));
        frmBrowser* browser = host.browser();
        if (browser == nullptr || !shows(browser, QString::fromLatin1(title))) {
            ADD_FAILURE() << topic << " did not show " << title;
        }
        return browser;
    }

    static QComboBox* addressBox(frmBrowser* browser) {
        return browser->findChild<QComboBox*>(QStringLiteral("cboAddress"));
    }

    /// The address box's text for a page of StartFolder.
    QString address(const char* page) const {
        return QDir::toNativeSeparators(pages.inStartFolder(QString::fromLatin1(page)));
    }

    static void pressEnterInAddressBox(frmBrowser* browser, const QString& text) {
        QComboBox* box = addressBox(browser);
        box->setEditText(text);
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    }

    static QAction* button(frmBrowser* browser, const char* key) {
        return browser->toolbarButton(QString::fromLatin1(key));
    }

    test::HelpTestPages pages;
    HelpBrowserHost host;
};

TEST_F(HelpBrowserTest, TwoTopicsInTurnShareOneWindowAndBackAndForwardFollowTheHistory) {
    frmBrowser* browser = showTopic("\\one.htm", "First page");
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(browser->isVisible());
    EXPECT_FALSE(button(browser, "Back")->isEnabled());
    EXPECT_FALSE(button(browser, "Forward")->isEnabled());

    EXPECT_EQ(showTopic("\\two.htm", "Second page"), browser);
    EXPECT_EQ(addressBox(browser)->currentText(), address("two.htm"));
    EXPECT_TRUE(button(browser, "Back")->isEnabled());

    button(browser, "Back")->trigger();
    ASSERT_TRUE(shows(browser, QStringLiteral("First page")));
    EXPECT_EQ(addressBox(browser)->currentText(), address("one.htm"));
    EXPECT_FALSE(button(browser, "Back")->isEnabled());
    EXPECT_TRUE(button(browser, "Forward")->isEnabled());

    button(browser, "Forward")->trigger();
    EXPECT_TRUE(shows(browser, QStringLiteral("Second page")));
}

TEST_F(HelpBrowserTest, ExitHidesTheWindowAndTheNextTopicShowsItAgainWithItsHistory) {
    frmBrowser* browser = showTopic("\\one.htm", "First page");
    auto* exitButton = browser->findChild<QPushButton*>(QStringLiteral("Command1"));
    ASSERT_NE(exitButton, nullptr);
    EXPECT_EQ(exitButton->text(), QStringLiteral("E&xit"));
    QTest::mouseClick(exitButton, Qt::LeftButton);
    EXPECT_FALSE(browser->isVisible());
    EXPECT_EQ(host.browser(), browser);
    EXPECT_EQ(browser->windowTitle(), QStringLiteral("First page"));

    EXPECT_EQ(showTopic("\\two.htm", "Second page"), browser);
    EXPECT_TRUE(browser->isVisible());
    EXPECT_TRUE(browser->page()->isBackwardAvailable());
}

TEST_F(HelpBrowserTest, TheCloseBoxDiscardsTheWindowAndTheNextTopicStartsAfresh) {
    showTopic("\\one.htm", "First page");
    QPointer<frmBrowser> first = showTopic("\\two.htm", "Second page");
    EXPECT_TRUE(first->close());
    EXPECT_EQ(host.browser(), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }, 3000));

    host.showTopic(QStringLiteral("\\two.htm"));
    frmBrowser* second = host.browser();
    ASSERT_NE(second, nullptr);
    // Before the page arrives the new window's address box holds the home address.
    EXPECT_EQ(addressBox(second)->currentText(), address("help.htm"));
    ASSERT_TRUE(shows(second, QStringLiteral("Second page")));
    EXPECT_FALSE(second->page()->isBackwardAvailable());
    EXPECT_FALSE(button(second, "Back")->isEnabled());
}

TEST_F(HelpBrowserTest, AMissingPageShowsOurPageNamingTheFile) {
    frmBrowser* browser = showTopic("\\nowhere.htm", "Help page not found");
    const QString text = browser->page()->toPlainText();
    EXPECT_TRUE(text.contains(QStringLiteral("The help page nowhere.htm could not be found.")));
    EXPECT_TRUE(text.contains(address("nowhere.htm")));
    EXPECT_TRUE(text.contains(QDir::toNativeSeparators(pages.besideProgram())));
    EXPECT_TRUE(browser->isVisible());
}

TEST_F(HelpBrowserTest, ATopicMayNameASectionOfItsPageAndALinkLeadsToAPageInTheNextFolder) {
    frmBrowser* browser = showTopic("\\help.htm#later", "Index page");
    EXPECT_EQ(browser->page()->source().fragment(), QStringLiteral("later"));
    EXPECT_EQ(addressBox(browser)->currentText(), address("help.htm") + QStringLiteral("#later"));
    // The link's target is missing beside the index page in StartFolder.
    browser->page()->setSource(QUrl(QStringLiteral("three.htm")));
    EXPECT_TRUE(shows(browser, QStringLiteral("Third page")));
}

TEST_F(HelpBrowserTest, EnterInTheAddressBoxGoesToTheTypedAddressShowingWorkingMeanwhile) {
    frmBrowser* browser = showTopic("\\one.htm", "First page");
    pressEnterInAddressBox(browser, pages.inStartFolder(QStringLiteral("two.htm")));
    EXPECT_TRUE(browser->isBusy());
    EXPECT_EQ(browser->windowTitle(), QStringLiteral("Working..."));
    ASSERT_TRUE(shows(browser, QStringLiteral("Second page")));
    EXPECT_EQ(addressBox(browser)->count(), 0);

    // A bare page name is a help page, looked for like a topic, in the next folder too.
    pressEnterInAddressBox(browser, QStringLiteral("three.htm"));
    EXPECT_TRUE(shows(browser, QStringLiteral("Third page")));

    // A web address shows our notice with a link to it.
    pressEnterInAddressBox(browser, QStringLiteral("https://example.org/isotopes"));
    ASSERT_TRUE(shows(browser, QStringLiteral("Web address")));
    EXPECT_TRUE(browser->page()->toHtml().contains(
        QStringLiteral("href=\"https://example.org/isotopes\"")));
}

TEST_F(HelpBrowserTest, EnterWithTheFirstTextOfTheAddressBoxGoesHome) {
    frmBrowser browser(HelpTopicLocator({pages.startFolder(), pages.besideProgram()}),
                       QStringLiteral("help.htm"));
    browser.show();
    QTest::keyClick(addressBox(&browser)->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(browser.windowTitle(), QStringLiteral("Working..."));
    EXPECT_TRUE(shows(&browser, QStringLiteral("Index page")));
}

TEST_F(HelpBrowserTest, StopDropsThePendingNavigationAndRefreshReloadsThePageFromItsFile) {
    frmBrowser* browser = showTopic("\\one.htm", "First page");
    pressEnterInAddressBox(browser, pages.inStartFolder(QStringLiteral("two.htm")));
    ASSERT_TRUE(browser->isBusy());
    button(browser, "Stop")->trigger();
    EXPECT_FALSE(browser->isBusy());
    EXPECT_EQ(browser->windowTitle(), QStringLiteral("First page"));
    QTest::qWait(50);
    EXPECT_EQ(browser->windowTitle(), QStringLiteral("First page"));
    EXPECT_EQ(browser->page()->source(),
              QUrl::fromLocalFile(pages.inStartFolder(QStringLiteral("one.htm"))));

    QFile file(pages.inStartFolder(QStringLiteral("one.htm")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("<html><head><title>Edited page</title></head><body>New.</body></html>");
    file.close();
    button(browser, "Refresh")->trigger();
    EXPECT_EQ(browser->windowTitle(), QStringLiteral("Working..."));
    EXPECT_TRUE(shows(browser, QStringLiteral("Edited page")));
}

TEST_F(HelpBrowserTest, HomeGoesToTheIndexPageUnlessAnotherAddressIsSet) {
    frmBrowser* browser = showTopic("\\one.htm", "First page");
    button(browser, "Home")->trigger();
    EXPECT_TRUE(shows(browser, QStringLiteral("Index page")));

    host.setHomeAddress(QStringLiteral("two.htm"));
    button(browser, "Home")->trigger();
    EXPECT_TRUE(shows(browser, QStringLiteral("Second page")));

    HelpBrowserHost other(HelpTopicLocator({pages.startFolder(), pages.besideProgram()}));
    other.setHomeAddress(QStringLiteral("two.htm"));
    other.showTopic(QStringLiteral("\\one.htm"));
    EXPECT_EQ(addressBox(other.browser())->currentText(), address("two.htm"));
    EXPECT_TRUE(shows(other.browser(), QStringLiteral("First page")));
}

TEST_F(HelpBrowserTest, SearchOpensAFindBoxThatSelectsTheTextInThePage) {
    frmBrowser* browser = showTopic("\\help.htm", "Index page");
    EXPECT_FALSE(browser->findBox()->isVisible());
    button(browser, "Search")->trigger();
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
    EXPECT_EQ(keys, QStringLiteral("Back Forward Stop Refresh Home Search").split(u' '));
    EXPECT_EQ(button(browser, "Print"), nullptr);
}

TEST_F(HelpBrowserTest, TheWindowOpensAtItsDesignSizeAndFollowsResizingOnlyAbove200And2000Twips) {
    frmBrowser* browser = showTopic("\\one.htm", "First page");
    const auto twips = [browser](int value) { return pixelsToTwips(value, browser); };
    const auto pixels = [browser](int value) { return twipsToPixels(value, browser); };
    // The sizes the window's own width and height in twips lead to.
    const auto following = [&] {
        const int width = twips(browser->width());
        return BrowserSizes{width - 100, width - 100, twips(browser->height()) - 1275 - 100};
    };
    QComboBox* address = addressBox(browser);
    HelpPane* pane = browser->page();
    EXPECT_EQ(browser->size(), QSize(pixels(13020), pixels(8550)));
    EXPECT_EQ(browser->sizes(), following());
    EXPECT_EQ(address->pos(), QPoint(pixels(50), pixels(330)));
    EXPECT_EQ(address->width(), pixels(twips(browser->width()) - 100));

    // The largest pixel sizes that are still at or below the thresholds.
    int narrow = 1;
    while (twips(narrow + 1) <= 200) {
        ++narrow;
    }
    int low = 1;
    while (twips(low + 1) <= 2000) {
        ++low;
    }

    browser->resize(pixels(9000), pixels(6000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return browser->width() == pixels(9000); }));
    const BrowserSizes wide = browser->sizes();
    EXPECT_EQ(wide, following());
    EXPECT_EQ(pane->size(), QSize(pixels(wide.paneWidth), pixels(wide.paneHeight)));
    const QSize paneSize = pane->size();
    const int addressWidth = address->width();

    browser->resize(narrow, low);
    ASSERT_TRUE(QTest::qWaitFor([&] { return browser->width() == narrow; }));
    ASSERT_EQ(browser->height(), low);
    EXPECT_EQ(browser->sizes(), wide);
    EXPECT_EQ(address->width(), addressWidth);
    EXPECT_EQ(pane->size(), paneSize);

    // One pixel more in both follows again (width and height each on its own: BrowserSizes).
    browser->resize(narrow + 1, low + 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return browser->height() == low + 1; }));
    EXPECT_EQ(browser->sizes(), following());
}

TEST(BrowserSizes, WidthFollowsAbove200TwipsAndHeightAbove2000Independently) {
    constexpr int kAddressBarBottom = 600 + 675;
    const BrowserSizes before{1000, 2000, 3000};
    const struct {
        int width, height;
        BrowserSizes after;
    } cases[] = {
        {201, 1000, {101, 101, 3000}},
        {13020, 1000, {12920, 12920, 3000}},
        {200, 1000, before},
        {0, 1000, before},
        // The pane's height is what is left below the address bar.
        {100, 2001, {1000, 2000, 2001 - 1275 - 100}},
        {100, 8550, {1000, 2000, 7175}},
        {100, 2000, before},
        {5000, 2000, {4900, 4900, 3000}},
        {5000, 6000, {4900, 4900, 4625}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(followWindowSize(before, c.width, c.height, kAddressBarBottom), c.after)
            << c.width << " x " << c.height;
    }
}

} // namespace
} // namespace fenlowick
