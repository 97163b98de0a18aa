#include "app/SettingsStore.h"

#include <filesystem>
#include <string>
#include <vector>

#include "app/RegFile.h"
#ifdef _WIN32
#include "app/SettingsRegistry.h"
#endif
#include "base/AtomicFile.h"
#include "base/NumberText.h"
#include "base/Path.h"
#include "base/TextConvert.h"
#include "base/WholeFile.h"

namespace kestrom {

namespace {

// The longest usable string value: 255 characters, terminator included.
constexpr size_t kMaxValueBytes = 255 * 2;

bool WriteRegFile(const std::string& path, const CRegFile& doc) {
    return WriteFileAtomically(FromUtf8(path), doc.Serialize()).Ok();
}

// The text of a value when the registry rules allow it to be used: a string or expandable
// string (taken unexpanded), an even size, the terminating NUL last unless empty, and at most
// 255 characters with the terminator. The text ends at the first NUL.
std::optional<std::u16string> UsableText(const std::optional<CRegValue>& value) {
    if (!value) return std::nullopt;
    if (value->type != reg_type::kSz && value->type != reg_type::kExpandSz) return std::nullopt;
    const auto& d = value->data;
    if (d.size() % 2 != 0 || d.size() > kMaxValueBytes) return std::nullopt;
    if (d.empty()) return std::u16string();
    if (d[d.size() - 2] != 0 || d[d.size() - 1] != 0) return std::nullopt;
    std::u16string text;
    for (size_t i = 0; i + 1 < d.size(); i += 2) {
        char16_t c = static_cast<char16_t>(d[i] | (d[i + 1] << 8));
        if (c == 0) break;
        text += c;
    }
    return text;
}

class CValueReader {
  public:
    explicit CValueReader(const CRegFile& doc) : doc_(doc) {}

    std::optional<std::u16string> Text(std::string_view name) const {
        return UsableText(doc_.Get(kSettingsKeyPath, name));
    }
    bool Flag(std::string_view name, bool fallback) const {
        auto text = Text(name);
        return text ? (!text->empty() && text->front() == u'1') : fallback;
    }
    int Number(std::string_view name, int fallback) const {
        auto text = Text(name);
        return text ? ReadDecimal(*text) : fallback;
    }

  private:
    const CRegFile& doc_;
};

CRegValue DecimalValue(int value) {
    return CRegValue::String(U16(std::to_string(value)));
}

// Operators add these values by hand; a value that is absent, unusable or not positive keeps
// the default. Save never writes them.
void LoadNetLimits(const CValueReader& values, CNetLimits& limits) {
    auto take = [&](std::string_view name, int& field) {
        const int value = values.Number(name, 0);
        if (value > 0) field = value;
    };
    take("MaxConnections", limits.MaxConnections);
    take("MaxConnectionsPerAddress", limits.MaxConnectionsPerAddress);
    take("FileDescriptorReserve", limits.FileDescriptorReserve);
    take("KeepAliveSeconds", limits.KeepAliveSeconds);
    take("RequestSizeLimit", limits.RequestSizeLimit);
    take("UploadSizeLimit", limits.UploadSizeLimit);
    take("ReceiveMemoryBudget", limits.ReceiveMemoryBudget);
    take("MessageStallSeconds", limits.MessageStallSeconds);
    take("SendTimeoutSeconds", limits.SendTimeoutSeconds);
    take("LargeReplyMemoryBudget", limits.LargeReplyMemoryBudget);
}

}  // namespace

CSettingsStore::CSettingsStore(std::string regFilePath) : path_(std::move(regFilePath)) {}

bool CSettingsStore::Load(CKestromSettings& settings,
                          const std::optional<std::u16string>& firstRunEventDir,
                          const std::optional<std::u16string>& firstRunResultsDir) {
    keyUnavailable_ = false;
    CRegFile doc;
    CStatus read = CStatus::Failure(file_cause::kFileNotFound);
#ifdef _WIN32
    if (UsesRegistry()) read = ReadSettingsKey(doc);
#endif
    if (!UsesRegistry()) {
        const auto bytes = ReadWholeFile(path_);
        read = bytes.Status();
        if (bytes) {
            read = {};
            doc = CRegFile::Parse(*bytes);
        }
    }

    bool firstRun = false;
    if (!read || !doc.HasKey(kSettingsKeyPath)) {
        firstRun = true;
        // A file that exists but cannot be read is never replaced: it may hold settings.
        bool created = false;
        if (read || read.Cause() == file_cause::kFileNotFound ||
            read.Cause() == file_cause::kBadPath) {
            doc.AddKey(kSettingsKeyPath);
#ifdef _WIN32
            if (UsesRegistry()) created = CreateSettingsKey();
#endif
            if (!UsesRegistry()) {
                std::error_code ec;
                std::filesystem::create_directories(FsPath(path_).parent_path(), ec);
                created = WriteRegFile(path_, doc);
            }
        }
        if (!created) {
            keyUnavailable_ = true;
            return true;
        }
    }

    CValueReader values(doc);
    const std::u16string defaultFolder = DefaultDataFolder();
    settings.LogEvents = values.Flag("LogEvents", true);
    settings.PortNumber = values.Number("PortNumber", 1950);
    if (firstRun && firstRunEventDir) {
        settings.EventDirectory = *firstRunEventDir;
    } else {
        settings.EventDirectory = values.Text("EventDirectory").value_or(defaultFolder);
    }
    if (firstRun && firstRunResultsDir) {
        settings.ResultsDirectory = *firstRunResultsDir;
    } else {
        settings.ResultsDirectory = values.Text("ResultsDirectory").value_or(defaultFolder);
    }
    settings.CharMode = values.Number("CharMode", 0);
    settings.SecurityEnabled = values.Flag("SecurityEnabled", false);
    settings.WenlowSecurityEnabled = values.Flag("WenlowSecurityEnabled", true);
    settings.ClerkOrvoSecurityEnabled = values.Flag("ClerkOrvoSecurityEnabled", true);
    settings.FieldOrvoSecurityEnabled = values.Flag("FieldOrvoSecurityEnabled", true);
    // Unusable buffer sizes keep what the record had: "not set" unless changed before.
    settings.TCPSendBufferSize = values.Number("TCPSendBufferSize", settings.TCPSendBufferSize);
    settings.TCPReceiveBufferSize =
        values.Number("TCPReceiveBufferSize", settings.TCPReceiveBufferSize);
    settings.TCPInitSendBufferSize =
        values.Number("TCPInitSendBufferSize", settings.TCPInitSendBufferSize);
    settings.TCPInitReceiveBufferSize =
        values.Number("TCPInitReceiveBufferSize", settings.TCPInitReceiveBufferSize);
    // Set by hand in the file; Save leaves them as they stand.
    settings.MaxResultsUploadBytes =
        values.Number("MaxResultsUploadBytes", kDefaultMaxResultsUploadBytes);
    settings.ResultsFreeSpaceReserveMB =
        values.Number("ResultsFreeSpaceReserveMB", kDefaultResultsFreeSpaceReserveMB);
    settings.AllRequestsSecurityEnabled = values.Flag("AllRequestsSecurityEnabled", false);
    LoadNetLimits(values, settings.Limits);
    // Read only, never written back: absent or below 1, the default holds.
    for (auto [name, field] : {std::pair{"LogBacklogLines", &CKestromSettings::LogBacklogLines},
                               std::pair{"LogListLines", &CKestromSettings::LogListLines}}) {
        const int lines = values.Number(name, 0);
        settings.*field = lines > 0 ? lines : CKestromSettings{}.*field;
    }
    const int consolePort = values.Number("ConsolePort", CKestromSettings{}.ConsolePort);
    settings.ConsolePort =
        consolePort >= 0 && consolePort <= 65535 ? consolePort : CKestromSettings{}.ConsolePort;
    settings.ConsoleAddress =
        values.Text("ConsoleAddress").value_or(CKestromSettings{}.ConsoleAddress);
    settings.ConsoleToken = values.Text("ConsoleToken").value_or(u"");
    for (auto [name, field] :
         {std::pair{"ConsoleStaleSeconds", &CKestromSettings::ConsoleStaleSeconds},
          std::pair{"ConsolePromptSeconds", &CKestromSettings::ConsolePromptSeconds},
          std::pair{"HistoryVersions", &CKestromSettings::HistoryVersions},
          std::pair{"HistoryMegabytesPerFile", &CKestromSettings::HistoryMegabytesPerFile}}) {
        const int n = values.Number(name, 0);
        settings.*field = n > 0 ? n : CKestromSettings{}.*field;
    }
    return firstRun;
}

bool CSettingsStore::Save(const CKestromSettings& settings) {
    CRegFile doc;
#ifdef _WIN32
    if (UsesRegistry() && !ReadSettingsKey(doc)) return false;
#endif
    if (!UsesRegistry()) {
        const auto bytes = ReadWholeFile(path_);
        if (!bytes) return false;
        doc = CRegFile::Parse(*bytes);
    }
    if (!doc.HasKey(kSettingsKeyPath)) return false;

    std::vector<std::pair<std::string_view, CRegValue>> written;
    auto set = [&](std::string_view name, const CRegValue& value) {
        doc.Set(kSettingsKeyPath, name, value);
        written.emplace_back(name, value);
    };
    set("LogEvents", CRegValue::String(settings.LogEvents ? u"1" : u"0"));
    set("PortNumber", DecimalValue(settings.PortNumber));
    set("EventDirectory", CRegValue::String(settings.EventDirectory));
    set("ResultsDirectory", CRegValue::String(settings.ResultsDirectory));
    set("CharMode", DecimalValue(settings.CharMode));
    set("SecurityEnabled", DecimalValue(settings.SecurityEnabled));
    set("WenlowSecurityEnabled", DecimalValue(settings.WenlowSecurityEnabled));
    set("ClerkOrvoSecurityEnabled", DecimalValue(settings.ClerkOrvoSecurityEnabled));
    set("FieldOrvoSecurityEnabled", DecimalValue(settings.FieldOrvoSecurityEnabled));
    // A size of 0 or less means "not set" and leaves the stored value as it was.
    if (settings.TCPSendBufferSize > 0)
        set("TCPSendBufferSize", DecimalValue(settings.TCPSendBufferSize));
    if (settings.TCPReceiveBufferSize > 0)
        set("TCPReceiveBufferSize", DecimalValue(settings.TCPReceiveBufferSize));
    if (settings.TCPInitSendBufferSize > 0)
        set("TCPInitSendBufferSize", DecimalValue(settings.TCPInitSendBufferSize));
    if (settings.TCPInitReceiveBufferSize > 0)
        set("TCPInitReceiveBufferSize", DecimalValue(settings.TCPInitReceiveBufferSize));
    set("ConsolePort", DecimalValue(settings.ConsolePort));
    set("ConsoleAddress", CRegValue::String(settings.ConsoleAddress));
    set("ConsoleToken", CRegValue::String(settings.ConsoleToken));
#ifdef _WIN32
    if (UsesRegistry()) return WriteSettingsValues(written);
#endif
    return WriteRegFile(path_, doc);
}

}  // namespace kestrom
