// SPDX-License-Identifier: GPL-3.0-or-later
#include "quoted_name.h"

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
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80                    ? 1
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                               : lead >= 0xE0                 ? 3
                               : lead >= 0xC2 && lead <= 0xDF ? 2
                                                              : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    for (std::size_t next = at + 1; next < at + length; ++next)
        if ((static_cast<unsigned char>(text[next]) & 0xC0) != 0x80)
            return 0;
    return length;
}

std::string quotedName(std::string_view name)
{
    if (name.empty())
        return "''";
    bool needsQuotes = false;
    for (std::size_t at = 0; at < name.size(); ++at) {
        const auto c = static_cast<unsigned char>(name[at]);
        if (c >= 0x80) {
            const auto length = utf8SequenceLength(name, at);
            needsQuotes = needsQuotes || length == 0;
            at += length > 0 ? length - 1 : 0;
        } else if (!plain(c)) {
            needsQuotes = true;
        }
    }
    if (!needsQuotes)
        return std::string(name);

    std::string text;
    bool inQuotes = false;
    const auto quoteOn = [&](bool on) {
        if (inQuotes != on)
            text += '\'';
        inQuotes = on;
    };
    for (std::size_t at = 0; at < name.size(); ++at) {
        const auto c = static_cast<unsigned char>(name[at]);
        const auto length = c >= 0x80 ? utf8SequenceLength(name, at) : 1;
        if (c == '\'') {
            quoteOn(false);
            text += "\\'";
        } else if (c < 0x20 || c == 0x7F || length == 0) {
            quoteOn(false);
            text += "$'" + escaped(c) + "'";
        } else {
            quoteOn(true);
            text.append(name.substr(at, length));
            at += length - 1;
        }
    }
    quoteOn(false);
    return text;
}

} // namespace brindlecap
