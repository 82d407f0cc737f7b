// A sample theme library: five theme bundles laid out as the site builder keeps them, at the
// top of the theme folder and one subfolder deep, with both bundle extensions. Each bundle
// has pictures in "Contents/Images/" and "Contents/Images/Editable_Images/" and its preview
// pictures in the lower-case "contents/" folder. A few odd entries (a text file, ".jpeg" and
// ".PNG" extensions, a "preview_large.jpg") exercise the listing rules.
#include "resgen.h"

#include <QImage>

namespace {

struct Bundle {
    const char* folder;        // bundle path relative to the theme folder
    SampleTheme theme;
    const char* largePreview;  // "contents/preview_large.*" or nullptr
    const char* buttonLabel;
    const char* photoName;     // name of the photo among the editable pictures
    bool withNotes;            // a non-picture file among the pictures
    const char* extraPicture;  // an additional picture directly in Contents/Images, or nullptr
};

const Bundle kBundles[] = {
    {"Aurora.pagewrighttheme",
     {"Aurora", "Northern lights for your next story", QColor(18, 24, 58), QColor(40, 110, 130),
      QColor(150, 230, 200), QColor(170, 100, 220), 1u},
     "preview_large.png", "Read more", "photo.png", false, nullptr},
    {"Harbor.pagewrighttheme",
     {"Harbor", "Fresh news from the waterfront", QColor(16, 36, 64), QColor(42, 88, 140),
      QColor(190, 214, 232), QColor(236, 128, 52), 2u},
     "preview_large.jpg", "Contact", "photo.png", false, nullptr},
    {"Meadow.pagewrighttheme",
     {"Meadow", "Gardens, recipes and long summer days", QColor(40, 70, 30), QColor(96, 150, 70),
      QColor(220, 236, 170), QColor(236, 196, 60), 3u},
     nullptr, "Visit us", "photo.png", true, nullptr},
    {"Nested/Granite.pagewrighttheme",
     {"Granite", "Solid design for serious work", QColor(34, 38, 44), QColor(88, 96, 108),
      QColor(200, 206, 212), QColor(40, 170, 160), 4u},
     nullptr, "Projects", "photo.png", false, "stripe.PNG"},
    {"Coastal.pwtheme",
     {"Coastal", "Sand, surf and sunny weekends", QColor(20, 80, 100), QColor(50, 160, 180),
      QColor(246, 226, 190), QColor(240, 110, 90), 5u},
     nullptr, "Book now", "photo.jpeg", false, nullptr},
};

// Format for a file name, chosen by its extension.
const char* FormatOf(const QString& name)
{
    const QString lower = name.toLower();
    if (lower.endsWith(".png"))
        return "png";
    return "jpg";
}

bool Save(const QImage& img, const QString& path)
{
    return SavePicture(img, path, FormatOf(path), FormatOf(path)[0] == 'j' ? 88 : -1);
}

// A narrow repeating stripe, the kind of tile a theme uses for rules and separators.
QImage Stripe(const SampleTheme& t)
{
    QImage img(8, 64, QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y) {
        const double k = double(y) / (img.height() - 1);
        const QColor c = QColor::fromRgbF(float(t.mid.redF() * (1 - k) + t.dark.redF() * k),
                                          float(t.mid.greenF() * (1 - k) + t.dark.greenF() * k),
                                          float(t.mid.blueF() * (1 - k) + t.dark.blueF() * k));
        for (int x = 0; x < img.width(); ++x)
            img.setPixelColor(x, y, c);
    }
    return img;
}

bool WriteBundle(const QString& root, const Bundle& b)
{
    const SampleTheme& t = b.theme;
    const QString bundle = root + "/" + b.folder;
    const QString images = bundle + "/Contents/Images";
    const QString editable = images + "/Editable_Images";
    const QString previews = bundle + "/contents";   // lower case on purpose: its own folder here
    if (!MakeFolder(editable) || !MakeFolder(previews))
        return false;

    bool ok = Save(ThemeHeader(t, 960, 240), images + "/header.jpg")
              && Save(ThemeBackground(t, 800, 600), images + "/background.png")
              && Save(ThemeButton(t, 160, 48, QString::fromUtf8(b.buttonLabel)),
                      images + "/button.png")
              && Save(ThemeBanner(t, 900, 300), editable + "/banner.jpg")
              && Save(ThemePhoto(t, 640, 427), editable + "/" + b.photoName)
              && Save(ThemeLogo(t, 300, 120), editable + "/logo.png")
              && Save(ThemePreview(t, 200, 150), previews + "/preview.png");
    if (ok && b.largePreview)
        ok = Save(ThemePreview(t, 400, 300), previews + "/" + b.largePreview);
    if (ok && b.extraPicture)
        ok = Save(Stripe(t), images + "/" + b.extraPicture);
    if (ok && b.withNotes)
        ok = SaveText(images + "/notes.txt",
                      QByteArray("Pictures of the ") + t.name
                          + " theme. This file is not a picture and is not listed.\n");
    return ok;
}

} // namespace

bool WriteSampleThemes(const QString& dir)
{
    for (const Bundle& b : kBundles)
        if (!WriteBundle(dir, b))
            return false;
    return true;
}
