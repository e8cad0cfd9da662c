// libFuzzer target for the settings file as the program loads and saves it
// (processINIFile::LoadSettings and SaveSettings). The input is the file's contents.
//
// Any file either loads, with every setting in the range the program runs with, or is refused
// with RunTimeError (a value) or ProfileReadError (no text it can read), leaving the settings in memory and the file as they were. A file that
// loads is written back; loading that again gives the same settings, and a second write
// changes no byte.

#include "config/ProfileFile.h"
#include "config/Settings.h"
#include "config/processINIFile.h"
#include "checked/RunTimeError.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

using solvane::RunTimeError;
using solvane::Settings;
namespace ini = solvane::processINIFile;

namespace {

[[noreturn]] void fail(const char* what, std::string_view text) {
    std::fprintf(stderr, "settings file fuzzer: %s\nfile (%zu bytes): \"%.*s\"\n", what,
                 text.size(), static_cast<int>(text.size()), text.data());
    std::abort();
}

// A folder of its own, in memory where the system offers it, since every input is written.
const std::filesystem::path& folder() {
    static const std::filesystem::path path = [] {
        std::string pattern = (std::filesystem::exists("/dev/shm")
                                   ? std::string("/dev/shm")
                                   : std::filesystem::temp_directory_path().string()) +
                              "/solvane-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        std::atexit([] { std::filesystem::remove_all(folder()); });
        return std::filesystem::path(pattern);
    }();
    return path;
}

std::string contents() {
    std::ifstream in(ini::SettingsFilePath(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool same(const Settings& a, const Settings& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ini::SetProgramFolder(folder());
    {
        std::ofstream out(ini::SettingsFilePath(), std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }

    const Settings before{-1, -2, -3, -4, -5, -6, -7, -8, -9, -10};
    solvane::settings = before;
    auto refused = [&] {
        if (!same(solvane::settings, before))
            fail("a refused file changed settings in memory", text);
        if (contents() != text)
            fail("a refused file was changed", text);
        return 0;
    };
    try {
        ini::LoadSettings();
    } catch (const RunTimeError&) {
        return refused();
    } catch (const solvane::ProfileReadError&) {
        return refused();
    }
    const Settings loaded = solvane::settings;
    if (loaded.DSUSampleRate < 1 || loaded.DSUSampleRate > 256)
        fail("DSUSampleRate outside 1..256 was loaded", text);
    for (const int16_t channel :
         {loaded.AVEChannel1, loaded.AVEChannel2, loaded.AVEChannel3, loaded.AVEChannel4})
        if (channel < 0 || channel > 21)
            fail("a channel outside 0..21 was loaded", text);

    try {
        ini::SaveSettings();
        const std::string written = contents();
        solvane::settings = before;
        ini::LoadSettings();
        if (!same(solvane::settings, loaded))
            fail("the settings written do not load back the same", text);
        ini::SaveSettings();
        if (contents() != written)
            fail("writing the same settings twice changed the file", text);
    } catch (const std::exception& error) {
        fail(error.what(), text);
    }
    return 0;
}
