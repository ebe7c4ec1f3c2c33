#include "gui/help/findinpagebar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTextBrowser>
#include <QTextCursor>
#include <QToolButton>

namespace fenlowick {

FindInPageBar::FindInPageBar(QTextBrowser* page, QWidget* parent)
    : QFrame(parent), m_page(page), m_text(new QLineEdit(this)), m_status(new QLabel(this)),
      m_previous(new QToolButton(this)), m_next(new QToolButton(this)),
      m_close(new QToolButton(this)) {
    setObjectName(QStringLiteral("findInPage"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);

    auto* label = new QLabel(tr("Fi&nd:"), this);
    label->setBuddy(m_text);
    m_text->setObjectName(QStringLiteral("txtFind"));
    m_text->setClearButtonEnabled(true);
    m_text->setMinimumWidth(160);
    m_status->setObjectName(QStringLiteral("lblFindStatus"));
    m_status->setMinimumWidth(70);
    m_previous->setText(tr("Previous"));
    m_previous->setArrowType(Qt::UpArrow);
    m_previous->setToolTip(tr("Previous occurrence (Shift+Enter)"));
    m_next->setText(tr("Next"));
    m_next->setArrowType(Qt::DownArrow);
    m_next->setToolTip(tr("Next occurrence (Enter)"));
    m_close->setText(tr("Close"));
    m_close->setToolTip(tr("Close the find box (Escape)"));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->addWidget(label);
    layout->addWidget(m_text);
    layout->addWidget(m_previous);
    layout->addWidget(m_next);
    layout->addWidget(m_status);
    layout->addWidget(m_close);

    m_text->installEventFilter(this);
    connect(m_text, &QLineEdit::textEdited, this, [this] {
        // Search again from the start of the current match as the text grows.
        QTextCursor cursor = m_page->textCursor();
        cursor.setPosition(cursor.selectionStart());
        m_page->setTextCursor(cursor);
        findNext(false);
    });
    connect(m_previous, &QToolButton::clicked, this, [this] { findNext(true); });
    connect(m_next, &QToolButton::clicked, this, [this] { findNext(false); });
    connect(m_close, &QToolButton::clicked, this, &QWidget::hide);
    hide();
}

void FindInPageBar::open() {
    show();
    raise();
    m_text->setFocus(Qt::ShortcutFocusReason);
    m_text->selectAll();
}

bool FindInPageBar::findNext(bool backwards) {
    const QString text = m_text->text();
    if (text.isEmpty()) {
        m_status->clear();
        return false;
    }
    const QTextDocument::FindFlags flags =
        backwards ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    bool found = m_page->find(text, flags);
    if (!found) {
        // Wrap round: continue from the other end of the page.
        QTextCursor cursor = m_page->textCursor();
        cursor.movePosition(backwards ? QTextCursor::End : QTextCursor::Start);
        m_page->setTextCursor(cursor);
        found = m_page->find(text, flags);
    }
    m_status->setText(found ? QString() : tr("Not found"));
    return found;
}

bool FindInPageBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_text && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape) {
            hide();
            m_page->setFocus(Qt::OtherFocusReason);
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            findNext((key->modifiers() & Qt::ShiftModifier) != 0);
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

} // namespace fenlowick
