// libFuzzer target for the reader of a session's EDF+ recording (RecordingReader). The input
// is the file's bytes; its first byte tells whether it is read as a growing working file.
//
// On any bytes, reading never crashes, hangs or takes memory beyond what the bytes can fill:
// it either refuses the header with a SessionError or gives whole records. What it gives must
// hold together: never more records than the bytes hold whole, eight signals of 256 samples
// for each, and, read a second time, nothing new.

#include "session/ReadableFile.h"
#include "session/RecordingReader.h"
#include "session/SessionError.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

using solvane::session::MemorySource;
using solvane::session::RecordingReader;

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "recording reader fuzzer: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const bool growing = (data[0] & 1) != 0;
    const std::span<const char> bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    MemorySource source(bytes);
    RecordingReader reader("fuzz.edf", growing);
    try {
        reader.update(source);
    } catch (const solvane::session::SessionError&) {
        return 0;
    }
    if (!reader.headerRead())
        return 0;
    const auto& header = reader.header();
    if (static_cast<uint64_t>(reader.records()) > header.wholeRecords(bytes.size()))
        fail("more records than the bytes hold");
    for (int s = 0; s < RecordingReader::Signals; ++s)
        if (reader.samples(s).size() !=
            static_cast<std::size_t>(reader.records()) * RecordingReader::RecordSamples)
            fail("a signal without 256 samples for each record");
    if (reader.update(source))
        fail("the same bytes read again gave more");
    return 0;
}
