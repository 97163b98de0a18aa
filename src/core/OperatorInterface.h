#pragma once
// What the core asks of its front end. The desktop window carries each call out on its own
// thread while the calling connection thread waits; the daemon writes log lines to standard
// output. Calls come from any connection thread.
#include <string>
#include <string_view>

namespace kestrom {

class CAccessControlItem;

enum LogLevel : int {
    kLogInfo = 1,   // information line
    kLogError = 2,  // error line, advances the error count
    kLogPlain = 3,  // plain line (admission)
    kLogNever = 4,  // never shown
};

class COperatorInterface {
  public:
    virtual ~COperatorInterface() = default;

    // Adds a line to the event log (the front end stamps and cuts it).
    virtual void AddLogLine(std::u16string_view text, int level) = 0;
    // The client address counts changed.
    virtual void RefreshProductGrid() = 0;
    // Notification balloon; icon 1 is the information icon.
    virtual void ShowBalloon(std::u16string_view text, std::u16string_view title, int icon,
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
