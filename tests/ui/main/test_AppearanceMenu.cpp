#include "ui/main/AppearanceMenu.h"

#include "QtTestMain.h"

#include "ui/framework/Appearance.h"
#include "ui/framework/ImageButton.h"
#include "ui/main/FrmMain.h"
#include "ui/main/FrmTransparencySettings.h"

#include "model/DataLocations.h"
#include "model/ProgramLog.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "storage/Options.h"
#include "storage/WindowPreferences.h"
#include "support/ChildFind.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

namespace {

namespace fs = std::filesystem;

void PictureWrite(const fs::path& path, const QColor& color, const char* format)
{
    fs::create_directories(path.parent_path());
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(color);
    ASSERT_TRUE(image.save(QString::fromStdString(path.string()), format)) << path;
}

// Answers the next modal window of type T once it is up; a window that never comes fails the test
// and closes whatever modal window is open, so the test cannot hang.
template <class T> void ModalAnswer(std::function<void(T*)> answer)
{
    auto* poll = new QTimer();
    // Qt's file dialog reads its folder first: on a loaded machine or under the sanitizers it
    // takes seconds to come up, so the wait is measured in time, not in polls.
    auto waited = std::make_shared<QElapsedTimer>();
    waited->start();
    QObject::connect(poll, &QTimer::timeout, [poll, waited, answer] {
        if (auto* window = qobject_cast<T*>(QApplication::activeModalWidget())) {
            poll->deleteLater();
            poll->stop();
            answer(window);
            return;
        }
        if (waited->elapsed() > 30000) {
            poll->stop();
            poll->deleteLater();
            ADD_FAILURE() << "the expected window did not open";
            if (QWidget* other = QApplication::activeModalWidget()) {
                other->close();
            }
        }
    });
    poll->start(10);
}

QColor PixelAt(QWidget& window, const QPoint& point)
{
    QImage shot(window.size(), QImage::Format_ARGB32);
    shot.fill(Qt::transparent);
    // The window's own painting only: its colour and tiled picture, without the controls on it.
    window.render(&shot, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    return shot.pixelColor(point);
}

QAction* SkinItemFind(TfrmMain& window, const QString& name)
{
    for (QAction* item : Child<QMenu>(window, "miSkin")->actions()) {
        if (item->data().toInt() > 0 && item->text() == name) {
            return item;
        }
    }
    return nullptr;
}

QStringList SkinItemNames(TfrmMain& window)
{
    QStringList names;
    for (QAction* item : Child<QMenu>(window, "miSkin")->actions()) {
        if (item->data().toInt() > 0) {
            names << item->text();
        }
    }
    return names;
}

// Answers the picture questions, until the next call or the end of the test, in place of Qt's
// file dialog, which offscreen now and then kept its folder and ignored a scripted choice:
// `answer` gets the folder the question starts in and gives the chosen file (empty for Cancel).
void PictureAnswer(std::function<QString(const QString& folder)> answer)
{
    PictureFileAskSet([answer](QWidget*, const QString& folder, const QString&) { return answer(folder); });
}

// The main window over a fresh data folder whose preferences file holds the appearance, with the
// skins folder beside a program file in that folder.
class MainWindowAppearance : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OptionsInstanceFree();
        WindowPreferencesFree();
        DataLocationsCompute(m_folder.Text(), m_folder.Text() + "program/tallyhour");
        LogFileNameSet(m_folder.Text() + "test.log");
        AppearanceSourceSet(nullptr);
        m_clock = std::make_unique<TFakeClock>(EncodeDateTime(2024, 3, 5, 10, 0, 0));
        OptionsInstance().ResetDateTime = EncodeDateTime(2024, 3, 6, 4, 0, 0);
        TestErrorReporter().LastShown.clear();
    }
    void TearDown() override
    {
        PictureFileAskSet({});
        m_window.reset();
        TestAppearanceReset();
        OptionsInstanceFree();
        WindowPreferencesFree();
        LogFileNameSet({});
        m_clock.reset();
    }

    fs::path SkinsFolder() const
    {
        return m_folder.Path() / "program" / "Skins";
    }

    TfrmMain& Window()
    {
        if (!m_window) {
            m_window = std::make_unique<TfrmMain>();
            m_window->AppearanceMenu->MessageShow
                = [this](const QString& text, const QString& title) { m_messages << title + "|" + text; };
        }
        return *m_window;
    }

    static std::string StoredText(const char* key)
    {
        TIniFile file(DataLocations().IniFileName);
        return file.ReadString("Background", key, "<absent>");
    }
    static int StoredInteger(const char* key)
    {
        TIniFile file(DataLocations().IniFileName);
        return file.ReadInteger("Background", key, -12345);
    }

    TTempFolder m_folder;
    std::unique_ptr<TFakeClock> m_clock;
    std::unique_ptr<TfrmMain> m_window;
    QStringList m_messages;
};

} // namespace

TEST_F(MainWindowAppearance, SkinItemStoresItsPathAndTheWindowRepaintsWithIt)
{
    PictureWrite(SkinsFolder() / "Blue.png", QColor(0, 0, 200), "PNG");
    PictureWrite(SkinsFolder() / "Sunset.jpg", QColor(220, 120, 0), "JPEG");
    WindowPreferences().BackgroundColorSet(0x00FF00); // green
    TfrmMain& window = Window();

    EXPECT_EQ(QStringList({ "Blue", "Sunset" }), SkinItemNames(window));
    EXPECT_TRUE(Child<QAction>(window, "miClearBackgroundImage")->isChecked());
    EXPECT_EQ(QColor(0, 255, 0), PixelAt(window, QPoint(60, 200)));

    QAction* blue = SkinItemFind(window, QStringLiteral("Blue"));
    blue->trigger();
    EXPECT_EQ((SkinsFolder() / "Blue.png").string(), StoredText("Image"));
    EXPECT_TRUE(blue->isChecked());
    EXPECT_FALSE(Child<QAction>(window, "miClearBackgroundImage")->isChecked());
    EXPECT_EQ(QColor(0, 0, 200), PixelAt(window, QPoint(60, 200)));

    blue->trigger();
    EXPECT_TRUE(blue->isChecked()) << "choosing the shown skin again keeps it checked";

    SkinItemFind(window, QStringLiteral("Sunset"))->trigger();
    EXPECT_EQ((SkinsFolder() / "Sunset.jpg").string(), StoredText("Image"));
    EXPECT_FALSE(blue->isChecked());
    const QColor sunset = PixelAt(window, QPoint(60, 200));
    EXPECT_NEAR(220, sunset.red(), 8);
    EXPECT_NEAR(120, sunset.green(), 8);

    Child<QAction>(window, "miClearBackgroundImage")->trigger();
    EXPECT_EQ("", StoredText("Image"));
    EXPECT_TRUE(Child<QAction>(window, "miClearBackgroundImage")->isChecked());
    EXPECT_EQ(QStringList({ "Blue", "Sunset" }), SkinItemNames(window)) << "the rebuilt menu has no doubles";
    EXPECT_EQ(QColor(0, 255, 0), PixelAt(window, QPoint(60, 200)));
}

TEST_F(MainWindowAppearance, TwoSkinsOfTheSameNameKeepTheLaterFile)
{
    PictureWrite(SkinsFolder() / "Blue.png", QColor(0, 0, 200), "PNG");
    PictureWrite(SkinsFolder() / "More" / "Blue.jpg", QColor(0, 0, 90), "JPEG");
    TfrmMain& window = Window();

    ASSERT_EQ(QStringList({ "Blue" }), SkinItemNames(window));
    SkinItemFind(window, QStringLiteral("Blue"))->trigger();
    EXPECT_EQ((SkinsFolder() / "More" / "Blue.jpg").string(), StoredText("Image"));
}

TEST_F(MainWindowAppearance, PictureOnAMissingVolumeGivesNoPictureAndNoError)
{
    PictureWrite(SkinsFolder() / "Blue.png", QColor(0, 0, 200), "PNG");
    WindowPreferences().BackgroundColorSet(0x0000FF); // red
    WindowPreferences().BackgroundImageSet("/media/absent-volume/Skins/Blue.png");
    TfrmMain& window = Window();

    EXPECT_TRUE(BackgroundPicture().isNull());
    EXPECT_EQ(QColor(255, 0, 0), PixelAt(window, QPoint(60, 200)));
    EXPECT_EQ("", TestErrorReporter().LastShown);
    EXPECT_TRUE(m_messages.isEmpty());
    EXPECT_EQ("/media/absent-volume/Skins/Blue.png", StoredText("Image")) << "the path is kept for when it returns";
    for (QAction* item : Child<QMenu>(window, "miSkin")->actions()) {
        EXPECT_FALSE(item->isChecked()) << item->text().toStdString();
    }
}

TEST_F(MainWindowAppearance, ChoosingAColourRemovesThePictureAndChecksNoImage)
{
    PictureWrite(SkinsFolder() / "Blue.png", QColor(0, 0, 200), "PNG");
    WindowPreferences().BackgroundColorSet(0x336699);
    TfrmMain& window = Window();
    SkinItemFind(window, QStringLiteral("Blue"))->trigger();

    QColor preset;
    ModalAnswer<QColorDialog>([&](QColorDialog* dialog) {
        preset = dialog->currentColor();
        dialog->setCurrentColor(QColor(0x20, 0x40, 0x60));
        dialog->accept();
    });
    Child<QAction>(window, "miBackgroundColor")->trigger();

    EXPECT_EQ(QColor(0x99, 0x66, 0x33), preset) << "the dialog starts with the stored colour";
    EXPECT_EQ(0x604020, StoredInteger("Color"));
    EXPECT_EQ("", StoredText("Image"));
    EXPECT_TRUE(Child<QAction>(window, "miClearBackgroundImage")->isChecked());
    EXPECT_FALSE(SkinItemFind(window, QStringLiteral("Blue"))->isChecked());
    EXPECT_EQ(QColor(0x20, 0x40, 0x60), PixelAt(window, QPoint(60, 200)));

    ModalAnswer<QColorDialog>([](QColorDialog* dialog) {
        dialog->setCurrentColor(Qt::yellow);
        dialog->reject();
    });
    Child<QAction>(window, "miBackgroundColor")->trigger();
    EXPECT_EQ(0x604020, StoredInteger("Color")) << "a cancelled dialog changes nothing";
}

TEST_F(MainWindowAppearance, BrowsedPictureStartsInTheSkinsFolderAndUnchecksEverySkin)
{
    PictureWrite(SkinsFolder() / "Blue.png", QColor(0, 0, 200), "PNG");
    const fs::path own = m_folder.Path() / "pictures" / "Own.png";
    PictureWrite(own, QColor(10, 200, 10), "PNG");
    TfrmMain& window = Window();

    QString startFolder;
    PictureAnswer([&](const QString& folder) {
        startFolder = folder;
        return QString::fromStdString(own.string());
    });
    Child<QAction>(window, "miBackgroundImage")->trigger();

    EXPECT_EQ(QDir(QString::fromStdString(SkinsFolder().string())).absolutePath().toStdString(),
        QDir(startFolder).absolutePath().toStdString());
    EXPECT_EQ(own.string(), StoredText("Image"));
    for (QAction* item : Child<QMenu>(window, "miSkin")->actions()) {
        EXPECT_FALSE(item->isChecked()) << item->text().toStdString();
    }
    EXPECT_EQ(QColor(10, 200, 10), PixelAt(window, QPoint(60, 200)));

    PictureAnswer([&](const QString&) { return QString::fromStdString((SkinsFolder() / "Blue.png").string()); });
    Child<QAction>(window, "miBackgroundImage")->trigger();
    EXPECT_TRUE(SkinItemFind(window, QStringLiteral("Blue"))->isChecked()) << "a skin's own file checks its item";

    PictureAnswer([](const QString&) { return QString(); }); // cancelled
    Child<QAction>(window, "miBackgroundImage")->trigger();
    EXPECT_EQ((SkinsFolder() / "Blue.png").string(), StoredText("Image"));
}

TEST_F(MainWindowAppearance, PicturePathWithALineBreakIsRefusedAndTheFileStaysWhole)
{
    const fs::path odd = m_folder.Path() / "pictures" / "two\n[Common]\nShow5MinButton=0\nx.png";
    PictureWrite(odd, QColor(10, 200, 10), "PNG");
    WindowPreferences().BackgroundImageSet("");
    TfrmMain& window = Window();

    PictureAnswer([&](const QString&) { return QString::fromStdString(odd.string()); });
    Child<QAction>(window, "miBackgroundImage")->trigger();

    EXPECT_EQ("", StoredText("Image"));
    EXPECT_TRUE(WindowPreferences().Show5MinButtonGet());
    ASSERT_EQ(1, m_messages.size());
    EXPECT_TRUE(m_messages[0].startsWith(QStringLiteral("Please Note|")));
    EXPECT_TRUE(Child<QAction>(window, "miClearBackgroundImage")->isChecked());
    EXPECT_NE(std::string::npos, FileText(m_folder.Text() + "test.log").find("two\\n[Common]\\nShow5MinButton"))
        << "the log names the file on one line";
}

TEST_F(MainWindowAppearance, TransparencyOutsideTheListOpensAtZeroAndCancelKeepsItWithoutPreviewHere)
{
    WindowPreferences().TransparencySet(33);
    TfrmMain& window = Window();
    const int mainAlpha = TransparencyAlpha(33);
    ASSERT_EQ(mainAlpha, window.AlphaBlendValue());
    OptionsInstance().AdminMode = true;

    QString opened;
    std::vector<int> mainAlphas;
    std::vector<qreal> mainOpacities;
    ModalAnswer<TfrmTransparencySettings>([&](TfrmTransparencySettings* settings) {
        opened = settings->cbxTransparency->currentText();
        for (const char* value : { "50", "80", "0" }) {
            settings->cbxTransparency->setCurrentText(QString::fromLatin1(value));
            mainAlphas.push_back(window.AlphaBlendValue());
            mainOpacities.push_back(window.windowOpacity());
        }
        settings->btnCancel->click();
    });
    Child<QAction>(window, "miTransparency")->trigger();

    EXPECT_EQ(QStringLiteral("0"), opened);
    EXPECT_EQ(33, StoredInteger("Transparency"));
    EXPECT_EQ(33, WindowPreferences().TransparencyGet());
    EXPECT_EQ(std::vector<int>(3, mainAlpha), mainAlphas);
    for (qreal opacity : mainOpacities) {
        EXPECT_NEAR(mainAlpha / 255.0, opacity, 0.01);
    }
    EXPECT_EQ(mainAlpha, window.AlphaBlendValue());
    EXPECT_FALSE(OptionsInstance().AdminMode);

    OptionsInstance().AdminMode = true;
    ModalAnswer<TfrmTransparencySettings>([](TfrmTransparencySettings* settings) {
        settings->cbxTransparency->setCurrentText(QStringLiteral("20"));
        settings->btnOk->click();
    });
    Child<QAction>(window, "miTransparency")->trigger();
    EXPECT_EQ(20, StoredInteger("Transparency"));
    EXPECT_EQ(TransparencyAlpha(20), window.AlphaBlendValue());
    EXPECT_FALSE(OptionsInstance().AdminMode);
}

TEST_F(MainWindowAppearance, TextColourReachesTheLabelsAndWindowsOpenedLater)
{
    TfrmMain& window = Window();
    QColor preset;
    ModalAnswer<QColorDialog>([&](QColorDialog* dialog) {
        preset = dialog->currentColor();
        dialog->setCurrentColor(QColor(0xFF, 0xCC, 0x00));
        dialog->accept();
    });
    Child<QAction>(window, "miTextColor")->trigger();

    EXPECT_EQ(QColor(Qt::white), preset);
    EXPECT_EQ(0x00CCFF, StoredInteger("TextColor"));
    EXPECT_EQ(QColor(0xFF, 0xCC, 0x00), window.lblCaption->palette().color(QPalette::WindowText));
    EXPECT_EQ(
        QColor(0xFF, 0xCC, 0x00), Child<QLabel>(window, "lblApplications")->palette().color(QPalette::WindowText));
    EXPECT_EQ(QColor(kFormFontColor), Child<QLabel>(window, "lblApp_Name")->palette().color(QPalette::WindowText))
        << "texts on the white list panels keep the form's colour";

    WindowPreferencesFree(); // a later window reads the file, not what this window holds
    auto* later = new TfrmTransparencySettings();
    later->setAttribute(Qt::WA_DeleteOnClose, false);
    later->show();
    EXPECT_EQ(QColor(0xFF, 0xCC, 0x00), later->lblTransparency->palette().color(QPalette::WindowText));
    delete later;
}

TEST_F(MainWindowAppearance, PictureChosenInTheSettingsWizardIsCheckedInTheSkinMenu)
{
    PictureWrite(SkinsFolder() / "Blue.png", QColor(0, 0, 200), "PNG");
    TfrmMain& window = Window();
    window.SettingsWizardRun = [this](bool) {
        Appearance().BackgroundImageSet((SkinsFolder() / "Blue.png").string());
        return true;
    };
    Child<QAction>(window, "actSettings")->trigger();

    EXPECT_TRUE(SkinItemFind(window, QStringLiteral("Blue"))->isChecked());
    EXPECT_FALSE(Child<QAction>(window, "miClearBackgroundImage")->isChecked());
    EXPECT_EQ(QColor(0, 0, 200), PixelAt(window, QPoint(60, 200)));
}
