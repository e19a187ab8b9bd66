#include "ui/main/AppearanceMenu.h"

#include "ui/framework/Appearance.h"
#include "ui/framework/FrmBase.h"
#include "ui/main/FrmTransparencySettings.h"

#include "model/ProgramLog.h"

#include <QAction>
#include <QColorDialog>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QStringList>

namespace {

// The preferences file keeps one value a line: a line break in a path would cut it and put the
// rest of the name into the file as a line of its own.
bool StorableInPreferences(const std::string& path)
{
    return path.find_first_of("\r\n") == std::string::npos;
}

QString PictureFilesFilter()
{
    QStringList masks;
    for (const std::string& mask : PictureFileMasks()) {
        masks << QString::fromStdString(mask);
    }
    return QStringLiteral("Pictures (%1);;All files (*)").arg(masks.join(QLatin1Char(' ')));
}

// Runs the action when the scope ends, also when an error passes through it.
class TScopeExit
{
public:
    explicit TScopeExit(const std::function<void()>& action)
        : m_action(action)
    {
    }
    ~TScopeExit()
    {
        if (m_action) {
            m_action();
        }
    }
    TScopeExit(const TScopeExit&) = delete;
    TScopeExit& operator=(const TScopeExit&) = delete;

private:
    const std::function<void()>& m_action;
};

} // namespace

TAppearanceMenu::TAppearanceMenu(TfrmBase* window, const TMenuItems& items, const std::string& skinsFolder)
    : QObject(window)
    , MessageShow(&TfrmBase::ShowMessage)
    , m_window(window)
    , m_items(items)
    , m_pictureDialogFolder(QFile::decodeName(QByteArray::fromStdString(skinsFolder)))
{
    connect(m_items.miBackgroundColor, &QAction::triggered, this, &TAppearanceMenu::miBackgroundColorClick);
    connect(m_items.miBackgroundImage, &QAction::triggered, this, &TAppearanceMenu::miBackgroundImageClick);
    connect(m_items.miClearBackgroundImage, &QAction::triggered, this, &TAppearanceMenu::miClearBackgroundImageClick);
    connect(m_items.miTransparency, &QAction::triggered, this, &TAppearanceMenu::miTransparencyClick);
    connect(m_items.miTextColor, &QAction::triggered, this, &TAppearanceMenu::miTextColorClick);

    m_skinList.Load(skinsFolder);
    SkinMenuBuild();
}

void TAppearanceMenu::SkinMenuBuild()
{
    ::SkinMenuBuild(m_items.miSkin, m_skinList, Appearance().BackgroundImageGet(), m_items.miClearBackgroundImage);
    for (QAction* item : m_items.miSkin->actions()) {
        if (item->data().toInt() > 0) {
            connect(item, &QAction::triggered, this, [this, item] { SkinItemClick(item); });
        }
    }
}

bool TAppearanceMenu::BackgroundImageStore(const std::string& path)
{
    if (!StorableInPreferences(path)) {
        // One log line per event: the breaks are written out as text.
        std::string shown = path;
        for (size_t at = shown.find_first_of("\r\n"); at != std::string::npos; at = shown.find_first_of("\r\n", at)) {
            shown.replace(at, 1, shown[at] == '\n' ? "\\n" : "\\r");
        }
        LogMessageWrite("Background picture not kept, its path has a line break: " + shown);
        MessageShow(QStringLiteral("The picture cannot be used: its file name contains a line break."),
            QStringLiteral("Please Note"));
        return false;
    }
    Appearance().BackgroundImageSet(path);
    return true;
}

void TAppearanceMenu::SkinItemClick(QAction* item)
{
    const int index = item->data().toInt() - 1;
    if (index < 0 || index >= m_skinList.Count()) {
        return;
    }
    if (BackgroundImageStore(m_skinList.Entries(index).Path)) {
        // Choosing the checked skin again would uncheck it, as the group lets every item go.
        item->setChecked(true);
    } else {
        // The item may not be deleted while it is still reporting its click.
        QMetaObject::invokeMethod(this, &TAppearanceMenu::SkinMenuBuild, Qt::QueuedConnection);
    }
    m_window->update();
}

namespace {

std::function<QString(QWidget*, const QString&, const QString&)>& PictureFileAsk()
{
    static std::function<QString(QWidget*, const QString&, const QString&)> ask;
    return ask;
}

} // namespace

void PictureFileAskSet(std::function<QString(QWidget* parent, const QString& folder, const QString& filter)> ask)
{
    PictureFileAsk() = std::move(ask);
}

void TAppearanceMenu::miBackgroundImageClick()
{
    const QString fileName = PictureFileAsk()
        ? PictureFileAsk()(m_window, m_pictureDialogFolder, PictureFilesFilter())
        : QFileDialog::getOpenFileName(m_window, QStringLiteral("Open"), m_pictureDialogFolder, PictureFilesFilter());
    if (fileName.isEmpty()) {
        return;
    }
    BackgroundImageStore(QFile::encodeName(fileName).toStdString());
    SkinMenuBuild();
    m_window->update();
}

void TAppearanceMenu::miClearBackgroundImageClick()
{
    BackgroundImageStore({});
    SkinMenuBuild();
    m_window->update();
}

void TAppearanceMenu::miBackgroundColorClick()
{
    const QColor color = QColorDialog::getColor(ColorFromNumber(Appearance().BackgroundColorGet()), m_window);
    if (!color.isValid()) {
        return;
    }
    Appearance().BackgroundColorSet(ColorToNumber(color));
    // A picture would cover the colour the user just chose.
    BackgroundImageStore({});
    SkinMenuBuild();
    m_window->ApplyColor(color);
}

void TAppearanceMenu::miTextColorClick()
{
    const QColor color = QColorDialog::getColor(ColorFromNumber(Appearance().TextColorGet()), m_window);
    if (!color.isValid()) {
        return;
    }
    Appearance().TextColorSet(ColorToNumber(color));
    m_window->ApplyTextColor(color);
}

void TAppearanceMenu::miTransparencyClick()
{
    const TScopeExit leave(AdministratorModeLeave);
    // The preview belongs to the transparency window alone; this window changes only on OK.
    auto* window = new TfrmTransparencySettings(m_window);
    if (window->exec() == QDialog::Accepted) {
        m_window->ApplyTransparency(Appearance().TransparencyGet());
    }
}
