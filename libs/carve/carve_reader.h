#pragma once
// Random access to a volume for the format descriptors, through a small window that the
// descriptors' forward walks mostly stay inside.

#include "platform/byte_source.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarn {

struct carve_type_s;

class carve_reader_c {
public:
    explicit carve_reader_c(byte_source_c& source) : source_(source) {}
    std::uint64_t size() const { return source_.size(); }
    // Bytes at offset into out; false unless all of them could be read.
    bool read(std::uint64_t offset, std::span<std::byte> out);
    // One byte, or -1 past the end or on a read failure.
    int byte_at(std::uint64_t offset);
    std::uint32_t be32(std::uint64_t offset, bool& ok);
    std::uint16_t be16(std::uint64_t offset, bool& ok);
    std::uint64_t be64(std::uint64_t offset, bool& ok);
    std::uint16_t le16(std::uint64_t offset, bool& ok);
    std::uint32_t le32(std::uint64_t offset, bool& ok);
    std::uint64_t le64(std::uint64_t offset, bool& ok);
    // The first offset at or after from where pattern (at most 16 bytes) lies wholly before stop;
    // stop when there is none or on a read failure. The offsets seen are remembered: every member
    // of a damaged archive looks ahead over the same bytes, and only the first reads them.
    std::uint64_t find(std::uint64_t from, std::uint64_t stop, std::string_view pattern);
    // The CRC-32 of length bytes at offset, continued from crc (0 to start), read in steps so that
    // a length read from disk costs no memory; false when the bytes cannot all be read.
    bool crc32(std::uint64_t offset, std::uint64_t length, std::uint32_t& crc);

    // The types of the scan, for the formats that look at the files around their own (a fragment's
    // end is where another file starts); none outside a scan. nested counts the measures of
    // other files in progress, so that such a look never goes deeper than one file.
    void set_types(const std::vector<carve_type_s>* types) { types_ = types; }
    const std::vector<carve_type_s>* types() const { return types_; }
    int nested = 0;

private:
    bool fill(std::uint64_t offset);
    // Searches the bytes from memo_.to on, at least up to from, until an offset at or after from
    // is found or stop is reached.
    void search_on(std::uint64_t from, std::uint64_t stop);
    bool make_room(std::uint64_t from);
    static constexpr std::size_t most_kept = 4096;

    // The offsets where memo_.pattern starts among the starts memo_.from up to (not including)
    // memo_.to; at most a few thousand are kept.
    struct search_memo_s {
        std::string pattern;
        std::uint64_t from = 0;
        std::uint64_t to = 0;
        std::vector<std::uint64_t> found;
    };

    byte_source_c& source_;
    std::vector<std::byte> window_ = std::vector<std::byte>(1 << 16);
    std::uint64_t window_at_ = 0;
    std::size_t window_len_ = 0;
    search_memo_s memo_;
    const std::vector<carve_type_s>* types_ = nullptr;
};

} // namespace tarn
