// The machine's own figures that the server is measured against:
//   scan DIR N        a bare directory scan with each entry's last-write time, N times
//   copy2 FILE N      copying FILE twice (to FILE.copy1 and FILE.copy2), N times; with --sync
//                     each copy is flushed to the disk before the next, as the server's writes are
//   atomic FILE N     writing FILE's bytes N times through the server's atomic writer (temporary
//                     file, fsync, rename, folder sync), as a results upload is stored
//   read FILE N       reading FILE whole and splitting it into lines, N times
// Prints the median and the fastest time of one run, in microseconds, and a RESULT line.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
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

struct Entry {
    std::string name;
    std::time_t lastWrite;
};

// One pass: every name of the folder with its last-write time, as a listing would give them.
bool ScanOnce(const char* folder, std::vector<Entry>& entries) {
    entries.clear();
    DIR* dir = ::opendir(folder);
    if (!dir) return false;
    while (const dirent* e = ::readdir(dir)) {
        if (e->d_name[0] == '.' && (e->d_name[1] == 0 || (e->d_name[1] == '.' && !e->d_name[2])))
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), e->d_name, &st, 0) != 0) continue;
        entries.push_back({e->d_name, st.st_mtim.tv_sec});
    }
    ::closedir(dir);
    return true;
}

bool CopyOnce(const std::string& from, const std::string& to, bool sync) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        ::close(in);
        return false;
    }
    static char buffer[64 * 1024];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (::write(out, buffer, static_cast<size_t>(n)) != n) {
            ok = false;
            break;
        }
    }
    if (sync && ::fsync(out) != 0) ok = false;
    ::close(in);
    ::close(out);
    return ok;
}

void Report(const char* what, std::vector<double>& micros, std::size_t items) {
    std::sort(micros.begin(), micros.end());
    const double median = micros[micros.size() / 2];
    std::printf("%s: %zu runs, median %.0f us, fastest %.0f us (%zu items)\n", what, micros.size(),
                median, micros.front(), items);
    std::printf("RESULT runs=%zu median_us=%.1f min_us=%.1f items=%zu\n", micros.size(), median,
                micros.front(), items);
}

constexpr char kUsage[] =
    "usage: kestrom-bench-baseline scan DIR N | copy2 FILE N [--sync] | atomic FILE N |"
    " read FILE N\n"
    "  scan: lists DIR with every entry's last-write time N times; copy2: copies FILE twice\n"
    "  N times (--sync: each copy synced to disk); atomic: writes FILE's bytes through the\n"
    "  atomic writer N times; read: reads FILE and splits it into lines N times. Prints the\n"
    "  median time per run.\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc < 4) return Usage();
    const std::string what = argv[1];
    const int runs = std::atoi(argv[3]);
    if (runs < 1 || runs > 100000) return Usage();
    std::vector<double> micros;
    if (what == "scan") {
        std::vector<Entry> entries;
        for (int i = 0; i < runs; ++i) {
            const auto start = Clock::now();
            if (!ScanOnce(argv[2], entries)) {
                std::fprintf(stderr, "cannot read %s: %s\n", argv[2], std::strerror(errno));
                return 1;
            }
            micros.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
        Report("directory scan", micros, entries.size());
        return 0;
    }
    if (what == "copy2") {
        const bool sync = argc > 4 && std::string(argv[4]) == "--sync";
        const std::string from = argv[2];
        for (int i = 0; i < runs; ++i) {
            const auto start = Clock::now();
            if (!CopyOnce(from, from + ".copy1", sync) || !CopyOnce(from, from + ".copy2", sync)) {
                std::fprintf(stderr, "cannot copy %s: %s\n", argv[2], std::strerror(errno));
                return 1;
            }
            micros.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
        ::unlink((from + ".copy1").c_str());
        ::unlink((from + ".copy2").c_str());
        Report(sync ? "two copies, synced" : "two copies", micros, 2);
        return 0;
    }
    if (what == "atomic" || what == "read") {
        const auto read = kestrom::ReadWholeFile(argv[2]);
        if (!read) {
            std::fprintf(stderr, "cannot read %s\n", argv[2]);
            return 1;
        }
        const std::string& bytes = *read;
        const std::u16string target = kestrom::FromUtf8(std::string(argv[2]) + ".atomic");
        std::size_t lines = 0;
        for (int i = 0; i < runs; ++i) {
            const auto start = Clock::now();
            if (what == "atomic") {
                if (!kestrom::WriteFileAtomically(target, bytes)) {
                    std::fprintf(stderr, "cannot write %s.atomic\n", argv[2]);
                    return 1;
                }
            } else {
                const auto again = kestrom::ReadWholeFile(argv[2]);
                std::vector<std::string_view> split;
                std::string_view rest = again ? std::string_view(*again) : std::string_view();
                while (!rest.empty()) {
                    const std::size_t end = std::min(rest.find('\n'), rest.size());
                    split.push_back(rest.substr(0, end));
                    rest.remove_prefix(std::min(end + 1, rest.size()));
                }
                lines = split.size();
            }
            micros.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
        ::unlink((std::string(argv[2]) + ".atomic").c_str());
        Report(what == "atomic" ? "atomic write" : "read and split", micros,
               what == "atomic" ? bytes.size() : lines);
        return 0;
    }
    return Usage();
}
