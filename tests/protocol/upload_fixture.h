#pragma once
// A meet folder on disk and a processor wired to recording doubles, for the upload tests.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/TextConvert.h"
#include "protocol/CommandProcessor.h"
#include "support/fakes.h"
#include "support/sandbox.h"
#include "support/wire_bytes.h"

namespace kestrom::testing {

// SOH code STX payload ETX EOT.
inline std::u16string RequestMessage(std::string_view code, std::string_view payload) {
    return u"\x0001" + U16(code) + u"\x0002" + U16(payload) + u"\x0003\x0004";
}

class CUploadFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = sandbox_.Dir();
        std::filesystem::create_directories(dir_ / "event");
        std::filesystem::create_directories(dir_ / "results");
        SetCharMode(0);
    }

    void SetCharMode(int mode) {
        settings_.Update([&](CKestromSettings& s) {
            s.CharMode = mode;
            s.EventDirectory = FromUtf8((dir_ / "event").string());
            s.ResultsDirectory = FromUtf8((dir_ / "results").string());
        });
        charMode_ = mode;
    }

    // Runs one message through a fresh processor, as a connection does; returns the reply bytes.
    std::string Dispatch(RequestKind kind, const std::u16string& message) {
        CRecordingChannel channel(WireModeOf(charMode_));
        CCommandProcessor processor(context_, channel);
        processor.Dispatch(kind, message, u"Dev");
        return channel.bytes;
    }

    // The bytes of a reply in the current character mode.
    std::string Reply(std::string_view code, std::string_view payload = {}) {
        return ReplyBytes(code, payload, WireModeOf(charMode_));
    }

    std::filesystem::path Results(std::string_view name) const { return dir_ / "results" / name; }
    std::filesystem::path Event(std::string_view name) const { return dir_ / "event" / name; }

    static std::string ReadBytes(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static void WriteBytes(const std::filesystem::path& p, std::string_view bytes) {
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    static void SetMTime(const std::filesystem::path& p, std::time_t t) {
        std::filesystem::last_write_time(
            p, std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(t)));
    }

    std::vector<std::u16string> Log() const { return op_.Texts(); }

    struct CPollCounts {
        int answered = 0;
        int failed = 0;
    };
    // Dispatches `poll` over and over on `threads` threads while `work` runs, as devices
    // polling a file while another device replaces it; `answered` tells a good reply.
    template <typename Answered, typename Work>
    CPollCounts PollWhile(int threads, RequestKind kind, const std::u16string& poll,
                          Answered answered, Work work) {
        std::atomic<bool> done{false};
        std::atomic<int> good{0}, bad{0};
        std::vector<std::thread> pollers;
        for (int t = 0; t < threads; ++t)
            pollers.emplace_back([&] {
                while (!done.load()) (answered(Dispatch(kind, poll)) ? good : bad)++;
            });
        work();
        done = true;
        for (auto& t : pollers) t.join();
        return {good.load(), bad.load()};
    }

    CSandbox sandbox_;
    std::filesystem::path dir_;
    CSharedSettings settings_;
    CRecordingOperator op_;
    std::mutex updateLock_;
    CRequestContext context_{settings_, op_, updateLock_};
    int charMode_ = 0;
};

}  // namespace kestrom::testing
