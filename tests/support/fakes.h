#pragma once
// Test doubles for the core's outward interfaces: the front end, the connection, and the
// handler the network layer serves its messages to.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/OperatorInterface.h"
#include "net/MessageHandler.h"
#include "protocol/CommandProcessor.h"
#include "security/AccessControlList.h"
#include "wire/Records.h"
#include "wire/WireText.h"

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

// Collects the bytes a reply would put on the wire, encoded as the connection socket does.
class CRecordingChannel : public CReplyChannel {
  public:
    explicit CRecordingChannel(WireMode mode = WireMode::kSingleByte) : mode_(mode) {}
    int SendText(std::u16string_view text, bool singleByte) override {
        const size_t before = bytes.size();
        AppendEncoded(bytes, text, singleByte ? WireMode::kSingleByte : mode_);
        ++sends;
        return static_cast<int>(bytes.size() - before);
    }
    std::string bytes;
    int sends = 0;

  private:
    WireMode mode_;
};

// A handler for the network layer alone: it records every message it is handed and answers
// each with a reply record of the message's own command code (the characters after SOH up to
// STX) and an empty payload, in the connection's character mode.
class CEchoHandler : public CMessageHandler {
  public:
    std::unique_ptr<CConnectionHandler> Open(std::u16string_view peerIp,
                                             CReplyChannel& channel) override {
        std::lock_guard lock(mutex);
        peers.emplace_back(peerIp);
        return std::make_unique<CConnection>(*this, channel);
    }

    std::vector<std::u16string> Messages() const {
        std::lock_guard lock(mutex);
        return messages;
    }

    // The mode every read is taken in.
    std::atomic<WireMode> mode{WireMode::kSingleByte};
    mutable std::mutex mutex;
    std::vector<std::u16string> peers;
    std::vector<std::u16string> messages;

  private:
    class CConnection : public CConnectionHandler {
      public:
        CConnection(CEchoHandler& owner, CReplyChannel& channel)
            : owner_(owner), channel_(channel) {}
        WireMode BeginRead() override { return mode_ = owner_.mode.load(); }
        void Serve(std::u16string_view message) override {
            {
                std::lock_guard lock(owner_.mutex);
                owner_.messages.emplace_back(message);
            }
            const size_t soh = message.find(kSOH);
            std::u16string_view code;
            if (soh != std::u16string_view::npos) {
                code = message.substr(soh + 1);
                code = code.substr(0, code.find(kSTX));
            }
            channel_.SendText(BuildReplyRecord(code, {}, mode_), false);
        }

      private:
        CEchoHandler& owner_;
        CReplyChannel& channel_;
        WireMode mode_ = WireMode::kSingleByte;
    };
};

}  // namespace kestrom::testing
