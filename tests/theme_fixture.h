// theme_fixture.h - a real theme folder for tests: two bundles with JPEG and PNG pictures, made
// with Qt, installed as the program's theme folder for the duration of a test.
#pragma once

#include <QColor>

#include <string>

class ThemeFolder {
public:
    // Builds the folder and makes it the program's theme folder (all-pictures mode); the
    // previous theme globals come back in the destructor.
    ThemeFolder();
    ~ThemeFolder();
    // root + "/", as the program's themeFolder.
    std::string root;
    // Writes a solid picture at bundle-relative path (e.g. "Alpha.pagewrighttheme/Contents/Images/a.png").
    std::string Picture(const std::string& rel, int w, int h, QColor c, const char* format = nullptr);
    std::string Bytes(const std::string& path) const;

private:
    char savedFolder_[1024];
    char savedTheme_[1024];
    char savedPicture_[1024];
    int savedAll_, savedOld_;
};

// Starts the program (once per process) on a new ThemeFolder and opens its first picture, Alpha's
// header.jpg (200 x 100), with the alerts of the start answered. The caller deletes the folder.
ThemeFolder* StartOnTheSampleTheme();
