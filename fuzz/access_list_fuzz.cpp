// The access list's storage file: the parser, the loader over a file on disk, and the
// writer's output read back.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzMeet.h"
#include "base/TextConvert.h"
#include "security/AccessControlList.h"
#include "security/AccessListFormat.h"
#include "security/AccessListStorage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kestrom;
    static fuzz::CFuzzMeet scratch;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // A count far beyond what the bytes could hold only loads empty entries; tens of
    // thousands of them make each run take a second without reaching new code.
    if (size >= 2 && static_cast<size_t>(data[0] | (data[1] << 8)) > size + 64) return -1;

    const CAccessListParse parsed = ParseAccessList(bytes);
    if (!parsed.countMalformed) {
        // Whatever was read must survive a save and a load unchanged.
        const CAccessListParse again = ParseAccessList(SerializeAccessList(parsed.items));
        if (again.countMalformed || again.items != parsed.items) std::abort();
    }

    const std::string path = scratch.Root() + "/KestromMAC.dat";
    fuzz::CFuzzMeet::Write(path, bytes);
    CAccessControlList list;
    list.SetStoragePath(FromUtf8(path));
    (void)LoadAccessList(list);
    return 0;
}
