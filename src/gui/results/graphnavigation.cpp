#include "gui/results/graphnavigation.h"

namespace fenlowick {

void GraphNavigation::clear() {
    m_current = 0;
    m_sourceCount = 0;
}

void GraphNavigation::loaded(int sourceCount) {
    m_sourceCount = sourceCount;
    m_current = 1;
    m_nextEnabled = true;
    m_previousEnabled = false;
    m_printEnabled = true;
}

bool GraphNavigation::next() {
    if (m_current <= 0 || m_current >= m_sourceCount) {
        return false;
    }
    ++m_current;
    if (m_current == m_sourceCount) {
        m_nextEnabled = false;
    }
    m_previousEnabled = true;
    return true;
}

bool GraphNavigation::previous() {
    if (m_current <= 1) {
        return false;
    }
    --m_current;
    if (m_current == 1) {
        m_previousEnabled = false;
    }
    m_nextEnabled = true;
    return true;
}

void GraphNavigation::resetCommands() {
    m_nextEnabled = false;
    m_previousEnabled = false;
    m_printEnabled = false;
}

} // namespace fenlowick
