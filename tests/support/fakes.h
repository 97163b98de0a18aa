#pragma once
// Test doubles for the core's two outward interfaces: the front end and the connection.
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "core/OperatorInterface.h"
#include "protocol/CommandProcessor.h"
#include "security/AccessControlList.h"

namespace kestrom::testing {

// Records log lines, balloons and notifications; answers prompts as configured.
class CRecordingOperator : public COperatorInterface {
  public:
    struct Line {
        std::u16string text;
        LogLevel level;
    };
    void AddLogLine(std::u16string_view text, LogLevel level) override {
        std::lock_guard lock(mutex);
        lines.push_back({std::u16string(text), level});
    }
    void RefreshProductGrid() override {
        std::lock_guard lock(mutex);
        ++gridRefreshes;
    }
    void ShowBalloon(std::u16string_view text, std::u16string_view, BalloonIcon, int) override {
        std::lock_guard lock(mutex);
        balloons.emplace_back(text);
    }
    bool PromptAddClient(CAccessControlItem& entry) override {
        std::lock_guard lock(mutex);
        prompted.push_back(entry);
        if (promptAnswer) entry = promptEdit(entry);
        return promptAnswer;
    }
    void ConnectionOpened() override { ++opened; }
    void ConnectionClosed() override { ++closed; }

    std::vector<std::u16string> Texts() const {
        std::lock_guard lock(mutex);
        std::vector<std::u16string> out;
        for (const auto& l : lines) out.push_back(l.text);
        return out;
    }

    mutable std::mutex mutex;
    std::vector<Line> lines;
    std::vector<std::u16string> balloons;
    std::vector<CAccessControlItem> prompted;
    bool promptAnswer = false;
    CAccessControlItem (*promptEdit)(const CAccessControlItem&) = [](const CAccessControlItem& e) {
        return e;
    };
    int gridRefreshes = 0;
    std::atomic<int> opened{0};
    std::atomic<int> closed{0};
};

// Collects the bytes a reply would put on the wire, applying the same character-mode rule
// as the connection socket.
class CRecordingChannel : public CReplyChannel {
  public:
    explicit CRecordingChannel(int charMode = 0) : charMode_(charMode) {}
    int SendText(std::u16string_view text, bool singleByte) override {
        int sent = 0;
        for (char16_t c : text) {
            bytes.push_back(static_cast<char>(c & 0xFF));
            ++sent;
            if (!singleByte && charMode_ != 0) {
                bytes.push_back(static_cast<char>(c >> 8));
                ++sent;
            }
        }
        ++sends;
        return sent;
    }
    std::string bytes;
    int sends = 0;

  private:
    int charMode_;
};

}  // namespace kestrom::testing
