#pragma once
// The operator port as the server hands it to every connection: each call goes to the front
// end that runs the server, and a copy of the log lines and connection notices goes to one
// watcher (the browser console). Where no window can prompt (kestromd), the watcher may
// answer the prompt for an unknown client instead.
#include <atomic>
#include <shared_mutex>
#include <string_view>

#include "core/OperatorInterface.h"

namespace kestrom {

class COperatorWatcher {
  public:
    virtual ~COperatorWatcher() = default;
    // Quick: called on connection threads for every line, levels 1 to 3.
    virtual void OnLogLine(std::u16string_view text, LogLevel level) = 0;
    virtual void OnConnectionOpened() {}
    virtual void OnConnectionClosed() {}
    // Asks the operator; true when the client is to be added. The connection waits.
    virtual bool AnswerPrompt(CAccessControlItem& entry) = 0;
};

class COperatorTee : public COperatorInterface {
  public:
    explicit COperatorTee(COperatorInterface& frontEnd) : frontEnd_(frontEnd) {}

    // One watcher at a time; setting none waits for the calls under way to return, so the
    // watcher may be destroyed afterwards. `answersPrompts`: prompts go to the watcher, not
    // to the front end.
    void SetWatcher(COperatorWatcher* watcher, bool answersPrompts);

    void AddLogLine(std::u16string_view text, LogLevel level) override;
    void RefreshProductGrid() override { frontEnd_.RefreshProductGrid(); }
    void ShowBalloon(std::u16string_view text, std::u16string_view title, BalloonIcon icon,
                     int seconds) override {
        frontEnd_.ShowBalloon(text, title, icon, seconds);
    }
    bool PromptAddClient(CAccessControlItem& entry) override;
    void ConnectionOpened() override;
    void ConnectionClosed() override;

  private:
    COperatorInterface& frontEnd_;
    std::shared_mutex mutex_;
    COperatorWatcher* watcher_ = nullptr;
    bool watcherAnswersPrompts_ = false;
};

}  // namespace kestrom
