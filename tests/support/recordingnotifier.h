#pragma once

#include "gui/widgets/notifier.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace fenlowick::test {

/// Records messages and beeps instead of showing boxes; installed for its lifetime.
class RecordingNotifier : public Notifier {
public:
    RecordingNotifier() { setNotifier(this); }
    ~RecordingNotifier() override { setNotifier(nullptr); }
    RecordingNotifier(const RecordingNotifier&) = delete;
    RecordingNotifier& operator=(const RecordingNotifier&) = delete;

    void inform(QWidget*, const QString& text, const QString& title) override {
        if (whenInformed) {
            whenInformed();
        }
        messages << text;
        titles << title;
    }
    void beep() override { ++beeps; }
    bool confirm(QWidget*, const QString& text) override {
        questions << text;
        return answer;
    }

    QStringList messages;
    QStringList questions;
    bool answer = true; ///< what every question is answered
    QStringList titles;
    int beeps = 0;
    /// Runs when a message is shown, before it is recorded: lets a test see the window then.
    std::function<void()> whenInformed;
};

} // namespace fenlowick::test
