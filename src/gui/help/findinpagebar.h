#pragma once

#include <QFrame>

class QLabel;
class QLineEdit;
class QTextBrowser;
class QToolButton;

namespace fenlowick {

/// The find-in-page box of the help browser: a text box and Next / Previous buttons that
/// select the next occurrence of the text in the page (ignoring case, wrapping round the
/// page), and a close button. Enter finds the next occurrence, Shift+Enter the previous,
/// Escape closes the box.
class FindInPageBar : public QFrame {
    Q_OBJECT

public:
    /// Searches in `page`; the bar is a child of `parent`, which places it.
    FindInPageBar(QTextBrowser* page, QWidget* parent);

    /// Shows the box with its text selected and the focus in it.
    void open();

    /// Selects the next (or previous) occurrence of the text; false when there is none,
    /// in which case the box says "Not found".
    bool findNext(bool backwards = false);

    QLineEdit* textBox() const { return m_text; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTextBrowser* m_page;
    QLineEdit* m_text;
    QLabel* m_status;
    QToolButton* m_previous;
    QToolButton* m_next;
    QToolButton* m_close;
};

} // namespace fenlowick
