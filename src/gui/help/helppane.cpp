#include "gui/help/helppane.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextDocument>
#include <QTimer>

namespace fenlowick {

namespace {

QString escaped(const QString& text) {
    return text.toHtmlEscaped();
}

bool isLocalAddress(const QUrl& url) {
    return url.isLocalFile() || url.scheme().isEmpty();
}

QString pageFrame(const QString& title, const QString& body) {
    return QStringLiteral("<html><head><title>%1</title></head>"
                          "<body style=\"font-family: sans-serif; margin: 12px;\">"
                          "<h1 style=\"color: #00008b;\">%1</h1>%2</body></html>")
        .arg(escaped(title), body);
}

} // namespace

HelpPane::HelpPane(HelpTopicLocator locator, QWidget* parent)
    : QTextBrowser(parent), m_locator(std::move(locator)), m_loadTimer(new QTimer(this)) {
    m_loadTimer->setSingleShot(true);
    m_loadTimer->setInterval(0);
    connect(m_loadTimer, &QTimer::timeout, this, &HelpPane::runPending);
    // The new address is reported before source() returns it.
    connect(this, &QTextBrowser::sourceChanged, this, [this](const QUrl& address) {
        m_location = address;
        emit documentComplete();
    });
    setOpenExternalLinks(true);
}

void HelpPane::navigate(const QUrl& address) {
    if (!address.isEmpty()) {
        schedule(Pending::Navigate, address);
    }
}

void HelpPane::goBack() {
    schedule(Pending::Back);
}

void HelpPane::goForward() {
    schedule(Pending::Forward);
}

void HelpPane::refresh() {
    schedule(Pending::Refresh);
}

bool HelpPane::isBusy() const {
    return m_pending != Pending::None;
}

void HelpPane::stop() {
    m_loadTimer->stop();
    m_pending = Pending::None;
    m_pendingAddress.clear();
}

void HelpPane::schedule(Pending what, const QUrl& address) {
    m_pending = what;
    m_pendingAddress = address;
    m_loadTimer->start();
}

void HelpPane::runPending() {
    const Pending what = m_pending;
    const QUrl address = m_pendingAddress;
    m_pending = Pending::None;
    m_pendingAddress.clear();
    switch (what) {
    case Pending::None:
        break;
    case Pending::Navigate:
        setSource(address);
        break;
    case Pending::Back:
        backward();
        break;
    case Pending::Forward:
        forward();
        break;
    case Pending::Refresh:
        reload();
        // Reloading the same address need not report a new source.
        emit documentComplete();
        break;
    }
}

QString HelpPane::locationName() const {
    const QString title = documentTitle().trimmed();
    if (!title.isEmpty()) {
        return title;
    }
    return source().fileName();
}

QString HelpPane::displayAddress(const QUrl& url) {
    if (url.isEmpty()) {
        return {};
    }
    if (url.isLocalFile()) {
        QString address = QDir::toNativeSeparators(url.toLocalFile());
        if (url.hasFragment()) {
            address += QLatin1Char('#') + url.fragment();
        }
        return address;
    }
    return url.toString();
}

QUrl HelpPane::topicAddress(const QString& topicFile) const {
    QString topic = topicFile;
    QString section;
    const qsizetype hash = topic.indexOf(QLatin1Char('#'));
    if (hash >= 0) {
        section = topic.mid(hash + 1);
        topic.truncate(hash);
    }
    const QString found = m_locator.find(topic);
    QUrl url = QUrl::fromLocalFile(found.isEmpty() ? m_locator.expectedPath(topic) : found);
    if (!section.isEmpty()) {
        url.setFragment(section);
    }
    return url;
}

QUrl HelpPane::addressFromText(const QString& text) const {
    const QString address = text.trimmed();
    if (address.isEmpty()) {
        return {};
    }
    // A scheme of one letter is a drive letter, not a web address.
    const QUrl asUrl(address);
    if (asUrl.isValid() && asUrl.scheme().size() > 1) {
        return asUrl;
    }
    QString path = address;
    QString fragment;
    const qsizetype hash = path.indexOf(QLatin1Char('#'));
    if (hash >= 0) {
        fragment = path.mid(hash + 1);
        path.truncate(hash);
    }
    if (!QDir::isAbsolutePath(path) && !path.contains(QLatin1Char(':'))) {
        return topicAddress(address);
    }
    QUrl url = QUrl::fromLocalFile(QDir::fromNativeSeparators(path));
    if (!fragment.isEmpty()) {
        url.setFragment(fragment);
    }
    return url;
}

QString HelpPane::missingPageHtml(const QString& path, const QStringList& foldersSearched) {
    const QString name = QFileInfo(path).fileName();
    QString body = QStringLiteral("<p>The help page <b>%1</b> could not be found.</p>"
                                  "<p>Address asked for: <code>%2</code></p>")
                       .arg(escaped(name), escaped(QDir::toNativeSeparators(path)));
    if (!foldersSearched.isEmpty()) {
        body += QStringLiteral("<p>It was looked for in these folders, in this order:</p><ul>");
        for (const QString& folder : foldersSearched) {
            body += QStringLiteral("<li><code>%1</code></li>")
                        .arg(escaped(QDir::toNativeSeparators(folder)));
        }
        body += QStringLiteral("</ul>");
    }
    body += QStringLiteral(
        "<p>The help pages are installed in the folder <code>help</code> beside the program. "
        "Copy them back there, or into the folder the program is started from.</p>");
    return pageFrame(QStringLiteral("Help page not found"), body);
}

QString HelpPane::webAddressHtml(const QUrl& address) {
    const QString text = escaped(address.toString());
    return pageFrame(QStringLiteral("Web address"),
                     QStringLiteral("<p>This window shows the program's own help pages, which "
                                    "are files on this computer. The address <code>%1</code> "
                                    "is not one of them.</p><p>To open it in your web browser, "
                                    "follow this link: <a href=\"%1\">%1</a></p>")
                         .arg(text));
}

QVariant HelpPane::loadResource(int type, const QUrl& name) {
    const bool isPage =
        type == QTextDocument::HtmlResource || type == QTextDocument::MarkdownResource;
    if (!isLocalAddress(name)) {
        return isPage ? QVariant(webAddressHtml(name)) : QVariant();
    }
    const QString path = name.isLocalFile() ? name.toLocalFile() : name.path();
    QString existing = QFileInfo(path).isFile() ? path : QString();
    if (existing.isEmpty()) {
        // A link between pages leads beside the page that holds it; the page may have come
        // from another folder of the search.
        existing = m_locator.find(QFileInfo(path).fileName());
    }
    if (existing.isEmpty()) {
        return isPage ? QVariant(missingPageHtml(path, m_locator.folders())) : QVariant();
    }
    if (type == QTextDocument::ImageResource) {
        return QTextBrowser::loadResource(type, QUrl::fromLocalFile(existing));
    }
    QFile file(existing);
    if (!file.open(QIODevice::ReadOnly)) {
        return isPage ? QVariant(missingPageHtml(path, m_locator.folders())) : QVariant();
    }
    return file.readAll();
}

} // namespace fenlowick
