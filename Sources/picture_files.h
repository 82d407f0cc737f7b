// picture_files.h - reading picture files and writing the composite and temporary pictures.
#pragma once

#include <cstdint>

#include "platform.h"

bool SaveImage(const char* path, int width, int height, OSType fileType);
