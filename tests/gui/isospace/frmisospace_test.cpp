#include "gui/isospace/frmisospace.h"

#include "core/entry/messages.h"
#include "gui/isospace/isospaceplot.h"
#include "gui/isospace/isospacescene.h"
#include "gui/results/resultmessages.h"
#include "support/goldenpicture.h"
#include "support/guitestsupport.h"

#include <QAction>
#include <QFileInfo>
#include <QGraphicsSimpleTextItem>
#include <QMenuBar>
#include <QPrinter>
#include <QPrinterInfo>

namespace fenlowick {
namespace {

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
    window.showEntry(Entry::cleared());
    test::expectLooksAsGolden(&window, u"isospace-window-without-signatures"_s);
    EXPECT_FALSE(window.printAction()->isEnabled());
    EXPECT_FALSE(window.saveAction()->isEnabled());
}

TEST_F(IsospaceWindowTest, SavesPngAndSvgAndPrintsThroughTheChosenPrinter) {
    test::TempDir temp;
    const QString folder = QString::fromStdString(temp.path().string());
    window.showEntry(test::exampleEntry("geese-outside-sources"));
    // Twice the scene's size, with the outside mixture's red.
    test::expectSavedImages([&](const QString& path) { return window.saveImage(path); }, folder,
                            (window.scene()->sceneRect().size() * 2).toSize(), QColor(200, 30, 30),
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
