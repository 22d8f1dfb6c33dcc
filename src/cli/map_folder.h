// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "unique_fd.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

namespace brindlecap {

// Why a map or its folder is not used.
enum class MapFolderError
{
    notAFolder = 1,
    notAPlainFile,
    inUse,
    tooLarge,
};

const std::error_category& mapFolderErrorCategory() noexcept;

inline std::error_code make_error_code(MapFolderError error) noexcept
{
    return {static_cast<int>(error), mapFolderErrorCategory()};
}

// The hidden folder beside the copies of one destination folder that holds
// their rescue maps (FOLDER/.brindlecap). It is reached beneath the
// folder's descriptor and nothing in it is followed: a link there is
// refused, not taken. Nothing in it can make the program wait either: a
// FIFO, or a file another program holds a lease on, is refused at once.
class MapFolder final
{
public:
    static constexpr const char* name = ".brindlecap";

    // Opens it beneath the folder `parent` holds; with `create`, makes it
    // first where it is missing. Anything but a folder there fails with
    // notAFolder.
    std::error_code open(int parent, bool create);
    std::uint64_t device() const { return m_device; }

    // The text of the file `file` in it: no_such_file_or_directory where it
    // has none, notAPlainFile for anything else but a plain file.
    std::error_code read(const std::string& file, std::string& text) const;
    // Writes `head` then `body` to FILE.new in it, onto the disk too with
    // `durable`; replace() then puts it in FILE's place, so an interruption
    // leaves the old file or the new one, never half of one.
    std::error_code writeNew(const std::string& file, std::string_view head, std::string_view body,
                             bool durable);
    std::error_code replace(const std::string& file);
    // Writes a map where there is none yet straight into FILE (made anew:
    // file_exists where anything is there). An interruption can leave a
    // map cut short, which claims less than the whole (its lost lines) or
    // does not read as a map at all; a map that is there is only ever
    // replaced whole.
    std::error_code writeFirst(const std::string& file, std::string_view head,
                               std::string_view body, bool durable);
    // Puts the folder's own entries (the replacements) on the disk.
    std::error_code sync() const;

private:
    std::error_code openFile(const std::string& file, int flags, UniqueFd& opened) const;
    static std::error_code writeMap(UniqueFd fd, std::string_view head, std::string_view body,
                                    bool durable);

    UniqueFd m_fd;
    std::uint64_t m_device = 0;
};

} // namespace brindlecap

template <> struct std::is_error_code_enum<brindlecap::MapFolderError> : std::true_type
{};
