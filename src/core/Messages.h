#pragma once
// The error and label messages the request handlers log, under their string numbers. The
// texts are fixed; handlers take them from here and nowhere else.
#include <string>
#include <string_view>

#include "base/Status.h"

namespace kestrom {

struct CMessage {
    int number;
    std::u16string_view text;
};

inline constexpr CMessage kMsgErrorFindingEventFile{61208, u"ERROR FINDING EVENT FILE"};
inline constexpr CMessage kMsgIncompleteLoadingEventFile{
    61209, u"INCOMPLETE COMMAND WHILE LOADING THE EVENT FILE"};
inline constexpr CMessage kMsgErrorOpeningEventFile{61210, u"ERROR OPENING EVENT FILE"};
inline constexpr CMessage kMsgIncompleteResultsChangedRequest{
    61211, u"INCOMPLETE COMMAND RECEIVING RESULTS CHANGED REQUEST"};
inline constexpr CMessage kMsgErrorFindingResultsFile{61212, u"ERROR FINDING RESULTS FILE"};
inline constexpr CMessage kMsgErrorOpeningResultsFile{61213, u"ERROR OPENING RESULTS FILE"};
inline constexpr CMessage kMsgIncompleteScheduleRequest{
    61214, u"INCOMPLETE COMMAND RECEIVING SCHEDULE REQUEST"};
inline constexpr CMessage kMsgIncompleteReceivingResults{61215,
                                                         u"INCOMPLETE COMMAND RECEIVING RESULTS"};
inline constexpr CMessage kMsgIncompleteEventFileDateStamp{
    61216, u"INCOMPLETE COMMAND RECEIVING EVENT FILE DATE STAMP REQUEST"};
inline constexpr CMessage kMsgIncompleteStartList{61217,
                                                  u"INCOMPLETE COMMAND RECEIVING START LIST"};
inline constexpr CMessage kMsgErrorFindingPeopleFile{61218, u"ERROR FINDING PEOPLE FILE"};
inline constexpr CMessage kMsgIncompleteAthleteList{61220,
                                                    u"INCOMPLETE COMMAND REQUESTING ATHLETE LIST"};
inline constexpr CMessage kMsgBadFormatEventFile{61221, u"BAD FORMAT PARSING EVENT FILE"};
inline constexpr CMessage kMsgIncompleteImageRequest{
    61226, u"INCOMPLETE COMMAND RECEIVING FINISHORVO IMAGE REQUEST"};
inline constexpr CMessage kMsgErrorFindingImageFile{61227, u"ERROR FINDING FINISHORVO IMAGE FILE"};
inline constexpr CMessage kMsgErrorOpeningImageFile{61228, u"ERROR OPENING FINISHORVO IMAGE FILE"};
inline constexpr CMessage kMsgProblemRemovingTempFile{61229, u"PROBLEM REMOVING TEMP FILE"};
inline constexpr CMessage kMsgReceivingResults{62004, u"Receiving Results"};
inline constexpr CMessage kMsgReceivingStartList{62006, u"Receiving Start List"};

inline constexpr CMessage kMessageTable[] = {
    kMsgErrorFindingEventFile,        kMsgIncompleteLoadingEventFile,
    kMsgErrorOpeningEventFile,        kMsgIncompleteResultsChangedRequest,
    kMsgErrorFindingResultsFile,      kMsgErrorOpeningResultsFile,
    kMsgIncompleteScheduleRequest,    kMsgIncompleteReceivingResults,
    kMsgIncompleteEventFileDateStamp, kMsgIncompleteStartList,
    kMsgErrorFindingPeopleFile,       kMsgIncompleteAthleteList,
    kMsgBadFormatEventFile,           kMsgIncompleteImageRequest,
    kMsgErrorFindingImageFile,        kMsgErrorOpeningImageFile,
    kMsgProblemRemovingTempFile,      kMsgReceivingResults,
    kMsgReceivingStartList,
};

// The text under a string number; empty for a number not in the table.
constexpr std::u16string_view MessageText(int number) {
    for (const auto& m : kMessageTable)
        if (m.number == number) return m.text;
    return {};
}

// A log line about a file: the message, ": " and the file's path.
inline std::u16string WithPath(std::u16string_view message, std::u16string_view path) {
    std::u16string line(message);
    line += u": ";
    line += path;
    return line;
}

// A message and the cause of a failure after two blanks: "<message>  CAUSE: <cause>".
inline std::u16string WithCause(std::u16string_view message, const CStatus& failure) {
    std::u16string line(message);
    line += u"  CAUSE: ";
    line += failure.CauseText();
    return line;
}

// The same with the cause of a failure: ".  CAUSE: " and its text.
inline std::u16string WithPathAndCause(std::u16string_view message, std::u16string_view path,
                                       const CStatus& failure) {
    std::u16string line = WithPath(message, path);
    line += u".  CAUSE: ";
    line += failure.CauseText();
    return line;
}

// "(" label ")" and the message, no blank between: the first line of an upload.
inline std::u16string WithClientLabel(std::u16string_view clientLabel,
                                      std::u16string_view message) {
    std::u16string line = u"(";
    line += clientLabel;
    line += u')';
    line += message;
    return line;
}

}  // namespace kestrom
