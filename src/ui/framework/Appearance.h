#pragma once

#include <QColor>
#include <QImage>

#include <cstdint>
#include <string>

// Colour numbers as the preferences file stores them: 0x00BBGGRR, red in the low byte.
QColor ColorFromNumber(uint32_t number);
uint32_t ColorToNumber(const QColor& color);

// The user's appearance choices. The preferences file keeps them; the windows reach them only
// through this interface, so the framework neither knows nor cares how they are stored.
class TAppearanceSource
{
public:
    virtual ~TAppearanceSource() = default;
    virtual uint32_t BackgroundColorGet() = 0;
    virtual std::string BackgroundImageGet() = 0;
    virtual uint32_t TextColorGet() = 0;
    virtual int TransparencyGet() = 0;
    virtual void BackgroundColorSet(uint32_t color) = 0;
    // Implementations call BackgroundPictureReload() when the path changes.
    virtual void BackgroundImageSet(const std::string& path) = 0;
    virtual void TextColorSet(uint32_t color) = 0;
    virtual void TransparencySet(int percent) = 0;
};

// The choices kept in memory only, with the preferences file's defaults: black background, no
// picture, white texts, 10 % transparency. Tests and tools use it.
class TAppearanceMemory : public TAppearanceSource
{
public:
    uint32_t BackgroundColor = 0;
    std::string BackgroundImage;
    uint32_t TextColor = 0xFFFFFF;
    int Transparency = 10;

    uint32_t BackgroundColorGet() override;
    std::string BackgroundImageGet() override;
    uint32_t TextColorGet() override;
    int TransparencyGet() override;
    void BackgroundColorSet(uint32_t color) override;
    void BackgroundImageSet(const std::string& path) override;
    void TextColorSet(uint32_t color) override;
    void TransparencySet(int percent) override;
};

// The choices as the preferences file keeps them; a new "Image" path drops the loaded picture.
class TAppearanceStored : public TAppearanceSource
{
public:
    TAppearanceStored();
    uint32_t BackgroundColorGet() override;
    std::string BackgroundImageGet() override;
    uint32_t TextColorGet() override;
    int TransparencyGet() override;
    void BackgroundColorSet(uint32_t color) override;
    void BackgroundImageSet(const std::string& path) override;
    void TextColorSet(uint32_t color) override;
    void TransparencySet(int percent) override;
};

// The source every window reads when it is created. Not owned; null restores the default, the
// preferences file.
void AppearanceSourceSet(TAppearanceSource* source);
TAppearanceSource& Appearance();

// The highest transparency the program offers; a stored value above it (a hand-edited file)
// would make every window nearly or wholly invisible, so it is held at this.
constexpr int kTransparencyMax = 90;

// Alpha-blend value of a transparency percent: 255 - round-half-even(percent * 255 / 100).
// Blending is on exactly when the value is not 255.
int TransparencyAlpha(int percent);

// The one background picture of the program, loaded on first use from the stored "Image" path.
// A path whose volume does not answer or whose file is missing gives an empty picture.
const QImage& BackgroundPicture();
// Drops the loaded picture so the next use reads the stored path again.
void BackgroundPictureReload();
