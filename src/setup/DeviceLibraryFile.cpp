#include "setup/DeviceLibraryFile.h"

#include "config/FileLocations.h"
#include "device/KardemoDLL.h"
#include "dsu/device/SimulatedDsu.h"

#include <dlfcn.h>
#include <elf.h>

#include <cstring>
#include <fstream>
#include <vector>

namespace solvane::setup {

namespace {

template <typename T> bool readAt(std::ifstream& in, uint64_t offset, T* into, std::size_t count) {
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(into), static_cast<std::streamsize>(sizeof(T) * count));
    return static_cast<bool>(in);
}

} // namespace

DeviceLibraryFile DeviceLibraryFile::of(KardemoDLL& device) {
    const KardemoFunctions& functions = device.functions();
    DeviceLibraryFile library;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(functions.InitialiseDSU), &info) != 0 &&
        info.dli_fname != nullptr)
        library.file = std::filesystem::absolute(info.dli_fname);
    library.bundled = hasSection(library.file, dsusim::SimulatedDsu::CheckSection);
    library.dsuConfigFolder = FileLocations::forFolder(library.file.parent_path()).configFolder();
    return library;
}

bool DeviceLibraryFile::hasSection(const std::filesystem::path& file, std::string_view name) {
    std::ifstream in(file, std::ios::binary);
    Elf64_Ehdr header{};
    if (!readAt(in, 0, &header, 1) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_shentsize != sizeof(Elf64_Shdr) ||
        header.e_shstrndx >= header.e_shnum)
        return false;
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    if (!readAt(in, header.e_shoff, sections.data(), sections.size()))
        return false;
    const Elf64_Shdr& names = sections[header.e_shstrndx];
    constexpr uint64_t LongestNames = 1U << 20;
    if (names.sh_size > LongestNames)
        return false;
    std::vector<char> text(names.sh_size + 1, '\0');
    if (!readAt(in, names.sh_offset, text.data(), names.sh_size))
        return false;
    for (const Elf64_Shdr& section : sections)
        if (section.sh_name < names.sh_size && std::string_view(&text[section.sh_name]) == name)
            return true;
    return false;
}

} // namespace solvane::setup
