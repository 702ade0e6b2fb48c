// Runs a command and prints its wall time, CPU time, peak memory and block output on one line:
//   velmaris-measure CMD [ARGS...]  ->  "wall_s cpu_s maxrss_kib exit_code oublock"
// (the command's standard output is discarded). oublock counts 512-byte blocks the command caused
// to be written to storage, counted when it dirties them: a temporary file it writes and deletes
// before the disk sees it still counts (a file on tmpfs does not).
// The command is started from this small process, so its peak memory is its own and not that of
// whatever started the measurement.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s CMD [ARGS...]\n", argv[0]);
    return 2;
  }
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    // The command's own output would mix with the measurement.
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    execvp(argv[1], argv + 1);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::printf("%.6f %.6f %ld %d %ld\n", wall, cpu, usage.ru_maxrss, code, usage.ru_oublock);
  return 0;
}
