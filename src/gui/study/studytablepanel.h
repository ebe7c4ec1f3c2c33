#pragma once

#include "core/base/csvtable.h"

#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace fenlowick {

struct Study;

/// The three tables of a study.
enum class StudyTableKind { Sources, Consumers, Discrimination };

/// What each column of a study's table is to the study, as the table view heads it:
/// "label", "tracer", "mean", "SD", "n", "concentration", "factor" (a consumer column that is
/// no tracer, a source column of a factor the consumers share), or "not used". Tracer and
/// factor columns are told apart by the study read from all three tables; without it
/// (`study` null) a consumer column whose header names a delta value counts as a tracer.
QStringList studyColumnRoles(StudyTableKind kind, const CsvTable& table, const Study* study);

/// One table of the study window: a caption with its access key, the path (typed, chosen
/// with Choose..., or dropped), the table as read with each column's role under its header,
/// and the reader's message (file, line and column) when a file is refused.
class StudyTablePanel : public QWidget {
    Q_OBJECT

public:
    /// `caption` with its access key ("&Sources:"); `optional` adds a Clear button.
    StudyTablePanel(StudyTableKind kind, const QString& caption, bool optional,
                    QWidget* parent = nullptr);

    StudyTableKind kind() const { return m_kind; }

    /// Reads the file. A table that reads replaces the one shown and true is returned; one
    /// that is refused leaves the table and path shown as they were, shows the reader's
    /// message, and gives false.
    bool load(const QString& path);
    /// Forgets the table (the discrimination table is optional).
    void clear();

    const std::optional<CsvTable>& table() const { return m_table; }
    /// The path of the table shown; empty without one.
    const QString& path() const { return m_path; }

    /// Heads the columns with their roles (studyColumnRoles).
    void showRoles(const QStringList& roles);
    /// A message under the table, such as the study's refusal naming this file; empty
    /// clears it.
    void setMessage(const QString& text);
    QString message() const;

    /// Replaces the file dialog of Choose... (tests choose without one); returns the path
    /// chosen or an empty text.
    void setFileChooser(std::function<QString(const QString& folder)> chooser);
    /// The folder Choose... opens in.
    void setFolder(const QString& folder) { m_folder = folder; }

    QLineEdit* pathBox() const { return m_pathBox; }
    QTableWidget* view() const { return m_view; }

signals:
    /// The table shown changed (loaded or cleared).
    void tableChanged();
    /// A file was chosen in this panel's dialog: its folder is the one to remember.
    void folderUsed(const QString& folder);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void choose();
    void fillView();

    StudyTableKind m_kind;
    QString m_path;
    QString m_folder;
    std::optional<CsvTable> m_table;
    QLineEdit* m_pathBox;
    QPushButton* m_choose;
    QPushButton* m_clear = nullptr;
    QTableWidget* m_view;
    QLabel* m_message;
    std::function<QString(const QString&)> m_chooser;
};

} // namespace fenlowick
