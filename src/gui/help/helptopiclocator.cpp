#include "gui/help/helptopiclocator.h"

#include "gui/widgets/programfolders.h"

#include <QDir>
#include <QFileInfo>

namespace fenlowick {

HelpTopicLocator::HelpTopicLocator(QStringList folders) : m_folders(std::move(folders)) {}

HelpTopicLocator HelpTopicLocator::forProgram(const QString& startFolder) {
    return HelpTopicLocator({startFolder, ProgramFolders::ofProgram().help});
}

QString HelpTopicLocator::normalisedTopic(const QString& topicFile) {
    QString topic = topicFile.trimmed();
    topic.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (topic.startsWith(QLatin1Char('/'))) {
        topic.remove(0, 1);
    }
    return topic;
}

QString HelpTopicLocator::find(const QString& topicFile) const {
    const QString topic = normalisedTopic(topicFile);
    if (topic.isEmpty()) {
        return {};
    }
    for (const QString& folder : m_folders) {
        if (folder.isEmpty()) {
            continue;
        }
        const QFileInfo candidate(QDir(folder).filePath(topic));
        if (candidate.isFile()) {
            return candidate.absoluteFilePath();
        }
    }
    return {};
}

QString HelpTopicLocator::expectedPath(const QString& topicFile) const {
    const QString topic = normalisedTopic(topicFile);
    const QString first = m_folders.isEmpty() ? QDir::currentPath() : m_folders.front();
    return QDir::cleanPath(QDir(first).absoluteFilePath(topic));
}

} // namespace fenlowick
