// tarn-ntfs-edit: makes folders and files on an NTFS image made by mkntfs, and deletes them, through
// libntfs-3g (no mount, no FUSE), so that tests and the demo disk get volumes written and deleted
// by a real NTFS implementation.
//   tarn-ntfs-edit IMAGE COMMAND... with commands
//     mkdir PATH                  a folder
//     put PATH FILE               a file with FILE's bytes
//     fill PATH SIZE SEED         a file of SIZE pseudo-random bytes
//     weave PATH1 PATH2 SIZE STEP two files of SIZE bytes written STEP bytes at a time in turn,
//                                 so that their clusters interleave (fragmented files)
//     sparse PATH SIZE STEP       a sparse file of SIZE bytes: one byte written every STEP bytes
//                                 and at its end, the rest holes
//     rm PATH                     delete a file or an empty folder
//     remount                     close the volume and open it again (a fresh mount allocates
//                                 records from the start again, reusing freed ones)
// Exit status 0 when every command worked.

#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// After the standard headers: the library's headers lean on them, and define min and max.
extern "C" {
#include <ntfs-3g/types.h>
#include <ntfs-3g/attrib.h>
#include <ntfs-3g/dir.h>
#include <ntfs-3g/inode.h>
#include <ntfs-3g/unistr.h>
#include <ntfs-3g/volume.h>
}
#undef min
#undef max

namespace {

struct path_parts_s {
    std::string parent;
    std::string name;
};

path_parts_s split(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0)
        return {"/", path.substr(slash == std::string::npos ? 0 : 1)};
    return {path.substr(0, slash), path.substr(slash + 1)};
}

std::vector<char> pseudo_random(std::size_t size, unsigned seed)
{
    std::vector<char> bytes(size);
    unsigned state = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<char>(state >> 16);
    }
    return bytes;
}

ntfs_inode* create(ntfs_volume* vol, const std::string& path, mode_t type)
{
    const path_parts_s parts = split(path);
    ntfs_inode* dir = ntfs_pathname_to_inode(vol, nullptr, parts.parent.c_str());
    if (dir == nullptr)
        return nullptr;
    ntfschar* name = nullptr;
    const int length = ntfs_mbstoucs(parts.name.c_str(), &name);
    ntfs_inode* made = length > 0 ? ntfs_create(dir, 0, name, static_cast<u8>(length), type) : nullptr;
    std::free(name);
    ntfs_inode_close(dir);
    return made;
}

bool write_at(ntfs_inode* file, s64 at, const char* data, s64 count)
{
    ntfs_attr* stream = ntfs_attr_open(file, AT_DATA, AT_UNNAMED, 0);
    if (stream == nullptr)
        return false;
    const bool ok = ntfs_attr_pwrite(stream, at, count, data) == count;
    ntfs_attr_close(stream);
    return ok;
}

bool put(ntfs_volume* vol, const std::string& path, const std::vector<char>& bytes)
{
    ntfs_inode* file = create(vol, path, S_IFREG);
    if (file == nullptr)
        return false;
    const bool ok = bytes.empty() || write_at(file, 0, bytes.data(), static_cast<s64>(bytes.size()));
    return ntfs_inode_close(file) == 0 && ok;
}

bool sparse(ntfs_volume* vol, const std::string& path, s64 size, s64 step)
{
    ntfs_inode* file = create(vol, path, S_IFREG);
    if (file == nullptr)
        return false;
    const char mark = 'z';
    bool ok = size > 0 && step > 0;
    for (s64 at = 0; ok && at < size - 1; at += step)
        ok = write_at(file, at, &mark, 1);
    ok = ok && write_at(file, size - 1, &mark, 1);
    return ntfs_inode_close(file) == 0 && ok;
}

bool weave(ntfs_volume* vol, const std::string& a, const std::string& b, std::size_t size, std::size_t step)
{
    ntfs_inode* first = create(vol, a, S_IFREG);
    ntfs_inode* second = create(vol, b, S_IFREG);
    const std::vector<char> one = pseudo_random(size, 1), two = pseudo_random(size, 2);
    bool ok = first != nullptr && second != nullptr && step > 0;
    for (std::size_t at = 0; ok && at < size; at += step) {
        const s64 count = static_cast<s64>(std::min(step, size - at));
        ok = write_at(first, static_cast<s64>(at), one.data() + at, count)
             && write_at(second, static_cast<s64>(at), two.data() + at, count);
    }
    if (first != nullptr)
        ok = ntfs_inode_close(first) == 0 && ok;
    if (second != nullptr)
        ok = ntfs_inode_close(second) == 0 && ok;
    return ok;
}

bool remove(ntfs_volume* vol, const std::string& path)
{
    const path_parts_s parts = split(path);
    ntfs_inode* target = ntfs_pathname_to_inode(vol, nullptr, path.c_str());
    ntfs_inode* dir = ntfs_pathname_to_inode(vol, nullptr, parts.parent.c_str());
    ntfschar* name = nullptr;
    const int length = ntfs_mbstoucs(parts.name.c_str(), &name);
    if (target == nullptr || dir == nullptr || length <= 0) {
        if (target != nullptr)
            ntfs_inode_close(target);
        if (dir != nullptr)
            ntfs_inode_close(dir);
        std::free(name);
        return false;
    }
    // ntfs_delete closes both inodes, whatever its outcome.
    const bool ok = ntfs_delete(vol, path.c_str(), target, dir, name, static_cast<u8>(length)) == 0;
    std::free(name);
    return ok;
}

std::vector<char> file_bytes(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs the command at argv[at]; the number of arguments it took, or 0 when it failed.
int run(ntfs_volume* vol, int argc, char** argv, int at)
{
    const std::string command = argv[at];
    const auto arg = [&](int k) { return at + k < argc ? std::string(argv[at + k]) : std::string(); };
    if (command == "mkdir" && at + 1 < argc) {
        ntfs_inode* dir = create(vol, arg(1), S_IFDIR);
        return dir != nullptr && ntfs_inode_close(dir) == 0 ? 2 : 0;
    }
    if (command == "put" && at + 2 < argc)
        return put(vol, arg(1), file_bytes(argv[at + 2])) ? 3 : 0;
    if (command == "fill" && at + 3 < argc)
        return put(vol, arg(1), pseudo_random(std::stoul(arg(2)), static_cast<unsigned>(std::stoul(arg(3))))) ? 4 : 0;
    if (command == "weave" && at + 4 < argc)
        return weave(vol, arg(1), arg(2), std::stoul(arg(3)), std::stoul(arg(4))) ? 5 : 0;
    if (command == "sparse" && at + 3 < argc)
        return sparse(vol, arg(1), static_cast<s64>(std::stoll(arg(2))), static_cast<s64>(std::stoll(arg(3)))) ? 4 : 0;
    if (command == "rm" && at + 1 < argc)
        return remove(vol, arg(1)) ? 2 : 0;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: tarn-ntfs-edit IMAGE [mkdir P | put P FILE | fill P SIZE SEED | "
                             "weave P1 P2 SIZE STEP | sparse P SIZE STEP | rm P]...\n");
        return 2;
    }
    ntfs_volume* vol = ntfs_mount(argv[1], NTFS_MNT_NONE);
    if (vol == nullptr) {
        std::perror("tarn-ntfs-edit: cannot open the volume");
        return 1;
    }
    int status = 0;
    for (int at = 2; at < argc;) {
        if (std::strcmp(argv[at], "remount") == 0) {
            ntfs_umount(vol, FALSE);
            vol = ntfs_mount(argv[1], NTFS_MNT_NONE);
            if (vol == nullptr)
                return 1;
            ++at;
            continue;
        }
        const int used = run(vol, argc, argv, at);
        if (used == 0) {
            std::fprintf(stderr, "tarn-ntfs-edit: %s %s failed\n", argv[at], at + 1 < argc ? argv[at + 1] : "");
            status = 1;
            break;
        }
        at += used;
    }
    if (ntfs_umount(vol, FALSE) != 0)
        status = 1;
    return status;
}
