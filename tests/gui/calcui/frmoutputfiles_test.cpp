#include "gui/calcui/frmoutputfiles.h"

#include "gui/calcui/frmprogress.h"
#include "gui/widgets/filebrowsercontrols.h"
#include "support/goldenpicture.h"
#include "support/guitestsupport.h"

#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QPushButton>

namespace fenlowick {
namespace {

class OutputDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = QString::fromStdString(temp.path().string());
        test::writeFile(temp.path() / "earlier.out", "x");
        test::writeFile(temp.path() / "data.dat", "x");
        dialog.setFolder(folder);
        dialog.show();
    }

    test::TempDir temp;
    QString folder;
    frmOutputFiles dialog;
    QSignalSpy outcome{&dialog, &frmOutputFiles::outcome};
};

TEST_F(OutputDialogTest, WindowsLookAsTheirGoldenPictures) {
    dialog.setTypedName(u"estuary"_s);
    test::expectLooksAsGolden(&dialog, u"output-files-dialog"_s,
                              {dialog.browser()->folderList(), dialog.browser()->driveList()});
    frmProgress progress;
    progress.reset();
    progress.show();
    progress.setFirstShare(40.0f);
    test::expectLooksAsGolden(&progress, u"progress-window"_s);
}

TEST_F(OutputDialogTest, SaveHidesWithOutcomeSavedAndKeepsFolderAndName) {
    EXPECT_EQ(dialog.windowTitle(), u"Fenlowick - Calculation Output Files"_s);
    dialog.setTypedName(u"results"_s);
    QTest::mouseClick(dialog.saveButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(outcome, (QList<QVariantList>{{true}}));
    EXPECT_EQ(dialog.typedName(), u"results"_s);
    EXPECT_EQ(dialog.folder(), folder);
}

TEST_F(OutputDialogTest, CancelAndEscapeKeepTheTypedName) {
    dialog.setTypedName(u"kept"_s);
    QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(outcome, (QList<QVariantList>{{false}, {false}}));
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.typedName(), u"kept"_s);
}

TEST_F(OutputDialogTest, CloseBoxCancelsAndResetsNameAndFolder) {
    dialog.setTypedName(u"gone"_s);
    dialog.close();
    EXPECT_EQ(outcome, (QList<QVariantList>{{false}}));
    EXPECT_TRUE(dialog.typedName().isEmpty());
    EXPECT_EQ(dialog.folder(), QDir::cleanPath(QDir::currentPath()));
}

TEST_F(OutputDialogTest, EveryFileIsListedAClickCopiesTheNameOnlyAndRefreshListsNewFiles) {
    QListWidget* files = dialog.browser()->fileList();
    ASSERT_EQ(files->count(), 2);
    emit files->itemClicked(files->item(0));
    EXPECT_EQ(dialog.typedName(), u"data.dat"_s);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(outcome.count(), 0);

    test::writeFile(temp.path() / "earlier.tot", "x");
    dialog.refreshLists();
    EXPECT_EQ(files->count(), 3);
}

} // namespace
} // namespace fenlowick
