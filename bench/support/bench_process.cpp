#include "bench/support/bench_process.h"

#include <QElapsedTimer>
#include <QFile>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <string>
#include <vector>

extern char** environ;

bench_run_s run_measured(const QString& program, const QStringList& args, const QStringList& environment)
{
    std::vector<std::string> strings{QFile::encodeName(program).toStdString()};
    for (const QString& a : args)
        strings.push_back(QFile::encodeName(a).toStdString());
    std::vector<std::string> env_strings;
    for (char** e = environ; *e != nullptr; ++e)
        env_strings.emplace_back(*e);
    for (const QString& e : environment)
        env_strings.push_back(e.toStdString());
    std::vector<char*> argv, envp;
    for (std::string& s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    for (std::string& s : env_strings)
        envp.push_back(s.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    bench_run_s run;
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return run;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    run.peak_kib = usage.ru_maxrss;
    run.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
                      + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}
