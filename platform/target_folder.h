#pragma once
// The folder recovered files are written into, held open: files and folders are made relative to
// it (openat, mkdirat), never by a path that was looked at before, so that a link planted under a
// name about to be written cannot carry a write outside it, and two recoveries into one folder
// never write over each other's files. Run as root, what is made belongs to the folder's owner.

#include <QString>

#include <memory>

namespace tarn {

class target_file_c;

class target_folder_c {
public:
    ~target_folder_c();
    target_folder_c(const target_folder_c&) = delete;
    target_folder_c& operator=(const target_folder_c&) = delete;

    // The folder at path, as the user chose it (a link to a folder is followed there); null when
    // it is no folder that can be opened.
    static std::unique_ptr<target_folder_c> open(const QString& path);
    // The folder name inside this one, made when missing; null when it cannot be made, or the
    // name holds anything but a folder (a link is never followed).
    std::unique_ptr<target_folder_c> subfolder(const QString& name) const;
    // A new file of that name, made here and only here: null, with errno's value in error, when
    // the name is taken (EEXIST: a file, a link, anything) or cannot be made.
    std::unique_ptr<target_file_c> create_file(const QString& name, int& error) const;
    // Removes what the name holds in this folder (a link itself, not what it points to); true
    // when nothing is left under the name.
    bool remove(const QString& name) const;

private:
    target_folder_c(int fd, unsigned owner, unsigned group) : fd_(fd), owner_(owner), group_(group) {}
    // Gives what was made to the folder's owner when the program runs as root for another user.
    void hand_over(int fd) const;

    int fd_;
    unsigned owner_;
    unsigned group_;
    friend class target_file_c;
};

// A file made by target_folder_c::create_file, open for writing until it goes.
class target_file_c {
public:
    ~target_file_c();
    target_file_c(const target_file_c&) = delete;
    target_file_c& operator=(const target_file_c&) = delete;

    // A path that names this file itself, not its name in the folder: whatever is put under the
    // name meanwhile, opening this path opens the file made here.
    QString path() const;
    // The file's modification and access times (seconds since 1970; 0 leaves one as it is).
    void set_times(qint64 modified, qint64 accessed) const;
    // Removes the file's name again when it still names this file (nothing was written to it).
    void discard() const;

private:
    target_file_c(int folder_fd, int fd, QString name) : folder_fd_(folder_fd), fd_(fd), name_(std::move(name)) {}

    int folder_fd_; // the folder's own descriptor, kept open by the caller's folder
    int fd_;
    QString name_;
    friend class target_folder_c;
};

} // namespace tarn
