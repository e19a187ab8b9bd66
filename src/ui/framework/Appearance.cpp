#include "ui/framework/Appearance.h"

#include "model/ProgramLog.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "storage/WindowPreferences.h"

#include <QImageReader>

#include <algorithm>
#include <optional>

QColor ColorFromNumber(uint32_t number)
{
    return QColor(int(number & 0xFF), int((number >> 8) & 0xFF), int((number >> 16) & 0xFF));
}

uint32_t ColorToNumber(const QColor& color)
{
    return uint32_t(color.red()) | (uint32_t(color.green()) << 8) | (uint32_t(color.blue()) << 16);
}

uint32_t TAppearanceMemory::BackgroundColorGet()
{
    return BackgroundColor;
}

std::string TAppearanceMemory::BackgroundImageGet()
{
    return BackgroundImage;
}

uint32_t TAppearanceMemory::TextColorGet()
{
    return TextColor;
}

int TAppearanceMemory::TransparencyGet()
{
    return Transparency;
}

void TAppearanceMemory::BackgroundColorSet(uint32_t color)
{
    BackgroundColor = color;
}

void TAppearanceMemory::BackgroundImageSet(const std::string& path)
{
    BackgroundImage = path;
    BackgroundPictureReload();
}

void TAppearanceMemory::TextColorSet(uint32_t color)
{
    TextColor = color;
}

void TAppearanceMemory::TransparencySet(int percent)
{
    Transparency = percent;
}

TAppearanceStored::TAppearanceStored()
{
    TWindowPreferences::BackgroundImageChangedHookSet([](const std::string&) { BackgroundPictureReload(); });
}

uint32_t TAppearanceStored::BackgroundColorGet()
{
    return uint32_t(WindowPreferences().BackgroundColorGet());
}

std::string TAppearanceStored::BackgroundImageGet()
{
    return WindowPreferences().BackgroundImageGet();
}

uint32_t TAppearanceStored::TextColorGet()
{
    return uint32_t(WindowPreferences().TextColorGet());
}

int TAppearanceStored::TransparencyGet()
{
    return WindowPreferences().TransparencyGet();
}

void TAppearanceStored::BackgroundColorSet(uint32_t color)
{
    WindowPreferences().BackgroundColorSet(int32_t(color));
}

void TAppearanceStored::BackgroundImageSet(const std::string& path)
{
    WindowPreferences().BackgroundImageSet(path);
}

void TAppearanceStored::TextColorSet(uint32_t color)
{
    WindowPreferences().TextColorSet(int32_t(color));
}

void TAppearanceStored::TransparencySet(int percent)
{
    WindowPreferences().TransparencySet(percent);
}

namespace {

TAppearanceSource* g_source = nullptr;

TAppearanceSource& DefaultSource()
{
    static TAppearanceStored source;
    return source;
}

std::optional<QImage>& LoadedPicture()
{
    static std::optional<QImage> picture;
    return picture;
}

} // namespace

void AppearanceSourceSet(TAppearanceSource* source)
{
    g_source = source;
    BackgroundPictureReload();
}

TAppearanceSource& Appearance()
{
    return g_source ? *g_source : DefaultSource();
}

int TransparencyAlpha(int percent)
{
    percent = std::clamp(percent, 0, kTransparencyMax);
    return 255 - int(RoundHalfEven(percent * 255.0 / 100.0));
}

const QImage& BackgroundPicture()
{
    auto& picture = LoadedPicture();
    if (!picture) {
        picture = QImage();
        const std::string path = Appearance().BackgroundImageGet();
        if (!path.empty() && FileExistsOnVolume(path)) {
            QImageReader reader(QString::fromStdString(path));
            if (!reader.read(&*picture)) {
                LogMessageWrite(
                    "Background picture not readable: " + path + " (" + reader.errorString().toStdString() + ")");
                *picture = QImage();
            }
        }
    }
    return *picture;
}

void BackgroundPictureReload()
{
    LoadedPicture().reset();
}
