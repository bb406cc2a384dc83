#pragma once
// Random access to a volume for the format descriptors, through a small window that the
// descriptors' forward walks mostly stay inside.

#include "platform/byte_source.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarn {

struct carve_type_s;

// Bytes of the volume that another part of the scan holds in memory.
class carve_resident_i {
public:
    // The bytes held from at on, with at <= offset < at + their size; none when offset is not
    // held. They stay as they are until the holder is next told to move on.
    virtual std::span<const std::byte> held(std::uint64_t offset, std::uint64_t& at) = 0;

protected:
    ~carve_resident_i() = default;
};

// What a format keeps for the rest of a scan (see walk_memo.h), made on first use.
class carve_memo_i {
public:
    virtual ~carve_memo_i() = default;
};

class carve_reader_c {
public:
    explicit carve_reader_c(byte_source_c& source) : source_(source), size_(source.size()) {}
    std::uint64_t size() const { return size_; }
    // Bytes at offset into out; false unless all of them could be read. Inline for bytes inside
    // the window: the structure walks read a few bytes at a time, hundreds of thousands of times
    // on a volume dense with headers.
    bool read(std::uint64_t offset, std::span<std::byte> out)
    {
        if (offset < window_at_ || offset - window_at_ > window_len_ || out.size() > window_len_ - (offset - window_at_))
            return read_outside(offset, out);
        if (!charge(out.size()))
            return false;
        std::memcpy(out.data(), window_ + (offset - window_at_), out.size());
        return true;
    }
    // Up to most bytes from offset as they lie in memory, without a copy: at least
    // min(most, 4 KiB) unless the volume ends first; none past the end or on a read failure.
    // Valid while window_moves() stays as it was when the view was taken.
    std::span<const std::byte> view(std::uint64_t offset, std::size_t most);
    // Counts the times the reader's bytes in memory moved: a holder of a view compares it to know
    // whether the view still holds what it did (a copy of a decoder may have read meanwhile).
    std::uint64_t window_moves() const { return moves_; }
    // One byte, or -1 past the end or on a read failure.
    int byte_at(std::uint64_t offset)
    {
        std::byte b{};
        return read(offset, std::span<std::byte>(&b, 1)) ? std::to_integer<int>(b) : -1;
    }
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
    // The CRC-32 of exactly these bytes when one was taken lately, without reading; false otherwise.
    bool known_crc32(std::uint64_t offset, std::uint64_t length, std::uint32_t& crc) const;

    // Where bytes already in memory are found (the scan's blocks read ahead): reads that fall
    // wholly inside such bytes are served from there instead of read again.
    void set_resident(carve_resident_i* resident) { resident_ = resident; }
    // To be called when the resident bytes may have changed: the window may lie in them.
    void forget_window()
    {
        window_len_ = 0;
        ++moves_;
    }

    // The types of the scan, for the formats that look at the files around their own (a fragment's
    // end is where another file starts); none outside a scan. nested counts the measures of
    // other files in progress, so that such a look never goes deeper than one file.
    void set_types(const std::vector<carve_type_s>* types) { types_ = types; }
    const std::vector<carve_type_s>* types() const { return types_; }
    int nested = 0;

    // The bytes read, checksummed and searched through this reader so far (a view counts nothing:
    // what its user goes over is not known here), and a limit on more of them: past it every read,
    // view and search fails, so that a measure ends at once (the scan's budget, see carver.cpp).
    // No limit until one is set.
    std::uint64_t work() const { return work_; }
    void limit_work(std::uint64_t more) { work_limit_ = more > UINT64_MAX - work_ ? UINT64_MAX : work_ + more; }
    bool over_limit() const { return work_ > work_limit_; }

    // The state of type Memo that the format keyed by key keeps for the rest of the scan.
    template <typename Memo>
    Memo& memo(const void* key)
    {
        for (auto& [k, kept] : kept_)
            if (k == key)
                return static_cast<Memo&>(*kept);
        kept_.emplace_back(key, std::make_unique<Memo>());
        return static_cast<Memo&>(*kept_.back().second);
    }

private:
    // The offsets where pattern starts among the starts from up to (not including) to; at most a
    // few thousand are kept. A few patterns are remembered at once, so that the formats' own
    // searches do not wipe out one another's.
    struct search_memo_s {
        std::string pattern;
        std::uint64_t from = 0;
        std::uint64_t to = 0;
        std::vector<std::uint64_t> found;
        std::uint64_t used = 0;
    };

    // Points the window at offset: over the resident bytes when they hold need bytes from there,
    // else over the buffer read from there; false when neither holds them.
    bool fill(std::uint64_t offset, std::size_t need);
    bool read_outside(std::uint64_t offset, std::span<std::byte> out);
    // Searches the bytes from memo.to on, at least up to from, until an offset at or after from
    // is found or stop is reached.
    void search_on(search_memo_s& memo, std::uint64_t from, std::uint64_t stop);
    bool make_room(search_memo_s& memo, std::uint64_t from);
    static constexpr std::size_t most_kept = 4096;
    bool charge(std::uint64_t bytes)
    {
        work_ += bytes;
        return work_ <= work_limit_;
    }
    bool plain_crc32(std::uint64_t offset, std::uint64_t length, std::uint32_t& crc);

    // The CRC-32s of long ranges taken lately, by their end: the CRC of a range that ends where
    // one of them does comes from it and the bytes between their starts. Candidates that each
    // claim a checksum up to one far place (7z headers naming one end header) then read it once.
    struct crc_kept_s {
        std::uint64_t at = 0;
        std::uint64_t end = 0;
        std::uint32_t crc = 0;
    };
    static constexpr std::uint64_t crc_kept_least = 1 << 16;
    std::array<crc_kept_s, 4> crc_kept_;
    std::size_t crc_next_ = 0;

    byte_source_c& source_;
    const std::uint64_t size_; // asked once: every read checks against it
    std::vector<std::byte> buffer_ = std::vector<std::byte>(1 << 16);
    carve_resident_i* resident_ = nullptr;
    const std::byte* window_ = nullptr; // into buffer_ or the resident bytes
    std::uint64_t window_at_ = 0;
    std::size_t window_len_ = 0;
    std::uint64_t moves_ = 0;
    std::array<search_memo_s, 4> memos_;
    std::uint64_t uses_ = 0;
    const std::vector<carve_type_s>* types_ = nullptr;
    std::uint64_t work_ = 0;
    std::uint64_t work_limit_ = UINT64_MAX;
    std::vector<std::pair<const void*, std::unique_ptr<carve_memo_i>>> kept_;
};

} // namespace tarn
