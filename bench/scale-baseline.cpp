// The bare work that the scale benchmark (bench/run-scale) measures the server's requests
// against, each run N times:
//   lines FILE N    read FILE in 64 KiB blocks and split it into lines (LF ends a line)
//   atomic FILE N   write FILE's bytes to FILE.out through the server's atomic file writer
// Prints the median and fastest run and the CPU time per run, in microseconds, the peak
// resident memory, and a RESULT line.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "base/AtomicFile.h"
#include "base/TextConvert.h"
#include "base/WholeFile.h"

namespace {

using Clock = std::chrono::steady_clock;

double CpuMicros() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

// The lines of the file, found with memchr in blocks; a line cut by a block's end is carried.
std::size_t SplitLines(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    static char block[64 * 1024];
    std::size_t lines = 0, open = 0;
    for (;;) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n <= 0) break;
        const char* p = block;
        const char* end = block + n;
        while (const char* lf = static_cast<const char*>(std::memchr(p, '\n', end - p))) {
            open = 0;
            ++lines;
            p = lf + 1;
        }
        open += static_cast<std::size_t>(end - p);
    }
    ::close(fd);
    return lines + (open > 0 ? 1 : 0);
}

int Usage() {
    std::fprintf(stderr, "usage: kestrom-bench-scale lines FILE N | atomic FILE N\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return Usage();
    const std::string what = argv[1];
    const int runs = std::atoi(argv[3]);
    if (runs < 1 || runs > 100000) return Usage();
    std::string bytes;
    if (what == "atomic") {
        auto read = kestrom::ReadWholeFile(argv[2]);
        if (!read) {
            std::fprintf(stderr, "cannot read %s\n", argv[2]);
            return 1;
        }
        bytes = std::move(*read);
    }
    const std::u16string target = kestrom::FromUtf8(std::string(argv[2]) + ".out");
    std::vector<double> micros;
    std::size_t items = 0;
    const double cpu0 = CpuMicros();
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        if (what == "lines") {
            items = SplitLines(argv[2]);
        } else if (what == "atomic") {
            if (!kestrom::WriteFileAtomically(target, bytes)) {
                std::fprintf(stderr, "cannot write %s.out\n", argv[2]);
                return 1;
            }
            items = bytes.size();
        } else {
            return Usage();
        }
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    const double cpuPerRun = (CpuMicros() - cpu0) / runs;
    if (what == "atomic") ::unlink((std::string(argv[2]) + ".out").c_str());
    std::sort(micros.begin(), micros.end());
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf(
        "%s %s: %d runs, median %.0f us, fastest %.0f us, CPU %.1f us per run, peak %ld kB\n",
        what.c_str(), argv[2], runs, micros[micros.size() / 2], micros.front(), cpuPerRun,
        usage.ru_maxrss);
    std::printf("RESULT runs=%d median_us=%.1f min_us=%.1f cpu_us=%.1f peak_kb=%ld items=%zu\n",
                runs, micros[micros.size() / 2], micros.front(), cpuPerRun, usage.ru_maxrss, items);
    return 0;
}
