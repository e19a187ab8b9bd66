#include "QtTestMain.h"

#include "ui/framework/Appearance.h"
#include "ui/main/FrmTransparencySettings.h"
#include "ui/main/SkinList.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QImage>
#include <QMenu>

#include <filesystem>
#include <fstream>

namespace {

void PictureWrite(const std::filesystem::path& path, const char* format)
{
    std::filesystem::create_directories(path.parent_path());
    QImage image(6, 4, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    ASSERT_TRUE(image.save(QString::fromStdString(path.string()), format)) << path;
}

} // namespace

TEST(SkinList, SubfoldersFormatsAndTheLaterFileOfTheSameNameWins)
{
    TTempFolder folder;
    PictureWrite(folder.Path() / "Blue.png", "PNG");
    PictureWrite(folder.Path() / "More" / "Blue.jpg", "JPEG");
    PictureWrite(folder.Path() / "green.BMP", "BMP");
    std::ofstream(folder.Path() / "readme.txt") << "not a picture";
    std::ofstream(folder.Path() / "Amber.emf") << "a format we cannot load";

    TSkinList skins;
    skins.Load(folder.Text());
    ASSERT_EQ(2, skins.Count());
    EXPECT_EQ("Blue", skins.Entries(0).Name);
    EXPECT_EQ((folder.Path() / "More" / "Blue.jpg").string(), skins.Entries(0).Path);
    EXPECT_EQ("green", skins.Entries(1).Name);

    skins.Load(folder.Text() + "absent/");
    EXPECT_EQ(0, skins.Count()) << "a missing folder gives no skins and no error";
}

TEST(SkinMenu, ItemsFollowTheStoredImageAndDoNotPileUp)
{
    TTempFolder folder;
    PictureWrite(folder.Path() / "Blue.png", "PNG");
    PictureWrite(folder.Path() / "Dots.png", "PNG");
    TSkinList skins;
    skins.Load(folder.Text());

    QMenu miSkin;
    miSkin.addAction(QStringLiteral("Browse..."));
    miSkin.addSeparator();
    QAction* noImage = miSkin.addAction(QStringLiteral("<No Image>"));

    SkinMenuBuild(&miSkin, skins, skins.Entries(1).Path, noImage);
    auto actions = miSkin.actions();
    ASSERT_EQ(5, actions.size());
    EXPECT_EQ(QStringLiteral("Blue"), actions[2]->text());
    EXPECT_EQ(1, actions[2]->data().toInt());
    EXPECT_TRUE(actions[3]->isChecked());
    EXPECT_FALSE(noImage->isChecked());

    SkinMenuBuild(&miSkin, skins, "", noImage);
    actions = miSkin.actions();
    ASSERT_EQ(5, actions.size());
    EXPECT_TRUE(noImage->isChecked());
    EXPECT_FALSE(actions[3]->isChecked());

    SkinMenuBuild(&miSkin, skins, "/elsewhere/browsed.png", noImage);
    for (QAction* action : miSkin.actions()) {
        EXPECT_FALSE(action->isChecked()) << action->text().toStdString();
    }
}

TEST(BackgroundPicture, LoadsOnlyAnExistingFileAndFollowsChanges)
{
    TestAppearanceReset();
    TTempFolder folder;
    PictureWrite(folder.Path() / "Tile.png", "PNG");

    TestAppearance().BackgroundImageSet("/nonexistent-volume/skins/Tile.png");
    EXPECT_TRUE(BackgroundPicture().isNull());
    TestAppearance().BackgroundImageSet((folder.Path() / "Tile.png").string());
    EXPECT_EQ(QSize(6, 4), BackgroundPicture().size());
    std::ofstream(folder.Path() / "Broken.png") << "no picture inside";
    TestAppearance().BackgroundImageSet((folder.Path() / "Broken.png").string());
    EXPECT_TRUE(BackgroundPicture().isNull());
    TestAppearance().BackgroundImageSet("");
    EXPECT_TRUE(BackgroundPicture().isNull());
}

TEST(TransparencyWindow, ValueOutsideTheListOpensAtZeroAndCancelRestoresIt)
{
    TestAppearanceReset();
    TestAppearance().Transparency = 33;
    int leftAdministratorMode = 0;
    TfrmTransparencySettings::AdministratorModeLeaveHookSet([&] { ++leftAdministratorMode; });

    auto* window = new TfrmTransparencySettings();
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    EXPECT_EQ(QStringLiteral("0"), window->cbxTransparency->currentText());
    EXPECT_EQ(33, TestAppearance().Transparency) << "opening stores nothing";

    window->cbxTransparency->setCurrentText(QStringLiteral("50"));
    EXPECT_EQ(50, TestAppearance().Transparency) << "each choice is stored at once";
    EXPECT_EQ(127, window->AlphaBlendValue()) << "and previewed on the window itself";
    window->cbxTransparency->setCurrentText(QStringLiteral("80"));
    window->reject();
    EXPECT_EQ(33, TestAppearance().Transparency);
    EXPECT_EQ(1, leftAdministratorMode);
    delete window;

    window = new TfrmTransparencySettings();
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->cbxTransparency->setCurrentText(QStringLiteral("20"));
    window->accept();
    EXPECT_EQ(20, TestAppearance().Transparency);
    EXPECT_EQ(2, leftAdministratorMode);
    delete window;

    TestAppearance().Transparency = 15;
    window = new TfrmTransparencySettings();
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    EXPECT_EQ(QStringLiteral("15"), window->cbxTransparency->currentText());
    EXPECT_EQ(13, window->cbxTransparency->count());
    delete window;
    TfrmTransparencySettings::AdministratorModeLeaveHookSet({});
    TestAppearanceReset();
}
