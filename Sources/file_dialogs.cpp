// file_dialogs.cpp - the four modal file dialogs and the theme folder in the file manager. Every
// dialog runs through the platform's modal seam, which records it and can be answered by a
// script. A cancelled dialog returns false and its caller does nothing.
#include <cstdio>
#include <cstring>
#include <string>

#include "navigation.h"
#include "platform.h"
#include "theme_library.h"
#include "util_files.h"

char outFilePath[1024] = "";

namespace {

bool CopyPath(const std::string& path, char* out) {
    if (path.empty() || path.size() >= kPathSize) return false;
    memcpy(out, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace

bool HandleLoadProject(char* out) {
    ModalRequest r;
    r.kind = ModalKind::OpenFile;
    r.title = "Load Project";
    ModalAnswer a = plat_RunModal(r);
    if (!a.accepted || !CopyPath(a.path, outFilePath)) return false;
    strcpy(out, outFilePath);
    return strstr(outFilePath, ".vntr") != nullptr;
}

bool HandleSaveProject(char* inOut) {
    ModalRequest r;
    r.kind = ModalKind::SaveFile;
    r.title = "Save Project";
    r.suggestedName = inOut ? inOut : "";
    ModalAnswer a = plat_RunModal(r);
    if (!a.accepted || !CopyPath(a.path, outFilePath)) return false;
    strcpy(inOut, outFilePath);
    return true;
}

bool HandleSaveImage(char* out) {
    char folder[kPathSize], file[kPathSize];
    util_SplitFolderAndFile(currentPicture, folder, file);
    ModalRequest r;
    r.kind = ModalKind::SaveFile;
    r.suggestedName = file;
    ModalAnswer a = plat_RunModal(r);
    if (!a.accepted || !CopyPath(a.path, outFilePath)) return false;
    strcpy(out, outFilePath);
    return true;
}

bool HandleSaveFolder(char* out, const char* suggested) {
    outFilePath[0] = 0;
    ModalRequest r;
    r.kind = ModalKind::ChooseFolder;
    r.title = "Select a folder for the images";
    r.suggestedName = suggested ? suggested : "";
    ModalAnswer a = plat_RunModal(r);
    if (!a.accepted || a.path.empty()) return false;
    std::string folder = a.path;
    if (folder.back() != '/') folder += '/';
    if (!CopyPath(folder, outFilePath)) return false;
    strcpy(out, outFilePath);
    return true;
}

int OpenTheme() {
    std::string path = std::string(themeFolder) + currentTheme + THEME_EXT + "/Contents/";
    return plat_OpenFolder(path.c_str()) ? noErr : paramErr;
}
