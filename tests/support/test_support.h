#pragma once
// Helpers shared by the tests: running the real tools that make disk images, and files.

#include <QString>
#include <QStringList>

#include <cstdint>

namespace tarn::test {

// Runs program with args (no shell), waits for it and returns its exit code, or -1 when it
// could not start or crashed. Standard output and error go to *output when given.
int run_tool(const QString& program, const QStringList& args, QString* output = nullptr,
             const QStringList& extra_env = {});

// Creates or truncates path to a sparse file of the given size. 0 on success.
int make_sparse_file(const QString& path, std::uint64_t bytes);

// True when the tool is on PATH; tests that need a tool fail loudly rather than skip.
bool have_tool(const QString& program);

} // namespace tarn::test
