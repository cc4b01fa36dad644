// The tests' one reader of PE images: the exports, the imports and the DLL names that a program
// image holds, read from a file's bytes (natively too) or from an image the loader has mapped.
// Every read is bounds-checked: a damaged file gives an error, never a read beyond its bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pe {

struct Export {
    std::string name;
    uint32_t ordinal = 0;  // biased: the number GetProcAddress takes
    uint32_t rva = 0;
    bool inCode = false;   // points into an executable section (so it is not forwarded)
};

struct Import {
    std::string dll;
    std::string name;      // empty for an import by ordinal
    uint32_t ordinal = 0;  // for an import by ordinal
    uint32_t slot = 0;     // RVA of its entry in the import address table
};

struct Image {
    std::string error;     // empty when the image was read whole
    uint16_t machine = 0;
    std::string module;    // the export directory's name of the module; "" without exports
    uint32_t exportBase = 0;
    uint32_t functionCount = 0;
    std::vector<Export> exports;  // in the order of the name table
    std::vector<Import> imports;  // in the order of the import tables
    std::vector<std::string> importDlls, delayImportDlls;  // in table order
};

// The image in bytes[0, size): a file's bytes, or with mapped an image as the loader lays it out
// (an RVA is then the offset from its first byte).
Image ReadImage(const uint8_t* bytes, size_t size, bool mapped);
// An image the loader has mapped, its size taken from its own header.
Image ReadLoadedImage(const void* base);

}  // namespace pe
