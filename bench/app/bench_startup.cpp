// bench_app_startup PROBE [RUNS]: starts PROBE (tavenro-settings-probe) RUNS
// times, after two runs to warm the caches, and reports how long each process
// took from its start until it printed "shown" (both windows on screen) and
// until it had ended. The environment (WINEPREFIX, QT_QPA_PLATFORM, DISPLAY)
// passes through unchanged.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Run
{
    double shownMs = -1;
    double exitMs = -1;
};

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

Run runOnce(const char* probe)
{
    int out[2];
    if (pipe(out) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Both streams into the pipe: Qt's notices stay quiet unless the run fails.
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);

    Run run;
    char* argv[] = {const_cast<char*>(probe), nullptr};
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, probe, &actions, nullptr, argv, environ) != 0) {
        std::perror(probe);
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);

    std::string seen;
    char buffer[256];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0) {
        seen.append(buffer, std::size_t(n));
        if (run.shownMs < 0 && seen.find("shown\n") != std::string::npos)
            run.shownMs = msSince(start);
    }
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitMs = msSince(start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || run.shownMs < 0) {
        std::fprintf(stderr, "probe failed (status %d), output: %s\n", status, seen.c_str());
        std::exit(1);
    }
    return run;
}

void report(const char* what, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double m : ms)
        sum += m;
    const auto at = [&](double q) { return ms[std::size_t(q * double(ms.size() - 1) + 0.5)]; };
    std::printf("%-26s median %6.1f ms  mean %6.1f  min %6.1f  p90 %6.1f  max %6.1f\n", what,
                at(0.5), sum / double(ms.size()), ms.front(), at(0.9), ms.back());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_app_startup PROBE [RUNS]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    for (int i = 0; i < 2; ++i)
        runOnce(argv[1]);
    std::vector<double> shown, ended;
    for (int i = 0; i < runs; ++i) {
        const Run r = runOnce(argv[1]);
        shown.push_back(r.shownMs);
        ended.push_back(r.exitMs);
    }
    std::printf("%d runs\n", runs);
    report("start -> both windows shown", shown);
    report("start -> process ended", ended);
    const double goal = 300;
    std::sort(shown.begin(), shown.end());
    std::printf("goal: shown under %.0f ms (median): %s\n", goal,
                shown[shown.size() / 2] < goal ? "met" : "NOT met");
    return 0;
}
