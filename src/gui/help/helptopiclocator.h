#pragma once

#include <QString>
#include <QStringList>

namespace fenlowick {

/// Finds the help pages. A topic is a file name such as "\help.htm" (leading "\" or "/"
/// and "\" separators are accepted, as the windows name their topics); it is looked for in
/// each folder in turn, the first existing file winning.
class HelpTopicLocator {
public:
    /// Searches the given folders in this order.
    explicit HelpTopicLocator(QStringList folders);

    /// The program's order: StartFolder first, then the program's help folder (beside the
    /// executable, or where it is installed), so that help works wherever the program is
    /// started from.
    static HelpTopicLocator forProgram(const QString& startFolder);

    /// The topic as a relative file name: separators made "/", leading ones removed.
    static QString normalisedTopic(const QString& topicFile);

    /// The absolute path of the first existing file of that name; empty when none exists.
    QString find(const QString& topicFile) const;

    /// Where a missing topic is reported as expected: in the first folder searched.
    QString expectedPath(const QString& topicFile) const;

    const QStringList& folders() const { return m_folders; }

private:
    QStringList m_folders;
};

} // namespace fenlowick
