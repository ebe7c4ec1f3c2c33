#include "gui/help/helpbrowserhost.h"

#include "gui/help/frmbrowser.h"

#include <QWidget>

namespace fenlowick {

HelpBrowserHost::HelpBrowserHost(const QString& startFolder, QWidget* owner)
    : HelpBrowserHost(HelpTopicLocator::forProgram(startFolder), owner) {}

HelpBrowserHost::HelpBrowserHost(HelpTopicLocator locator, QWidget* owner)
    : QObject(owner), m_locator(std::move(locator)), m_owner(owner) {}

HelpBrowserHost::~HelpBrowserHost() {
    delete m_browser.data();
}

void HelpBrowserHost::setHomeAddress(const QString& address) {
    m_homeAddress = address;
    if (m_browser != nullptr) {
        m_browser->setHomeAddress(address);
    }
}

void HelpBrowserHost::showTopic(const QString& topicFile) {
    if (m_browser == nullptr) {
        m_browser = new frmBrowser(m_locator, m_homeAddress, m_owner);
        connect(m_browser, &frmBrowser::discarded, this, [this] { m_browser = nullptr; });
    }
    m_browser->showTopic(topicFile);
}

} // namespace fenlowick
