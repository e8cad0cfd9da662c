// The EDF+ recording of a session, written by the session library and read back by its own
// reader and by EDFlib, an independent one: the same samples and annotations, whole records
// that carry their own annotations, and header values that cannot be written refused.

#include "session/ReadableFile.h"
#include "session/RecordingReader.h"
#include "session/RecordingWriter.h"
#include "session/SessionError.h"
#include "session/SessionFacts.h"
#include "support/TempFolder.h"

#include <edflib.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace solvane::session {
namespace {

using testing::TempFolder;

RecordingSetup setup(double gain = 2.0) {
    RecordingSetup setup;
    for (std::size_t e = 0; e < 8; ++e) {
        setup.labels[e] = "EEG P" + std::to_string(e);
        setup.transducers[e] = "from T" + std::to_string(e);
    }
    setup.gain = gain;
    setup.source = "synthetic EEG, seed 4";
    // Half a second past a whole one: the start's fraction goes into the first record.
    setup.start =
        std::chrono::system_clock::from_time_t(1796000000) + std::chrono::milliseconds(500);
    return setup;
}

int sample(int element, long packet) {
    if (packet == 3)
        return element == 0 ? -5 : 2000; // beyond the converter: clipped to 0 and 1023
    return static_cast<int>((packet * 37 + element * 101) % 1024);
}

RecordingReader readBack(const std::filesystem::path& file) {
    RecordingReader reader(file.string(), false);
    const ReadableFile opened(file);
    FileSource source(opened.fd());
    reader.update(source);
    return reader;
}

// Catches samples or annotations that do not come back as written (by our reader or by
// EDFlib), onsets shifted by the start's fraction of a second, or a file EDFlib refuses.
TEST(Recording, ReadsBackAsWrittenByTwoReaders) {
    const TempFolder folder;
    const auto file = folder.path() / "run.edf";
    const std::vector<std::pair<long, std::string>> notes = {
        {0, "WE80C8"}, {0, "WF80D2"}, {300, "WB0032"}, {700, "Gap 2.000 s"}};
    constexpr long Packets = 3 * 256 + 100;
    {
        RecordingWriter writer(folder.path() / "run.working.edf", setup());
        std::size_t next = 0;
        for (long p = 0; p < Packets; ++p) {
            for (; next < notes.size() && notes[next].first == p; ++next)
                writer.annotate(static_cast<uint64_t>(p), notes[next].second,
                                notes[next].second.starts_with("Gap") ? 2.0 : -1.0);
            int32_t packet[8];
            for (int e = 0; e < 8; ++e)
                packet[e] = sample(e, p);
            writer.add(packet);
        }
        writer.finish(file);
    }
    const RecordingReader ours = readBack(file);
    ASSERT_EQ(ours.records(), 4);
    EXPECT_EQ(ours.label(4), "EEG P4");
    for (int e = 0; e < 8; ++e)
        for (long p = 0; p < 4 * 256; ++p)
            ASSERT_EQ(ours.samples(e)[static_cast<std::size_t>(p)],
                      p < Packets ? std::clamp(sample(e, p), 0, 1023) : 512)
                << "element " << e << " packet " << p;
    ASSERT_EQ(ours.annotations().size(), notes.size() + 1);
    for (std::size_t i = 0; i < notes.size(); ++i) {
        EXPECT_NEAR(ours.annotations()[i].onset, notes[i].first / 256.0, 1e-4) << i;
        EXPECT_EQ(ours.annotations()[i].text, notes[i].second);
    }
    EXPECT_EQ(ours.annotations()[3].duration, 2.0);
    EXPECT_EQ(ours.annotations().back().text, "Recording ends");

    auto header = std::make_unique<edf_hdr_struct>();
    ASSERT_EQ(edfopen_file_readonly(file.c_str(), header.get(), EDFLIB_READ_ALL_ANNOTATIONS), 0)
        << "EDFlib error " << header->filetype;
    EXPECT_EQ(header->filetype, EDFLIB_FILETYPE_EDFPLUS);
    EXPECT_EQ(header->edfsignals, 8);
    EXPECT_EQ(header->datarecords_in_file, 4);
    EXPECT_EQ(header->starttime_subsecond, 5000000);
    EXPECT_EQ(header->signalparam[0].phys_min, -256.0);
    EXPECT_EQ(header->signalparam[0].phys_max, 255.5);
    EXPECT_EQ(std::string(header->signalparam[2].transducer).substr(0, 7), "from T2");
    std::vector<int> samples(4 * 256);
    ASSERT_EQ(edfread_digital_samples(header->handle, 5, 4 * 256, samples.data()), 4 * 256);
    for (std::size_t p = 0; p < samples.size(); ++p)
        ASSERT_EQ(samples[p], ours.samples(5)[p]) << p;
    ASSERT_EQ(header->annotations_in_file, static_cast<long long>(notes.size() + 1));
    for (std::size_t i = 0; i < notes.size(); ++i) {
        edf_annotation_struct annotation{};
        edf_get_annotation(header->handle, static_cast<int>(i), &annotation);
        EXPECT_NEAR(static_cast<double>(annotation.onset) / EDFLIB_TIME_DIMENSION,
                    notes[i].first / 256.0, 1e-4);
        EXPECT_EQ(std::string(annotation.annotation), notes[i].second);
    }
    edfclose_file(header->handle);
}

// Catches annotations lost when a second has more than its record holds (they go into the
// next records, with their own onsets), and ones left out at the end without a word.
TEST(Recording, AnnotationsThatDoNotFitGoOnOrAreCounted) {
    const TempFolder folder;
    const auto file = folder.path() / "busy.edf";
    RecordingWriter writer(folder.path() / "busy.working.edf", setup());
    const int32_t packet[8] = {512, 512, 512, 512, 512, 512, 512, 512};
    for (int n = 0; n < 40; ++n)
        writer.annotate(0, "WB00" + std::to_string(10 + n));
    for (int p = 0; p < 3 * 256; ++p)
        writer.add(packet);
    for (int n = 0; n < 60; ++n)
        writer.annotate(3 * 256, "WB01" + std::to_string(10 + n));
    writer.finish(file);

    const RecordingReader reader = readBack(file);
    ASSERT_EQ(reader.records(), 3);
    const auto& read = reader.annotations();
    ASSERT_GT(read.size(), 40U);
    for (int n = 0; n < 40; ++n) {
        EXPECT_EQ(read[static_cast<std::size_t>(n)].text, "WB00" + std::to_string(10 + n));
        EXPECT_EQ(read[static_cast<std::size_t>(n)].onset, 0.0);
    }
    const uint64_t held = read.size() - 41; // those of the end, less the note
    EXPECT_EQ(writer.leftOut(), 61 - held); // the 60 and "Recording ends"
    EXPECT_EQ(read.back().text, std::to_string(61 - held) + " more: see the events file");
    EXPECT_EQ(writer.annotations() + writer.leftOut(), 101U);
}

struct Gain {
    double gain;
    bool written; ///< else refused
};

// Catches a header field written beyond its width or as garbage (an absurd gain gave a
// physical maximum no reader opens), and a refusal that leaves a file behind.
TEST(Recording, PhysicalRangeIsWrittenExactlyOrRefused) {
    const Gain gains[] = {{2.0, true},   {3.0, true},   {0.5, true},  {0.01, true},
                          {100.0, true}, {1e-5, false}, {1e6, false}, {1e-9, false},
                          {0.0, false},  {-2.0, false}, {NAN, false}};
    for (const Gain& g : gains) {
        const TempFolder folder;
        const auto file = folder.path() / "gain.edf";
        const bool refused = !g.written;
        EXPECT_EQ(RecordingWriter::gainProblem(g.gain).has_value(), refused) << g.gain;
        if (refused) {
            EXPECT_THROW(RecordingWriter(file, setup(g.gain)), SessionError) << g.gain;
            EXPECT_FALSE(std::filesystem::exists(file)) << g.gain;
            continue;
        }
        RecordingWriter(file, setup(g.gain)).close();
        const RecordingReader reader = readBack(file);
        const SignalHeader& signal = reader.header().signal[0];
        EXPECT_NEAR(signal.physicalMaximum, 511.0 / g.gain, 1023 / g.gain / 1023 / 100) << g.gain;
        EXPECT_NEAR(signal.physicalMinimum, -512.0 / g.gain, 1023 / g.gain / 1023 / 100) << g.gain;
    }
}

// Catches facts that do not come back as written: texts with quotes, line breaks and control
// characters, values not known, and facts added later that an older reader must pass over.
TEST(Facts, ReadBackAsWrittenAndUnknownOnesPassedOver) {
    SessionFacts facts;
    facts.start = "2026-12-08T09:30:00.1234";
    facts.programVersion = "1.0.0";
    facts.gain = 2.5;
    facts.source.kind = "recording";
    facts.source.description = "replay of /data/a \"b\"\\c\n\x01.edf, looping";
    facts.source.recording = "/data/a \"b\"\\c\n\x01.edf";
    facts.source.seed = -7;
    facts.slot[1] = {4, 21, "O2", "EEG O2-A1", "EEG O2"};
    facts.settings.file = "/x/solvane.ini";
    facts.settings.volume = 60;
    facts.faults.push_back({12.5, "disk full"});
    const std::string json = toJson(facts);
    const SessionFacts back = factsFromJson(json);
    EXPECT_EQ(back.start, facts.start);
    EXPECT_EQ(back.programVersion, "1.0.0");
    EXPECT_TRUE(back.libraryVersion.empty());
    EXPECT_EQ(back.gain, 2.5);
    EXPECT_EQ(back.source.description, facts.source.description);
    EXPECT_EQ(back.source.recording, facts.source.recording);
    EXPECT_EQ(back.source.seed, -7);
    EXPECT_EQ(back.slot[1].position, 21);
    EXPECT_EQ(back.slot[1].sourceLabel, "EEG O2-A1");
    EXPECT_FALSE(back.slot[0].position.has_value());
    EXPECT_EQ(back.settings.volume, 60);
    EXPECT_FALSE(back.settings.sampleRate.has_value());
    ASSERT_EQ(back.faults.size(), 1U);
    EXPECT_EQ(back.faults[0].what, "disk full");

    std::string later = json;
    later.insert(later.find("\"faults\""),
                 "\"later\": {\"x\": [1, true, null, {\"y\": \"z\"}]},\n  ");
    EXPECT_EQ(factsFromJson(later).faults.size(), 1U);
    EXPECT_THROW(factsFromJson(json.substr(0, json.size() / 2)), SessionError);
}

// Catches a fact written under another's name or read into another's place, and a name that
// changed: kept sessions are read by these names.
TEST(Facts, EveryFieldUnderItsOwnName) {
    SessionFacts facts;
    facts.libraryVersion = "2.1";
    facts.source = {"lsl", "an LSL stream", "/r.edf", "/dev/ttyUSB0", "EEG\r1", "host-a", 3};
    facts.slot[2] = {1, 5, "C3", "ch 2", "EEG C3"};
    facts.settings = {"/s.ini", "unreadable", 10, 1000, 11, 256};
    const std::string json = toJson(facts);
    for (const char* pair :
         {"\"library_version\": \"2.1\"", "\"kind\": \"lsl\"", "\"description\": \"an LSL stream\"",
          "\"recording\": \"/r.edf\"", "\"port\": \"/dev/ttyUSB0\"", "\"stream\": \"EEG\\r1\"",
          "\"host\": \"host-a\"", "\"position_name\": \"C3\"", "\"source_label\": \"ch 2\"",
          "\"label\": \"EEG C3\"", "\"file\": \"/s.ini\"", "\"problem\": \"unreadable\"",
          "\"AVEVolume\": 10", "\"AVEFrequency\": 1000", "\"AVEDesiredFrequency\": 11",
          "\"DSUSampleRate\": 256"})
        EXPECT_NE(json.find(pair), std::string::npos) << pair;
    const SessionFacts back = factsFromJson(json);
    EXPECT_EQ(back.libraryVersion, "2.1");
    EXPECT_EQ(back.source.kind, "lsl");
    EXPECT_EQ(back.source.port, "/dev/ttyUSB0");
    EXPECT_EQ(back.source.stream, "EEG\r1");
    EXPECT_EQ(back.source.host, "host-a");
    EXPECT_EQ(back.slot[2].positionName, "C3");
    EXPECT_EQ(back.slot[2].label, "EEG C3");
    EXPECT_EQ(back.settings.problem, "unreadable");
    EXPECT_EQ(back.settings.baseFrequency, 1000);
    EXPECT_EQ(back.settings.desiredFrequency, 11);
    EXPECT_EQ(back.settings.sampleRate, 256);
}

} // namespace
} // namespace solvane::session
