// theme_fixture.cpp - the test theme folder.
#include "theme_fixture.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <cstring>
#include <fstream>
#include <sstream>

#include "app_fixture.h"
#include "theme_library.h"
#include "tools_window.h"

ThemeFolder::ThemeFolder() {
    memcpy(savedFolder_, themeFolder, sizeof savedFolder_);
    memcpy(savedTheme_, currentTheme, sizeof savedTheme_);
    memcpy(savedPicture_, currentPicture, sizeof savedPicture_);
    savedAll_ = allThemes;
    savedOld_ = oldThemes;
    root = MakeTempDir("themes") + "/";
    Picture("Alpha.pagewrighttheme/Contents/Images/header.jpg", 200, 100, QColor(40, 90, 160));
    Picture("Alpha.pagewrighttheme/Contents/Images/Editable_Images/logo.png", 120, 60, QColor(250, 250, 250));
    Picture("Beta.pagewrighttheme/Contents/Images/banner.png", 160, 80, QColor(30, 160, 60));
    Picture("Beta.pagewrighttheme/Contents/Images/Editable_Images/photo.jpg", 90, 60, QColor(200, 30, 30));
    snprintf(themeFolder, sizeof themeFolder, "%s", root.c_str());
    allThemes = 1;
    oldThemes = -1;
}

ThemeFolder::~ThemeFolder() {
    memcpy(themeFolder, savedFolder_, sizeof savedFolder_);
    memcpy(currentTheme, savedTheme_, sizeof savedTheme_);
    memcpy(currentPicture, savedPicture_, sizeof savedPicture_);
    allThemes = savedAll_;
    oldThemes = savedOld_;
}

std::string ThemeFolder::Picture(const std::string& rel, int w, int h, QColor c, const char* format) {
    std::string path = root + rel;
    QDir().mkpath(QFileInfo(QString::fromStdString(path)).path());
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    img.save(QString::fromStdString(path), format, 95);
    return path;
}

std::string ThemeFolder::Bytes(const std::string& path) const {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

ThemeFolder* StartOnTheSampleTheme() {
    EnsureProgramStarted();
    auto* themes = new ThemeFolder;
    ScriptedModals quiet;
    InitValues();
    return themes;
}
