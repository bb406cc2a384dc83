#include "libs/carve/carve_reader.h"

#include "libs/carve/pattern_search.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <zlib.h>

namespace tarn {

bool carve_reader_c::fill(std::uint64_t offset, std::size_t need)
{
    ++moves_;
    std::uint64_t at = 0;
    if (const auto held = resident_ != nullptr ? resident_->held(offset, at) : std::span<const std::byte>{};
        !held.empty() && need <= held.size() - (offset - at)) {
        window_at_ = offset;
        window_ = held.data() + (offset - at);
        window_len_ = held.size() - (offset - at);
        return true;
    }
    if (need > buffer_.size())
        return false;
    // A read that goes on from the window takes a large step; one elsewhere (a size field from
    // disk pointing far ahead, most of them junk) takes only a sector's worth or so.
    const bool going_on = window_len_ != 0 && offset >= window_at_ && offset <= window_at_ + window_len_;
    const std::size_t want = going_on ? buffer_.size() : std::max<std::size_t>(need, 4096);
    const auto got = source_.read_at(offset, std::span<std::byte>(buffer_.data(), want));
    window_at_ = offset;
    window_ = buffer_.data();
    window_len_ = got > 0 ? static_cast<std::size_t>(got) : 0;
    return window_len_ > 0;
}

bool carve_reader_c::read_outside(std::uint64_t offset, std::span<std::byte> out)
{
    // Offsets come from disk bytes: one past the volume, or a sum that wrapped, reads nothing.
    if (offset > size() || out.size() > size() - offset || !charge(out.size()))
        return false;
    if ((offset < window_at_ || offset + out.size() > window_at_ + window_len_) && !fill(offset, out.size()))
        return out.size() > buffer_.size() && source_.read_at(offset, out) == static_cast<std::int64_t>(out.size());
    if (offset + out.size() > window_at_ + window_len_)
        return false;
    std::memcpy(out.data(), window_ + (offset - window_at_), out.size());
    return true;
}

std::span<const std::byte> carve_reader_c::view(std::uint64_t offset, std::size_t most)
{
    if (offset >= size())
        return {};
    most = static_cast<std::size_t>(std::min<std::uint64_t>(most, size() - offset));
    const std::size_t least = std::min<std::size_t>(most, 4096);
    if (over_limit())
        return {};
    if ((offset < window_at_ || offset + least > window_at_ + window_len_) && !fill(offset, least))
        return {};
    const std::size_t from = static_cast<std::size_t>(offset - window_at_);
    return {window_ + from, std::min(most, window_len_ - from)};
}

std::uint16_t carve_reader_c::be16(std::uint64_t offset, bool& ok)
{
    std::byte b[2]{};
    ok = ok && read(offset, b);
    return static_cast<std::uint16_t>(std::to_integer<unsigned>(b[0]) << 8 | std::to_integer<unsigned>(b[1]));
}

std::uint32_t carve_reader_c::be32(std::uint64_t offset, bool& ok)
{
    const std::uint32_t high = be16(offset, ok);
    return high << 16 | be16(offset + 2, ok);
}

std::uint64_t carve_reader_c::be64(std::uint64_t offset, bool& ok)
{
    const std::uint64_t high = be32(offset, ok);
    return high << 32 | be32(offset + 4, ok);
}

std::uint16_t carve_reader_c::le16(std::uint64_t offset, bool& ok)
{
    std::byte b[2]{};
    ok = ok && read(offset, b);
    return load_le16(b, 0);
}

std::uint32_t carve_reader_c::le32(std::uint64_t offset, bool& ok)
{
    std::byte b[4]{};
    ok = ok && read(offset, b);
    return load_le32(b, 0);
}

std::uint64_t carve_reader_c::le64(std::uint64_t offset, bool& ok)
{
    std::byte b[8]{};
    ok = ok && read(offset, b);
    return load_le64(b, 0);
}

std::uint64_t carve_reader_c::find(std::uint64_t from, std::uint64_t stop, std::string_view pattern)
{
    if (pattern.empty() || pattern.size() > 16 || over_limit())
        return stop;
    // The memo of this pattern that covers from, else the one used longest ago, started afresh.
    search_memo_s* memo = nullptr;
    for (search_memo_s& m : memos_)
        if (m.pattern == pattern && from >= m.from && from <= m.to)
            memo = &m;
    if (memo == nullptr) {
        memo = &*std::min_element(memos_.begin(), memos_.end(),
                                  [](const search_memo_s& a, const search_memo_s& b) { return a.used < b.used; });
        *memo = {std::string(pattern), from, from, {}, 0};
    }
    memo->used = ++uses_;
    auto at = std::lower_bound(memo->found.begin(), memo->found.end(), from);
    if (at == memo->found.end()) {
        search_on(*memo, from, stop);
        at = std::lower_bound(memo->found.begin(), memo->found.end(), from);
    }
    return at != memo->found.end() && *at + pattern.size() <= stop ? *at : stop;
}

// Drops the offsets before from, which the search that asks has passed; false when there are none.
bool carve_reader_c::make_room(search_memo_s& memo, std::uint64_t from)
{
    const auto passed = std::lower_bound(memo.found.begin(), memo.found.end(), from);
    if (passed == memo.found.begin())
        return false;
    memo.from = *(passed - 1) + 1;
    memo.found.erase(memo.found.begin(), passed);
    return true;
}

void carve_reader_c::search_on(search_memo_s& memo, std::uint64_t from, std::uint64_t stop)
{
    const std::string pattern = memo.pattern;
    while (memo.to + pattern.size() <= stop) {
        const auto bytes = view(memo.to, static_cast<std::size_t>(std::min<std::uint64_t>(1 << 20, stop - memo.to)));
        if (bytes.size() < pattern.size()) {
            memo = {};
            return;
        }
        const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        for (auto i = find_pattern(text, pattern); i != std::string_view::npos; i = find_pattern(text, pattern, i + 1)) {
            if (memo.found.size() == most_kept && !make_room(memo, from)) {
                memo.to = memo.found.back() + 1; // what follows is searched again when asked for
                return;
            }
            memo.found.push_back(memo.to + i);
            if (memo.to + i >= from) {
                // The rest of the view is searched only when asked for: most searches stop at
                // their first place, and a view is a megabyte.
                charge(i + 1);
                memo.to += i + 1;
                return;
            }
        }
        charge(bytes.size());
        memo.to += bytes.size() - pattern.size() + 1;
    }
}

bool carve_reader_c::crc32(std::uint64_t offset, std::uint64_t length, std::uint32_t& crc)
{
    if (crc != 0 || length < crc_kept_least || offset > size() || length > size() - offset)
        return plain_crc32(offset, length, crc);
    const std::uint64_t end = offset + length;
    for (crc_kept_s& kept : crc_kept_) {
        if (kept.end != end || kept.at == kept.end)
            continue;
        if (kept.at == offset) {
            crc = kept.crc;
            return true;
        }
        // A CRC-32 of bytes A then B is the one of A moved on by B's length, xor the one of B.
        std::uint32_t between = 0;
        if (kept.at <= offset) {
            if (!plain_crc32(kept.at, offset - kept.at, between))
                return false;
            crc = kept.crc ^ static_cast<std::uint32_t>(crc32_combine(between, 0, static_cast<z_off_t>(length)));
        } else {
            if (!plain_crc32(offset, kept.at - offset, between))
                return false;
            crc = static_cast<std::uint32_t>(crc32_combine(between, kept.crc, static_cast<z_off_t>(end - kept.at)));
        }
        kept = {offset, end, crc};
        return true;
    }
    if (!plain_crc32(offset, length, crc))
        return false;
    crc_kept_[crc_next_] = {offset, end, crc};
    crc_next_ = (crc_next_ + 1) % crc_kept_.size();
    return true;
}

bool carve_reader_c::known_crc32(std::uint64_t offset, std::uint64_t length, std::uint32_t& crc) const
{
    for (const crc_kept_s& kept : crc_kept_)
        if (kept.at == offset && kept.end - kept.at == length && kept.at != kept.end) {
            crc = kept.crc;
            return true;
        }
    return false;
}

bool carve_reader_c::plain_crc32(std::uint64_t offset, std::uint64_t length, std::uint32_t& crc)
{
    uLong sum = crc;
    for (std::uint64_t done = 0; done < length;) {
        const auto bytes = view(offset + done, static_cast<std::size_t>(std::min<std::uint64_t>(1 << 20, length - done)));
        if (bytes.empty() || !charge(bytes.size()))
            return false;
        sum = ::crc32(sum, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size()));
        done += bytes.size();
    }
    crc = static_cast<std::uint32_t>(sum);
    return true;
}

} // namespace tarn
