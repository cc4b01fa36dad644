// The PE reader: headers, section table, export directory, import and delay-import tables.
#include "tests/common/pe_image.h"

namespace pe {
namespace {

const uint32_t kExecutableSection = 0x20000000;

struct Section {
    uint32_t rva, size, fileOffset, characteristics;
};

class Reader {
public:
    Reader(const uint8_t* bytes, size_t size, bool mapped) : bytes_(bytes), size_(size), mapped_(mapped) {}

    bool U16(uint64_t at, uint16_t* value) const
    {
        if (at + 2 > size_)
            return false;
        *value = static_cast<uint16_t>(bytes_[at] | bytes_[at + 1] << 8);
        return true;
    }
    bool U32(uint64_t at, uint32_t* value) const
    {
        uint16_t low, high;
        if (!U16(at, &low) || !U16(at + 2, &high))
            return false;
        *value = low | static_cast<uint32_t>(high) << 16;
        return true;
    }
    bool U64(uint64_t at, uint64_t* value) const
    {
        uint32_t low, high;
        if (!U32(at, &low) || !U32(at + 4, &high))
            return false;
        *value = low | static_cast<uint64_t>(high) << 32;
        return true;
    }
    // Where an RVA lies: in a mapped image at that offset, in a file inside a section's raw data.
    bool Offset(uint32_t rva, uint64_t* at, const Section** in = nullptr) const
    {
        for (const Section& s : sections_)
            if (rva >= s.rva && rva - s.rva < s.size) {
                *at = mapped_ ? rva : static_cast<uint64_t>(s.fileOffset) + (rva - s.rva);
                if (in)
                    *in = &s;
                return *at < size_;
            }
        *at = rva;
        return mapped_ && rva < size_;
    }
    bool String(uint32_t rva, std::string* text) const
    {
        uint64_t at;
        if (!Offset(rva, &at))
            return false;
        text->clear();
        for (; at < size_; ++at) {
            if (bytes_[at] == 0)
                return true;
            text->push_back(static_cast<char>(bytes_[at]));
        }
        return false;
    }

    Image Read()
    {
        Image out;
        uint32_t peOffset, signature, exportRva, exportSize, importRva, delayRva, count;
        uint16_t sectionCount, optionalSize, magic;
        if (size_ < 64 || bytes_[0] != 'M' || bytes_[1] != 'Z')
            return Failed(&out, "no MZ header");
        if (!U32(0x3C, &peOffset) || !U32(peOffset, &signature) || signature != 0x00004550)
            return Failed(&out, "no PE signature");
        uint64_t header = static_cast<uint64_t>(peOffset) + 4, optional = header + 20;
        if (!U16(header, &out.machine) || !U16(header + 2, &sectionCount) || !U16(header + 16, &optionalSize))
            return Failed(&out, "truncated file header");
        if (!U16(optional, &magic) || (magic != 0x10B && magic != 0x20B))
            return Failed(&out, "unknown optional header");
        wide_ = magic == 0x20B;
        uint64_t directories = optional + (wide_ ? 112 : 96);
        if (!U32(directories - 4, &count) || count < 14 || !U32(directories, &exportRva) ||
            !U32(directories + 4, &exportSize) || !U32(directories + 8, &importRva) ||
            !U32(directories + 13 * 8, &delayRva))
            return Failed(&out, "truncated data directories");
        for (uint16_t i = 0; i < sectionCount; ++i) {
            Section s;
            uint64_t at = optional + optionalSize + 40ull * i;
            uint32_t virtualSize, rawSize;
            if (!U32(at + 8, &virtualSize) || !U32(at + 12, &s.rva) || !U32(at + 16, &rawSize) ||
                !U32(at + 20, &s.fileOffset) || !U32(at + 36, &s.characteristics))
                return Failed(&out, "truncated section table");
            s.size = mapped_ || virtualSize < rawSize ? virtualSize : rawSize;
            sections_.push_back(s);
        }
        if (exportRva != 0 && !Exports(exportRva, exportSize, &out))
            return Failed(&out, "export directory outside the image");
        // Import descriptors are 20 bytes with the name at 12, delay-load ones 32 bytes with the
        // name at 4; each table ends with a descriptor of zeros.
        if (!Imports(importRva, 20, 12, &out.importDlls, &out.imports) ||
            !Imports(delayRva, 32, 4, &out.delayImportDlls, nullptr))
            return Failed(&out, "import tables outside the image");
        return out;
    }

private:
    bool Exports(uint32_t directoryRva, uint32_t directorySize, Image* out) const
    {
        uint64_t dir, functions, names, ordinals;
        uint32_t nameRva, nameCount, functionsRva, namesRva, ordinalsRva;
        if (!Offset(directoryRva, &dir) || !U32(dir + 12, &nameRva) || !U32(dir + 16, &out->exportBase) ||
            !U32(dir + 20, &out->functionCount) || !U32(dir + 24, &nameCount) || !U32(dir + 28, &functionsRva) ||
            !U32(dir + 32, &namesRva) || !U32(dir + 36, &ordinalsRva) || !String(nameRva, &out->module) ||
            !Offset(functionsRva, &functions) || !Offset(namesRva, &names) || !Offset(ordinalsRva, &ordinals))
            return false;
        for (uint32_t i = 0; i < nameCount; ++i) {
            Export e;
            uint32_t entryNameRva;
            uint16_t index;
            if (!U32(names + 4ull * i, &entryNameRva) || !String(entryNameRva, &e.name) ||
                !U16(ordinals + 2ull * i, &index) || index >= out->functionCount ||
                !U32(functions + 4ull * index, &e.rva))
                return false;
            e.ordinal = out->exportBase + index;
            uint64_t code;
            const Section* section = nullptr;
            bool forwarded = e.rva >= directoryRva && e.rva - directoryRva < directorySize;
            e.inCode = !forwarded && Offset(e.rva, &code, &section) && section &&
                       (section->characteristics & kExecutableSection);
            out->exports.push_back(e);
        }
        return true;
    }

    // The DLL names of a table of descriptors; with entries, each import of each DLL as well
    // (ordinary descriptors only: the lookup table at 0, the address table at 16).
    bool Imports(uint32_t tableRva, uint32_t width, uint32_t nameAt, std::vector<std::string>* dlls,
                 std::vector<Import>* entries) const
    {
        uint64_t table;
        if (tableRva == 0)
            return true;
        if (!Offset(tableRva, &table))
            return false;
        for (uint64_t at = table;; at += width) {
            uint32_t first, nameRva, lookupRva, slotRva;
            std::string dll;
            if (!U32(at, &first) || !U32(at + nameAt, &nameRva))
                return false;
            if (first == 0 && nameRva == 0)
                return true;
            if (!String(nameRva, &dll))
                return false;
            dlls->push_back(dll);
            if (!entries)
                continue;
            if (!U32(at + 16, &slotRva))
                return false;
            lookupRva = first ? first : slotRva;  // without a lookup table the address table names them
            if (!Entries(dll, lookupRva, slotRva, entries))
                return false;
        }
    }

    bool Entries(const std::string& dll, uint32_t lookupRva, uint32_t slotRva, std::vector<Import>* entries) const
    {
        const uint32_t step = wide_ ? 8 : 4;
        for (uint32_t i = 0;; ++i) {
            uint64_t at, thunk;
            uint32_t thunk32;
            if (!Offset(lookupRva + i * step, &at) || !(wide_ ? U64(at, &thunk) : U32(at, &thunk32)))
                return false;
            if (!wide_)
                thunk = thunk32;
            if (thunk == 0)
                return true;
            Import entry;
            entry.dll = dll;
            entry.slot = slotRva + i * step;
            if (thunk >> (wide_ ? 63 : 31))
                entry.ordinal = static_cast<uint32_t>(thunk & 0xFFFF);
            else if (!String(static_cast<uint32_t>(thunk) + 2, &entry.name))
                return false;
            entries->push_back(entry);
        }
    }

    static Image Failed(Image* out, const std::string& why)
    {
        out->error = why;
        return *out;
    }

    const uint8_t* bytes_;
    size_t size_;
    bool mapped_;
    bool wide_ = false;
    std::vector<Section> sections_;
};

}  // namespace

Image ReadImage(const uint8_t* bytes, size_t size, bool mapped)
{
    return Reader(bytes, size, mapped).Read();
}

Image ReadLoadedImage(const void* base)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(base);
    uint32_t peOffset = 0, imageSize = 0;
    Reader headers(bytes, 4096, true);  // the headers lie in the image's first page
    if (!headers.U32(0x3C, &peOffset) || !headers.U32(peOffset + 4 + 20 + 56, &imageSize)) {
        Image failed;
        failed.error = "no image";
        return failed;
    }
    return ReadImage(bytes, imageSize, true);
}

}  // namespace pe
