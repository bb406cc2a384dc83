#include "platform/mapped_bytes.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <utility>

#ifndef MADV_POPULATE_READ
#define MADV_POPULATE_READ 22 // Linux 5.14; older kernels refuse it, and nothing is mapped there
#endif

namespace tarn {

namespace {

// The live maps, for the bus-error handler, which may take no lock: a slot is claimed by setting
// its start and freed by clearing it, before the pages go.
struct slot_s {
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<bool> damaged{false};
};
std::array<slot_s, 256> slots;
struct sigaction previous_bus_action {};
long page_bytes = 4096;

// A read of a mapped page that failed: the page becomes a page of zeros and its map is marked,
// and the reading goes on. A bus error anywhere else goes to what handled it before.
void on_bus_error(int signal, siginfo_t* info, void* context)
{
    const auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (slot_s& slot : slots) {
        const std::uintptr_t begin = slot.begin.load(std::memory_order_acquire);
        if (begin == 0 || at < begin || at >= slot.end.load(std::memory_order_acquire))
            continue;
        void* page = reinterpret_cast<void*>(at & ~static_cast<std::uintptr_t>(page_bytes - 1));
        if (::mmap(page, static_cast<std::size_t>(page_bytes), PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
            slot.damaged.store(true, std::memory_order_release);
            return;
        }
    }
    if ((previous_bus_action.sa_flags & SA_SIGINFO) != 0 && previous_bus_action.sa_sigaction != nullptr) {
        previous_bus_action.sa_sigaction(signal, info, context);
        return;
    }
    // The faulting read runs again and ends the program as it would have without this handler.
    ::sigaction(SIGBUS, &previous_bus_action, nullptr);
}

bool install_handler()
{
    page_bytes = ::sysconf(_SC_PAGESIZE);
    struct sigaction action {};
    action.sa_sigaction = on_bus_error;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    return page_bytes > 0 && ::sigaction(SIGBUS, &action, &previous_bus_action) == 0;
}

// A slot for a map being made: its end is set after the claim, before any page of it is read.
int claim_slot(std::uintptr_t begin, std::uintptr_t end)
{
    for (std::size_t i = 0; i < slots.size(); ++i) {
        std::uintptr_t free = 0;
        if (slots[i].begin.compare_exchange_strong(free, begin, std::memory_order_acq_rel)) {
            slots[i].end.store(end, std::memory_order_release);
            slots[i].damaged.store(false, std::memory_order_release);
            return static_cast<int>(i);
        }
    }
    return -1;
}

} // namespace

mapped_bytes_c mapped_bytes_c::map(int fd, std::uint64_t offset, std::size_t length)
{
    static const bool handled = install_handler();
    mapped_bytes_c map;
    if (!handled || fd < 0 || length == 0)
        return map;
    const auto page = static_cast<std::uint64_t>(page_bytes);
    const std::uint64_t first = offset / page * page;
    map.skip_ = static_cast<std::size_t>(offset - first);
    map.mapped_ = static_cast<std::size_t>((map.skip_ + length + page - 1) / page * page);
    map.length_ = length;
    void* base = ::mmap(nullptr, map.mapped_, PROT_READ, MAP_SHARED, fd, static_cast<off_t>(first));
    if (base == MAP_FAILED)
        return map;
    map.base_ = base;
    const auto begin = reinterpret_cast<std::uintptr_t>(base);
    map.slot_ = claim_slot(begin, begin + map.mapped_);
    // Reading the pages in now: a page that cannot be read makes this fail rather than signal later.
    if (map.slot_ < 0 || ::madvise(base, map.mapped_, MADV_POPULATE_READ) != 0)
        map.release();
    return map;
}

mapped_bytes_c::~mapped_bytes_c()
{
    release();
}

mapped_bytes_c::mapped_bytes_c(mapped_bytes_c&& other) noexcept
    : base_(std::exchange(other.base_, nullptr)), mapped_(other.mapped_), skip_(other.skip_), length_(other.length_),
      slot_(std::exchange(other.slot_, -1))
{
}

mapped_bytes_c& mapped_bytes_c::operator=(mapped_bytes_c&& other) noexcept
{
    if (this != &other) {
        release();
        base_ = std::exchange(other.base_, nullptr);
        mapped_ = other.mapped_;
        skip_ = other.skip_;
        length_ = other.length_;
        slot_ = std::exchange(other.slot_, -1);
    }
    return *this;
}

std::span<const std::byte> mapped_bytes_c::bytes() const
{
    if (base_ == nullptr)
        return {};
    return {static_cast<const std::byte*>(base_) + skip_, length_};
}

bool mapped_bytes_c::damaged() const
{
    return slot_ >= 0 && slots[static_cast<std::size_t>(slot_)].damaged.load(std::memory_order_acquire);
}

void mapped_bytes_c::release()
{
    if (slot_ >= 0)
        slots[static_cast<std::size_t>(slot_)].begin.store(0, std::memory_order_release);
    slot_ = -1;
    if (base_ != nullptr)
        ::munmap(base_, mapped_);
    base_ = nullptr;
}

} // namespace tarn
