#include "app/application.h"

#include "gui/entry/frmmain.h"

#include "support/recordingnotifier.h"
#include "support/testsupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QWidget>
#include <gtest/gtest.h>

#include <map>

namespace fenlowick {
namespace {

/// The access key of a caption: the character after a single "&", in upper case.
QChar accessKey(const QString& caption) {
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] == u'&') {
            if (caption[i + 1] != u'&') {
                return caption[i + 1].toUpper();
            }
            ++i;
        }
    }
    return {};
}

/// Every caption with an access key that a window's keyboard reaches: its menu bar's
/// commands, its buttons and the labels that lead to a control; not those of the windows it
/// owns.
std::vector<QString> keyedCaptions(QWidget* window) {
    std::vector<QString> captions;
    const auto own = [window](QWidget* widget) { return widget->window() == window; };
    for (QMenuBar* bar : window->findChildren<QMenuBar*>()) {
        for (QAction* action : bar->actions()) {
            if (own(bar)) {
                captions.push_back(action->text());
            }
        }
    }
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        if (own(button)) {
            captions.push_back(button->text());
        }
    }
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (own(label) && label->buddy() != nullptr) {
            captions.push_back(label->text());
        }
    }
    return captions;
}

TEST(AccessKeys, NoWindowGivesOneKeyToTwoCommands) {
    test::TempDir temp;
    test::RecordingNotifier notes;
    Application program(QString::fromStdString(temp.path().string()));
    program.mainWindow()->menuCommand(QStringLiteral("help"))->trigger();
    int windows = 0;
    QStringList titles;
    for (QWidget* window : QApplication::allWidgets()) {
        if (!window->isWindow() || window->windowTitle().isEmpty()) {
            continue;
        }
        ++windows;
        titles << window->windowTitle();
        std::map<QChar, QString> taken;
        for (const QString& caption : keyedCaptions(window)) {
            const QChar key = accessKey(caption);
            if (key.isNull()) {
                continue;
            }
            const auto [at, fresh] = taken.emplace(key, caption);
            EXPECT_TRUE(fresh) << window->windowTitle().toStdString() << ": \""
                               << caption.toStdString() << "\" and \"" << at->second.toStdString()
                               << "\" share Alt+" << QString(key).toStdString();
        }
    }
    EXPECT_GE(windows, 8);
    // The study window's pages and their tables, settings and results are all its own.
    EXPECT_TRUE(titles.contains(QStringLiteral("Fenlowick - Study")))
        << titles.join(u',').toStdString();
}

} // namespace
} // namespace fenlowick
