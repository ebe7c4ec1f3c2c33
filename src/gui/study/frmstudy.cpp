#include "gui/study/frmstudy.h"

#include "core/base/atomicfile.h"
#include "core/entry/outputnaming.h"
#include "core/tables/isotopename.h"
#include "figures/isospacefigure.h"
#include "gui/calcui/frmprogress.h"
#include "gui/study/figureview.h"
#include "gui/study/studyresultspanel.h"
#include "gui/study/studysettingspanel.h"
#include "gui/study/studytablepanel.h"
#include "gui/widgets/notifier.h"
#include "gui/widgets/twips.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

#include <filesystem>

namespace fenlowick {

namespace {

const char* const kStudyFileFilter = "Fenlowick studies (*.fenstudy);;All files (*)";

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

frmStudy::frmStudy(QWidget* parent)
    : QMainWindow(parent, Qt::Window),
      m_sources(new StudyTablePanel(StudyTableKind::Sources, QStringLiteral("&Sources:"), false)),
      m_consumers(
          new StudyTablePanel(StudyTableKind::Consumers, QStringLiteral("Co&nsumers:"), false)),
      m_discrimination(new StudyTablePanel(StudyTableKind::Discrimination,
                                           QStringLiteral("&Discrimination:"), true)),
      m_settings(new StudySettingsPanel), m_results(new StudyResultsPanel), m_pages(new QTabWidget),
      m_studyMessage(new QLabel), m_colourBy(new QComboBox), m_xAxis(new QComboBox),
      m_yAxis(new QComboBox), m_preview(new FigureView), m_commandLine(new QPlainTextEdit),
      m_copyCommand(new QPushButton(QStringLiteral("Co&py"))),
      m_run(new QPushButton(QStringLiteral("&Run"))),
      m_saveAll(new QPushButton(QStringLiteral("Save &all..."))),
      m_openStudy(new QPushButton(QStringLiteral("&Open study..."))),
      m_saveStudy(new QPushButton(QStringLiteral("Save stud&y..."))),
      m_help(new QPushButton(QStringLiteral("&Help"))),
      m_close(new QPushButton(QStringLiteral("C&lose"))), m_runner(new StudyRunner(this)) {
    setObjectName(QStringLiteral("frmStudy"));
    setWindowTitle(QStringLiteral("Fenlowick - Study"));
    setAcceptDrops(true);
    auto* central = new QWidget(this);
    setCentralWidget(central);
    m_pages->addTab(createDataPage(), QStringLiteral("Data"));
    m_pages->addTab(m_settings, QStringLiteral("Settings"));
    m_pages->addTab(createPreviewPage(), QStringLiteral("Preview"));
    m_pages->addTab(m_results, QStringLiteral("Results"));
    m_pages->setTabEnabled(3, false);
    createButtons(central);
    resizeClientInTwips(this, 15600, 11400);

    for (StudyTablePanel* panel : {m_sources, m_consumers, m_discrimination}) {
        connect(panel, &StudyTablePanel::tableChanged, this, &frmStudy::readStudy);
        connect(panel, &StudyTablePanel::folderUsed, this, &frmStudy::folderUsed);
    }
    connect(m_settings, &StudySettingsPanel::changed, this, &frmStudy::settingsChanged);
    connect(m_settings->computeList(), &QComboBox::currentIndexChanged, this, &frmStudy::readStudy);
    connect(m_runner, &StudyRunner::progressed, this, [this](double fraction) {
        if (m_progress == nullptr) {
            return;
        }
        if (fraction < 0.0) {
            // The posterior begins: its own bar and estimate of the time left.
            m_progress->reset();
            return;
        }
        m_progress->setFirstShare(static_cast<float>(100.0 * fraction));
        m_progress->setFractionDone(fraction);
    });
    connect(m_runner, &StudyRunner::finished, this, &frmStudy::runFinishedWith);
    settingsChanged();
}

frmStudy::~frmStudy() {
    // The boxes go first, while the study their checks read is still there.
    delete centralWidget();
}

QWidget* frmStudy::createDataPage() {
    auto* page = new QWidget;
    auto* splitter = new QSplitter(Qt::Vertical, page);
    for (StudyTablePanel* panel : {m_sources, m_consumers, m_discrimination}) {
        splitter->addWidget(panel);
    }
    m_studyMessage->setWordWrap(true);
    m_studyMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(splitter, 1);
    layout->addWidget(m_studyMessage);
    return page;
}

QWidget* frmStudy::createPreviewPage() {
    auto* page = new QWidget;
    auto* choices = new QHBoxLayout;
    const auto add = [&](const QString& caption, QComboBox* list) {
        auto* label = new QLabel(caption, page);
        label->setBuddy(list);
        choices->addWidget(label);
        choices->addWidget(list, 1);
    };
    add(QStringLiteral("Colour &by:"), m_colourBy);
    add(QStringLiteral("Horizontal a&xis:"), m_xAxis);
    add(QStringLiteral("&Vertical axis:"), m_yAxis);
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(choices);
    layout->addWidget(m_preview, 1);
    for (QComboBox* list : {m_colourBy, m_xAxis, m_yAxis}) {
        connect(list, &QComboBox::currentIndexChanged, this, &frmStudy::updatePreview);
    }
    return page;
}

void frmStudy::createButtons(QWidget* central) {
    m_commandLine->setReadOnly(true);
    m_commandLine->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_commandLine->setFixedHeight(m_commandLine->fontMetrics().lineSpacing() * 3 + 12);
    m_commandLine->setTabChangesFocus(true);
    auto* commandLabel = new QLabel(QStringLiteral("Command line:"));
    auto* command = new QHBoxLayout;
    command->addWidget(commandLabel);
    command->addWidget(m_commandLine, 1);
    command->addWidget(m_copyCommand, 0, Qt::AlignTop);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {m_run, m_saveAll, m_openStudy, m_saveStudy}) {
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    buttons->addWidget(m_help);
    buttons->addWidget(m_close);
    m_saveAll->setEnabled(false);

    auto* layout = new QVBoxLayout(central);
    layout->addWidget(m_pages, 1);
    layout->addLayout(command);
    layout->addLayout(buttons);

    connect(m_run, &QPushButton::clicked, this, &frmStudy::Run_Click);
    connect(m_saveAll, &QPushButton::clicked, this, &frmStudy::SaveAll_Click);
    connect(m_openStudy, &QPushButton::clicked, this, &frmStudy::OpenStudy_Click);
    connect(m_saveStudy, &QPushButton::clicked, this, &frmStudy::SaveStudy_Click);
    connect(m_copyCommand, &QPushButton::clicked, this, &frmStudy::CopyCommand_Click);
    connect(m_help, &QPushButton::clicked, this, &frmStudy::help_Click);
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
}

void frmStudy::setStartFolder(const QString& folder) {
    m_folder = folder;
    for (StudyTablePanel* panel : {m_sources, m_consumers, m_discrimination}) {
        panel->setFolder(folder);
    }
    m_results->setFolder(folder);
}

void frmStudy::showWindow() {
    if (!m_placed) {
        centreOnScreen(this);
        m_placed = true;
    }
    show();
    raise();
    activateWindow();
}

StudyTablePanel* frmStudy::tablePanel(StudyTableKind kind) const {
    switch (kind) {
    case StudyTableKind::Consumers:
        return m_consumers;
    case StudyTableKind::Discrimination:
        return m_discrimination;
    case StudyTableKind::Sources:
        break;
    }
    return m_sources;
}

bool frmStudy::loadTable(StudyTableKind kind, const QString& path) {
    const bool loaded = tablePanel(kind)->load(path);
    if (loaded) {
        folderUsed(QFileInfo(path).absolutePath());
    }
    return loaded;
}

void frmStudy::folderUsed(const QString& folder) {
    // The last folder used is where every chooser of the window starts next.
    setStartFolder(folder);
}

void frmStudy::setTableChooser(PathChooser chooser) {
    for (StudyTablePanel* panel : {m_sources, m_consumers, m_discrimination}) {
        panel->setFileChooser(chooser);
    }
}

void frmStudy::setStudyFileChoosers(PathChooser open, PathChooser save) {
    m_chooseOpen = std::move(open);
    m_chooseSave = std::move(save);
}

QString frmStudy::studyMessage() const {
    return m_studyMessage->text();
}

void frmStudy::readStudy() {
    for (StudyTablePanel* panel : {m_sources, m_consumers, m_discrimination}) {
        panel->setMessage({});
    }
    m_study.reset();
    m_studyMessage->clear();
    if (!m_sources->table() || !m_consumers->table()) {
        m_studyMessage->setText(QStringLiteral("Choose the sources and the consumers (the "
                                               "discrimination is optional)."));
    } else {
        const bool posteriorOnly = m_settings->computes() == StudyComputes::Posterior;
        Expected<Study> study =
            fenlowick::readStudy(*m_sources->table(), *m_consumers->table(),
                                 m_discrimination->table() ? &*m_discrimination->table() : nullptr,
                                 posteriorOnly ? kPosteriorMaxTracers : kStudyMaxTracers);
        if (study) {
            m_study = std::move(*study);
            QStringList notes;
            for (const std::string& note : m_study->notes) {
                notes << fromStd(note);
            }
            m_studyMessage->setText(notes.join(QLatin1Char('\n')));
        } else {
            // The message goes under the table it names, or under all three.
            const QString message = fromStd(study.error().message);
            StudyTablePanel* named = nullptr;
            for (StudyTablePanel* panel : {m_sources, m_consumers, m_discrimination}) {
                if (panel->table() && message.startsWith(panel->path())) {
                    named = panel;
                }
            }
            (named != nullptr ? named->setMessage(message) : m_studyMessage->setText(message));
        }
    }
    const Study* study = m_study ? &*m_study : nullptr;
    for (StudyTablePanel* panel : {m_sources, m_consumers, m_discrimination}) {
        if (panel->table()) {
            panel->showRoles(studyColumnRoles(panel->kind(), *panel->table(), study));
        }
    }
    if (study != nullptr) {
        m_settings->setStudy(study);
    }
    updatePreviewChoices();
    settingsChanged();
}

void frmStudy::updatePreviewChoices() {
    const QSignalBlocker colour(m_colourBy);
    const QSignalBlocker x(m_xAxis);
    const QSignalBlocker y(m_yAxis);
    const QString keptColour = m_colourBy->currentText();
    m_colourBy->clear();
    m_xAxis->clear();
    m_yAxis->clear();
    m_colourBy->addItem(QStringLiteral("(one colour)"));
    if (m_study) {
        for (const std::string& factor : m_study->factors) {
            m_colourBy->addItem(fromStd(factor));
        }
        for (const std::string& tracer : m_study->tracers) {
            m_xAxis->addItem(fromStd(tracer));
            m_yAxis->addItem(fromStd(tracer));
        }
        const std::vector<std::size_t> order = isotopeAxisOrder(m_study->tracers);
        m_xAxis->setCurrentIndex(order.empty() ? 0 : static_cast<int>(order[0]));
        m_yAxis->setCurrentIndex(order.size() < 2 ? 0 : static_cast<int>(order[1]));
        const int kept = m_colourBy->findText(keptColour);
        m_colourBy->setCurrentIndex(kept > 0 ? kept : (m_study->factors.empty() ? 0 : 1));
    }
    const bool pair = m_study && m_study->tracers.size() > 1;
    m_xAxis->setEnabled(pair);
    m_yAxis->setEnabled(pair);
    updatePreview();
}

void frmStudy::updatePreview() {
    if (!m_study) {
        m_preview->setFigure({}, {}, {});
        return;
    }
    std::vector<std::size_t> axes;
    if (m_study->tracers.size() > 1 && m_xAxis->currentIndex() != m_yAxis->currentIndex()) {
        axes = {static_cast<std::size_t>(m_xAxis->currentIndex()),
                static_cast<std::size_t>(m_yAxis->currentIndex())};
    }
    auto figure = std::make_shared<const IsospaceFigure>(isospacePreviewOf(
        *m_study, m_colourBy->currentIndex() - 1, m_settings->options().concentrations, axes));
    m_preview->setFigure([figure](QPainter& painter) { paintIsospaceFigure(painter, *figure); },
                         figure->title, QStringLiteral("isospace-preview"));
}

StudyFile frmStudy::studyFile() const {
    StudyFile file;
    file.sources = m_sources->path().toStdString();
    file.consumers = m_consumers->path().toStdString();
    file.discrimination = m_discrimination->path().toStdString();
    file.computes = m_settings->computes();
    file.options = m_settings->options();
    return file;
}

QString frmStudy::outputFolder() const {
    if (!m_saveFolder.isEmpty()) {
        return m_saveFolder;
    }
    const QString stem = QFileInfo(m_consumers->path()).completeBaseName();
    return QDir(m_folder).filePath(QStringLiteral("output/") +
                                   (stem.isEmpty() ? QStringLiteral("study") : stem));
}

QString frmStudy::commandLineText() const {
    QStringList lines;
    for (const std::string& line : studyCommandLines(studyFile(), outputFolder().toStdString())) {
        lines << fromStd(line);
    }
    return lines.join(QLatin1Char('\n'));
}

void frmStudy::settingsChanged() {
    m_commandLine->setPlainText(commandLineText());
    // Results of other settings are no longer what Save all would claim them to be.
    m_saveAll->setEnabled(m_lastResults && m_resultsOf == studyFile() && !isRunning());
    m_run->setEnabled(!isRunning());
    if (sender() == m_settings) {
        updatePreview();
    }
}

std::vector<std::string> frmStudy::inputPaths() const {
    std::vector<std::string> inputs;
    for (StudyTablePanel* panel : {m_sources, m_consumers, m_discrimination}) {
        if (!panel->path().isEmpty()) {
            inputs.push_back(panel->path().toStdString());
        }
    }
    return inputs;
}

void frmStudy::Run_Click() {
    if (isRunning()) {
        return;
    }
    if (!m_study) {
        const QString message = studyMessage().isEmpty()
                                    ? QStringLiteral("The tables do not make a study yet.")
                                    : studyMessage();
        QString named;
        for (StudyTablePanel* panel : {m_sources, m_consumers, m_discrimination}) {
            named = named.isEmpty() ? panel->message() : named;
        }
        notifier().inform(this, named.isEmpty() ? message : named);
        return;
    }
    if (const QString problem = m_settings->problem(); !problem.isEmpty()) {
        m_pages->setCurrentWidget(m_settings);
        notifier().inform(this, problem);
        return;
    }
    StudyJob job;
    job.study = *m_study;
    job.computes = m_settings->computes();
    job.options = m_settings->options();
    for (const std::string& name : job.options.by) {
        job.byFactors.push_back(m_study->factorIndex(name));
    }
    if (m_progress == nullptr) {
        m_progress = new frmProgress(this);
        connect(m_progress, &frmProgress::cancelRequested, m_runner, &StudyRunner::cancel);
    }
    m_progress->reset();
    m_progress->show();
    m_progress->repaint();
    m_resultsOf = studyFile();
    m_runner->start(std::move(job));
    settingsChanged();
}

void frmStudy::runFinishedWith(const std::shared_ptr<const Expected<StudyResults>>& outcome) {
    if (m_progress != nullptr) {
        m_progress->hide();
    }
    if (*outcome) {
        m_lastResults = **outcome;
        m_results->showResults(*m_lastResults);
        m_pages->setTabEnabled(3, true);
        m_pages->setCurrentWidget(m_results);
        if (!m_lastResults->notes.isEmpty()) {
            notifier().inform(this, m_lastResults->notes.join(QLatin1Char('\n')));
        }
    } else {
        // A run that fails or is cancelled leaves the earlier results as they were.
        m_resultsOf = m_lastResults ? m_resultsOf : std::nullopt;
        notifier().inform(this, fromStd(outcome->error().message));
    }
    settingsChanged();
    emit runFinished();
}

bool frmStudy::saveAll(const QString& folder) {
    if (!m_lastResults) {
        return false;
    }
    const Expected<QStringList> notes =
        saveStudyResults(*m_lastResults, folder.toStdString(), inputPaths());
    if (!notes) {
        notifier().inform(this, fromStd(notes.error().message));
        return false;
    }
    m_saveFolder = folder;
    settingsChanged();
    std::size_t files = 0;
    for (const StudyResults::Output& output : m_lastResults->outputs) {
        files += output.files.size() + 1;
    }
    QStringList lines = {
        QStringLiteral("Wrote %1 files to %2.").arg(files).arg(QDir::toNativeSeparators(folder))};
    lines << *notes;
    notifier().inform(this, lines.join(QLatin1Char('\n')));
    return true;
}

void frmStudy::SaveAll_Click() {
    const QString start = outputFolder();
    const QString folder =
        m_chooseFolder
            ? m_chooseFolder(start)
            : QFileDialog::getExistingDirectory(
                  this, QStringLiteral("Fenlowick - Save all the study's files into"), start);
    if (!folder.isEmpty()) {
        saveAll(folder);
    }
}

bool frmStudy::openStudy(const QString& path) {
    const Expected<StudyFile> file = readStudyFile(path.toStdString());
    if (!file) {
        notifier().inform(this, fromStd(file.error().message));
        return false;
    }
    // The settings first, so that the tables' reading keeps the chosen factors and sources.
    m_settings->setSettings(file->computes, file->options);
    for (auto [panel, table] :
         {std::pair{m_sources, file->sources}, std::pair{m_consumers, file->consumers},
          std::pair{m_discrimination, file->discrimination}}) {
        if (table.empty()) {
            panel->clear();
        } else if (!panel->load(fromStd(table))) {
            panel->clear();
            panel->setMessage(QStringLiteral("%1 could not be read.").arg(fromStd(table)));
        }
    }
    m_settings->setSettings(file->computes, file->options);
    folderUsed(QFileInfo(path).absolutePath());
    settingsChanged();
    return true;
}

bool frmStudy::saveStudy(const QString& path) {
    const Status written =
        writeFileAtomically(path.toStdString(), composeStudyFile(studyFile(), path.toStdString()));
    if (!written) {
        notifier().inform(this, fromStd(written.error().message));
        return false;
    }
    folderUsed(QFileInfo(path).absolutePath());
    return true;
}

void frmStudy::OpenStudy_Click() {
    const QString path =
        m_chooseOpen
            ? m_chooseOpen(m_folder)
            : QFileDialog::getOpenFileName(this, QStringLiteral("Fenlowick - Open study"), m_folder,
                                           QString::fromLatin1(kStudyFileFilter));
    if (!path.isEmpty()) {
        openStudy(path);
    }
}

void frmStudy::SaveStudy_Click() {
    const QString stem = QFileInfo(m_consumers->path()).completeBaseName();
    const QString proposed = QDir(m_folder).filePath(
        (stem.isEmpty() ? QStringLiteral("study") : stem) + QStringLiteral(".fenstudy"));
    QString path =
        m_chooseSave
            ? m_chooseSave(proposed)
            : QFileDialog::getSaveFileName(this, QStringLiteral("Fenlowick - Save study"), proposed,
                                           QString::fromLatin1(kStudyFileFilter));
    if (path.isEmpty()) {
        return;
    }
    if (QFileInfo(path).suffix().isEmpty()) {
        path += QStringLiteral(".fenstudy");
    }
    saveStudy(path);
}

void frmStudy::CopyCommand_Click() {
    QApplication::clipboard()->setText(commandLineText());
}

void frmStudy::help_Click() {
    emit helpRequested(QStringLiteral("study.htm"));
}

void frmStudy::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void frmStudy::dropEvent(QDropEvent* event) {
    // Files dropped on the window find their table by name; a study file opens.
    event->acceptProposedAction();
    QStringList unknown;
    for (const QUrl& url : event->mimeData()->urls()) {
        const QString path = url.toLocalFile();
        const QString name = QFileInfo(path).fileName().toLower();
        if (name.endsWith(QStringLiteral(".fenstudy"))) {
            openStudy(path);
        } else if (name.contains(QStringLiteral("discrim"))) {
            loadTable(StudyTableKind::Discrimination, path);
        } else if (name.contains(QStringLiteral("consumer"))) {
            loadTable(StudyTableKind::Consumers, path);
        } else if (name.contains(QStringLiteral("source"))) {
            loadTable(StudyTableKind::Sources, path);
        } else {
            unknown << QDir::toNativeSeparators(path);
        }
    }
    if (!unknown.isEmpty()) {
        notifier().inform(this, QStringLiteral("Drop %1 on the table it is meant for: its name "
                                               "does not say whether it holds sources, consumers "
                                               "or discrimination.")
                                    .arg(unknown.join(QStringLiteral(", "))));
    }
}

void frmStudy::closeEvent(QCloseEvent* event) {
    // A running study stops; nothing was written, nothing is.
    m_runner->cancel();
    QMainWindow::closeEvent(event);
}

} // namespace fenlowick
