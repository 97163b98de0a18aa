// Event files and pictures larger than one block: the bytes on the wire are those of one
// whole reply, they leave in blocks, and a reply that cannot be held or completed says so.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "meetdata/Readers.h"
#include "upload_fixture.h"
#include "wire/CommandTable.h"

namespace kestrom::testing {
namespace {

// Records each send apart, with hooks for the budget and the first send.
class CBlockChannel : public CRecordingChannel {
  public:
    using CRecordingChannel::CRecordingChannel;
    int SendBytes(std::string_view wire) override {
        sizes.push_back(wire.size());
        if (onSend) onSend(sizes.size());
        return CRecordingChannel::SendBytes(wire);
    }
    bool HoldReplyMemory(size_t size, CBudgetHold&) override {
        held.push_back(size);
        return grant;
    }
    void Abort() override { aborted = true; }

    std::vector<size_t> sizes;
    std::vector<size_t> held;
    bool grant = true;
    bool aborted = false;
    std::function<void(size_t)> onSend;
};

class LargeReplies : public CUploadFixture {
  protected:
    std::string Send(CBlockChannel& channel, RequestKind kind, std::string_view code,
                     std::string_view payload) {
        CCommandProcessor processor(context_, channel);
        processor.Dispatch(kind, RequestMessage(code, payload), u"Dev");
        return channel.bytes;
    }
    static std::string Picture(size_t size) {
        std::string picture(size, '\0');
        for (size_t i = 0; i < size; ++i) picture[i] = static_cast<char>((i * 131) ^ (i >> 9));
        return picture;
    }

    const TimeValue fileTime_ = ReadDateStamp(u"10300012062024").value();
    const std::string older_ = "10300011062024";
};

TEST_F(LargeReplies, WholeEventFileOfManyBlocksIsOneRecordByteForByteInBothModes) {
    // 10,000 events with two competitors each, LF line ends, comments and empty lines that
    // the reply leaves out: about 600 KB, three blocks and more.
    std::string file = "; championship\n";
    std::string text;
    for (int e = 1; e <= 10000; ++e) {
        const std::string header = std::to_string(e) + ",1,1,Event " + std::to_string(e) + ",TR";
        const std::string a = " " + std::to_string(1000 + e) + ",Ann Smith,Club";
        const std::string b = " " + std::to_string(20000 + e) + ",Bo Lind,Club";
        file += header + "\n" + a + "\n\n" + b + "\n";
        text += header + "\r\n" + a + "\r\n" + b + "\r\n";
    }
    WriteBytes(Event("orvo.evt"), file);
    SetMTime(Event("orvo.evt"), fileTime_);
    for (int mode : {0, 1}) {
        SetCharMode(mode);
        for (auto [kind, code] : {std::pair{RequestKind::kClerkOrvoEventFile, "ECQ"},
                                  std::pair{RequestKind::kWenlowEventFile, "ERQ"}}) {
            CBlockChannel channel(WireModeOf(mode));
            const std::string reply = Send(channel, kind, code, older_);
            ASSERT_EQ(reply, Reply("ERP", "10300012062024," + text)) << code << " mode " << mode;
            ASSERT_GE(channel.sizes.size(), 3u);
            for (size_t n : channel.sizes) EXPECT_LE(n, kReplyBlockBytes);
            // It held about its size from the budget of large replies while it was built.
            ASSERT_EQ(channel.held.size(), 1u);
            EXPECT_GE(channel.held[0], reply.size());
        }
    }
}

TEST_F(LargeReplies, WholeAthleteListOfManyBlocksIsOneRecordByteForByteInBothModes) {
    // 20,000 athletes (about 900 KB) in a UTF-16 file, a comment and a selection that the
    // reply of every line ignores; a selection's reply is small and holds nothing.
    // Latin-1 text, each byte one character of the UTF-16 file.
    std::string text;
    for (int n = 1; n <= 20000; ++n)
        text += std::to_string(n) + ",Halvorsen,Anika,F,LAK,\xC5sa," + (n % 2 ? "\"3,7\"" : "0") +
                "\r\n";
    std::string bytes = "\xFF\xFE";
    for (unsigned char c : "; athletes\r\n" + text) bytes += {static_cast<char>(c), '\0'};
    WriteBytes(dir_ / "event" / "orvo.ppl", bytes);
    SetMTime(dir_ / "event" / "orvo.ppl", fileTime_);
    for (int mode : {0, 1}) {
        SetCharMode(mode);
        CBlockChannel channel(WireModeOf(mode));
        const std::string reply = Send(channel, RequestKind::kAthleteList, "PRQ", older_);
        ASSERT_TRUE(reply == Reply("PRP", "10300012062024," + text)) << "mode " << mode;
        ASSERT_GE(channel.sizes.size(), 3u);
        for (size_t n : channel.sizes) EXPECT_LE(n, kReplyBlockBytes);
        ASSERT_EQ(channel.held.size(), 1u);
        EXPECT_GE(channel.held[0], reply.size());

        CBlockChannel selected(WireModeOf(mode));
        Send(selected, RequestKind::kAthleteList, "PRQ", older_ + ",7");
        EXPECT_TRUE(selected.held.empty());
    }
    CBlockChannel refused(WireMode::kUnicode);
    refused.grant = false;
    EXPECT_EQ(Send(refused, RequestKind::kAthleteList, "PRQ", older_), Reply("NLA"));
}

TEST_F(LargeReplies, EventFileThatFindsNoRoomAmongLargeRepliesIsAnsweredNls) {
    WriteBytes(Event("orvo.evt"), std::string(600 * 1024, 'x') + "\n");
    SetMTime(Event("orvo.evt"), fileTime_);
    CBlockChannel channel(WireMode::kSingleByte);
    channel.grant = false;
    EXPECT_EQ(Send(channel, RequestKind::kWenlowEventFile, "ERQ", older_), Reply("NLS"));
}

TEST_F(LargeReplies, PictureOfManyBlocksFollowsItsHeaderUnchangedBlockByBlock) {
    const std::string picture = Picture(3 * kReplyBlockBytes + 1234);
    WriteBytes(Results("007-1-03.jpg"), picture);
    SetMTime(Results("007-1-03.jpg"), fileTime_);
    for (int mode : {0, 1}) {
        SetCharMode(mode);
        CBlockChannel channel(WireModeOf(mode));
        const std::string reply =
            Send(channel, RequestKind::kImageRequest, "IRQ", "7,1,3," + older_);
        const std::string header = "\x01RFI,PSZ=" + std::to_string(picture.size()) +
                                   "\x02"
                                   "10300012062024,";
        ASSERT_EQ(reply.size(), header.size() + picture.size());
        EXPECT_EQ(reply, header + picture);
        EXPECT_EQ(channel.sizes.size(), 4u);
        for (size_t n : channel.sizes) EXPECT_LE(n, kReplyBlockBytes + header.size());
        // One block is all it holds, however large the picture.
        ASSERT_EQ(channel.held.size(), 1u);
        EXPECT_LE(channel.held[0], kReplyBlockBytes + 64);
        EXPECT_FALSE(channel.aborted);
    }
}

TEST_F(LargeReplies, PictureThatShrinksAfterItsHeaderLeftEndsTheConnection) {
    const std::string picture = Picture(3 * kReplyBlockBytes);
    WriteBytes(Results("007-1-03.jpg"), picture);
    SetMTime(Results("007-1-03.jpg"), fileTime_);
    CBlockChannel channel(WireMode::kSingleByte);
    // The photo-finish system rewrites the picture in place, shorter, while it is sent.
    channel.onSend = [&](size_t n) {
        if (n == 1) std::filesystem::resize_file(Results("007-1-03.jpg"), kReplyBlockBytes + 10);
    };
    const std::string reply = Send(channel, RequestKind::kImageRequest, "IRQ", "7,1,3," + older_);
    EXPECT_TRUE(channel.aborted);
    EXPECT_LT(reply.size(), picture.size());  // never padded to the announced size
    ASSERT_FALSE(Log().empty());
    EXPECT_NE(Log().back().find(u"ERROR OPENING FINISHORVO IMAGE FILE"), std::u16string::npos);
}

TEST_F(LargeReplies, PictureThatFindsNoRoomGetsTheEmptyReply) {
    WriteBytes(Results("007-1-03.jpg"), Picture(2 * kReplyBlockBytes));
    SetMTime(Results("007-1-03.jpg"), fileTime_);
    CBlockChannel channel(WireMode::kSingleByte);
    channel.grant = false;
    EXPECT_EQ(Send(channel, RequestKind::kImageRequest, "IRQ", "7,1,3," + older_),
              std::string("\x01\x52\x46\x49\x2C\x50\x53\x5A\x3D\x30\x02\x03", 12));
}

}  // namespace
}  // namespace kestrom::testing
