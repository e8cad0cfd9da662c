#include "dsu/eeg/EdfInputFile.h"

#include "dsu/common/ConfigError.h"
#include "dsu/common/Text.h"

#include <cstdlib>
#include <fstream>
#include <unistd.h>
#include <vector>

namespace solvane::dsusim {

namespace {

std::string edflibReason(int code) {
    switch (code) {
    case EDFLIB_MALLOC_ERROR:
        return "out of memory";
    case EDFLIB_NO_SUCH_FILE_OR_DIRECTORY:
        return "cannot be opened";
    case EDFLIB_FILE_CONTAINS_FORMAT_ERRORS:
        return "is not a valid EDF, EDF+, BDF or BDF+ file";
    case EDFLIB_MAXFILES_REACHED:
        return "cannot be opened: too many open recordings";
    case EDFLIB_FILE_READ_ERROR:
        return "cannot be read";
    case EDFLIB_FILE_ALREADY_OPENED:
        return "is already open";
    case EDFLIB_FILETYPE_ERROR:
        return "is not an EDF, EDF+, BDF or BDF+ file";
    case EDFLIB_FILE_IS_DISCONTINUOUS:
        return "is discontinuous (EDF+D or BDF+D), which cannot be replayed";
    default:
        return "cannot be read (EDFlib error " + std::to_string(code) + ")";
    }
}

// The header of an EDF file: 256 bytes, then per field one entry of each of the `signals`
// signals in turn.
struct HeaderLayout {
    static constexpr std::size_t Reserved = 192;
    static constexpr std::size_t Signals = 252;
    static constexpr std::size_t Fixed = 256;
    // Offsets of the per-signal fields, in units of `signals` bytes, and their widths.
    static constexpr std::size_t Label = 0, LabelWidth = 16;
    static constexpr std::size_t Transducer = 16, TransducerWidth = 80;
    static constexpr std::size_t Unit = 96, UnitWidth = 8;
    static constexpr std::size_t Prefilter = 96 + 8 * 5, PrefilterWidth = 80;
};

enum class Repair { None, AnnotationFields, PlainFormat };

std::filesystem::path privateCopy(const std::string& bytes);

// Writes a repaired copy of the recording to a private temporary file; empty when the file's
// header is not one that this repair applies to.
std::filesystem::path repairedCopy(const std::filesystem::path& path, Repair repair) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof())
        return {};
    if (bytes.size() < HeaderLayout::Fixed)
        return {};
    if (repair == Repair::None)
        return privateCopy(bytes);
    const std::string reserved = bytes.substr(HeaderLayout::Reserved, 4);
    if (reserved != "EDF+" && reserved != "BDF+")
        return {};
    const int signals = std::atoi(bytes.substr(HeaderLayout::Signals, 4).c_str());
    if (signals <= 0 || bytes.size() < HeaderLayout::Fixed * (1U + signals))
        return {};

    const auto n = static_cast<std::size_t>(signals);
    if (repair == Repair::PlainFormat) {
        bytes.replace(HeaderLayout::Reserved, 5, 5, ' ');
    } else {
        auto field = [&](std::size_t offset, std::size_t width, std::size_t signal) {
            return HeaderLayout::Fixed + offset * n + width * signal;
        };
        bool changed = false;
        for (std::size_t s = 0; s < n; ++s) {
            const std::string label =
                bytes.substr(field(HeaderLayout::Label, HeaderLayout::LabelWidth, s), 15);
            if (label != "EDF Annotations" && label != "BDF Annotations")
                continue;
            bytes.replace(field(HeaderLayout::Transducer, HeaderLayout::TransducerWidth, s),
                          HeaderLayout::TransducerWidth, HeaderLayout::TransducerWidth, ' ');
            bytes.replace(field(HeaderLayout::Unit, HeaderLayout::UnitWidth, s),
                          HeaderLayout::UnitWidth, HeaderLayout::UnitWidth, ' ');
            bytes.replace(field(HeaderLayout::Prefilter, HeaderLayout::PrefilterWidth, s),
                          HeaderLayout::PrefilterWidth, HeaderLayout::PrefilterWidth, ' ');
            changed = true;
        }
        if (!changed)
            return {};
    }
    return privateCopy(bytes);
}

std::filesystem::path privateCopy(const std::string& bytes) {
    std::string name = (std::filesystem::temp_directory_path() / "dsu-replay-XXXXXX").string();
    const int fd = mkstemp(name.data());
    if (fd < 0)
        return {};
    close(fd);
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::filesystem::remove(name);
        return {};
    }
    return name;
}

} // namespace

EdfInputFile::EdfInputFile(const std::filesystem::path& path)
    : header_(std::make_unique<edf_hdr_struct>()) {
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        throw SimulatorConfigError(ConfigKey::Source, ConfigFault::FileMissing,
                                   "Source: the recording " + path.string() + " does not exist");
    if (!std::filesystem::is_regular_file(path, error))
        throw SimulatorConfigError(ConfigKey::Source, ConfigFault::FileUnreadable,
                                   "Source: " + path.string() + " is not a file");

    if (edfopen_file_readonly(path.c_str(), header_.get(), EDFLIB_DO_NOT_READ_ANNOTATIONS) == 0)
        return;
    const int reason = header_->filetype;
    std::vector<Repair> repairs;
    if (reason == EDFLIB_FILE_CONTAINS_FORMAT_ERRORS)
        repairs = {Repair::AnnotationFields, Repair::PlainFormat};
    else if (reason == EDFLIB_FILE_ALREADY_OPENED) // EDFlib opens a path only once
        repairs = {Repair::None};
    for (const Repair repair : repairs) {
        const std::filesystem::path copy = repairedCopy(path, repair);
        if (copy.empty())
            continue;
        const int result =
            edfopen_file_readonly(copy.c_str(), header_.get(), EDFLIB_DO_NOT_READ_ANNOTATIONS);
        // EDFlib keeps the file open; the copy's name is no longer needed.
        std::filesystem::remove(copy, error);
        if (result == 0)
            return;
    }
    throw SimulatorConfigError(ConfigKey::Source, ConfigFault::FileUnreadable,
                               "Source: the recording " + path.string() + " " +
                                   edflibReason(reason));
}

EdfInputFile::~EdfInputFile() {
    edfclose_file(header_->handle);
}

double EdfInputFile::sampleRate(int signal) const {
    const double recordSeconds =
        static_cast<double>(header_->datarecord_duration) / EDFLIB_TIME_DIMENSION;
    return header_->signalparam[signal].smp_in_datarecord / recordSeconds;
}

double EdfInputFile::microvoltsPerUnit(int signal) const {
    const std::string unit = lower(trim(header_->signalparam[signal].physdimension));
    if (unit == "mv")
        return 1e3;
    if (unit == "v")
        return 1e6;
    if (unit == "nv")
        return 1e-3;
    return 1.0;
}

std::string EdfInputFile::label(int signal) const {
    return std::string(trim(header_->signalparam[signal].label));
}

} // namespace solvane::dsusim
