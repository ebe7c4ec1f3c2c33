#include "gui/study/studytablepanel.h"

#include "core/tables/isotopename.h"
#include "core/tables/studytables.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>

#include <algorithm>

namespace fenlowick {

namespace {

/// The most rows the view shows: enough to look at a table, not so many that a table of
/// fifty thousand consumers slows the window.
constexpr int kShownRows = 2000;

bool startsWithWord(const std::string& folded, const char* word) {
    return folded.starts_with(word) && folded.size() > std::char_traits<char>::length(word);
}

QString sourceRole(const std::string& header, const Study* study) {
    const std::string folded = foldCase(header);
    if (folded.empty() || folded == "source" || folded == "sources") {
        return QStringLiteral("label");
    }
    if (folded == "n") {
        return QStringLiteral("n");
    }
    if (startsWithWord(folded, "mean")) {
        return QStringLiteral("mean");
    }
    if (startsWithWord(folded, "sd")) {
        return QStringLiteral("SD");
    }
    if (startsWithWord(folded, "conc")) {
        return QStringLiteral("concentration");
    }
    if (study != nullptr) {
        for (const std::string& tracer : study->tracers) {
            if (isotopeKey(tracer) == isotopeKey(header)) {
                return QStringLiteral("tracer");
            }
        }
        for (const int f : study->sharedFactors) {
            if (foldCase(study->factors[static_cast<std::size_t>(f)]) == folded) {
                return QStringLiteral("factor");
            }
        }
        return QStringLiteral("not used");
    }
    return looksLikeIsotope(header) ? QStringLiteral("tracer") : QStringLiteral("factor");
}

QString consumerRole(const std::string& header, const Study* study) {
    if (study == nullptr) {
        return looksLikeIsotope(header) ? QStringLiteral("tracer") : QStringLiteral("factor");
    }
    const bool tracer =
        std::any_of(study->tracers.begin(), study->tracers.end(), [&](const std::string& name) {
            return isotopeKey(name) == isotopeKey(header);
        });
    if (tracer) {
        return QStringLiteral("tracer");
    }
    return study->factorIndex(header) >= 0 ? QStringLiteral("factor") : QStringLiteral("not used");
}

} // namespace

QStringList studyColumnRoles(StudyTableKind kind, const CsvTable& table, const Study* study) {
    QStringList roles;
    for (int c = 0; c < table.columnCount(); ++c) {
        const std::string& header = table.header(c);
        switch (kind) {
        case StudyTableKind::Consumers:
            roles << consumerRole(header, study);
            break;
        case StudyTableKind::Sources:
        case StudyTableKind::Discrimination:
            roles << sourceRole(header, kind == StudyTableKind::Sources ? study : nullptr);
            break;
        }
    }
    return roles;
}

StudyTablePanel::StudyTablePanel(StudyTableKind kind, const QString& caption, bool optional,
                                 QWidget* parent)
    : QWidget(parent), m_kind(kind), m_pathBox(new QLineEdit(this)),
      m_choose(new QPushButton(QStringLiteral("Choose..."), this)), m_view(new QTableWidget(this)),
      m_message(new QLabel(this)) {
    auto* label = new QLabel(caption, this);
    label->setBuddy(m_pathBox);
    m_pathBox->setPlaceholderText(QStringLiteral("type a path and press Enter, choose, or drop "
                                                 "a file here"));
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 4);
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_message->setStyleSheet(QStringLiteral("color: #b00020;"));
    m_message->hide();

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(label, 0, 0);
    grid->addWidget(m_pathBox, 0, 1);
    grid->addWidget(m_choose, 0, 2);
    if (optional) {
        m_clear = new QPushButton(QStringLiteral("Clear"), this);
        grid->addWidget(m_clear, 0, 3);
        connect(m_clear, &QPushButton::clicked, this, &StudyTablePanel::clear);
    }
    grid->addWidget(m_message, 1, 0, 1, optional ? 4 : 3);
    grid->addWidget(m_view, 2, 0, 1, optional ? 4 : 3);
    grid->setColumnStretch(1, 1);
    setAcceptDrops(true);

    connect(m_choose, &QPushButton::clicked, this, &StudyTablePanel::choose);
    connect(m_pathBox, &QLineEdit::returnPressed, this, [this] {
        if (m_pathBox->text() != m_path) {
            load(m_pathBox->text());
        }
    });
}

bool StudyTablePanel::load(const QString& path) {
    Expected<CsvTable> table = CsvTable::read(path.toStdString());
    if (!table) {
        // The table shown stays; the path box shows it again beside the message.
        m_pathBox->setText(m_path);
        setMessage(QString::fromStdString(table.error().message));
        return false;
    }
    m_table = std::move(*table);
    m_path = path;
    m_pathBox->setText(path);
    setMessage({});
    fillView();
    emit tableChanged();
    return true;
}

void StudyTablePanel::clear() {
    m_table.reset();
    m_path.clear();
    m_pathBox->clear();
    setMessage({});
    fillView();
    emit tableChanged();
}

void StudyTablePanel::fillView() {
    m_view->clear();
    if (!m_table) {
        m_view->setRowCount(0);
        m_view->setColumnCount(0);
        return;
    }
    const CsvTable& table = *m_table;
    const int rows = std::min(table.rowCount(), kShownRows);
    m_view->setColumnCount(table.columnCount());
    m_view->setRowCount(rows);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < table.columnCount(); ++c) {
            m_view->setItem(r, c, new QTableWidgetItem(QString::fromStdString(table.cell(r, c))));
        }
        m_view->setVerticalHeaderItem(r, new QTableWidgetItem(QString::number(table.lineOf(r))));
    }
    showRoles(studyColumnRoles(m_kind, table, nullptr));
}

void StudyTablePanel::showRoles(const QStringList& roles) {
    if (!m_table) {
        return;
    }
    for (int c = 0; c < m_table->columnCount() && c < roles.size(); ++c) {
        const QString header = QString::fromStdString(m_table->header(c));
        m_view->setHorizontalHeaderItem(
            c, new QTableWidgetItem(header + QLatin1Char('\n') + roles[c]));
    }
    m_view->resizeColumnsToContents();
}

void StudyTablePanel::setMessage(const QString& text) {
    m_message->setText(text);
    m_message->setVisible(!text.isEmpty());
}

QString StudyTablePanel::message() const {
    return m_message->text();
}

void StudyTablePanel::setFileChooser(std::function<QString(const QString&)> chooser) {
    m_chooser = std::move(chooser);
}

void StudyTablePanel::choose() {
    const QString folder = m_path.isEmpty() ? m_folder : QFileInfo(m_path).absolutePath();
    const QString path = m_chooser ? m_chooser(folder)
                                   : QFileDialog::getOpenFileName(
                                         this, QStringLiteral("Fenlowick - Choose a table"), folder,
                                         QStringLiteral("Tables (*.csv *.tsv *.txt);;All "
                                                        "files (*)"));
    if (!path.isEmpty() && load(path)) {
        emit folderUsed(QFileInfo(path).absolutePath());
    }
}

void StudyTablePanel::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && event->mimeData()->urls().size() == 1 &&
        event->mimeData()->urls().front().isLocalFile()) {
        event->acceptProposedAction();
    }
}

void StudyTablePanel::dropEvent(QDropEvent* event) {
    const QString path = event->mimeData()->urls().front().toLocalFile();
    event->acceptProposedAction();
    if (load(path)) {
        emit folderUsed(QFileInfo(path).absolutePath());
    }
}

} // namespace fenlowick
