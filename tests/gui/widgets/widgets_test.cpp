#include "gui/widgets/filebrowsercontrols.h"
#include "gui/widgets/programfolders.h"

#include "gui/widgets/startuplayout.h"
#include "gui/widgets/twips.h"
#include "support/datatable.h"
#include "support/guitestsupport.h"

#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QScreen>
#include <QWidget>

namespace fenlowick {
namespace {

QStringList itemTexts(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) {
        texts << list->item(i)->text().trimmed();
    }
    return texts;
}

class FileBrowserControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = QString::fromStdString(temp.path().string());
        QDir(root).mkpath(u"data/inner"_s);
        QDir(root).mkpath(u"output"_s);
        test::writeFile(temp.path() / "data" / "b.dat", "x");
        test::writeFile(temp.path() / "data" / "a.dat", "x");
        test::writeFile(temp.path() / "data" / "notes.txt", "x");
        test::writeFile(temp.path() / "output" / "run.out", "x");
    }

    test::TempDir temp;
    QString root;
    QWidget dialog;
    FileBrowserControls controls{&dialog};
};

TEST_F(FileBrowserControlsTest, FolderChangeMovesTheFileListAndPatternFilters) {
    controls.setPatterns({u"*.dat"_s});
    QSignalSpy changed(&controls, &FileBrowserControls::folderChanged);
    controls.setFolder(root + u"/data"_s);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(itemTexts(controls.fileList()), (QStringList{u"a.dat"_s, u"b.dat"_s}));

    controls.setPatterns({});
    EXPECT_EQ(itemTexts(controls.fileList()),
              (QStringList{u"a.dat"_s, u"b.dat"_s, u"notes.txt"_s}));

    controls.setFolder(root + u"/output"_s);
    EXPECT_EQ(itemTexts(controls.fileList()), QStringList{u"run.out"_s});
}

TEST_F(FileBrowserControlsTest, FolderListShowsTheOpenChainThenSubfoldersAndOpensOnActivation) {
    controls.setFolder(root);
    const QStringList texts = itemTexts(controls.folderList());
    ASSERT_GE(texts.size(), 3);
    EXPECT_EQ(texts.first(), u"/"_s);
    EXPECT_EQ(texts.mid(texts.size() - 2), (QStringList{u"data"_s, u"output"_s}));
    // The current folder is the selected entry, just above its subfolders.
    EXPECT_EQ(controls.folderList()->currentRow(), texts.size() - 3);

    QListWidgetItem* data = controls.folderList()->item(static_cast<int>(texts.size()) - 2);
    emit controls.folderList()->itemActivated(data);
    EXPECT_EQ(controls.folder(), root + u"/data"_s);
    EXPECT_TRUE(itemTexts(controls.folderList()).contains(u"inner"_s));
}

TEST_F(FileBrowserControlsTest, DrivesAreTheRootAndHomeAndChoosingOneMovesTheFolder) {
    const QStringList drives = controls.drives();
    EXPECT_TRUE(drives.contains(u"/"_s));
    EXPECT_TRUE(drives.contains(QDir::cleanPath(QDir::homePath())));
    controls.setFolder(root + u"/data"_s);
    const int rootIndex = controls.driveList()->findText(u"/"_s);
    emit controls.driveList()->activated(rootIndex);
    EXPECT_EQ(controls.folder(), u"/"_s);
}

// Pixels and twips convert through the logical DPI: the windows' golden pictures and
// HelpBrowserTest.ThePaneFollowsResizing hold their sizes.
TEST(Twips, CentreOnScreenSplitsTheFreeSpaceEvenly) {
    QWidget window;
    window.resize(300, 200);
    centreOnScreen(&window);
    const QRect screen = window.screen()->geometry();
    EXPECT_EQ(window.x() - screen.left(), (screen.width() - 300) / 2);
    EXPECT_EQ(window.y() - screen.top(), (screen.height() - 200) / 2);
}

TEST(StartupLayout, ScreensTallerThan768PixelsAreTreatedAs1024By768) {
    for (const test::TableRow& row : test::readTable("gui/startupsizes.tsv", 3, 4)) {
        const StartupSizes s = startupSizes(std::stoi(row.fields[0]), std::stoi(row.fields[1]));
        std::string sizes;
        for (const TwipsSize& size :
             {s.graphWindow, s.graphPathLabel, s.graphChart, s.statsViewer, s.statsGrid}) {
            sizes += (sizes.empty() ? "" : " ") + std::to_string(size.width) + "x" +
                     std::to_string(size.height);
        }
        EXPECT_EQ(sizes, row.fields[2]) << row.where;
    }
}

TEST(ProgramFolders, BuildTreeHelpBesideTheProgramElseTheInstalledTree) {
    const test::TempDir temp;
    const QString root = QString::fromStdString(temp.path().string()) + QLatin1Char('/');
    for (const char* folder : {"build/bin/help", "usr/bin", "usr/share/fenlowick/help",
                               "usr/share/doc/fenlowick/examples", "bare/bin"}) {
        QDir(root).mkpath(QString::fromLatin1(folder));
    }
    const ProgramFolders build = ProgramFolders::of(root + u"build/bin"_s);
    const ProgramFolders installed = ProgramFolders::of(root + u"usr/bin/"_s);
    const ProgramFolders bare = ProgramFolders::of(root + u"bare/bin"_s);
    EXPECT_EQ(build.help, root + u"build/bin/help"_s);
    EXPECT_EQ(installed.help, root + u"usr/share/fenlowick/help"_s);
    EXPECT_EQ(installed.examples, root + u"usr/share/doc/fenlowick/examples"_s);
    EXPECT_EQ(bare.help, root + u"bare/bin/help"_s);
    EXPECT_TRUE(build.examples.isEmpty() && bare.examples.isEmpty());
}

} // namespace
} // namespace fenlowick
