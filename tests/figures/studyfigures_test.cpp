#include "figures/studyfigures.h"

#include "figures/figurecanvas.h"
#include "figures/figurestyle.h"
#include "figures/isospacefigure.h"

#include "core/base/csvtable.h"
#include "support/datatable.h"
#include "support/testsupport.h"

#include <QColor>
#include <QImage>
#include <QtGlobal>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <set>

namespace fenlowick {
namespace {

// tests/data/figures: three sources; the consumers of sites "Bay 1" and "Bay/1" are
// mixtures of them at 0.3/0.3/0.4 and 0.5/0.2/0.3 after discrimination, the one of "Reef"
// lies far outside; consumers-N.csv holds the consumers' first N tracers.
const std::vector<std::string> kLabels = {"Algae", "Mussels", "Worms"};

/// The contents of an SVG's text elements, one after another.
std::string svgTexts(const std::string& svg) {
    std::string texts;
    for (std::size_t at = svg.find("<text"); at != std::string::npos;
         at = svg.find("<text", at + 1)) {
        const std::size_t open = svg.find('>', at) + 1;
        texts += svg.substr(open, svg.find("</text>", open) - open);
    }
    return texts;
}

/// The study of the tables of tests/data/figures, with the consumers' first `tracers` tracers.
Study figuresStudy(int tracers) {
    const auto table = [](const std::string& name) {
        return *CsvTable::read(FENLOWICK_TEST_DATA "/figures/" + name + ".csv");
    };
    const CsvTable discrimination = table("discrimination");
    return test::valueOf(readStudy(table("sources"), table("consumers-" + std::to_string(tracers)),
                                   &discrimination));
}

/// The figures of the study, run at increment 10 and tolerance 1, grouped by the factors `by`.
std::vector<FileText> drawFigures(const Study& study, int draws, const std::vector<int>& by,
                                  const FigureChoices& choices = {}) {
    StudySettings settings;
    settings.options.increment = "10";
    settings.options.tolerance = "1";
    settings.options.draws = draws;
    const Expected<StudyOutcome> outcome = runStudy(study, settings);
    if (!outcome) {
        ADD_FAILURE() << outcome.error().message;
        return {};
    }
    // As in a console: no platform named, no application; the figures must choose offscreen.
    qunsetenv("QT_QPA_PLATFORM");
    return drawStudyFigures(study, *outcome, summariseStudy(study, *outcome, by), "out/figures",
                            choices);
}

// A level of 300 characters made a name longer than a file system takes, and the study failed
// at its very end: names are cut short at a character's start, and groups stay apart.
TEST(StudyFigures, LongLevelsGiveNamesAFileSystemTakes) {
    Study study = figuresStudy(2);
    // é, two bytes: a cut may not fall inside it.
    const std::string longLevel = test::joined(std::vector<std::string>(150, "\xC3\xA9"), "");
    for (StudyConsumer& consumer : study.consumers) {
        consumer.levels[0] = longLevel + (consumer.levels[0] == "Reef" ? "R" : "B");
    }
    const std::vector<FileText> files = drawFigures(study, 0, {0});
    ASSERT_EQ(files.size(), 10u); // two groups' two figures, and the overview
    std::set<std::string> names;
    for (const FileText& file : files) {
        const std::string name = std::filesystem::path(file.path).filename().string();
        EXPECT_LE(name.size(), 255u) << name;
        EXPECT_TRUE(QString::fromUtf8(name).toUtf8().toStdString() == name) << name;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), files.size());
    EXPECT_TRUE(names.count("isospace-" + longLevel.substr(0, 160) + "-2.png"));
}

TEST(StudyFigures, NamesTwoFiguresPerGroupAsPngAndSvg) {
    const std::vector<FileText> files = drawFigures(figuresStudy(2), 0, {0});
    std::vector<std::string> names;
    for (const FileText& file : files) {
        names.push_back(file.path);
    }
    std::vector<std::string> expected;
    for (const test::TableRow& row : test::readTable("figures/names.tsv", 1, 14)) {
        expected.push_back(row.fields[0]);
    }
    EXPECT_EQ(names, expected);
    // Reef's shares: no solution; Bay 1's have one.
    EXPECT_NE(files[11].text.find(">no solution<"), std::string::npos);
    EXPECT_EQ(files[3].text.find(">no solution<"), std::string::npos);
    // The overview has a row per source with a solution and a key of every group.
    const std::string overview = svgTexts(files.back().text);
    for (const char* text : {"Algae", "Mussels", "Worms", "Bay 1", "Bay/1", "Reef"}) {
        EXPECT_NE(overview.find(text), std::string::npos) << text;
    }
}

TEST(StudyFigures, EveryLayoutDrawsItsDataAndKeepsItsTextAsText) {
    // One tracer is a strip, two a plane, three a matrix of pairs.
    for (const int tracers : {1, 2, 3}) {
        SCOPED_TRACE(tracers);
        const std::vector<FileText> files =
            drawFigures(figuresStudy(tracers), tracers == 2 ? 10 : 0, {});
        ASSERT_EQ(files.size(), 4u);
        EXPECT_EQ(files[0].path, "out/figures/isospace.png");
        EXPECT_EQ(files[3].path, "out/figures/shares.svg");
        for (const FileText& file : files) {
            SCOPED_TRACE(file.path);
            if (file.path.ends_with(".png")) {
                const QImage image =
                    QImage::fromData(reinterpret_cast<const uchar*>(file.text.data()),
                                     static_cast<int>(file.text.size()));
                ASSERT_EQ(image.size(), QSize(1800, 1200));
                // Text, axes and grid are grey; only the sources' markers and bars have colour.
                int coloured = 0;
                for (int y = 0; y < image.height(); y += 2) {
                    for (int x = 0; x < image.width(); x += 2) {
                        coloured += QColor(image.pixel(x, y)).hsvSaturation() > 120 ? 1 : 0;
                    }
                }
                EXPECT_GT(coloured, 200);
            } else {
                std::vector<std::string> texts = kLabels;
                // Tracers in the field's notation.
                texts.insert(texts.end(), {"δ¹³C (‰)", "δ¹⁵N (‰)", "δ³⁴S (‰)"});
                texts.resize(kLabels.size() + (file.path.ends_with("isospace.svg") ? tracers : 0));
                // A text may stand in runs of its own where a glyph comes from another font
                // (superscripts): the runs are read together.
                const std::string shown = svgTexts(file.text);
                for (const std::string& text : texts) {
                    EXPECT_NE(shown.find(text), std::string::npos) << text;
                }
                // The share panels' axis says what the bars count.
                if (file.path.ends_with("shares.svg")) {
                    EXPECT_NE(shown.find(tracers == 2 ? "Percent of draws with a solution"
                                                      : "Percent of solutions"),
                              std::string::npos);
                }
            }
        }
    }
}

TEST(StudyFigures, CarbonAcrossNitrogenUpAndTheCombinedSdOnWhatIsMixed) {
    // The consumers' table puts d15N first: the figure still takes d13C as its x axis, with
    // every value moved along.
    const auto table = [](const std::string& name) {
        return *CsvTable::read(FENLOWICK_TEST_DATA "/figures/" + name + ".csv");
    };
    const CsvTable discrimination = table("discrimination");
    const CsvTable consumers = table("consumers-reversed");
    const Study study = test::valueOf(readStudy(table("sources"), consumers, &discrimination));
    ASSERT_EQ(study.tracers.front(), "d15N");
    StudyGroup group;
    group.consumers = {0, 1};
    const IsospaceFigure figure = isospaceFigureOf(study, group, kLabels, QStringLiteral("t"));
    EXPECT_EQ(figure.tracers,
              (QStringList{QStringLiteral("δ¹³C (‰)"), QStringLiteral("δ¹⁵N (‰)")}));
    // --axes chooses otherwise: here the table's order, nitrogen across.
    const IsospaceFigure chosen =
        isospaceFigureOf(study, group, kLabels, QStringLiteral("t"), false, {0, 1});
    EXPECT_EQ(chosen.tracers,
              (QStringList{QStringLiteral("δ¹⁵N (‰)"), QStringLiteral("δ¹³C (‰)")}));
    EXPECT_EQ(chosen.consumers[0].values[0], std::stod(consumers.cell(0, 0)));
    for (std::size_t c = 0; c < 2; ++c) {
        EXPECT_EQ(figure.consumers[c].values[0], std::stod(consumers.cell(static_cast<int>(c), 1)));
        EXPECT_EQ(figure.consumers[c].values[1], std::stod(consumers.cell(static_cast<int>(c), 0)));
    }
    // The bars on what is mixed are of the source's and the discrimination's SDs together,
    // read here from the tables' cells: SDd13C is column 2, SDd15N column 4 of both.
    const CsvTable sources = table("sources");
    for (const IsospaceFigure::Source& source : figure.sources) {
        const int row =
            static_cast<int>(std::find(kLabels.begin(), kLabels.end(), source.label.toStdString()) -
                             kLabels.begin());
        for (const auto& [axis, column] : {std::pair{0, 2}, {1, 4}}) {
            const double sd = std::stod(sources.cell(row, column));
            const double tau = std::stod(discrimination.cell(row, column));
            EXPECT_NEAR(*source.combinedSd[static_cast<std::size_t>(axis)],
                        std::sqrt(sd * sd + tau * tau), 1e-12)
                << source.label.toStdString() << " " << axis;
        }
    }
}

TEST(StudyFigures, TheMixingPolygonIsTheCorrectedMeansAndTellsWhoLiesOutside) {
    // The corrected means of tests/data/figures (source plus discrimination): Algae
    // (-19.5, 5), Mussels (-9.5, 13), Worms (-14.5, 17); the consumers of Bay 1 and Bay/1
    // are mixtures of them, Reef's (0, 30) is not.
    const Study study = figuresStudy(2);
    StudyGroup group;
    group.consumers = {0, 1, 2};
    const IsospaceFigure figure = isospaceFigureOf(study, group, kLabels, QStringLiteral("t"));
    auto polygon = mixingPolygon(figure, 0, 0, 1);
    std::sort(polygon.begin(), polygon.end());
    const std::vector<std::pair<double, double>> corners = {
        {-19.5, 5.0}, {-14.5, 17.0}, {-9.5, 13.0}};
    EXPECT_EQ(polygon, corners);
    EXPECT_FALSE(outsideMixingPolygon(figure, 0, 0, 1));
    EXPECT_FALSE(outsideMixingPolygon(figure, 1, 0, 1));
    EXPECT_TRUE(outsideMixingPolygon(figure, 2, 0, 1));
}

TEST(StudyFigures, NoSourceMarkerHidesAnother) {
    // A and B mix at the same place; C has no discrimination, so its table mean lies under
    // what is mixed. No two source markers (radius 4.8 and more; consumers are smaller) may
    // have centres closer than the radius.
    const auto parse = [](const char* text, const char* name) {
        return test::valueOf(CsvTable::parse(text, name));
    };
    const CsvTable sources = parse("Source,Meand13C,SDd13C,Meand15N,SDd15N\n"
                                   "A,-20,1,5,1\nB,-21,1,4,1\nC,-10,1,12,1\n",
                                   "sources.csv");
    const CsvTable discrimination = parse("Source,Meand13C,SDd13C,Meand15N,SDd15N\n"
                                          "A,1,0.1,1,0.1\nB,2,0.1,2,0.1\nC,0,0.1,0,0.1\n",
                                          "discrimination.csv");
    const Study study = test::valueOf(
        readStudy(sources, parse("d13C,d15N\n-15,8\n", "consumers.csv"), &discrimination));
    StudyGroup group;
    group.consumers = {0};
    const IsospaceFigure figure =
        isospaceFigureOf(study, group, {"A", "B", "C"}, QStringLiteral("t"));
    qunsetenv("QT_QPA_PLATFORM");
    const FigureApplication application;
    const std::string svg = renderSvg(
        [&](QPainter& painter) { paintIsospaceFigure(painter, figure); }, QStringLiteral("t"));
    std::vector<std::array<double, 3>> markers;
    // Every <circle cx="…" cy="…" r="…"/> of the SVG.
    const auto attribute = [&](std::size_t at, const std::string& name) {
        const std::size_t open = svg.find(name + "=\"", at) + name.size() + 2;
        return std::stod(svg.substr(open, svg.find('"', open) - open));
    };
    for (std::size_t at = svg.find("<circle "); at != std::string::npos;
         at = svg.find("<circle ", at + 1)) {
        const double r = attribute(at, "r");
        if (r >= 4.5) {
            markers.push_back({attribute(at, "cx"), attribute(at, "cy"), r});
        }
    }
    // The legend's markers stand apart; the plot's: A, B, C mixed, and A's and B's table means.
    ASSERT_GE(markers.size(), 5u);
    for (std::size_t i = 0; i < markers.size(); ++i) {
        for (std::size_t j = i + 1; j < markers.size(); ++j) {
            const double d =
                std::hypot(markers[i][0] - markers[j][0], markers[i][1] - markers[j][1]);
            EXPECT_GE(d, std::max(markers[i][2], markers[j][2]))
                << markers[i][0] << "," << markers[i][1] << " and " << markers[j][0] << ","
                << markers[j][1];
        }
    }
}

TEST(FigureStyle, TenSourceColoursStayApartInSimulatedColourBlindness) {
    // Machado, Oliveira and Fernandes (2009), full severity, on linear RGB; distances in
    // CIELAB (D65). Every pair of the ten colours must stay at least 15 apart (a difference
    // seen at a glance) for normal vision and each of the three dichromacies.
    const double simulations[4][3][3] = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
                                         {{0.152286, 1.052583, -0.204868},
                                          {0.114503, 0.786281, 0.099216},
                                          {-0.003882, -0.048116, 1.051998}},
                                         {{0.367322, 0.860646, -0.227968},
                                          {0.280085, 0.672501, 0.047413},
                                          {-0.011820, 0.042940, 0.968881}},
                                         {{1.255528, -0.076749, -0.178779},
                                          {-0.078411, 0.930809, 0.147602},
                                          {0.004733, 0.691367, 0.303900}}};
    const auto linear = [](int c) {
        const double v = c / 255.0;
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    const auto lab = [](double r, double g, double b) {
        const auto f = [](double t) {
            return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116;
        };
        const double x = (0.4124 * r + 0.3576 * g + 0.1805 * b) / 0.95047;
        const double y = 0.2126 * r + 0.7152 * g + 0.0722 * b;
        const double z = (0.0193 * r + 0.1192 * g + 0.9505 * b) / 1.08883;
        return std::array<double, 3>{116 * f(y) - 16, 500 * (f(x) - f(y)), 200 * (f(y) - f(z))};
    };
    for (const auto& m : simulations) {
        std::vector<std::array<double, 3>> seen;
        for (int i = 0; i < 10; ++i) {
            const QColor colour = sourceColour(i);
            const double rgb[3] = {linear(colour.red()), linear(colour.green()),
                                   linear(colour.blue())};
            double out[3];
            for (int k = 0; k < 3; ++k) {
                out[k] =
                    std::clamp(m[k][0] * rgb[0] + m[k][1] * rgb[1] + m[k][2] * rgb[2], 0.0, 1.0);
            }
            seen.push_back(lab(out[0], out[1], out[2]));
        }
        for (std::size_t i = 0; i < seen.size(); ++i) {
            for (std::size_t j = i + 1; j < seen.size(); ++j) {
                EXPECT_GE(std::hypot(seen[i][0] - seen[j][0], seen[i][1] - seen[j][1],
                                     seen[i][2] - seen[j][2]),
                          15.0)
                    << "colours " << i << " and " << j << ", simulation " << (&m - simulations);
            }
        }
    }
}

TEST(StudyFigures, FreeScalesGiveEveryPanelItsOwnTicks) {
    // The shares of all three consumers (one of whose runs finds no solution): with one scale
    // the first column alone has tick labels up the side; with free scales every panel with
    // bars has its own, so the figure holds more texts, and the x labels stay the same.
    const Study study = figuresStudy(2);
    const auto texts = [&](bool free) {
        const std::vector<FileText> files = drawFigures(study, 0, {}, FigureChoices{{}, free});
        const std::string& svg = files.at(3).text; // shares.svg
        std::size_t count = 0;
        for (std::size_t at = svg.find("<text"); at != std::string::npos;
             at = svg.find("<text", at + 1)) {
            ++count;
        }
        return count;
    };
    EXPECT_GT(texts(true), texts(false));
}

TEST(StudyFigures, MixingByConcentrationOutlinesTheSourcesBesideTheStraightHull) {
    const auto table = [](const std::string& name) {
        return *CsvTable::read(FENLOWICK_EXAMPLES "/concentrations/" + name + ".csv");
    };
    const Study study = test::valueOf(readStudy(table("sources"), table("consumers"), nullptr));
    for (const bool concentrations : {true, false}) {
        StudySettings settings;
        settings.options.increment = "5";
        settings.options.tolerance = "0.1";
        settings.options.concentrations = concentrations;
        const StudyOutcome outcome = test::valueOf(runStudy(study, settings));
        const std::string svg =
            drawStudyFigures(study, outcome, summariseStudy(study, outcome, {}), "f")[1].text;
        EXPECT_EQ(svg.find(">Mixing by concentration<") != std::string::npos, concentrations);
        EXPECT_EQ(svg.find(">Linear mixing<") != std::string::npos, concentrations);
    }
}

TEST(PosteriorFigures, PairsCarryTheCorrelationsThatTheMarginalsImply) {
    const auto table = [](const std::string& name) {
        return *CsvTable::read(FENLOWICK_TEST_DATA "/figures/" + name + ".csv");
    };
    const CsvTable discrimination = table("discrimination");
    const Expected<Study> study =
        readStudy(table("sources"), table("consumers-2"), &discrimination);
    ASSERT_TRUE(study);
    PosteriorSettings settings;
    settings.options.increment = "5";
    settings.options.posterior = true;
    const Expected<PosteriorOutcome> outcome = runPosterior(*study, settings);
    ASSERT_TRUE(outcome);
    qunsetenv("QT_QPA_PLATFORM");
    const std::vector<FileText> files = drawPosteriorFigures(*study, *outcome, {}, "out/figures");
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files[0].path, "out/figures/posterior.png");
    EXPECT_EQ(files[3].path, "out/figures/pairs.svg");
    // With three sources p_a + p_b = 1 - p_c, so cov(a, b) = (var c - var a - var b) / 2:
    // the correlations follow from the marginals alone.
    const PosteriorGroup& group = outcome->groups[0];
    std::vector<double> variance;
    for (const std::vector<double>& masses : group.marginals) {
        double mean = 0.0;
        double square = 0.0;
        for (std::size_t b = 0; b < masses.size(); ++b) {
            mean += masses[b] * static_cast<double>(b) / 20.0;
            square += masses[b] * static_cast<double>(b * b) / 400.0;
        }
        variance.push_back(square - mean * mean);
    }
    for (const auto& [a, b, c] : {std::array<int, 3>{0, 1, 2}, {0, 2, 1}, {1, 2, 0}}) {
        const double r =
            (variance[static_cast<std::size_t>(c)] - variance[static_cast<std::size_t>(a)] -
             variance[static_cast<std::size_t>(b)]) /
            (2.0 * std::sqrt(variance[static_cast<std::size_t>(a)] *
                             variance[static_cast<std::size_t>(b)]));
        QString text = QString::number(r, 'f', 2);
        text.replace(QLatin1Char('-'), QChar(0x2212));
        EXPECT_NE(files[3].text.find(">r = " + text.toStdString() + "<"), std::string::npos)
            << text.toStdString();
    }
    for (const std::string& label : kLabels) {
        EXPECT_NE(files[1].text.find(">" + label + "<"), std::string::npos) << label;
    }
}

} // namespace
} // namespace fenlowick
