// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "forwarding_file_access.h"
#include "read_pieces.h"

#include <string>
#include <vector>

namespace brindlecap {

// A disc image made by GNU ddrescue, read only where its map says the bytes
// were rescued: ddrescue left zeros in the rest, which are no data, so those
// bytes are unreadable without a read. Other files are read as they are.
class RescuedOnlyFileAccess final : public ForwardingFileAccess
{
public:
    explicit RescuedOnlyFileAccess(FileAccess& files) : ForwardingFileAccess(files) {}

    // `missing`: what the image's map does not mark rescued, in order.
    void limit(std::string image, std::vector<ByteRange> missing);

    std::error_code openSource(const std::string& path, const FileIdentity& expected) override;
    ReadResult readAt(std::int64_t offset, std::span<std::byte> buffer) override;
    ReadResult skimAt(std::int64_t offset, std::span<std::byte> buffer) override;
    ReadResult scrapeAt(std::int64_t offset, std::span<std::byte> buffer) override;
    std::error_code close() override;

private:
    std::vector<ReadPiece> piecesOf(std::int64_t offset, std::int64_t length) const;
    // A read of the image around what its map says is missing, through
    // `read` beneath; any other file's read is handed on as it is.
    ReadResult served(std::int64_t offset, std::span<std::byte> buffer,
                      const PieceRead& read) const;

    std::string m_image;
    std::vector<ByteRange> m_missing;
    bool m_imageOpen = false;
};

// Reads GNU ddrescue's map of an image: what it does not mark rescued ('+'),
// up to any length the image may have. Gives why it cannot, or nothing.
std::string readImageMap(const std::string& path, std::vector<ByteRange>& missing);

} // namespace brindlecap
