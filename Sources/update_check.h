// update_check.h - asking the maker's server whether a newer release exists.
#pragma once

// True when the user chose to download a new release; the caller then ends the program.
bool CheckVersionUpdate(bool silent);
