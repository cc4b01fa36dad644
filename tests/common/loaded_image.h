// Makes an executable that LoadLibraryA mapped into this process callable through its exports.
#pragma once
#include <windows.h>

#include <string>

// Wine 8 maps an .exe loaded with LoadLibraryA but neither applies its base relocations nor
// binds its imports, so the first call into an export would jump through an unbound table or
// use unrelocated addresses. This applies the relocations when the image is not at the base its
// header names (and then records the new base there, as the platform's own loader does), and
// fills the import address table through LoadLibraryA/GetProcAddress. An image that is already
// prepared is left as it is, apart from its import table being written again with the same
// addresses. Says in `error` what it could not do.
//
// `replace`, when given, may return another address for an import (by DLL and function name) so
// that a test can watch what the image asks of the platform; null keeps GetProcAddress's answer.
using ImportReplacement = FARPROC (*)(const char* dll, const char* function);
bool PrepareLoadedImage(HMODULE module, std::string* error, ImportReplacement replace = nullptr);

// Points this program's import of dll!name (and any other import of dll bound to the same
// function) at hook; the former target goes to *original. 1 when an import was found.
int PatchImport(const char* dll, const char* name, void* hook, void** original);
