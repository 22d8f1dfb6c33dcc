// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rescue_map.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace brindlecap {

// The maps of the copies of one folder that were rescued whole by the time
// their map was first saved, one line each, in one file beside the other
// maps (FOLDER/.brindlecap/finished.list). Such a map has one block, all
// rescued, so a line holds only its notes (the copy's and the source's
// facts, the fingerprint); a folder of ten thousand photographs then costs
// the disk one file more, not ten thousand. A copy with anything left to do
// keeps a mapfile of its own, which ddrescue's tools read.
//
// A line is the copy's name and then KEY=VALUE fields, separated by tabs;
// a tab, a line break or a backslash in any of them is written as \t, \n,
// \r or \\.
class FinishedList final
{
public:
    static constexpr const char* fileName = "finished.list";

    // Reads a list; nullopt, with `why`, when a line of it does not read.
    static std::optional<FinishedList> parse(std::string_view text, std::string& why);
    std::string head() const;
    std::string lines() const;

    // The map the line of the copy `name` stands for: its whole source
    // rescued, with the line's notes; nullopt where it has no line.
    std::optional<RescueMap> mapOf(const std::string& name) const;
    // Puts the notes of `map`, which has every byte rescued, in the line of
    // `name`.
    void put(const std::string& name, const RescueMap& map);
    void remove(const std::string& name);

private:
    using Notes = std::map<std::string, std::string>;
    std::map<std::string, Notes> m_lines; // by the copy's name
};

} // namespace brindlecap
