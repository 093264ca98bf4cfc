// vexa.h - the framework's entry support.
//
// For now only the program folder, which the file module resolves relative
// names against. Depends on: nothing.
#pragma once

constexpr int VEXA_PATHMAX = 256; // wide characters of a GetPath buffer, zero included

void GetPath(char16_t* path);     // current working directory and "/" ("/" when unreadable)
