#pragma once
// A recording opened for reading with EDFlib (EDF, EDF+, BDF, BDF+), closed with the object.
// Some writers fill the annotation signals' transducer, unit or prefilter fields, which EDF+
// wants blank and EDFlib refuses; such a file is read through a private copy with those
// fields blanked, and failing that as plain EDF/BDF (its annotations ignored). EDFlib opens
// a path only once at a time, so a recording already open is read through a private copy.

#include <edflib.h>

#include <filesystem>
#include <memory>
#include <string>

namespace solvane::dsusim {

class EdfInputFile {
public:
    /// Opens the file; throws SimulatorConfigError (key Source) when it is missing or
    /// cannot be read.
    explicit EdfInputFile(const std::filesystem::path& path);
    ~EdfInputFile();
    EdfInputFile(const EdfInputFile&) = delete;
    EdfInputFile& operator=(const EdfInputFile&) = delete;

    [[nodiscard]] int handle() const noexcept { return header_->handle; }
    [[nodiscard]] const edf_hdr_struct& header() const noexcept { return *header_; }
    /// Samples per second of signal `signal`.
    [[nodiscard]] double sampleRate(int signal) const;
    /// Microvolts per physical unit of signal `signal` (1 for uV, 1000 for mV, ...).
    [[nodiscard]] double microvoltsPerUnit(int signal) const;
    /// The signal's label without padding.
    [[nodiscard]] std::string label(int signal) const;

private:
    std::unique_ptr<edf_hdr_struct> header_; // large (about 300 kB), so not on the stack
};

} // namespace solvane::dsusim
