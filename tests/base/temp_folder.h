#pragma once
// A scratch folder for one test, removed with everything in it afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/TextConvert.h"

namespace kestrom::testing {

class TempFolder {
  public:
    TempFolder() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "kestrom-fileio-XXXXXX");
        path_ = ::mkdtemp(tmpl.data());
    }
    ~TempFolder() { std::filesystem::remove_all(path_); }
    std::string Native(const std::string& name) const { return path_ + "/" + name; }
    std::u16string Path(const std::string& name) const { return FromUtf8(Native(name)); }
    void Put(const std::string& name, const std::string& bytes) const {
        std::ofstream(Native(name), std::ios::binary) << bytes;
    }
    std::string Get(const std::string& name) const {
        std::ifstream in(Native(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    const std::string& native() const { return path_; }

  private:
    std::string path_;
};

}  // namespace kestrom::testing
