#include "bids/Json.h"

#include "session/JsonWriter.h"
#include "session/Numbers.h"

#include <cmath>

namespace solvane::bids {

namespace {

constexpr std::string_view Replacement = "\xEF\xBF\xBD";

/// The length of the well-formed UTF-8 sequence at the start of `text`, or 0.
std::size_t sequenceLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char first = byte(0);
    if (first < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80; // the range the second byte must lie in
    unsigned char high = 0xBF;
    if (first >= 0xC2 && first <= 0xDF) {
        length = 2;
    } else if (first >= 0xE0 && first <= 0xEF) {
        length = 3;
        if (first == 0xE0)
            low = 0xA0; // no overlong forms
        else if (first == 0xED)
            high = 0x9F; // no surrogates
    } else if (first >= 0xF0 && first <= 0xF4) {
        length = 4;
        if (first == 0xF0)
            low = 0x90;
        else if (first == 0xF4)
            high = 0x8F; // nothing beyond U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    return length;
}

/// `text` as a JSON string, made valid UTF-8 first.
void quote(std::string& out, std::string_view text) {
    session::appendJsonString(out, validUtf8(text));
}

void indent(std::string& out, int depth) {
    out += '\n';
    out.append(2 * static_cast<std::size_t>(depth), ' ');
}

} // namespace

std::string validUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = sequenceLength(text);
        if (length == 0) {
            out += Replacement;
            text.remove_prefix(1);
        } else {
            out += text.substr(0, length);
            text.remove_prefix(length);
        }
    }
    return out;
}

Json Json::object() {
    Json json;
    json.value_ = Members{};
    return json;
}

Json Json::array() {
    Json json;
    json.value_ = Elements{};
    return json;
}

Json& Json::set(std::string_view key, Json value) {
    auto& members = std::get<Members>(value_).items;
    for (auto& member : members)
        if (member.first == key) {
            member.second = std::move(value);
            return *this;
        }
    members.emplace_back(std::string(key), std::move(value));
    return *this;
}

Json& Json::add(Json value) {
    std::get<Elements>(value_).items.push_back(std::move(value));
    return *this;
}

std::size_t Json::size() const noexcept {
    if (const auto* members = std::get_if<Members>(&value_))
        return members->items.size();
    if (const auto* elements = std::get_if<Elements>(&value_))
        return elements->items.size();
    return 0;
}

std::string Json::text() const {
    std::string out;
    write(out, 0);
    return out + '\n';
}

void Json::write(std::string& out, int depth) const {
    if (std::holds_alternative<std::nullptr_t>(value_)) {
        out += "null";
    } else if (const bool* flag = std::get_if<bool>(&value_)) {
        out += *flag ? "true" : "false";
    } else if (const long long* whole = std::get_if<long long>(&value_)) {
        out += session::integerText(*whole);
    } else if (const double* number = std::get_if<double>(&value_)) {
        out += std::isfinite(*number) ? session::shortest(*number) : "null";
    } else if (const std::string* text = std::get_if<std::string>(&value_)) {
        quote(out, *text);
    } else if (const Members* members = std::get_if<Members>(&value_)) {
        out += '{';
        for (std::size_t i = 0; i < members->items.size(); ++i) {
            out += i == 0 ? "" : ",";
            indent(out, depth + 1);
            quote(out, members->items[i].first);
            out += ": ";
            members->items[i].second.write(out, depth + 1);
        }
        if (!members->items.empty())
            indent(out, depth);
        out += '}';
    } else if (const Elements* elements = std::get_if<Elements>(&value_)) {
        out += '[';
        for (std::size_t i = 0; i < elements->items.size(); ++i) {
            out += i == 0 ? "" : ",";
            indent(out, depth + 1);
            elements->items[i].write(out, depth + 1);
        }
        if (!elements->items.empty())
            indent(out, depth);
        out += ']';
    }
}

} // namespace solvane::bids
