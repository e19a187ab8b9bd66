#include "ui/main/SkinList.h"

#include "model/Assert.h"
#include "model/DataLocations.h"
#include "model/TextHelpers.h"

#include <QActionGroup>
#include <QImageReader>
#include <QMenu>

#include <algorithm>
#include <filesystem>
#include <set>

namespace {

bool LessIgnoringCase(const std::string& a, const std::string& b)
{
    const std::string la = AsciiLowerCase(a);
    const std::string lb = AsciiLowerCase(b);
    return la != lb ? la < lb : a < b;
}

} // namespace

std::vector<std::string> PictureFileMasks()
{
    std::vector<std::string> masks;
    for (const QByteArray& format : QImageReader::supportedImageFormats()) {
        masks.push_back("*." + AsciiLowerCase(format.toStdString()));
    }
    return masks;
}

std::string SkinsFolder()
{
    return DataLocations().ProgramFolder + "Skins/";
}

void TSkinList::Clear()
{
    m_entries.clear();
}

void TSkinList::Load(const std::string& skinsFolder)
{
    Clear();
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    std::error_code error;
    fs::recursive_directory_iterator it(skinsFolder, fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError)) {
            files.push_back(it->path().string());
        }
    }
    std::sort(files.begin(), files.end(), LessIgnoringCase);

    const auto masks = PictureFileMasks();
    const std::set<std::string> maskSet(masks.begin(), masks.end());
    for (const std::string& file : files) {
        const fs::path path(file);
        if (!maskSet.count("*" + AsciiLowerCase(path.extension().string()))) {
            continue;
        }
        const std::string name = path.stem().string();
        auto same = std::find_if(m_entries.begin(), m_entries.end(),
            [&](const TSkinEntry& entry) { return SameTextAscii(entry.Name, name); });
        if (same != m_entries.end()) {
            same->Path = file;
        } else {
            m_entries.push_back({ name, file });
        }
    }
    std::sort(m_entries.begin(), m_entries.end(), [](const TSkinEntry& a, const TSkinEntry& b) {
        return LessIgnoringCase(a.Name + "=" + a.Path, b.Name + "=" + b.Path);
    });
}

const TSkinEntry& TSkinList::Entries(int index) const
{
    TH_ASSERT(index >= 0 && index < Count(), "SkinList");
    return m_entries[size_t(index)];
}

int TSkinList::PathIndexGet(const std::string& path) const
{
    for (int i = 0; i < Count(); ++i) {
        if (m_entries[size_t(i)].Path == path) {
            return i;
        }
    }
    return -1;
}

void SkinMenuBuild(QMenu* miSkin, const TSkinList& skins, const std::string& image, QAction* noImage)
{
    for (QAction* action : miSkin->actions()) {
        if (action->data().toInt() > 0) {
            miSkin->removeAction(action);
            delete action;
        }
    }
    QActionGroup* group = noImage->actionGroup();
    if (!group) {
        group = new QActionGroup(miSkin);
        noImage->setCheckable(true);
        group->addAction(noImage);
    }
    // A browsed picture that is no skin leaves every item unchecked.
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (int i = 0; i < skins.Count(); ++i) {
        const auto actions = miSkin->actions();
        QAction* before = i + 2 < actions.size() ? actions[i + 2] : nullptr;
        auto* item = new QAction(QString::fromStdString(skins.Entries(i).Name), miSkin);
        item->setData(i + 1);
        item->setCheckable(true);
        group->addAction(item);
        item->setChecked(skins.Entries(i).Path == image);
        miSkin->insertAction(before, item);
    }
    noImage->setChecked(image.empty());
}
