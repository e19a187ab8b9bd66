#pragma once

#include <string>
#include <vector>

class QAction;
class QMenu;

// One skin: the name the menu shows and the picture's path.
struct TSkinEntry
{
    std::string Name;
    std::string Path;
};

// The masks ("*.png", "*.jpg", ...) of every picture format the program can load.
std::vector<std::string> PictureFileMasks();

// The skins folder beside the executable: ProgramFolder + "Skins/".
std::string SkinsFolder();

// The skin pictures under a folder and all its subfolders, sorted by name without regard to
// case. Files are taken in the order of their sorted paths; a later file of the same name
// (ignoring case) replaces the earlier one's path. A missing or unreadable folder gives an
// empty list.
class TSkinList
{
public:
    void Load(const std::string& skinsFolder);
    void Clear();

    int Count() const
    {
        return int(m_entries.size());
    }
    const TSkinEntry& Entries(int index) const;
    // The entry whose path is exactly `path`, or -1.
    int PathIndexGet(const std::string& path) const;

private:
    std::vector<TSkinEntry> m_entries;
};

// Rebuilds the skin items of the "Image" menu: items left from before (those with a tag) go,
// then one checkable item per skin at position index + 2 (after "Browse..." and the divider),
// tagged index + 1 and checked when its path is exactly `image`; `noImage` ("<No Image>") is
// checked exactly when `image` is empty. New items join the radio group of `noImage`.
void SkinMenuBuild(QMenu* miSkin, const TSkinList& skins, const std::string& image, QAction* noImage);
