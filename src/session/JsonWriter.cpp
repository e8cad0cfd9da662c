#include "session/JsonWriter.h"

namespace solvane::session {

void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                constexpr char Hex[] = "0123456789abcdef";
                out += "\\u00";
                out += Hex[(c >> 4) & 0xF];
                out += Hex[c & 0xF];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

void JsonWriter::open(char bracket) {
    out_ += bracket;
    ++depth_;
    first_ = true;
}

void JsonWriter::close(char bracket) {
    --depth_;
    if (!first_) { // an empty object or array stays on its line: []
        out_ += '\n';
        indent();
    }
    out_ += bracket;
    first_ = false;
}

void JsonWriter::key(std::string_view name) {
    item();
    appendJsonString(out_, name);
    out_ += ": ";
}

void JsonWriter::item() {
    if (!first_)
        out_ += ',';
    out_ += '\n';
    indent();
    first_ = false;
}

void JsonWriter::text(std::string_view name, const std::string& value) {
    key(name);
    if (value.empty())
        out_ += "null";
    else
        appendJsonString(out_, value);
}

} // namespace solvane::session
