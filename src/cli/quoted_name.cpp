// SPDX-License-Identifier: GPL-3.0-or-later
#include "quoted_name.h"

#include <algorithm>
#include <cstdio>

namespace brindlecap {

namespace {

bool plain(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("_./:@%+=,-").find(static_cast<char>(c)) != std::string_view::npos;
}

std::string escaped(unsigned char c)
{
    switch (c) {
    case '\n':
        return "\\n";
    case '\t':
        return "\\t";
    case '\r':
        return "\\r";
    default: {
        char text[8];
        std::snprintf(text, sizeof text, "\\x%02X", c);
        return text;
    }
    }
}

} // namespace

std::size_t utf8SequenceLength(std::string_view text, std::size_t at)
{
    // RFC 3629: the shortest form only, no surrogates (U+D800 to U+DFFF),
    // nothing past U+10FFFF. The lead byte says the length and which second
    // bytes keep within those bounds.
    const auto byte = [&](std::size_t index) { return static_cast<unsigned char>(text[index]); };
    const auto lead = byte(at);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;  // shorter forms of U+0000 to U+07FF
        high = lead == 0xED ? 0x9F : 0xBF; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;  // shorter forms of U+0000 to U+FFFF
        high = lead == 0xF4 ? 0x8F : 0xBF; // past U+10FFFF
    } else {
        return 0; // a continuation byte, C0, C1 or F5 to FF
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (std::size_t next = at + 2; next < at + length; ++next)
        if ((byte(next) & 0xC0) != 0x80)
            return 0;
    return length;
}

bool isControlCharacter(std::string_view text, std::size_t at, std::size_t length)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    // C0 and DEL; C1 (U+0080 to U+009F), which terminals obey as well.
    return (length == 1 && (lead < 0x20 || lead == 0x7F)) ||
           (length == 2 && lead == 0xC2 && static_cast<unsigned char>(text[at + 1]) <= 0x9F);
}

std::string quotedName(std::string_view name)
{
    if (name.empty())
        return "''";
    bool needsQuotes = false;
    for (std::size_t at = 0; at < name.size();) {
        const auto c = static_cast<unsigned char>(name[at]);
        const auto length = utf8SequenceLength(name, at);
        needsQuotes = needsQuotes || length == 0 || (length == 1 && !plain(c)) ||
                      isControlCharacter(name, at, length);
        at += std::max<std::size_t>(length, 1);
    }
    if (!needsQuotes)
        return std::string(name);

    // Runs of plain characters go in '...', runs of escaped bytes in one
    // $'...', and a quote between them as \'.
    enum class Mode
    {
        bare,
        quoted,
        escaped,
    };
    std::string text;
    auto mode = Mode::bare;
    const auto enter = [&](Mode next) {
        if (mode == next)
            return;
        if (mode != Mode::bare)
            text += '\'';
        if (next == Mode::quoted)
            text += '\'';
        else if (next == Mode::escaped)
            text += "$'";
        mode = next;
    };
    for (std::size_t at = 0; at < name.size();) {
        const auto length = utf8SequenceLength(name, at);
        if (name[at] == '\'') {
            enter(Mode::bare);
            text += "\\'";
        } else if (length == 0 || isControlCharacter(name, at, length)) {
            // Byte by byte: a C1 character's two bytes, or one that is not
            // UTF-8.
            enter(Mode::escaped);
            for (std::size_t each = at; each < at + std::max<std::size_t>(length, 1); ++each)
                text += escaped(static_cast<unsigned char>(name[each]));
        } else {
            enter(Mode::quoted);
            text.append(name.substr(at, length));
        }
        at += std::max<std::size_t>(length, 1);
    }
    enter(Mode::bare);
    return text;
}

} // namespace brindlecap
