#pragma once
// The scratch folder of one test: made fresh under /tmp, named after the running test, and
// removed with everything in it afterwards. Kept short so local socket paths inside it stay
// within the system's limit.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "base/TextConvert.h"

namespace kestrom::testing {

// A path from UTF-8 text (Windows would take a narrow string in the ANSI code page).
inline std::filesystem::path U8Path(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

class CSandbox {
  public:
    CSandbox() {
        std::string name = "test";
        if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info())
            name = info->name();
        name.resize(std::min<size_t>(name.size(), 24));
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '-';
#ifdef _WIN32
        // Windows has no mkdtemp: a random name in the user's temporary folder, made anew
        // until one is free.
        std::error_code ec;
        const std::u8string temp = std::filesystem::temp_directory_path(ec).u8string();
        std::random_device random;
        for (int attempt = 0; attempt < 16 && dir_.empty(); ++attempt) {
            std::string candidate(temp.begin(), temp.end());
            while (!candidate.empty() && (candidate.back() == '\\' || candidate.back() == '/'))
                candidate.pop_back();
            candidate += "/kestrom-" + name + "-" + std::to_string(random() % 1000000);
            if (std::filesystem::create_directory(U8Path(candidate), ec)) dir_ = candidate;
        }
#else
        std::string pattern = "/tmp/kestrom-" + name + "-XXXXXX";
        if (::mkdtemp(pattern.data())) dir_ = pattern;
#endif
    }
    ~CSandbox() {
        std::error_code ec;
        if (!dir_.empty()) std::filesystem::remove_all(U8Path(dir_), ec);
    }
    CSandbox(const CSandbox&) = delete;
    CSandbox& operator=(const CSandbox&) = delete;

    const std::string& Dir() const {
        return dir_;
    }
    std::string File(const std::string& name) const {
        return dir_ + "/" + name;
    }
    std::u16string Wide(const std::string& name) const {
        return FromUtf8(File(name));
    }

    // A meet folder as the server is given one: the event folder holds the results folder.
    std::string MakeMeet(const std::string& name = "meet") const {
        std::filesystem::create_directories(U8Path(File(name + "/results")));
        return File(name);
    }

    void Put(const std::string& name, const std::string& bytes) const {
        std::ofstream(U8Path(File(name)), std::ios::binary) << bytes;
    }
    std::string Get(const std::string& name) const {
        std::ifstream in(U8Path(File(name)), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

  private:
    std::string dir_;
};

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(U8Path(path), std::ios::binary) << text;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(U8Path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace kestrom::testing
