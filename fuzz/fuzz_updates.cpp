// Fuzz target: the update description as the update check reads it from the update server,
// through a real file. Checks that the offer follows from the versions read, that a version the
// reader accepts round-trips through its number, and that a file name the rules accept cannot
// leave the updates folder.
#include "base/IniFile.h"
#include "fuzz/FuzzSupport.h"
#include "update/UpdateDescription.h"
#include "update/UpdateRules.h"

#include <cstdint>
#include <string>

using namespace corvanthelix;

namespace {

void checkFileName(const std::string& name) {
    if (!update::safeFileName(name)) return;
    FUZZ_CHECK(name.find('/') == std::string::npos && name.find('\\') == std::string::npos);
    FUZZ_CHECK(name.find("..") == std::string::npos && name != "." && !name.empty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    IniFile::clearCache();
    const std::string path = fuzz::scratchFile("updates.ini", std::string_view(reinterpret_cast<const char*>(data), size));
    const UpdateDescription description = UpdateDescription::read(path);

    const update::ProgramVersion installed = update::installedVersion("0.9.8.1");
    const update::Offer offer = update::programOffer(description, installed, "1");
    const auto version = update::parseVersion(description.program().version);
    FUZZ_CHECK((offer == update::Offer::invalid) == !version);
    if (version) {
        FUZZ_CHECK(version->major <= 99 && version->minor <= 99 && version->build <= 99);
        FUZZ_CHECK(update::versionNumber(*version) ==
                   version->major * 10000 + version->minor * 100 + version->build);
        if (offer == update::Offer::newVersion) FUZZ_CHECK(update::versionNumber(*version) > 908);
        if (offer == update::Offer::patch) FUZZ_CHECK(update::versionNumber(*version) == 908);
    }
    (void)update::languagePackOffer(description, 1000);
    for (const UpdateDescription::Entry* entry : {&description.program(), &description.patch(), &description.languagePack()}) {
        checkFileName(entry->fileName);
        if (update::wellFormedSha256(entry->sha256)) FUZZ_CHECK(entry->sha256.size() == 64);
    }
    return 0;
}
