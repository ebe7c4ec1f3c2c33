#include "gui/isospace/frmisospace.h"

#include "core/entry/messages.h"
#include "gui/isospace/isospaceplot.h"
#include "gui/isospace/isospacescene.h"
#include "gui/results/resultmessages.h"
#include "support/goldenpicture.h"
#include "support/guitestsupport.h"

#include "figures/figurestyle.h"

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QGraphicsEllipseItem>
#include <QGraphicsPolygonItem>
#include <QGraphicsSimpleTextItem>
#include <QMenuBar>
#include <QPrinter>
#include <QPrinterInfo>

#include <algorithm>
#include <set>

namespace fenlowick {
namespace {

/// Isotopes d15N, d13C and "Sulphur ratio"; Algae and Detritus alike in C and N, Worms
/// half-way between Algae and Mussels, Shrimp inside, the mixture on Mussels.
Entry crowdedEntry() {
    return test::entryOf(FENLOWICK_TEST_DATA "/gui/isospace-crowded.dat");
}

/// The sources that are corners of their convex hull, found without a hull algorithm: a
/// point is a corner unless an equal point comes before it, or it lies in a triangle or on
/// a segment of the other points.
std::set<std::size_t> hullCorners(const std::vector<PlotPoint>& points) {
    const auto cross = [](const PlotPoint& o, const PlotPoint& a, const PlotPoint& b) {
        return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
    };
    const auto onSegment = [&](const PlotPoint& p, const PlotPoint& a, const PlotPoint& b) {
        return cross(a, b, p) == 0 && std::min(a.x, b.x) <= p.x && p.x <= std::max(a.x, b.x) &&
               std::min(a.y, b.y) <= p.y && p.y <= std::max(a.y, b.y);
    };
    const auto inTriangle = [&](const PlotPoint& p, const PlotPoint& a, const PlotPoint& b,
                                const PlotPoint& c) {
        const double ab = cross(a, b, p), bc = cross(b, c, p), ca = cross(c, a, p);
        return cross(a, b, c) != 0 &&
               ((ab >= 0 && bc >= 0 && ca >= 0) || (ab <= 0 && bc <= 0 && ca <= 0));
    };
    const auto equal = [](const PlotPoint& a, const PlotPoint& b) {
        return a.x == b.x && a.y == b.y;
    };
    std::set<std::size_t> corners;
    for (std::size_t p = 0; p < points.size(); ++p) {
        std::vector<PlotPoint> others; // every point not at p's place
        bool first = true;
        for (std::size_t q = 0; q < points.size(); ++q) {
            if (equal(points[q], points[p])) {
                first = first && q >= p;
            } else {
                others.push_back(points[q]);
            }
        }
        bool covered = !first;
        for (std::size_t a = 0; a < others.size(); ++a) {
            for (std::size_t b = a + 1; b < others.size(); ++b) {
                covered = covered || onSegment(points[p], others[a], others[b]);
                for (std::size_t c = b + 1; c < others.size(); ++c) {
                    covered = covered || inTriangle(points[p], others[a], others[b], others[c]);
                }
            }
        }
        if (!covered) {
            corners.insert(p);
        }
    }
    return corners;
}

class IsospaceWindowTest : public ::testing::Test {
protected:
    test::RecordingNotifier notes;
    frmIsospace window;
};

TEST_F(IsospaceWindowTest, LooksAsItsGoldenPictures) {
    window.showEntry(test::exampleEntry("geese-outside-sources"));
    test::expectLooksAsGolden(&window, u"isospace-window"_s);
    // A mixture inside the sources of the chosen pair, and a number line.
    window.showEntry(test::exampleEntry("estuary-three-isotopes"));
    window.setAxes(1, 2);
    test::expectLooksAsGolden(&window, u"isospace-window-inside"_s);
    window.showEntry(test::exampleEntry("stream-water-one-isotope"));
    test::expectLooksAsGolden(&window, u"isospace-window-number-line"_s);
    // Sources alike, one on an edge, the mixture on a corner: every marker shows.
    window.showEntry(crowdedEntry());
    test::expectLooksAsGolden(&window, u"isospace-window-crowded"_s);
    window.showEntry(Entry::cleared());
    test::expectLooksAsGolden(&window, u"isospace-window-without-signatures"_s);
    EXPECT_FALSE(window.printAction()->isEnabled());
    EXPECT_FALSE(window.saveAction()->isEnabled());
}

TEST_F(IsospaceWindowTest, SavesPngAndSvgAndPrintsThroughTheChosenPrinter) {
    test::TempDir temp;
    const QString folder = QString::fromStdString(temp.path().string());
    window.showEntry(test::exampleEntry("geese-outside-sources"));
    // Twice the scene's size, with the first source's colour.
    test::expectSavedImages([&](const QString& path) { return window.saveImage(path); }, folder,
                            (window.scene()->sceneRect().size() * 2).toSize(), sourceColour(0),
                            "Saltmarsh grass");
    // The same message as the graph window's.
    test::expectPrinting([&](auto chooser) { window.setPrinterChooser(chooser); },
                         [&] { window.printAction()->trigger(); }, notes,
                         resultmessages::graphPrintFailed(), folder + u"/plot.pdf"_s, 2);
}

// A title of 300 characters: cut with an ellipsis in the plot (and so in the PNG and the
// printout), a proposed name a file system takes; Print proposes its PDF in the output
// folder, as Save does, and keeps the printable margins.
TEST_F(IsospaceWindowTest, LongTitlesAndThePrintoutsPlaceAndMargins) {
    test::TempDir temp;
    const QString folder = QString::fromStdString(temp.path().string());
    window.setOutputFolder(folder);
    Entry entry = test::exampleEntry("geese-outside-sources");
    entry.title = std::string(300, 'T');
    window.showEntry(entry);
    QString title;
    for (QGraphicsItem* item : window.scene()->items()) {
        if (const auto* text = dynamic_cast<QGraphicsSimpleTextItem*>(item);
            text != nullptr && text->text().startsWith(u"TTT"_s)) {
            title = text->text();
            EXPECT_LE(text->sceneBoundingRect().right(), window.scene()->sceneRect().right());
            EXPECT_GE(text->sceneBoundingRect().left(), window.scene()->sceneRect().left());
        }
    }
    EXPECT_TRUE(title.endsWith(QChar(0x2026))) << title.toStdString();
    const QString proposed = window.defaultSaveName();
    EXPECT_LE(QFileInfo(proposed).fileName().toUtf8().size(), 255);
    EXPECT_TRUE(window.saveImage(proposed));

    QString offered;
    window.setPrinterChooser([&](QPrinter& printer) {
        offered = printer.outputFileName();
        return test::pdfPrinter(folder + u"/plot.pdf"_s)(printer);
    });
    window.printAction()->trigger();
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        EXPECT_EQ(QFileInfo(offered).absolutePath(), QFileInfo(folder).absoluteFilePath());
        EXPECT_TRUE(offered.endsWith(u".pdf"_s));
    }
    const QImage page = test::pdfPageImage((folder + u"/plot.pdf"_s).toStdString(), 40);
    ASSERT_FALSE(page.isNull());
    EXPECT_EQ(test::inkWithinMargins(page, 12.0, 40), 0);
    EXPECT_TRUE(notes.messages.isEmpty());
}

TEST_F(IsospaceWindowTest, CaptionDiagnoseHelpAndExit) {
    // The diagnosis itself is Diagnosis'; the window shows it or the entry's refusal.
    window.showEntry(test::exampleEntry("geese-outside-sources"));
    EXPECT_EQ(window.windowTitle(), u"Fenlowick - Isospace"_s);
    window.diagnoseAction()->trigger();
    ASSERT_EQ(notes.messages.size(), 1);
    EXPECT_TRUE(notes.messages[0].startsWith(u"The mixture lies outside"_s));
    Entry refused = test::exampleEntry("geese-outside-sources");
    refused.isotope[1] = "";
    window.showEntry(refused);
    window.diagnoseAction()->trigger();
    EXPECT_EQ(notes.messages.last(), QString::fromLatin1(messages::kNoIsotopeLabels));

    QSignalSpy help(&window, &frmIsospace::helpRequested);
    window.helpAction()->trigger();
    EXPECT_EQ(help, (QList<QVariantList>{{u"isospace.htm"_s}}));
    window.menuBar()->actions().last()->trigger();
    EXPECT_FALSE(window.isVisible());
}

TEST_F(IsospaceWindowTest, AxesInTheFieldsNotationWithCarbonAcrossByDefault) {
    // The lists name the isotopes as typed (d15N first); the axes take carbon across.
    window.showEntry(crowdedEntry());
    EXPECT_EQ(window.xAxisList()->currentText(), u"d13C"_s);
    EXPECT_EQ(window.yAxisList()->currentText(), u"d15N"_s);
    EXPECT_EQ(window.scene()->xTitleItem()->text(), u"δ¹³C (‰)"_s);
    EXPECT_EQ(window.scene()->yTitleItem()->text(), u"δ¹⁵N (‰)"_s);
    // The help page's example: the status line keeps the names as typed.
    window.showEntry(test::exampleEntry("geese-outside-sources"));
    EXPECT_EQ(window.scene()->xTitleItem()->text(), u"δ¹³C (‰)"_s);
    EXPECT_EQ(window.plot()->status, "The mixture lies outside the sources for d13C/d15N.");
    window.showEntry(crowdedEntry());
    // Any pair chosen in the lists; a label that is no delta value stays as typed.
    window.xAxisList()->setCurrentIndex(2);
    emit window.xAxisList()->activated(2);
    EXPECT_EQ(window.scene()->xTitleItem()->text(), u"Sulphur ratio"_s);
    EXPECT_EQ(window.scene()->yTitleItem()->text(), u"δ¹⁵N (‰)"_s);
    // Without nitrogen the entry's order holds; one isotope is a number line.
    window.showEntry(test::changed(crowdedEntry(), "Isotope_0=delta 34S"));
    EXPECT_EQ(window.xAxisList()->currentIndex(), 0);
    EXPECT_EQ(window.yAxisList()->currentIndex(), 1);
    EXPECT_EQ(window.scene()->xTitleItem()->text(), u"δ³⁴S (‰)"_s);
    window.showEntry(test::exampleEntry("stream-water-one-isotope"));
    EXPECT_EQ(window.scene()->xTitleItem()->text(), u"δ¹⁸O (‰)"_s);
    EXPECT_EQ(window.scene()->yTitleItem(), nullptr);
}

TEST_F(IsospaceWindowTest, NoMarkerHidesAnotherAndThePolygonIsTheSourcesHull) {
    ASSERT_EQ(hullCorners(makeIsospacePlot(crowdedEntry(), 1, 0)->sources),
              (std::set<std::size_t>{0, 2, 4})); // Algae, Mussels, Crabs
    struct Case {
        Entry entry;
        int x, y;
    };
    for (const auto& [entry, x, y] : {Case{crowdedEntry(), 1, 0}, Case{crowdedEntry(), 1, 1},
                                      Case{test::exampleEntry("geese-outside-sources"), 0, 1},
                                      Case{test::exampleEntry("estuary-three-isotopes"), 0, 2}}) {
        window.showEntry(entry);
        window.setAxes(x, y);
        const IsospaceScene& scene = *window.scene();
        const IsospacePlot& plot = *window.plot();
        SCOPED_TRACE(plot.title + " " + std::to_string(x) + "/" + std::to_string(y));
        std::vector<std::pair<QPointF, double>> markers; // centre and radius
        for (QGraphicsItem* item : scene.sourceMarkers()) {
            const QRectF dot = dynamic_cast<QGraphicsEllipseItem*>(item)->rect();
            markers.emplace_back(dot.center(), dot.width() / 2);
        }
        const auto* mixture = dynamic_cast<QGraphicsPolygonItem*>(scene.mixtureMarker());
        const QRectF diamond = mixture->polygon().boundingRect();
        markers.emplace_back(diamond.center(), diamond.width() / 2);
        for (std::size_t i = 0; i < markers.size(); ++i) {
            for (std::size_t j = i + 1; j < markers.size(); ++j) {
                EXPECT_GE(QLineF(markers[i].first, markers[j].first).length(),
                          std::max(markers[i].second, markers[j].second))
                    << i << " " << j;
            }
        }
        // Moved aside by little; the mixture, the point of the plot, not at all.
        for (std::size_t i = 0; i < plot.sources.size(); ++i) {
            const QPointF home = scene.toScene()(plot.sources[i].x, plot.sources[i].y);
            EXPECT_LE(QLineF(markers[i].first, home).length(), 3 * markers[i].second) << i;
        }
        EXPECT_EQ(markers.back().first, scene.toScene()(plot.mixture.x, plot.mixture.y));
        // Open when it lies outside.
        EXPECT_EQ(mixture->brush().color() == Qt::white, plot.position == HullPosition::Outside);
        if (plot.numberLine) {
            continue;
        }
        const QPolygonF polygon = dynamic_cast<QGraphicsPolygonItem*>(scene.hullItem())->polygon();
        const std::set<std::size_t> corners = hullCorners(plot.sources);
        ASSERT_EQ(static_cast<std::size_t>(polygon.size()), corners.size());
        for (const QPointF& vertex : polygon) {
            EXPECT_TRUE(std::any_of(corners.begin(), corners.end(),
                                    [&](std::size_t c) {
                                        const QPointF place =
                                            scene.toScene()(plot.sources[c].x, plot.sources[c].y);
                                        return QLineF(vertex, place).length() < 1e-9;
                                    }))
                << vertex.x() << ", " << vertex.y();
        }
    }
}

// The plots of the examples, their points, hulls, labels and status lines, show in the
// golden pictures isospace-window, isospace-window-inside and isospace-window-number-line.
TEST(IsospacePlot, TheSameIsotopeTwiceIsANumberLine) {
    const std::optional<IsospacePlot> plot =
        makeIsospacePlot(test::exampleEntry("geese-outside-sources"), 1, 1);
    ASSERT_TRUE(plot);
    EXPECT_TRUE(plot->numberLine);
    EXPECT_EQ(plot->status, "The mixture lies above every source for d15N.");
    EXPECT_FALSE(makeIsospacePlot(test::exampleEntry("geese-outside-sources"), 0, 2));
}

TEST(IsospacePlot, MissingLabelsAndEmptyEntries) {
    Entry entry;
    EXPECT_FALSE(makeIsospacePlot(entry, 0, 0));
    EXPECT_TRUE(plottedIsotopes(entry).empty());
    entry.col[0][0] = "1";
    entry.col[0][1] = "3";
    entry.col[1][2] = "2";
    entry.mixture[0] = "3";
    const std::optional<IsospacePlot> plot = makeIsospacePlot(entry, 0, 1);
    ASSERT_TRUE(plot);
    EXPECT_EQ(plot->sources[1].label, "Source 2");
    EXPECT_EQ(plottedIsotopes(entry), (std::vector<std::string>{"Isotope 1", "Isotope 2"}));
    // Sources (1, 0), (3, 0), (0, 2); the mixture (3, 0) is a corner: on the edge.
    EXPECT_EQ(plot->position, HullPosition::OnEdge);
}

TEST(IsospacePlot, NiceAxesTakeInTheRangeInRoundSteps) {
    AxisScale axis = niceAxis(-31.2, -9.3, 6);
    EXPECT_DOUBLE_EQ(axis.step, 5.0);
    EXPECT_DOUBLE_EQ(axis.low, -35.0);
    EXPECT_DOUBLE_EQ(axis.high, -5.0);
    axis = niceAxis(4.0, 4.0, 6); // all values equal
    EXPECT_LT(axis.low, 4.0);
    EXPECT_GT(axis.high, 4.0);
}

} // namespace
} // namespace fenlowick
