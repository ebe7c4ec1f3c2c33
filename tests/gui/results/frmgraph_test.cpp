#include "gui/results/frmgraph.h"

#include "gui/results/frmopengraphfile.h"
#include "gui/results/frmstatsviewer.h"
#include "gui/results/graphnavigation.h"
#include "gui/results/resultmessages.h"
#include "gui/widgets/filebrowsercontrols.h"
#include "support/datatable.h"
#include "support/goldenpicture.h"
#include "support/guitestsupport.h"
#include "support/resulttexts.h"

#include <QAction>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPrinterInfo>

#include <tuple>

namespace fenlowick {
namespace {

/// The chart's title and whether Next, Previous and Print are enabled.
using Shown = std::tuple<QString, bool, bool, bool>;

/// The graph window with three files in its folder: a three-source totals file of increment
/// 10 (lake.tot), its feasible-solutions file (lake.out) and a totals file without
/// solutions (none.tot). What a file yields (counts, percentages, the axis maximum) is
/// GraphData's to check; Next and Previous are GraphNavigation's.
class GraphTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = QString::fromStdString(temp.path().string());
        for (const auto& [from, to] : {std::pair{"generated-5.tot", "lake.tot"},
                                       {"generated-5.out", "lake.out"},
                                       {"no-feasible.tot", "none.tot"}}) {
            test::writeFile(temp.path() / to, test::readFile(test::expectedResult(from)));
        }
        graph.setGraphFolder(folder);
        graph.show();
    }

    void open(const QString& name) {
        graph.FileOpen_Click();
        graph.openGraphFile()->setFileName(name);
        graph.openGraphFile()->FileOpen_Click();
    }

    Shown shown() const {
        return {graph.chart()->title(), graph.nextAction()->isEnabled(),
                graph.previousAction()->isEnabled(), graph.printAction()->isEnabled()};
    }

    QCategoryAxis* levelAxis() const {
        return qobject_cast<QCategoryAxis*>(graph.chart()->axes(Qt::Horizontal).value(0));
    }

    QBarSet* bars() const {
        return qobject_cast<QBarSeries*>(graph.chart()->series().value(0))->barSets().value(0);
    }

    test::TempDir temp;
    QString folder;
    test::RecordingNotifier messages;
    frmGraph graph;
};

TEST_F(GraphTest, WindowsLookAsTheirGoldenPictures) {
    // Both windows at their start-up sizes on a screen of 1024 x 768 pixels.
    const StartupSizes sizes = startupSizes(15360, 11520);
    graph.applyStartupSize(sizes);
    test::expectLooksAsGolden(&graph, u"graph-window"_s);
    graph.FileOpen_Click();
    ResultFileDialog* dialog = graph.openGraphFile();
    test::expectLooksAsGolden(dialog, u"open-result-file-dialog"_s,
                              {dialog->browser()->folderList(), dialog->browser()->driveList()});
    dialog->setFileName(u"lake.tot"_s);
    dialog->FileOpen_Click();
    // The label names the file with its folder, this run's temporary one.
    test::expectLooksAsGolden(&graph, u"graph-window-with-file"_s, {graph.pathLabel()});

    frmStatsViewer viewer;
    viewer.applyStartupSize(sizes);
    viewer.show();
    ASSERT_TRUE(viewer.loadFile(folder + u"/lake.tot"_s));
    test::expectLooksAsGolden(&viewer, u"statistics-viewer-with-file"_s);
}

// That the dialog lists the totals files only shows in the golden picture
// open-result-file-dialog.
TEST_F(GraphTest, WindowAndDialogCaptionsAndHelp) {
    EXPECT_EQ(graph.windowTitle(), u"Fenlowick - Graph"_s);
    EXPECT_EQ(graph.openGraphFile()->windowTitle(), u"Fenlowick - Open file for Graphing"_s);
    QSignalSpy help(&graph, &frmGraph::helpRequested);
    graph.help_Click();
    graph.openGraphFile()->help_Click();
    EXPECT_EQ(help, (QList<QVariantList>(2, {u"graphing.htm"_s})));
}

TEST_F(GraphTest, AFileIsChartedFromItsFirstSourceAndNextShowsTheSecond) {
    open(u"lake.tot"_s);
    EXPECT_TRUE(messages.messages.isEmpty());
    EXPECT_FALSE(graph.openGraphFile()->isVisible());
    // How the first source is charted shows in the golden picture graph-window-with-file.
    EXPECT_EQ(graph.pathLabel()->text(), folder + u"/lake.tot"_s);
    EXPECT_EQ(shown(), Shown(u"SOURCE: S1"_s, true, false, true));

    graph.NextGraph_Click();
    EXPECT_EQ(shown(), Shown(u"SOURCE: S2"_s, true, true, true));
    ASSERT_EQ(bars()->count(), 11);
    EXPECT_FLOAT_EQ(static_cast<float>(bars()->at(1)), 4.0f / 12.0f * 100.0f);
    graph.PreviousGraph_Click();
    EXPECT_EQ(graph.chart()->title(), u"SOURCE: S1"_s);
}

TEST_F(GraphTest, WithManyLevelsEveryFifthIsLabelledUnderItsBar) {
    // The histogram table of three sources at increment 1: levels 0, .01, ... 1.
    test::writeFile(temp.path() / "case.tot",
                    test::readFile(FENLOWICK_TEST_DATA "/graph/hundred-levels.tot"));
    open(u"case.tot"_s);
    ASSERT_TRUE(messages.messages.isEmpty());
    EXPECT_EQ(bars()->count(), 101);
    EXPECT_EQ(graph.levelAxisLabels().join(u' '), u"0 0.05 0.1 0.15 0.2 0.25 0.3 0.35 0.4 0.45 0.5 "
                                                  u"0.55 0.6 0.65 0.7 0.75 0.8 0.85 0.9 0.95 1"_s);
    EXPECT_EQ(levelAxis()->endValue(u"0.05"_s), 5.0);
    EXPECT_EQ(levelAxis()->min(), -0.5);
    EXPECT_EQ(levelAxis()->max(), 100.5);
}

TEST_F(GraphTest, OtherFilesAreRejectedWithTheirMessagesAndNothingIsCharted) {
    open(u"lake.tot"_s);
    open(u"lake.out"_s);
    EXPECT_EQ(messages.messages, QStringList{resultmessages::graphWrongType()});
    EXPECT_FALSE(graph.chartView()->isVisible());
    EXPECT_TRUE(graph.openGraphFile()->isVisible());
    EXPECT_EQ(graph.openGraphFile()->fileName(), u"lake.out"_s);
    EXPECT_EQ(graph.navigation().current(), 0);

    open(u"none.tot"_s);
    EXPECT_EQ(messages.messages.last(), resultmessages::graphAccessError());
    EXPECT_EQ(graph.openGraphFile()->fileName(), QString());
    EXPECT_FALSE(graph.chartView()->isVisible());
    open(QString());
    EXPECT_EQ(messages.messages.last(), resultmessages::selectFile());
}

TEST_F(GraphTest, TheChartIsSavedAsAPngImageOrAnSvgDrawing) {
    EXPECT_FALSE(graph.saveChartImage(folder + u"/nothing.png"_s));
    open(u"lake.tot"_s);
    EXPECT_TRUE(graph.saveAction()->isEnabled());
    // Twice the chart's size, with the bars' blue.
    test::expectSavedImages([&](const QString& path) { return graph.saveChartImage(path); }, folder,
                            graph.chartView()->size() * 2, QColor(0, 0, 192), "SOURCE: S1");
}

// A printed graph keeps off the edges a printer cannot reach, on white paper: the window's
// grey stays on the screen.
TEST_F(GraphTest, PrintingGivesOnePagePerCopyWithTheChartAsTextWithinMarginsOnWhitePaper) {
    open(u"lake.tot"_s);
    const QString pdf = folder + u"/graph.pdf"_s;
    test::expectPrinting([&](auto chooser) { graph.setPrinterChooser(chooser); },
                         [&] { graph.PrtGraph_Click(); }, messages,
                         resultmessages::graphPrintFailed(), pdf, 2);
    // Drawn as vectors, the chart's texts can be read back from the PDF.
    const std::string text = test::runTool("pdftotext", {pdf.toStdString(), "-"});
    for (const char* expected :
         {"SOURCE: S1", "Percent Frequency", "Source Proportion", "FILENAME:", "lake.tot"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected << " in " << text;
    }
    const QImage page = test::pdfPageImage(pdf.toStdString(), 40);
    ASSERT_FALSE(page.isNull());
    EXPECT_EQ(test::inkWithinMargins(page, 12.0, 40), 0);
    const QColor grey = graph.centralWidget()->palette().color(QPalette::Window);
    int greyPixels = 0;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            greyPixels += page.pixelColor(x, y) == grey ? 1 : 0;
        }
    }
    EXPECT_LT(greyPixels, page.width() * page.height() / 50);
    EXPECT_GT(test::inkWithinMargins(page, 1000.0, 40), 500); // the chart is there, anywhere
}

TEST_F(GraphTest, WithoutAPrinterBothResultWindowsOfferAPdfBesideTheLoadedFile) {
    if (!QPrinterInfo::availablePrinters().isEmpty()) {
        GTEST_SKIP() << "this system has a printer";
    }
    open(u"lake.tot"_s);
    test::answerNextDialog(&graph, true);
    graph.PrtGraph_Click();
    frmStatsViewer viewer;
    ASSERT_TRUE(viewer.loadFile(folder + u"/lake.tot"_s));
    test::answerNextDialog(&viewer, true);
    viewer.PrintData_Click();
    EXPECT_TRUE(messages.messages.isEmpty());
    EXPECT_EQ(test::pdfPageCount(folder.toStdString() + "/lake-graph.pdf"), 1);
    EXPECT_EQ(test::pdfPageCount(folder.toStdString() + "/lake.pdf"), 1);
}

TEST_F(GraphTest, ExitKeepsTheGraphAndTheCloseBoxResetsTheWindow) {
    open(u"lake.tot"_s);
    graph.NextGraph_Click();
    graph.ExitGraph_Click();
    EXPECT_FALSE(graph.isVisible());
    graph.show();
    EXPECT_EQ(graph.chart()->title(), u"SOURCE: S2"_s);

    graph.close();
    graph.show();
    EXPECT_FALSE(graph.chartView()->isVisible());
    EXPECT_EQ(graph.pathLabel()->text(), QString());
    EXPECT_FALSE(graph.nextAction()->isEnabled());
    EXPECT_FALSE(graph.previousAction()->isEnabled());
    EXPECT_FALSE(graph.printAction()->isEnabled());
}

TEST(GraphNavigation, NextAndPreviousStopAtTheEndsAndAFailedOpenStopsBoth) {
    GraphNavigation nav;
    const auto yes = [](bool enabled) { return enabled ? " yes" : " no"; };
    for (const test::TableRow& row : test::readTable("gui/graphnavigation.tsv", 3, 13)) {
        const std::string& step = row.fields[0];
        std::string returned = "-";
        if (step == "next" || step == "previous") {
            returned = (step == "next" ? nav.next() : nav.previous()) ? "yes" : "no";
        } else if (step.starts_with("loaded ")) {
            nav.loaded(std::stoi(step.substr(7)));
        } else if (step != "start") {
            step == "clear" ? nav.clear() : nav.resetCommands();
        }
        EXPECT_EQ(returned + "\t" + std::to_string(nav.current()) + yes(nav.nextEnabled()) +
                      yes(nav.previousEnabled()) + yes(nav.printEnabled()),
                  row.fields[1] + "\t" + row.fields[2])
            << row.where;
    }
}

} // namespace
} // namespace fenlowick
