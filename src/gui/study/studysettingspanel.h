#pragma once

#include "core/study/studyfile.h"

#include <QString>
#include <QWidget>
#include <vector>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace fenlowick {

struct Study;

/// The settings of a study as boxes: what to compute, increment, tolerance (feasible sets),
/// draws and seed, the grouping factors (a check box per factor column of the consumers),
/// the error structure and prior weights (posterior), limits per source (low and high) and
/// on sums of sources, and mixing by concentration (only where the sources give Conc
/// columns). Each box is checked when the focus leaves it, with the command line's message
/// shown under the settings.
class StudySettingsPanel : public QWidget {
    Q_OBJECT

public:
    explicit StudySettingsPanel(QWidget* parent = nullptr);

    /// Lists the study's factors and sources (keeping what was chosen for those of the
    /// same names) and enables the concentrations when its sources give any; null clears
    /// them.
    void setStudy(const Study* study);

    StudyComputes computes() const;
    /// The options as the boxes hold them (unchecked; `posterior` set for the posterior
    /// alone).
    StudyOptions options() const;
    /// Fills the boxes; factors and sources not in the study are left out.
    void setSettings(StudyComputes computes, const StudyOptions& options);

    /// The first problem of the settings with the study as the command line would report it
    /// before running; empty when they pass.
    QString problem() const;
    /// The message under the settings, empty when the last check passed.
    QString message() const;

    QComboBox* computeList() const { return m_compute; }
    QLineEdit* incrementBox() const { return m_increment; }
    QLineEdit* toleranceBox() const { return m_tolerance; }
    QSpinBox* drawsBox() const { return m_draws; }
    QLineEdit* seedBox() const { return m_seed; }
    QComboBox* errorList() const { return m_error; }
    QCheckBox* concentrationsBox() const { return m_concentrations; }
    QLineEdit* sumLimitsBox() const { return m_sumLimits; }
    /// The check box of the factor named so; null when there is none.
    QCheckBox* factorBox(const QString& factor) const;
    /// The low and high limit and the prior weight boxes of source `row`.
    QSpinBox* lowLimitBox(int row) const { return m_sources[static_cast<std::size_t>(row)].low; }
    QSpinBox* highLimitBox(int row) const { return m_sources[static_cast<std::size_t>(row)].high; }
    QDoubleSpinBox* priorBox(int row) const {
        return m_sources[static_cast<std::size_t>(row)].prior;
    }

signals:
    /// Any setting changed.
    void changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct SourceRow {
        QString label;
        QLabel* name = nullptr;
        QSpinBox* low = nullptr;
        QSpinBox* high = nullptr;
        QDoubleSpinBox* prior = nullptr;
    };

    /// The check of one box as it is left: its own message, or the study's.
    QString checkOf(QObject* box) const;
    void showMessage(const QString& text);
    void computesChosen();
    void rebuildFactors(const std::vector<std::string>& factors);
    void rebuildSources(const std::vector<std::string>& labels);
    void watch(QWidget* box);

    const Study* m_study = nullptr;
    QComboBox* m_compute;
    QLineEdit* m_increment;
    QLineEdit* m_tolerance;
    QSpinBox* m_draws;
    QLineEdit* m_seed;
    QComboBox* m_error;
    QCheckBox* m_concentrations;
    QLineEdit* m_sumLimits;
    QGroupBox* m_factorsBox;
    std::vector<QCheckBox*> m_factors;
    QGroupBox* m_sourcesBox;
    QGridLayout* m_sourcesGrid;
    std::vector<SourceRow> m_sources;
    QLabel* m_message;
};

} // namespace fenlowick
