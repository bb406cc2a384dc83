#pragma once
// Helpers shared by the tests: running the real tools that make disk images, and files.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace tarn::test {

// Runs program with args (no shell), waits for it and returns its exit code, or -1 when it
// could not start or crashed. Standard output and error go to *output when given.
int run_tool(const QString& program, const QStringList& args, QString* output = nullptr,
             const QStringList& extra_env = {});

// Runs an mtools command (args start with the tool's name) at a fixed time in UTC with the
// settings mtools needs here (no geometry check, UTF-8 names). 0 on success; the tool's output
// goes to the test log on failure.
int run_mtools(const QStringList& args, const QString& time = QStringLiteral("2024-01-15 10:00:00"));

// Creates or truncates path to a sparse file of the given size. 0 on success.
int make_sparse_file(const QString& path, std::uint64_t bytes);

// Writes an MBR or GPT partition table with sfdisk; script is sfdisk's input ("label: dos\n...").
int write_partition_table(const QString& image, const QString& script);

// Formats a FAT file system of the given type (12, 16, 32) in the window of an image that
// starts at first_sector and holds sectors 512-byte sectors. Repeatable: fixed serial number.
// sectors_per_cluster 0 leaves the cluster size to mkfs.fat.
int format_fat(const QString& image, std::uint64_t first_sector, std::uint64_t sectors, int fat_bits,
               const QString& label, int sectors_per_cluster = 0);

// True when the tool is on PATH; tests that need a tool fail loudly rather than skip.
bool have_tool(const QString& program);

// size bytes that the same seed always gives again.
QByteArray random_bytes(int size, quint32 seed);

} // namespace tarn::test
