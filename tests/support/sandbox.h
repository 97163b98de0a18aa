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
#include <string>

#include "base/TextConvert.h"

namespace kestrom::testing {

class CSandbox {
  public:
    CSandbox() {
        std::string name = "test";
        if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info())
            name = info->name();
        name.resize(std::min<size_t>(name.size(), 24));
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '-';
        std::string pattern = "/tmp/kestrom-" + name + "-XXXXXX";
        if (::mkdtemp(pattern.data())) dir_ = pattern;
    }
    ~CSandbox() {
        std::error_code ec;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
    }
    CSandbox(const CSandbox&) = delete;
    CSandbox& operator=(const CSandbox&) = delete;

    const std::string& Dir() const { return dir_; }
    std::string File(const std::string& name) const { return dir_ + "/" + name; }
    std::u16string Wide(const std::string& name) const { return FromUtf8(File(name)); }

    // A meet folder as the server is given one: the event folder holds the results folder.
    std::string MakeMeet(const std::string& name = "meet") const {
        std::filesystem::create_directories(File(name + "/results"));
        return File(name);
    }

    void Put(const std::string& name, const std::string& bytes) const {
        std::ofstream(File(name), std::ios::binary) << bytes;
    }
    std::string Get(const std::string& name) const {
        std::ifstream in(File(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

  private:
    std::string dir_;
};

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace kestrom::testing
