#pragma once

#include "ui/main/SkinList.h"

#include <QObject>
#include <QString>

#include <functional>
#include <string>

class QAction;
class QMenu;
class TfrmBase;

// Replaces the file dialog that asks for a picture (tests answer it with a path); an empty
// function restores Qt's own. Gets the parent window, the folder to start in and the filter.
void PictureFileAskSet(std::function<QString(QWidget* parent, const QString& folder, const QString& filter)> ask);

// The main window's appearance commands: the background colour, the background picture (a skin
// or any picture file), the text colour and the transparency. Each choice is stored at once, so
// every skinned window opened later takes it at its creation, and is applied to the window the
// commands belong to.
class TAppearanceMenu : public QObject
{
    Q_OBJECT

public:
    // The menu entries the commands hang on; the window creates them, this class fills the skin
    // items into `miSkin` between "Browse..." (and its divider) and "<No Image>".
    struct TMenuItems
    {
        QAction* miBackgroundColor = nullptr;
        QMenu* miSkin = nullptr;
        QAction* miBackgroundImage = nullptr;
        QAction* miClearBackgroundImage = nullptr;
        QAction* miTransparency = nullptr;
        QAction* miTextColor = nullptr;
    };

    // Lists the skins under `skinsFolder`, where the picture dialog also starts, and builds the
    // skin menu.
    TAppearanceMenu(TfrmBase* window, const TMenuItems& items, const std::string& skinsFolder);

    const TSkinList& SkinList() const
    {
        return m_skinList;
    }
    QString PictureDialogFolder() const
    {
        return m_pictureDialogFolder;
    }

    // Checks the item of the stored picture again; called after every change of the picture.
    void SkinMenuBuild();

    void miBackgroundColorClick();
    void miBackgroundImageClick();
    void miClearBackgroundImageClick();
    void SkinItemClick(QAction* item);
    void miTransparencyClick();
    void miTextColorClick();

    // Called when the transparency window has closed, whichever way: the transparency is no
    // command that needs administrator rights, so none may outlast it.
    std::function<void()> AdministratorModeLeave;
    // The message window; tests record instead.
    std::function<void(const QString& text, const QString& title)> MessageShow;

private:
    // Stores a new picture path; false (with a message) for a path the preferences file cannot
    // hold.
    bool BackgroundImageStore(const std::string& path);

    TfrmBase* m_window;
    TMenuItems m_items;
    TSkinList m_skinList;
    QString m_pictureDialogFolder;
};
