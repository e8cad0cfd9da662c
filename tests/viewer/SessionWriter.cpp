#include "viewer/SessionWriter.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace solvane::testing {

namespace {

constexpr int Signals = 8;
constexpr int RecordSamples = 256;

std::string padded(const std::string& text, std::size_t length) {
    std::string result = text.substr(0, length);
    result.resize(length, ' ');
    return result;
}

} // namespace

SessionWriter::SessionWriter(std::filesystem::path edf, std::string source, Samples samples)
    : edf_(std::move(edf)), samples_(std::move(samples)) {
    for (char& c : source)
        if (c == ' ')
            c = '_';
    const int ns = Signals + 1;
    std::string header;
    header += padded("0", 8);
    header += padded("X X X X", 80);
    header += padded("Startdate 08-DEC-2026 X X Solvane_simulated_DSU " + source, 80);
    header += "08.12.26";
    header += "14.30.05";
    header += padded(std::to_string(256 * (ns + 1)), 8);
    header += padded("EDF+C", 44);
    header += padded("-1", 8);
    header += padded("1", 8);
    header += padded(std::to_string(ns), 4);
    const auto each = [&](const std::function<std::string(int)>& value, std::size_t length) {
        for (int s = 0; s < ns; ++s)
            header += padded(value(s), length);
    };
    const auto data = [](int s) { return s < Signals; };
    each([&](int s) { return data(s) ? "Element " + std::to_string(s) : "EDF Annotations"; }, 16);
    each([](int) { return std::string(); }, 80);
    each([&](int s) { return data(s) ? "uV" : ""; }, 8);
    each([&](int s) { return data(s) ? "-512" : "-1"; }, 8);
    each([&](int s) { return data(s) ? "511" : "1"; }, 8);
    each([&](int s) { return data(s) ? "0" : "-32768"; }, 8);
    each([&](int s) { return data(s) ? "1023" : "32767"; }, 8);
    each([](int) { return std::string(); }, 80);
    each([&](int s) { return std::to_string(data(s) ? RecordSamples : AnnotationBytes / 2); }, 8);
    each([](int) { return std::string(); }, 32);
    std::ofstream out(edf_, std::ios::binary | std::ios::trunc);
    out << header;
    if (!out)
        throw std::runtime_error("cannot write " + edf_.string());
}

void SessionWriter::annotate(double onset, const std::string& text) {
    pending_.emplace_back(onset, text);
}

void SessionWriter::addRecords(int count, bool updateCount) {
    std::ofstream out(edf_, std::ios::binary | std::ios::app);
    for (int r = 0; r < count; ++r, ++records_) {
        std::string record;
        for (int s = 0; s < Signals; ++s)
            for (int i = 0; i < RecordSamples; ++i) {
                const int value = samples_(s, static_cast<long>(records_) * RecordSamples + i);
                record += static_cast<char>(value & 0xFF);
                record += static_cast<char>((value >> 8) & 0xFF);
            }
        std::string tal = "+" + std::to_string(records_) + "\x14\x14";
        tal += '\0';
        for (const auto& [onset, text] : pending_) {
            char time[32];
            std::snprintf(time, sizeof time, "+%.4f", onset);
            tal += std::string(time) + "\x14" + text + "\x14";
            tal += '\0';
        }
        pending_.clear();
        tal.resize(AnnotationBytes, '\0');
        record += tal;
        out << record;
    }
    out.close();
    if (updateCount)
        setCount(records_);
}

void SessionWriter::addPartialRecord(int bytes) {
    std::ofstream out(edf_, std::ios::binary | std::ios::app);
    out << std::string(static_cast<std::size_t>(bytes), '\x01');
}

void SessionWriter::setCountOf(const std::filesystem::path& edf, long count) {
    std::fstream out(edf, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(236);
    out << padded(std::to_string(count), 8);
}

void appendEvents(const std::filesystem::path& file, const std::string& lines) {
    const bool fresh = !std::filesystem::exists(file);
    std::ofstream out(file, std::ios::binary | std::ios::app);
    if (fresh)
        out << "onset\tduration\ttrial_type\tvalue\n";
    out << lines;
}

std::string commandLine(double onset, const std::string& command) {
    char text[64];
    std::snprintf(text, sizeof text, "%.4f\tn/a\tave_command\t%s\n", onset, command.c_str());
    return text;
}

} // namespace solvane::testing
