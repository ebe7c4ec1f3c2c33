#include "gui/study/studysettingspanel.h"

#include "core/base/numerictext.h"
#include "core/base/textencoding.h"
#include "core/study/posterior.h"
#include "core/study/studyrun.h"
#include "core/tables/studytables.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFocusEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace fenlowick {

namespace {

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

/// "Fish=10-40" as the low and high ends of one source's limit; nothing otherwise.
struct SourceLimit {
    std::string label;
    int low = 0;
    int high = 100;
};

std::optional<SourceLimit> sourceLimit(const std::string& limit) {
    const std::size_t equals = limit.rfind('=');
    if (equals == std::string::npos || equals == 0 || limit[equals - 1] == '>' ||
        limit[equals - 1] == '<') {
        return std::nullopt;
    }
    const std::string range = limit.substr(equals + 1);
    const std::size_t dash = range.find('-', 1);
    if (dash == std::string::npos) {
        return std::nullopt;
    }
    const auto low = wholeNumber<int>(range.substr(0, dash));
    const auto high = wholeNumber<int>(range.substr(dash + 1));
    if (!low || !high || *high > 100) {
        return std::nullopt;
    }
    return SourceLimit{limit.substr(0, equals), *low, *high};
}

/// The factor column a check box stands for.
QString factorName(const QCheckBox* box) {
    return box->property("factor").toString();
}

} // namespace

StudySettingsPanel::StudySettingsPanel(QWidget* parent)
    : QWidget(parent), m_compute(new QComboBox(this)), m_increment(new QLineEdit(this)),
      m_tolerance(new QLineEdit(this)), m_draws(new QSpinBox(this)), m_seed(new QLineEdit(this)),
      m_error(new QComboBox(this)),
      m_concentrations(new QCheckBox(QStringLiteral("&Mix by concentration"), this)),
      m_sumLimits(new QLineEdit(this)),
      m_factorsBox(new QGroupBox(QStringLiteral("Pool the consumers by"), this)),
      m_sourcesBox(new QGroupBox(QStringLiteral("Per source: limits on the share (%) and "
                                                "prior weight"),
                                 this)),
      m_sourcesGrid(new QGridLayout(m_sourcesBox)), m_message(new QLabel(this)) {
    m_compute->addItem(QStringLiteral("Feasible sets"));
    m_compute->addItem(QStringLiteral("Posterior"));
    m_compute->addItem(QStringLiteral("Both"));
    m_increment->setText(QStringLiteral("1"));
    m_tolerance->setText(QStringLiteral("0.5"));
    m_draws->setRange(0, kStudyMaxDraws);
    m_seed->setText(QStringLiteral("1"));
    for (const char* error : {"both", "process", "residual"}) {
        m_error->addItem(QString::fromLatin1(error));
    }
    m_concentrations->setChecked(true);
    m_concentrations->setEnabled(false);
    m_sumLimits->setPlaceholderText(QStringLiteral("Fish+Seals>=50; Algae+Snails=10-40"));
    m_message->setWordWrap(true);
    m_message->setStyleSheet(QStringLiteral("color: #b00020;"));

    auto* form = new QFormLayout;
    const auto row = [&](const QString& caption, QWidget* box) {
        auto* label = new QLabel(caption, this);
        label->setBuddy(box);
        form->addRow(label, box);
    };
    row(QStringLiteral("&Compute:"), m_compute);
    row(QStringLiteral("&Increment (%):"), m_increment);
    row(QStringLiteral("&Tolerance:"), m_tolerance);
    row(QStringLiteral("Dra&ws per consumer:"), m_draws);
    row(QStringLiteral("S&eed:"), m_seed);
    row(QStringLiteral("Error str&ucture:"), m_error);
    form->addRow(QString(), m_concentrations);
    row(QStringLiteral("Limits on &groups of sources:"), m_sumLimits);

    new QVBoxLayout(m_factorsBox);
    m_sourcesGrid->addWidget(new QLabel(QStringLiteral("Source"), m_sourcesBox), 0, 0);
    m_sourcesGrid->addWidget(new QLabel(QStringLiteral("Low"), m_sourcesBox), 0, 1);
    m_sourcesGrid->addWidget(new QLabel(QStringLiteral("High"), m_sourcesBox), 0, 2);
    m_sourcesGrid->addWidget(new QLabel(QStringLiteral("Prior"), m_sourcesBox), 0, 3);
    m_sourcesGrid->setColumnStretch(0, 1);

    auto* left = new QVBoxLayout;
    left->addLayout(form);
    left->addWidget(m_factorsBox);
    left->addStretch(1);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addWidget(m_sourcesBox, 1, Qt::AlignTop);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(columns, 1);
    outer->addWidget(m_message);

    for (QWidget* box :
         std::initializer_list<QWidget*>{m_increment, m_tolerance, m_draws, m_seed, m_sumLimits}) {
        watch(box);
    }
    connect(m_compute, &QComboBox::currentIndexChanged, this, &StudySettingsPanel::computesChosen);
    for (QLineEdit* box : {m_increment, m_tolerance, m_seed, m_sumLimits}) {
        connect(box, &QLineEdit::textChanged, this, &StudySettingsPanel::changed);
    }
    connect(m_draws, &QSpinBox::valueChanged, this, &StudySettingsPanel::changed);
    connect(m_error, &QComboBox::currentIndexChanged, this, &StudySettingsPanel::changed);
    connect(m_concentrations, &QCheckBox::toggled, this, &StudySettingsPanel::changed);
    computesChosen();
}

void StudySettingsPanel::watch(QWidget* box) {
    box->installEventFilter(this);
    // A spin box's focus is its line edit's.
    if (auto* edit = box->findChild<QLineEdit*>(); edit != nullptr && edit != box) {
        edit->installEventFilter(this);
    }
}

bool StudySettingsPanel::eventFilter(QObject* watched, QEvent* event) {
    // Focus that leaves for another window, a menu or a popup does not leave the box.
    if (event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
            reason != Qt::MenuBarFocusReason) {
            showMessage(checkOf(watched));
        }
    }
    return QWidget::eventFilter(watched, event);
}

void StudySettingsPanel::computesChosen() {
    const StudyComputes chosen = computes();
    m_tolerance->setEnabled(chosen != StudyComputes::Posterior);
    const bool posterior = chosen != StudyComputes::FeasibleSets;
    m_error->setEnabled(posterior);
    for (const SourceRow& source : m_sources) {
        source.prior->setEnabled(posterior);
    }
    emit changed();
}

StudyComputes StudySettingsPanel::computes() const {
    switch (m_compute->currentIndex()) {
    case 1:
        return StudyComputes::Posterior;
    case 2:
        return StudyComputes::Both;
    default:
        return StudyComputes::FeasibleSets;
    }
}

StudyOptions StudySettingsPanel::options() const {
    StudyOptions options;
    options.increment = m_increment->text().trimmed().toStdString();
    options.tolerance = m_tolerance->text().trimmed().toStdString();
    options.draws = m_draws->value();
    options.seed = parseSeed(m_seed->text().trimmed().toStdString()).value_or(0);
    for (QCheckBox* factor : m_factors) {
        if (factor->isChecked()) {
            options.by.push_back(factorName(factor).toStdString());
        }
    }
    options.concentrations = m_concentrations->isChecked();
    bool anyWeight = false;
    std::string prior;
    for (const SourceRow& source : m_sources) {
        if (source.low->value() > 0 || source.high->value() < 100) {
            options.limits.push_back(source.label.toStdString() + "=" +
                                     std::to_string(source.low->value()) + "-" +
                                     std::to_string(source.high->value()));
        }
        anyWeight = anyWeight || source.prior->value() != 1.0;
        prior += (prior.empty() ? "" : ",") + source.label.toStdString() + "=" +
                 QString::number(source.prior->value()).toStdString();
    }
    const std::string sums = m_sumLimits->text().toStdString();
    for (const std::string_view limit : splitText(sums, ';')) {
        const std::string trimmed =
            QString::fromUtf8(limit.data(), static_cast<qsizetype>(limit.size()))
                .trimmed()
                .toStdString();
        if (!trimmed.empty()) {
            options.limits.push_back(trimmed);
        }
    }
    options.posterior = computes() == StudyComputes::Posterior;
    options.error = m_error->currentText().toStdString();
    options.prior = anyWeight ? prior : std::string();
    return options;
}

void StudySettingsPanel::setSettings(StudyComputes chosen, const StudyOptions& options) {
    m_compute->setCurrentIndex(chosen == StudyComputes::Posterior ? 1
                               : chosen == StudyComputes::Both    ? 2
                                                                  : 0);
    m_increment->setText(text(options.increment));
    m_tolerance->setText(text(options.tolerance));
    m_draws->setValue(options.draws);
    m_seed->setText(QString::number(options.seed));
    for (QCheckBox* factor : m_factors) {
        factor->setChecked(std::find(options.by.begin(), options.by.end(),
                                     factorName(factor).toStdString()) != options.by.end());
    }
    m_concentrations->setChecked(options.concentrations);
    m_error->setCurrentText(text(options.error));
    QStringList sums;
    for (SourceRow& source : m_sources) {
        source.low->setValue(0);
        source.high->setValue(100);
        source.prior->setValue(1.0);
    }
    for (const std::string& limit : options.limits) {
        const std::optional<SourceLimit> one = sourceLimit(limit);
        const auto row = std::find_if(m_sources.begin(), m_sources.end(), [&](const SourceRow& s) {
            return one && s.label.toStdString() == one->label;
        });
        if (row == m_sources.end()) {
            sums << text(limit);
            continue;
        }
        row->low->setValue(one->low);
        row->high->setValue(one->high);
    }
    m_sumLimits->setText(sums.join(QStringLiteral("; ")));
    for (const std::string_view item : splitText(options.prior, ',')) {
        const std::string weight(item);
        const std::size_t equals = weight.rfind('=');
        const auto value =
            equals == std::string::npos ? std::nullopt : toFloat(weight.substr(equals + 1));
        for (SourceRow& source : m_sources) {
            if (value && source.label.toStdString() == weight.substr(0, equals)) {
                source.prior->setValue(*value);
            }
        }
    }
    showMessage({});
}

QCheckBox* StudySettingsPanel::factorBox(const QString& factor) const {
    for (QCheckBox* box : m_factors) {
        if (factorName(box) == factor) {
            return box;
        }
    }
    return nullptr;
}

void StudySettingsPanel::setStudy(const Study* study) {
    const StudyComputes chosen = computes();
    const StudyOptions kept = options();
    m_study = study;
    rebuildFactors(study != nullptr ? study->factors : std::vector<std::string>());
    std::vector<std::string> labels;
    if (study != nullptr) {
        for (const StudySourceSet& set : study->sourceSets) {
            for (const StudySource& source : set.sources) {
                if (std::find(labels.begin(), labels.end(), source.label) == labels.end()) {
                    labels.push_back(source.label);
                }
            }
        }
    }
    rebuildSources(labels);
    m_concentrations->setEnabled(study != nullptr && study->hasConcentrations);
    // What was chosen for factors and sources of the same names stays chosen.
    QSignalBlocker quiet(this);
    setSettings(chosen, kept);
    computesChosen();
}

void StudySettingsPanel::rebuildFactors(const std::vector<std::string>& factors) {
    qDeleteAll(m_factors);
    m_factors.clear();
    for (const std::string& factor : factors) {
        // A "&" in a column's name is shown as it is, not taken for an access key.
        auto* box = new QCheckBox(text(factor).replace(u'&', QStringLiteral("&&")), m_factorsBox);
        box->setProperty("factor", text(factor));
        m_factorsBox->layout()->addWidget(box);
        connect(box, &QCheckBox::toggled, this, &StudySettingsPanel::changed);
        m_factors.push_back(box);
    }
    m_factorsBox->setVisible(!factors.empty());
}

void StudySettingsPanel::rebuildSources(const std::vector<std::string>& labels) {
    for (SourceRow& source : m_sources) {
        delete source.name;
        delete source.low;
        delete source.high;
        delete source.prior;
    }
    m_sources.clear();
    for (const std::string& label : labels) {
        SourceRow source;
        source.label = text(label);
        source.name = new QLabel(source.label, m_sourcesBox);
        source.low = new QSpinBox(m_sourcesBox);
        source.high = new QSpinBox(m_sourcesBox);
        source.prior = new QDoubleSpinBox(m_sourcesBox);
        source.low->setRange(0, 100);
        source.high->setRange(0, 100);
        source.high->setValue(100);
        source.prior->setRange(1.0, 1000.0);
        source.prior->setDecimals(2);
        source.prior->setValue(1.0);
        const int row = static_cast<int>(m_sources.size()) + 1;
        m_sourcesGrid->addWidget(source.name, row, 0);
        m_sourcesGrid->addWidget(source.low, row, 1);
        m_sourcesGrid->addWidget(source.high, row, 2);
        m_sourcesGrid->addWidget(source.prior, row, 3);
        for (QAbstractSpinBox* box :
             std::initializer_list<QAbstractSpinBox*>{source.low, source.high, source.prior}) {
            watch(box);
        }
        connect(source.low, &QSpinBox::valueChanged, this, &StudySettingsPanel::changed);
        connect(source.high, &QSpinBox::valueChanged, this, &StudySettingsPanel::changed);
        connect(source.prior, &QDoubleSpinBox::valueChanged, this, &StudySettingsPanel::changed);
        m_sources.push_back(source);
    }
    m_sourcesBox->setVisible(!labels.empty());
}

QString StudySettingsPanel::checkOf(QObject* box) const {
    StudyOptions alone;
    alone.increment = "1";
    alone.tolerance = "0";
    if (box == m_increment) {
        alone.increment = m_increment->text().trimmed().toStdString();
    } else if (box == m_tolerance) {
        alone.tolerance = m_tolerance->text().trimmed().toStdString();
    } else if (box == m_seed) {
        const QString seed = m_seed->text().trimmed();
        return parseSeed(seed.toStdString())
                   ? QString()
                   : QStringLiteral("Seed ") + seed +
                         QStringLiteral(": give a whole number from 0 to 18446744073709551615");
    } else {
        return problem();
    }
    const Expected<float> checked = checkStudyOptions(alone);
    return checked ? QString() : text(checked.error().message);
}

QString StudySettingsPanel::problem() const {
    for (QObject* box : {static_cast<QObject*>(m_seed), static_cast<QObject*>(m_increment)}) {
        if (const QString own = checkOf(box); !own.isEmpty()) {
            return own;
        }
    }
    if (m_study == nullptr) {
        return {};
    }
    std::vector<int> byFactors;
    StudyOptions options = this->options();
    for (const std::string& name : options.by) {
        byFactors.push_back(m_study->factorIndex(name));
    }
    const StudyComputes chosen = computes();
    if (chosen != StudyComputes::Posterior) {
        options.posterior = false;
        if (const Status s = checkStudy(*m_study, options); !s) {
            return text(s.error().message);
        }
    }
    if (chosen != StudyComputes::FeasibleSets) {
        options.posterior = true;
        options.tolerance.clear();
        const Expected<float> increment = checkStudyOptions(options);
        const Status s =
            increment ? checkPosterior(*m_study, {options, byFactors}) : Status(increment.error());
        if (!s) {
            return text(s.error().message);
        }
    }
    return {};
}

QString StudySettingsPanel::message() const {
    return m_message->text();
}

void StudySettingsPanel::showMessage(const QString& text) {
    m_message->setText(text);
}

} // namespace fenlowick
