#pragma once
// Writing a recovered file on a second thread while the next part of it is read: reading the
// volume and writing the target then overlap, which on two disks (or a disk and memory) makes a
// large file cost the slower of the two, not their sum. One file at a time, its parts written in
// the order given; the reads stay one sequential stream.

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <span>
#include <thread>

namespace tarn {

class write_behind_c {
public:
    static constexpr std::size_t part_bytes = 1 << 18;

    write_behind_c();
    write_behind_c(const write_behind_c&) = delete;
    write_behind_c& operator=(const write_behind_c&) = delete;

    // A buffer of part_bytes to fill, once the writer has given one back.
    std::span<char> next_part();
    // Queues the first n bytes of the buffer next_part gave for writing to the file fd.
    void write(int fd, std::size_t n);
    // Waits until every queued part is written; whether all of them were since the last wait
    // (after one that was not, the rest until the wait are dropped).
    bool wait();

private:
    static constexpr std::size_t part_count = 4;
    struct part_s {
        std::unique_ptr<char[]> bytes = std::make_unique_for_overwrite<char[]>(part_bytes);
        int fd = -1;
        std::size_t length = 0;
    };

    void run(std::stop_token stop);

    std::mutex mutex_;
    std::condition_variable_any changed_;
    part_s parts_[part_count];
    std::size_t queued_ = 0;  // parts handed to write, ever
    std::size_t written_ = 0; // parts the writer finished, ever
    bool failed_ = false;
    std::jthread thread_; // last: it starts once everything above exists, and ends (its queue
                          // written) before anything above goes
};

} // namespace tarn
