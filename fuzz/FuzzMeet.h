#pragma once
// A small meet in a scratch folder (on /dev/shm when there is one, so the atomic writer's
// syncs cost nothing), put back as it was before every input so that uploads cannot pile up
// files or grow the event file from one input to the next.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace kestrom::fuzz {

inline constexpr std::string_view kEventFile =
    "; sample meet\n"
    "1,1,1,\"100 Metres\",T,1000\n"
    ",101,1,\"Ann\",\"Lee\",\"Club\"\n"
    ",102,2,\"Bo\",\"Ray\",\"Club\"\n"
    "7,1,1,\"Long Jump\",LJ,1100\n"
    ",201,1,\"Cy\",\"Fox\",\"Club\"\n"
    "7,1,2,\"Long Jump\",LJ,1130\n"
    "9,2,1,\"High Jump\",HJ,1200\n";
inline constexpr std::string_view kHyWireFile = "1,1,1,\"100 Metres\"\r\n7,1,1,\"Long Jump\"\r\n";
inline constexpr std::string_view kPeopleFile =
    "101,\"Lee\",\"Ann\",\"Club\",F,20,\"1,7\"\n102,\"Ray\",\"Bo\",\"Club\",M,21,9\n"
    "; comment\n103,\"Fox\",\"Cy\",\"Club\",M,22,0\n";
inline constexpr std::string_view kResultsFile = "1,1,1,\"100 Metres\"\r\n1,101,\"Lee\",10.5\r\n";

class CFuzzMeet {
  public:
    CFuzzMeet() {
        std::error_code ec;
        const char* shm = "/dev/shm";
        std::string base = std::filesystem::is_directory(shm, ec)
                               ? std::string(shm)
                               : std::filesystem::temp_directory_path().string();
        std::string pattern = base + "/kestrom-fuzz-XXXXXX";
        root_ = ::mkdtemp(pattern.data()) ? pattern : base + "/kestrom-fuzz";
        std::filesystem::create_directories(EventDir(), ec);
        std::filesystem::create_directories(ResultsDir(), ec);
        Reset();
    }
    ~CFuzzMeet() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    CFuzzMeet(const CFuzzMeet&) = delete;
    CFuzzMeet& operator=(const CFuzzMeet&) = delete;

    std::string EventDir() const { return root_ + "/event"; }
    std::string ResultsDir() const { return root_ + "/results"; }
    std::string Root() const { return root_; }

    // Removes whatever the last input created and rewrites the meet's files.
    void Reset() {
        std::error_code ec;
        for (const std::string& dir : {EventDir(), ResultsDir()}) {
            for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
                std::filesystem::remove_all(entry.path(), ec);
        }
        std::filesystem::create_directories(EventDir(), ec);
        std::filesystem::create_directories(ResultsDir(), ec);
        Write(EventDir() + "/orvo.evt", kEventFile);
        Write(EventDir() + "/hywire.evt", kHyWireFile);
        Write(EventDir() + "/orvo.ppl", kPeopleFile);
        Write(ResultsDir() + "/001-1-01.qff", kResultsFile);
        Write(ResultsDir() + "/007-1-01.qff", kResultsFile);
        Write(ResultsDir() + "/0001-1-01.hyf", kResultsFile);
        Write(ResultsDir() + "/001-1-01.jpg", std::string_view("\xFF\xD8\xFF\xE0jpeg\x00\x01", 10));
    }

    static void Write(const std::string& path, std::string_view bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

  private:
    std::string root_;
};

}  // namespace kestrom::fuzz
