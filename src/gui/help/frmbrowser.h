#pragma once

#include "gui/help/browsersizes.h"
#include "gui/help/helptopiclocator.h"

#include <QString>
#include <QWidget>

class QAction;
class QComboBox;
class QLabel;
class QPushButton;
class QTimer;
class QToolBar;

namespace fenlowick {

class FindInPageBar;
class HelpPane;

/// The help browser: one window that shows the program's help pages for every Help command.
/// A toolbar (Back, Forward, Stop, Refresh, Home, Search), an address box that goes to the
/// address typed when Enter is pressed, an Exit button that hides the window (keeping its
/// page and history), and the page pane. The caption reads "Working..." while a navigation
/// asked for from the toolbar or the address box is pending, and the page's title once it
/// is shown. Closing the window by its close box discards it (it deletes itself on close).
class frmBrowser : public QWidget {
    Q_OBJECT

public:
    /// Design sizes in twips.
    static constexpr int kClientWidth = 13020;
    static constexpr int kClientHeight = 8550;
    static constexpr int kToolbarHeight = 540;
    static constexpr int kAddressBarTop = 600;
    static constexpr int kAddressBarHeight = 675;
    static constexpr int kAddressLeft = 50;
    static constexpr int kAddressTop = 330;
    static constexpr int kPaneLeft = 50;
    static constexpr int kPaneTop = 1320;

    /// Pages are found through `locator`; `homeAddress` is what Home goes to and the
    /// address box's first text: a help page name such as "help.htm", a path or a web
    /// address.
    frmBrowser(HelpTopicLocator locator, const QString& homeAddress, QWidget* parent = nullptr);

    /// Goes to the help page `topicFile` (such as "\calc.htm") and shows the window in
    /// front. A page that does not exist shows a page saying which file is missing.
    void showTopic(const QString& topicFile);

    /// The home address as configured; setting it changes where Home goes, not the page
    /// shown.
    QString homeAddress() const { return m_homeAddress; }
    void setHomeAddress(const QString& address) { m_homeAddress = address; }

    /// The sizes last set by the resize rule, in twips.
    BrowserSizes sizes() const { return m_sizes; }

    HelpPane* page() const { return m_brwWebBrowser; }
    FindInPageBar* findBox() const { return m_findBox; }

    /// True while a navigation is pending.
    bool isBusy() const;

    /// The toolbar button carrying `key` ("Back", "Forward", "Stop", "Refresh", "Home",
    /// "Search"); null for another key.
    QAction* toolbarButton(const QString& key) const;

signals:
    /// The window has been closed by its close box (or by the program) and will be
    /// deleted.
    void discarded();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    void Form_Resize();
    void tbToolBar_ButtonClick(const QString& key);
    void cboAddress_Enter();
    void Command1_Click();
    void timTimer_Timer();
    void brwWebBrowser_DownloadComplete();

    void startBusyIndicator();
    void addToolbarButton(const QString& key, const QString& text, const QIcon& icon,
                          const QKeySequence& shortcut);
    void placeFindBox();

    QString m_homeAddress;
    BrowserSizes m_sizes;

    QToolBar* m_tbToolBar;
    QWidget* m_picAddress;
    QLabel* m_lblAddress;
    QComboBox* m_cboAddress;
    QPushButton* m_Command1;
    HelpPane* m_brwWebBrowser;
    QTimer* m_timTimer;
    FindInPageBar* m_findBox;
};

} // namespace fenlowick
