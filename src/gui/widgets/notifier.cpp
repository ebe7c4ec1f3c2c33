#include "gui/widgets/notifier.h"

#include <QApplication>
#include <QMessageBox>

namespace fenlowick {

namespace {

class MessageBoxNotifier : public Notifier {
public:
    void inform(QWidget* parent, const QString& text, const QString& title) override {
        QMessageBox box(QMessageBox::NoIcon, title.isEmpty() ? applicationTitle() : title, text,
                        QMessageBox::Ok, parent);
        box.exec();
    }

    void beep() override { QApplication::beep(); }

    bool confirm(QWidget* parent, const QString& text) override {
        QMessageBox box(QMessageBox::Question, applicationTitle(), text,
                        QMessageBox::Yes | QMessageBox::No, parent);
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    }
};

MessageBoxNotifier g_messageBoxes;
Notifier* g_current = &g_messageBoxes;

} // namespace

Notifier& notifier() {
    return *g_current;
}

void setNotifier(Notifier* replacement) {
    g_current = replacement != nullptr ? replacement : &g_messageBoxes;
}

QString applicationTitle() {
    return QStringLiteral("Fenlowick");
}

} // namespace fenlowick
