// One connection's byte stream through framing, admission and dispatch against a scratch
// meet, as CConnectSocket serves it, with the socket replaced by a channel that encodes the
// replies and drops them.
//
// Input: a flags byte, a read-size byte, then the bytes the client sends.
//   flags bit 0: CharMode 1 (else 0)
//   flags bit 1: security on;  bit 2: every product's security switch on
//   flags bit 3: put the right checksum into uploads before admission, so that the fuzzer
//                reaches the upload parsers instead of stopping at the checksum
//   flags bits 4-5: the peer: 0 loopback, 1 listed device, 2 unlisted device, 3 no address
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>

#include "FuzzMeet.h"
#include "base/TextConvert.h"
#include "core/OperatorInterface.h"
#include "core/Settings.h"
#include "net/MessageFramer.h"
#include "protocol/CommandProcessor.h"
#include "security/AccessControlList.h"
#include "security/Admission.h"
#include "security/ClientAddressLists.h"
#include "wire/CommandTable.h"
#include "wire/Records.h"
#include "wire/RequestGrammar.h"
#include "wire/WireText.h"

namespace kestrom::fuzz {
namespace {

class CSilentOperator : public COperatorInterface {
  public:
    void AddLogLine(std::u16string_view, LogLevel) override {}
    void RefreshProductGrid() override {}
    void ShowBalloon(std::u16string_view, std::u16string_view, BalloonIcon, int) override {}
    bool PromptAddClient(CAccessControlItem&) override { return false; }
    void ConnectionOpened() override {}
    void ConnectionClosed() override {}
};

class CDroppingChannel : public CReplyChannel {
  public:
    explicit CDroppingChannel(WireMode mode) : mode_(mode) {}
    int SendText(std::u16string_view text, bool singleByte) override {
        return static_cast<int>(Encode(text, singleByte ? WireMode::kSingleByte : mode_).size());
    }

  private:
    WireMode mode_;
};

struct CWorld {
    CWorld() {
        const std::string arp = meet.Root() + "/arp";
        CFuzzMeet::Write(arp,
                         "IP address       HW type     Flags       HW address            Mask     "
                         "Device\n"
                         "10.1.2.3         0x1         0x2         0a:1b:2c:3d:4e:5f     *        "
                         "eth0\n"
                         "10.1.2.4         0x1         0x2         0a:1b:2c:3d:4e:60     *        "
                         "eth0\n");
        ::setenv("KESTROM_ARP_TABLE", arp.c_str(), 1);
        CAccessControlItem item;
        SplitMacText(u"0A:1B:2C:3D:4E:5F", item);
        item.name = u"Tablet";
        item.enabled = 1;
        item.allowWenlow = item.allowClerkOrvo = item.allowFieldOrvo = 1;
        accessList.ReplaceAll({item});
        accessList.SetStoragePath(FromUtf8(meet.Root() + "/KestromMAC.dat"));
    }

    CFuzzMeet meet;
    CSharedSettings settings;
    CSilentOperator op;
    std::mutex updateLock;
    CAccessControlList accessList;
    CClientAddressLists clients;
    CPromptPolicy prompts;
};

CWorld& World() {
    static CWorld world;
    return world;
}

// What a well-behaved device would have put after "CHK=" for this message.
void FixChecksum(std::u16string& message, int charMode) {
    const size_t etx = message.find(kETX);
    if (etx == std::u16string::npos) return;
    if (message.compare(etx + 1, kChecksumTag.size(), kChecksumTag) != 0) return;
    const size_t first = etx + 1 + kChecksumTag.size();
    if (message.size() < first + 8) return;
    const auto sum = ComputeUploadChecksum(message, etx, charMode == 1);
    if (!sum) return;
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(*sum));
    for (size_t i = 0; i < 8; ++i) message[first + i] = static_cast<char16_t>(hex[i]);
}

}  // namespace
}  // namespace kestrom::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kestrom;
    using namespace kestrom::fuzz;
    if (size < 2) return 0;
    CWorld& w = World();
    w.meet.Reset();
    const uint8_t flags = data[0];
    const size_t readSize = 1 + data[1];
    const int charMode = flags & 1;
    w.settings.Update([&](CKestromSettings& s) {
        s.CharMode = charMode;
        s.EventDirectory = FromUtf8(w.meet.EventDir());
        s.ResultsDirectory = FromUtf8(w.meet.ResultsDir());
        s.SecurityEnabled = (flags >> 1) & 1;
        const int on = (flags >> 2) & 1;
        s.WenlowSecurityEnabled = s.ClerkOrvoSecurityEnabled = s.FieldOrvoSecurityEnabled = on;
    });
    static constexpr std::u16string_view kPeers[] = {u"127.0.0.1", u"10.1.2.3", u"10.1.2.4",
                                                     u"10.9.9.9"};
    const std::u16string_view peer = kPeers[(flags >> 4) & 3];

    CRequestContext requestContext{w.settings, w.op, w.updateLock};
    CAdmissionContext admissionContext{w.op, w.accessList, w.clients, w.prompts};
    CMessageFramer framer;
    const std::string_view stream(reinterpret_cast<const char*>(data) + 2, size - 2);
    for (size_t at = 0; at < stream.size(); at += readSize) {
        // One processor per read, as the connection socket makes them.
        CDroppingChannel channel(WireModeOf(charMode));
        CCommandProcessor processor(requestContext, channel);
        auto result = framer.Feed(stream.substr(at, readSize), processor.Mode());
        if (!result.message) continue;
        std::u16string message(*result.message);
        if (flags & 8) FixChecksum(message, charMode);
        const RequestKind kind = LookupCommand(message);
        Admit(admissionContext, peer, kind, message, processor);
    }
    return 0;
}
