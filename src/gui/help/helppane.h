#pragma once

#include "gui/help/helptopiclocator.h"

#include <QTextBrowser>
#include <QUrl>

class QTimer;

namespace fenlowick {

/// The page pane of the help browser: a text browser that loads the program's own HTML
/// pages. Navigation asked for through navigate, goBack, goForward and refresh is carried
/// out from the event loop, so that it is pending (busy) until then and can be stopped.
/// A page that cannot be found, and a web address, are answered with a page of our own
/// that says so, rather than with an empty pane.
class HelpPane : public QTextBrowser {
    Q_OBJECT

public:
    /// Pages missing at their address are looked for by file name through `locator`.
    explicit HelpPane(HelpTopicLocator locator, QWidget* parent = nullptr);

    void navigate(const QUrl& address);
    void goBack();
    void goForward();
    void refresh();

    /// True while a navigation is pending.
    bool isBusy() const;

    /// Drops the pending navigation, if any; the page shown stays.
    void stop();

    /// The name of the page shown: its title, or its file name when it has none.
    QString locationName() const;

    /// The address of the page shown, as the address box shows it.
    QString locationAddress() const { return displayAddress(m_location); }

    /// An address as the address box shows it: a local path (with "#section" when a
    /// section is meant), or the web address.
    static QString displayAddress(const QUrl& address);

    /// The address of a help topic: the file found by the locator, or where it was
    /// expected when none exists (which then shows the missing-page page). A "#section"
    /// after the file name is kept.
    QUrl topicAddress(const QString& topicFile) const;

    /// The address typed in the address box as a URL: a web address as it is, an absolute
    /// path as that file, a bare file name as the help page of that name (which may not
    /// exist). A "#section" after a path is kept. Empty text gives an empty URL.
    QUrl addressFromText(const QString& text) const;

    /// The page shown for a help page that does not exist.
    static QString missingPageHtml(const QString& path, const QStringList& foldersSearched);

    /// The page shown for an address that is not a file of this computer.
    static QString webAddressHtml(const QUrl& address);

    QVariant loadResource(int type, const QUrl& name) override;

signals:
    /// A page (or a section of one) has been shown.
    void documentComplete();

private:
    enum class Pending { None, Navigate, Back, Forward, Refresh };

    void schedule(Pending what, const QUrl& address = {});
    void runPending();

    HelpTopicLocator m_locator;
    QTimer* m_loadTimer;
    Pending m_pending = Pending::None;
    QUrl m_pendingAddress;
    QUrl m_location;
};

} // namespace fenlowick
