#include "base/HelpPages.h"

#include "base/Application.h"
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
    return std::string(kWebSite) + "/help/index.php?ver=" + webVersion() + "&lang=" + languageCode(german);
}

std::string pageHelpUrl(const std::string& programFolder, const std::string& pageFile, bool german) {
    std::string local = programFolder + "/help/" + languageCode(german) + "/" + pageFile;
    if (regularFile(local)) return fileUrl(local);
    return std::string(kWebSite) + "/help/index.php?ver=" + webVersion() + "&help=" + pageFile + "&lang=" +
           languageCode(german);
}

std::string faqUrl(bool german) {
    return std::string(kWebSite) + "/index2.php?lang=" + languageCode(german) + "&page=faq.php";
}

std::string forumUrl() { return std::string(kWebSite) + "/forum"; }

} // namespace corvanthelix::help
