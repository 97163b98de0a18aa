#include "daemon/StartUpLine.h"

#include "base/TextConvert.h"
#include "core/Version.h"

namespace kestrom {

std::string StartUpLine(const CKestromSettings& settings, int port, bool listening) {
    std::string line = "kestromd (Kestrom) ";
    line += kKestromVersion;
    line += listening ? ": listening on port " : ": not listening on port ";
    line += std::to_string(port);
    line += ", character mode " + std::to_string(settings.CharMode);
    line += ", event folder " + ToUtf8(settings.EventDirectory);
    line += ", results folder " + ToUtf8(settings.ResultsDirectory);
    line += settings.SecurityEnabled ? ", security on" : ", security off";
    return line;
}

}  // namespace kestrom
