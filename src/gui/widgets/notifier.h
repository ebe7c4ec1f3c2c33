#pragma once

#include <QString>

class QWidget;

namespace fenlowick {

/// Where every window sends its messages and beeps. The program uses modal message boxes;
/// tests install a recording notifier so that nothing blocks.
class Notifier {
public:
    virtual ~Notifier() = default;

    /// A modal message with one OK button and no icon, titled with the program's name
    /// unless another title is given.
    virtual void inform(QWidget* parent, const QString& text, const QString& title = {}) = 0;

    /// The short warning sound that precedes a rejected entry.
    virtual void beep() = 0;

    /// A modal question with Yes and No buttons, No the default; true for Yes.
    virtual bool confirm(QWidget* parent, const QString& text) = 0;
};

/// The notifier in use: the message-box one unless a test has installed another.
Notifier& notifier();

/// Installs a notifier (not owned); nullptr restores the message-box one.
void setNotifier(Notifier* replacement);

/// The title of the program's message boxes.
QString applicationTitle();

} // namespace fenlowick
