#include "scan/write_behind.h"

#include <cerrno>
#include <unistd.h>

namespace tarn {

namespace {

bool write_all(int fd, const char* bytes, std::size_t n)
{
    while (n > 0) {
        const ssize_t done = ::write(fd, bytes, n);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        bytes += done;
        n -= static_cast<std::size_t>(done);
    }
    return true;
}

} // namespace

write_behind_c::write_behind_c() : thread_([this](std::stop_token stop) { run(stop); }) {}

std::span<char> write_behind_c::next_part()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queued_ - written_ < part_count; });
    return {parts_[queued_ % part_count].bytes.get(), part_bytes};
}

void write_behind_c::write(int fd, std::size_t n)
{
    {
        const std::lock_guard lock(mutex_);
        part_s& part = parts_[queued_ % part_count];
        part.fd = fd;
        part.length = n;
        ++queued_;
    }
    changed_.notify_all();
}

bool write_behind_c::wait()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return written_ == queued_; });
    const bool sound = !failed_;
    failed_ = false;
    return sound;
}

void write_behind_c::run(std::stop_token stop)
{
    std::unique_lock lock(mutex_);
    while (changed_.wait(lock, stop, [this] { return written_ < queued_; })) {
        const part_s& part = parts_[written_ % part_count];
        // After a part that could not be written the file's later parts are not written either:
        // they would land where the lost one belongs.
        const bool lost = failed_;
        // The part is the writer's until written_ moves past it: written without the lock.
        lock.unlock();
        const bool sound = !lost && write_all(part.fd, part.bytes.get(), part.length);
        lock.lock();
        failed_ |= !sound;
        ++written_;
        changed_.notify_all();
    }
}

} // namespace tarn
