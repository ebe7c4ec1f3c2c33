#pragma once

#include "gui/help/helptopiclocator.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

namespace fenlowick {

class frmBrowser;

/// Serves every Help command of the program with one help browser window. The window is
/// created at the first topic asked for, then only shown and hidden (its Exit button); when
/// the user closes it by its close box it is discarded, and the next topic creates it
/// again with an empty history.
class HelpBrowserHost : public QObject {
    Q_OBJECT

public:
    /// The pages are looked for in `startFolder` first, then in the program's help folder
    /// (HelpTopicLocator::forProgram). `owner` (the main window) owns this object and the browser
    /// window.
    explicit HelpBrowserHost(const QString& startFolder, QWidget* owner = nullptr);

    /// Looks for the pages through `locator` instead.
    explicit HelpBrowserHost(HelpTopicLocator locator, QWidget* owner = nullptr);

    ~HelpBrowserHost() override;

    /// What Home goes to: a help page name, a path or a web address. The index page
    /// "help.htm" unless set. A new window also shows it in its address box at first.
    void setHomeAddress(const QString& address);
    QString homeAddress() const { return m_homeAddress; }

    /// The browser window; null before the first topic and after it was closed.
    frmBrowser* browser() const { return m_browser; }

public slots:
    /// Shows the help page `topicFile` (such as "\help.htm") in the browser window,
    /// creating the window when there is none. Every window's Help command connects here.
    void showTopic(const QString& topicFile);

private:
    HelpTopicLocator m_locator;
    QWidget* m_owner;
    QString m_homeAddress = QStringLiteral("help.htm");
    QPointer<frmBrowser> m_browser;
};

} // namespace fenlowick
