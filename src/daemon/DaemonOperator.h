#pragma once
// The daemon's operator: event log lines go to standard output in the window's format,
// prompts are answered "no", and the connection count is kept for the run.
#include <atomic>
#include <cstdint>
#include <string>

#include "base/LocalTime.h"
#include "core/LogLine.h"
#include "core/OperatorInterface.h"
#include "core/Settings.h"
#include "daemon/LineWriter.h"

namespace kestrom {

class CDaemonOperator : public COperatorInterface {
  public:
    // Lines are written to the file descriptor outFd by a writer thread, in the order they
    // come; all are written by the time the operator is destroyed, unless outFd is not read
    // (then lines beyond the backlog bound are dropped and counted in a later line).
    explicit CDaemonOperator(int outFd);
    // Lines go to `sink` (the service's log file), which must outlive the operator.
    explicit CDaemonOperator(CLineSink& sink);

    // A line of kestromd's own (start-up, stop), time-stamped like the event log's but never
    // cut, and shown whatever LogEvents says: where no standard error is read, it goes to
    // the log with the rest.
    void AddNote(std::string_view utf8);

    // The record whose LogEvents decides whether lines are shown; until set, all are.
    void SetSettings(const CSharedSettings* settings) { settings_ = settings; }

    void AddLogLine(std::u16string_view text, LogLevel level) override;
    void RefreshProductGrid() override {}
    void ShowBalloon(std::u16string_view, std::u16string_view, BalloonIcon, int) override {}
    bool PromptAddClient(CAccessControlItem&) override { return false; }
    void ConnectionOpened() override { ++connections_; }
    void ConnectionClosed() override { --connections_; }

    // Lines that may wait for a slow standard output before further ones are dropped.
    void SetLogBacklog(int lines);
    // Returns once the lines logged so far are written.
    void FlushLog() { writer_.Flush(); }
    std::uint64_t DroppedLines() const { return writer_.DroppedLines(); }
    int ErrorCount() const { return errors_.load(); }
    int Connections() const { return connections_.load(); }

  private:
    void WriteLine(std::string line);

    CLineWriter writer_;
    const CSharedSettings* settings_ = nullptr;
    std::atomic<int> errors_{0};
    std::atomic<int> connections_{0};
};

}  // namespace kestrom
