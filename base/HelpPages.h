#pragma once
// Where the documentation, page help, questions and forum are opened: a local help file as a file
// address when it is there, otherwise the program's web site.
#include <optional>
#include <string>
#include <vector>

namespace corvanthelix::help {

/// The web site used when "UpdateHost" is unusable (no trailing slash).
inline constexpr const char* kDefaultWebSite = "https://www.corvanthelix.org";

/// The page files under help/<de|en>/ that the program opens: the documentation index, the
/// options pages, the windows of the stores and the plug-ins' pages.
const std::vector<std::string>& pageNames();

/// "https://host[:port]" for a host setting of the form "host", "host:port" or "https://host[:port]"
/// (a trailing "/" allowed); nullopt for any other scheme (plain "http://" included), a path, user
/// information, blanks or an empty host.
std::optional<std::string> httpsOrigin(const std::string& hostSetting);
/// The program's web site: httpsOrigin of "UpdateHost", or kDefaultWebSite when that is unusable.
std::string webSite();

/// True when the loaded language's primary language is German (id 7).
bool germanLanguage();
/// "de" for German, "en" otherwise.
std::string languageCode(bool german);
/// The version the web site is asked with: major, minor and patch ("0.9.8").
std::string webVersion();

/// `path` as a file address: backslashes become "/", spaces "%20", and "file:///" goes in front
/// (the leading "/" of an absolute path is not doubled).
std::string fileUrl(const std::string& path);

/// The documentation: "help/<de|en>/index.htm" in `programFolder` when it exists, otherwise
/// "/help/index.php?ver=<version>&lang=<de|en>" on the web site.
std::string documentationUrl(const std::string& programFolder, bool german);
/// Help for one page: "help/<de|en>/<pageFile>" when it exists, otherwise
/// "/help/index.php?ver=<version>&help=<pageFile>&lang=<de|en>" on the web site.
std::string pageHelpUrl(const std::string& programFolder, const std::string& pageFile, bool german);
/// "/index2.php?lang=<de|en>&page=faq.php" on the web site.
std::string faqUrl(bool german);
/// "/forum" on the web site.
std::string forumUrl();

} // namespace corvanthelix::help
