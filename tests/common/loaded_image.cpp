// Base relocations and import binding for an executable mapped by LoadLibraryA (see the header).
#include "tests/common/loaded_image.h"

#include <string.h>

#include "tests/common/pe_image.h"

namespace {

bool Fail(std::string* error, const std::string& what)
{
    *error = what;
    return false;
}

// Writes into the image whatever the protection of its page, and restores that protection.
bool Patch(void* at, const void* value, size_t size)
{
    DWORD old = 0;
    if (!VirtualProtect(at, size, PAGE_READWRITE, &old))
        return false;
    memcpy(at, value, size);
    DWORD ignored = 0;
    VirtualProtect(at, size, old, &ignored);
    return true;
}

bool Relocate(unsigned char* base, IMAGE_NT_HEADERS* nt, std::string* error)
{
    ULONG_PTR delta = reinterpret_cast<ULONG_PTR>(base) - static_cast<ULONG_PTR>(nt->OptionalHeader.ImageBase);
    if (delta == 0)
        return true;
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
    if (nt->FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED)
        return Fail(error, "image is not at its base and has no relocations");
    // No table and no mark that one was stripped: the image holds no address to fix (its code
    // reaches everything relative to itself), and the platform's loader maps it anywhere as is.
    if (dir.Size == 0)
        return true;
    unsigned char* at = base + dir.VirtualAddress;
    unsigned char* end = at + dir.Size;
    while (at + sizeof(IMAGE_BASE_RELOCATION) <= end) {
        IMAGE_BASE_RELOCATION* block = reinterpret_cast<IMAGE_BASE_RELOCATION*>(at);
        if (block->SizeOfBlock < sizeof *block || block->SizeOfBlock > static_cast<DWORD>(end - at)) {
            return Fail(error, "malformed relocation block");
        }
        const WORD* entries = reinterpret_cast<const WORD*>(block + 1);
        size_t count = (block->SizeOfBlock - sizeof *block) / sizeof(WORD);
        for (size_t i = 0; i < count; ++i) {
            unsigned char* target = base + block->VirtualAddress + (entries[i] & 0x0FFF);
            switch (entries[i] >> 12) {
            case IMAGE_REL_BASED_ABSOLUTE:
                break;
            case IMAGE_REL_BASED_HIGHLOW: {
                DWORD value;
                memcpy(&value, target, sizeof value);
                value += static_cast<DWORD>(delta);
                if (!Patch(target, &value, sizeof value))
                    return Fail(error, "cannot write a relocation");
                break;
            }
            case IMAGE_REL_BASED_DIR64: {
                ULONGLONG value;
                memcpy(&value, target, sizeof value);
                value += delta;
                if (!Patch(target, &value, sizeof value))
                    return Fail(error, "cannot write a relocation");
                break;
            }
            default:
                return Fail(error, "unsupported relocation type " + std::to_string(entries[i] >> 12));
            }
        }
        at += block->SizeOfBlock;
    }
    ULONG_PTR now = reinterpret_cast<ULONG_PTR>(base);
    decltype(nt->OptionalHeader.ImageBase) recorded = now;
    if (!Patch(&nt->OptionalHeader.ImageBase, &recorded, sizeof recorded))
        return Fail(error, "cannot record the new base");
    return true;
}

bool BindImports(unsigned char* base, std::string* error, ImportReplacement replace)
{
    pe::Image image = pe::ReadLoadedImage(base);
    if (!image.error.empty())
        return Fail(error, image.error);
    for (const pe::Import& import : image.imports) {
        HMODULE library = LoadLibraryA(import.dll.c_str());
        if (!library)
            return Fail(error, "cannot load " + import.dll);
        FARPROC address;
        if (import.name.empty()) {
            address = GetProcAddress(library, MAKEINTRESOURCEA(import.ordinal));
        } else {
            address = replace ? replace(import.dll.c_str(), import.name.c_str()) : nullptr;
            if (!address)
                address = GetProcAddress(library, import.name.c_str());
        }
        std::string what = import.name.empty() ? "#" + std::to_string(import.ordinal) : import.name;
        if (!address)
            return Fail(error, "cannot find " + import.dll + "!" + what);
        ULONG_PTR value = reinterpret_cast<ULONG_PTR>(address);
        if (!Patch(base + import.slot, &value, sizeof value))
            return Fail(error, "cannot write the import address table");
    }
    return true;
}

} // namespace

bool PrepareLoadedImage(HMODULE module, std::string* error, ImportReplacement replace)
{
    unsigned char* base = reinterpret_cast<unsigned char*>(module);
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (!base || dos->e_magic != IMAGE_DOS_SIGNATURE)
        return Fail(error, "no image");
    IMAGE_NT_HEADERS* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE || nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR_MAGIC)
        return Fail(error, "not an image of this architecture");
    return Relocate(base, nt, error) && BindImports(base, error, replace);
}

int PatchImport(const char* dll, const char* name, void* hook, void** original)
{
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    void* target = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(dll), name));
    for (const pe::Import& import : pe::ReadLoadedImage(base).imports) {
        void** slot = reinterpret_cast<void**>(base + import.slot);
        if (lstrcmpiA(import.dll.c_str(), dll) != 0 || (import.name != name && *slot != target))
            continue;
        *original = *slot;
        return Patch(slot, &hook, sizeof hook);
    }
    return 0;
}
