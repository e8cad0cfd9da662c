#include "setup/DeviceLibraryFile.h"

#include "config/FileLocations.h"
#include "device/KardemoDLL.h"
#include "dsu/device/SimulatedDsu.h"
#include "files/FileDescriptor.h"
#include "files/FileIo.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>

#include <cstring>
#include <vector>

namespace solvane::setup {

namespace {

template <typename T> bool readAt(int fd, uint64_t offset, T* into, std::size_t count) {
    return files::readAt(fd, into, sizeof(T) * count, offset);
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
    // Without blocking, so that a FIFO of that name cannot hang the window.
    const files::FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    const int in = fd.get();
    Elf64_Ehdr header{};
    if (in < 0 || !readAt(in, 0, &header, 1) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
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
