#pragma once
// Where a recovered file's bytes go: written by the caller from its own buffer when the file
// fits in it, else handed part by part to the writer behind, which the sink waits for before the
// file is closed. The file must be open unbuffered: the writer writes to its descriptor.

#include "scan/write_behind.h"

#include <QFile>

#include <span>
#include <utility>

namespace tarn {

class file_sink_c {
public:
    file_sink_c(QFile& out, write_behind_c* behind, std::span<char> own) : out_(out), behind_(behind), own_(own) {}
    ~file_sink_c() { finish(); }
    file_sink_c(const file_sink_c&) = delete;
    file_sink_c& operator=(const file_sink_c&) = delete;

    std::span<char> next() { return behind_ != nullptr ? behind_->next_part() : own_; }
    bool put(std::size_t n)
    {
        if (behind_ == nullptr)
            return out_.write(own_.data(), static_cast<qint64>(n)) == static_cast<qint64>(n);
        behind_->write(static_cast<int>(out_.handle()), n);
        return true;
    }
    // Whether everything put was written.
    bool finish()
    {
        write_behind_c* const behind = std::exchange(behind_, nullptr);
        return behind == nullptr || behind->wait();
    }

private:
    QFile& out_;
    write_behind_c* behind_;
    std::span<char> own_;
};

} // namespace tarn
