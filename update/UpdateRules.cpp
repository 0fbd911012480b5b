#include "update/UpdateRules.h"

#include "update/UpdateDescription.h"

#include <cstdio>
#include <cstdlib>

namespace corvanthelix::update {

namespace {
constexpr int kMaxVersionPart = 99;
constexpr size_t kMaxFileNameBytes = 200;

// The leading decimal number of `text` like the settings reader gives it (0 without digits).
long leadingNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = i < text.size() && text[i] == '-';
    if (negative) ++i;
    long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > 1000000000L) break;
    }
    return negative ? -value : value;
}
} // namespace

std::optional<ProgramVersion> parseVersion(const std::string& text) {
    if (text.empty()) return std::nullopt;
    int parts[3] = {0, 0, 0};
    int count = 0;
    size_t start = 0;
    while (true) {
        const size_t dot = text.find('.', start);
        const std::string part = text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (part.empty() || part.size() > 2 || count == 3) return std::nullopt;
        int value = 0;
        for (char c : part) {
            if (c < '0' || c > '9') return std::nullopt;
            value = value * 10 + (c - '0');
        }
        if (value > kMaxVersionPart) return std::nullopt;
        parts[count++] = value;
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    return ProgramVersion{parts[0], parts[1], parts[2]};
}

int versionNumber(const ProgramVersion& version) {
    char text[16];
    std::snprintf(text, sizeof text, "%02i%02i%02i", version.major, version.minor, version.build);
    return std::atoi(text);
}

ProgramVersion installedVersion(const std::string& versionText) {
    ProgramVersion version;
    std::sscanf(versionText.c_str(), "%d.%d.%d", &version.major, &version.minor, &version.build);
    return version;
}

std::string installedPatchLevel(const std::string& versionText) {
    size_t dots = 0;
    for (size_t i = 0; i < versionText.size(); ++i)
        if (versionText[i] == '.' && ++dots == 3) return versionText.substr(i + 1);
    return "0";
}

std::string versionQuery(const ProgramVersion& version, const std::string& patchLevel) {
    char text[64];
    std::snprintf(text, sizeof text, "%i_%i_%i_%s", version.major, version.minor, version.build, patchLevel.c_str());
    return text;
}

Offer programOffer(const UpdateDescription& description, const ProgramVersion& installed,
                   const std::string& installedPatch) {
    const std::optional<ProgramVersion> offered = parseVersion(description.program().version);
    if (!offered) return Offer::invalid;
    const int offeredNumber = versionNumber(*offered);
    const int installedNumber = versionNumber(installed);
    if (offeredNumber > installedNumber) return Offer::newVersion;
    if (offeredNumber == installedNumber &&
        leadingNumber(installedPatch) < leadingNumber(description.patch().version))
        return Offer::patch;
    return Offer::nothing;
}

Offer languagePackOffer(const UpdateDescription& description, int installedPackVersion) {
    return leadingNumber(description.languagePack().version) > installedPackVersion ? Offer::languagePack
                                                                                    : Offer::nothing;
}

bool safeFileName(const std::string& name) {
    if (name.empty() || name.size() > kMaxFileNameBytes) return false;
    if (name.find("..") != std::string::npos) return false;
    for (unsigned char c : name)
        if (c == '/' || c == '\\' || c < 0x20 || c == 0x7F) return false;
    return name != ".";
}

bool wellFormedSha256(const std::string& text) {
    if (text.size() != 64) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
    return true;
}

} // namespace corvanthelix::update
