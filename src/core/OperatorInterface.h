#pragma once
// What the core asks of its front end. The desktop window carries each call out on its own
// thread while the calling connection thread waits; the daemon writes log lines to standard
// output. Calls come from any connection thread.
#include <string>
#include <string_view>

namespace kestrom {

class CAccessControlItem;

enum class LogLevel {
    kInfo = 1,   // information line
    kError = 2,  // error line, advances the error count
    kPlain = 3,  // plain line (admission)
    kNever = 4,  // never shown
};

// The icon of a notification balloon, numbered as Windows numbers them.
enum class BalloonIcon { kNone = 0, kInfo = 1, kWarning = 2, kError = 3 };

class COperatorInterface {
  public:
    virtual ~COperatorInterface() = default;

    // Adds a line to the event log (the front end stamps and cuts it).
    virtual void AddLogLine(std::u16string_view text, LogLevel level) = 0;
    // The client address counts changed.
    virtual void RefreshProductGrid() = 0;
    // Notification balloon.
    virtual void ShowBalloon(std::u16string_view text, std::u16string_view title, BalloonIcon icon,
                             int seconds) = 0;
    // Asks the operator whether to add an unknown client. `entry` comes in as proposed and
    // goes out as edited; returns true when the operator confirmed. Front ends without an
    // operator answer false.
    virtual bool PromptAddClient(CAccessControlItem& entry) = 0;
    // Posted by connection threads as they start and end; the front end owns the count.
    virtual void ConnectionOpened() = 0;
    virtual void ConnectionClosed() = 0;
};

}  // namespace kestrom
