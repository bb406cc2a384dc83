#include "libs/carve/recent_volume.h"

#include <QFile>

namespace tarn {

namespace {

bool same_time(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// A disk swapped for another under the same node, or an image rewritten, shows in one of these.
bool same_file(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_rdev == b.st_rdev && a.st_size == b.st_size
           && same_time(a.st_mtim, b.st_mtim) && same_time(a.st_ctim, b.st_ctim);
}

bool identify(const device_c& device, struct stat& out)
{
    return ::stat(QFile::encodeName(device.location().file).constData(), &out) == 0;
}

} // namespace

std::shared_ptr<device_c> recent_volume_c::open(const std::string& name)
{
    const std::lock_guard lock(mutex_);
    struct stat now {};
    if (device_ && name == name_ && identify(*device_, now) && same_file(now, identity_))
        return device_;
    device_.reset();
    std::shared_ptr<device_c> device = device_c::open(QFile::decodeName(name.c_str()), access_e::read);
    if (device && identify(*device, identity_)) {
        name_ = name;
        device_ = device;
    }
    return device;
}

void recent_volume_c::forget()
{
    const std::lock_guard lock(mutex_);
    device_.reset();
    name_.clear();
}

recent_volume_c& recent_volume()
{
    static recent_volume_c kept;
    return kept;
}

} // namespace tarn
