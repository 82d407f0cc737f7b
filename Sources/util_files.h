// util_files.h - path, file and folder helpers shared by the whole program.
//
// String surgery on paths (split at the last "/" and ".", split at the first separating "/"),
// file probes (exists, size), a safe file copy or move, folder creation, and the locations of
// the preferences, temporary and resources folders. Paths are NUL-terminated byte strings held
// in buffers of kPathSize bytes; every helper that writes a path writes at most kPathSize bytes
// (terminator included) and answers false rather than overflow. Failures are reported through the
// result only; no helper shows a message or prints anything.
#pragma once

enum { kPathSize = 1024 };

// Splits path at its last "/" and its last "." (searched independently over the positions
// strlen - 1 down to 1; position 0 is never a separator). On success folderOut (may be null) gets
// the text up to and including the "/", extOut (may be null) gets the text from the "." to the
// end, path is overwritten with the text strictly between them (empty when the "." lies before
// the "/"), and the result is true. False, changing nothing, when path is shorter than 2 bytes,
// has no "/" past position 0, has no "." while extOut is wanted, or is kPathSize bytes or longer.
bool util_SplitPath(char* folderOut, char* path, char* extOut);

// Splits path at its first "/" standing at position 1 or more: folderOut = text before it,
// fileOut = text after it, true. Without such a "/": folderOut = "", fileOut = path, false.
// A path of kPathSize bytes or longer gives two empty outputs and false.
bool util_SplitFolderAndFile(const char* path, char* folderOut, char* fileOut);

// True when path can be opened for reading; an existing folder counts (with or without a
// trailing "/").
bool util_exists(const char* path);

// Size in bytes of the regular file at path; 0 when it can't be opened or is not a regular file.
long util_fileDim(const char* path);

// Copies srcFolder + srcName to dstFolder + dstName (plain concatenation); with move, deletes the
// source after the copy has succeeded. The source is read whole before the destination is
// touched, and the destination is written to a temporary file beside it and renamed into place,
// so a failure leaves an existing destination exactly as it was. False when the source can't be
// read, the destination can't be written or a path would not fit in kPathSize bytes.
bool util_CopyFile(const char* srcFolder, const char* srcName, const char* dstFolder,
                   const char* dstName, bool move);

// Creates the folder name (one path component, at most 255 bytes) inside the existing folder
// parent ("/" is added between them when parent lacks it). True when created or when a folder of
// that name already exists; false when parent is missing or name exists as something else.
bool util_CreateFolder(const char* parent, const char* name);

// The current user's preferences folder, ending in "/", into out[kPathSize].
bool util_GetPrefsFolder(char* out);
// The user's temporary-items folder (created when missing), ending in "/", into out[kPathSize].
bool util_GetTempFolder(char* out);
// The folder of the program's own resources, without a trailing "/", into out[kPathSize].
bool GetResFolder(char* out);

// The path of the resource file name ("background.tif") into out[kPathSize]; false when the
// resources folder is unknown or the path would not fit.
bool util_ResourcePath(const char* name, char* out);
