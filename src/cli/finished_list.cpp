// SPDX-License-Identifier: GPL-3.0-or-later
#include "finished_list.h"

#include "quoted_name.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <vector>

namespace brindlecap {

namespace {

constexpr std::string_view headLine =
    "# brindlecap-cli: copies rescued whole, one per line: NAME, then KEY=VALUE fields\n";
// The note that gives a map its size: the source's length.
constexpr const char* sizeNote = "source-size";

void appendEscaped(std::string& into, std::string_view text)
{
    for (const char c : text) {
        switch (c) {
        case '\t':
            into += "\\t";
            break;
        case '\n':
            into += "\\n";
            break;
        case '\r':
            into += "\\r";
            break;
        case '\\':
            into += "\\\\";
            break;
        default:
            into += c;
        }
    }
}

std::optional<std::string> unescaped(std::string_view field)
{
    std::string text;
    for (std::size_t at = 0; at < field.size(); ++at) {
        if (field[at] != '\\') {
            text += field[at];
            continue;
        }
        if (++at == field.size())
            return std::nullopt;
        switch (field[at]) {
        case 't':
            text += '\t';
            break;
        case 'n':
            text += '\n';
            break;
        case 'r':
            text += '\r';
            break;
        case '\\':
            text += '\\';
            break;
        default:
            return std::nullopt;
        }
    }
    return text;
}

std::optional<std::int64_t> sizeOf(const std::map<std::string, std::string>& notes)
{
    const auto found = notes.find(sizeNote);
    if (found == notes.end())
        return std::nullopt;
    const auto& text = found->second;
    std::int64_t size = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), size);
    if (error != std::errc() || end != text.data() + text.size() || size < 0)
        return std::nullopt;
    return size;
}

} // namespace

std::optional<FinishedList> FinishedList::parse(std::string_view text, std::string& why)
{
    FinishedList list;
    while (!text.empty()) {
        const auto lineEnd = std::min(text.find('\n'), text.size());
        const auto line = text.substr(0, lineEnd);
        text.remove_prefix(std::min(lineEnd + 1, text.size()));
        if (line.empty() || line.front() == '#')
            continue;
        std::vector<std::string> fields;
        for (auto rest = line;;) {
            const auto fieldEnd = rest.find('\t');
            auto field = unescaped(rest.substr(0, fieldEnd));
            if (!field) {
                why = "a field that does not read in " + quotedName(line);
                return std::nullopt;
            }
            fields.push_back(std::move(*field));
            if (fieldEnd == std::string_view::npos)
                break;
            rest.remove_prefix(fieldEnd + 1);
        }
        Notes notes;
        for (std::size_t index = 1; index < fields.size(); ++index) {
            const auto equals = fields[index].find('=');
            if (equals == std::string::npos) {
                why = "a field without a key: " + std::string(line);
                return std::nullopt;
            }
            notes[fields[index].substr(0, equals)] = fields[index].substr(equals + 1);
        }
        if (fields.front().empty() || !sizeOf(notes)) {
            why = "a line without a name or a size: " + std::string(line);
            return std::nullopt;
        }
        list.m_lines[fields.front()] = std::move(notes);
    }
    return list;
}

std::string FinishedList::head() const
{
    return std::string(headLine);
}

std::string FinishedList::lines() const
{
    std::string text;
    for (const auto& [name, notes] : m_lines) {
        appendEscaped(text, name);
        for (const auto& [key, value] : notes) {
            text += '\t';
            appendEscaped(text, key);
            text += '=';
            appendEscaped(text, value);
        }
        text += '\n';
    }
    return text;
}

std::optional<RescueMap> FinishedList::mapOf(const std::string& name) const
{
    const auto found = m_lines.find(name);
    if (found == m_lines.end())
        return std::nullopt;
    const auto size = *sizeOf(found->second);
    RescueMap map(size);
    map.mark({0, size}, RescueMap::Status::finished);
    map.currentPosition = size;
    map.currentStatus = RescueMap::Status::finished;
    map.notes = found->second;
    return map;
}

void FinishedList::put(const std::string& name, const RescueMap& map)
{
    m_lines[name] = map.notes;
    m_lines[name][sizeNote] = std::to_string(map.size());
}

void FinishedList::remove(const std::string& name)
{
    m_lines.erase(name);
}

} // namespace brindlecap
