#include "base/HelpPages.h"

#include "base/Application.h"
#include "base/Settings.h"
#include "language/CLanguage.h"
#include "language/LANGUAGE.h"
#include "language/Vexolindra.h"

#include <sys/stat.h>

namespace corvanthelix::help {

namespace {
constexpr int kGermanPrimaryId = 7;
constexpr int kPrimaryIdMask = 0x3FF;

bool regularFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
} // namespace

const std::vector<std::string>& pageNames() {
    static const std::vector<std::string> names = {
        "index.htm",          "configgeneral.htm",   "configconn.htm",        "configconnssl.htm",
        "configfilter.htm",   "configaggressiveness.htm", "configpriorities.htm", "configspamwords.htm",
        "configsenders.htm",  "configfriends.htm",   "configblocked.htm",     "configtrainingarea.htm",
        "configtray.htm",     "configstatuswindow.htm", "configlang.htm",     "configplugins.htm",
        "configattachments.htm", "confignewsletters.htm", "confignewsgroups.htm", "configsignatures.htm",
        "recycle.htm",        "trainingarea.htm",    "stat.htm"};
    return names;
}

std::optional<std::string> httpsOrigin(const std::string& hostSetting) {
    std::string host = hostSetting;
    const std::string scheme = "https://";
    if (host.compare(0, scheme.size(), scheme) == 0) host.erase(0, scheme.size());
    else if (host.find("://") != std::string::npos) return std::nullopt;
    if (!host.empty() && host.back() == '/') host.pop_back();
    if (host.empty()) return std::nullopt;
    for (char c : host) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                             c == '.' || c == '-' || c == ':' || c == '[' || c == ']';
        if (!allowed) return std::nullopt;
    }
    if (host.front() == ':' || host.front() == '.') return std::nullopt;
    return scheme + host;
}

std::string webSite() { return httpsOrigin(settings::updateHost()).value_or(kDefaultWebSite); }

bool germanLanguage() {
    const CLanguage* language = GetLanguage();
    if (!language) return false;
    LANGUAGE information {};
    language->GetInformation(&information);
    return (information.languageId & kPrimaryIdMask) == kGermanPrimaryId;
}

std::string languageCode(bool german) { return german ? "de" : "en"; }

std::string webVersion() {
    // The build suffix is not part of the version the web site knows.
    std::string version = Application::kVersion;
    size_t dots = 0;
    for (size_t i = 0; i < version.size(); ++i)
        if (version[i] == '.' && ++dots == 3) return version.substr(0, i);
    return version;
}

std::string fileUrl(const std::string& path) {
    std::string url = "file:///";
    size_t start = !path.empty() && (path[0] == '/' || path[0] == '\\') ? 1 : 0;
    for (size_t i = start; i < path.size(); ++i) {
        if (path[i] == '\\') url += '/';
        else if (path[i] == ' ') url += "%20";
        else url += path[i];
    }
    return url;
}

std::string documentationUrl(const std::string& programFolder, bool german) {
    std::string local = programFolder + "/help/" + languageCode(german) + "/index.htm";
    if (regularFile(local)) return fileUrl(local);
    return webSite() + "/help/index.php?ver=" + webVersion() + "&lang=" + languageCode(german);
}

std::string pageHelpUrl(const std::string& programFolder, const std::string& pageFile, bool german) {
    std::string local = programFolder + "/help/" + languageCode(german) + "/" + pageFile;
    if (regularFile(local)) return fileUrl(local);
    return webSite() + "/help/index.php?ver=" + webVersion() + "&help=" + pageFile + "&lang=" +
           languageCode(german);
}

std::string faqUrl(bool german) {
    return webSite() + "/index2.php?lang=" + languageCode(german) + "&page=faq.php";
}

std::string forumUrl() { return webSite() + "/forum"; }

} // namespace corvanthelix::help
