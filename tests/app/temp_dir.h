#pragma once
// A scratch folder per test, removed with everything in it afterwards. Kept short (under /tmp)
// so local socket paths inside it stay within the system's limit.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace kestrom::test {

class CTempDir {
  public:
    CTempDir() {
        char pattern[] = "/tmp/kapp-XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~CTempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace kestrom::test
