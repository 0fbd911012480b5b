#include "base/TrayText.h"

#include "base/Application.h"
#include "base/StringTable.h"
#include "base/TranslatedFormat.h"

#include <algorithm>
#include <cstdio>

namespace corvanthelix::tray {

namespace {
constexpr const char* kNumbersFolder = "icons/numbers/";
constexpr int kStringVersion = 133;
constexpr int kStringMessagesDeleted = 163;
constexpr int kStringPortClosed = 290;

bool continuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
} // namespace

std::string versionTooltip() { return TranslatedFormat::byId(kStringVersion, Application::kVersion); }

std::string restingTooltip(int closedPort) {
    return closedPort != 0 ? TranslatedFormat::byId(kStringPortClosed, closedPort) : versionTooltip();
}

std::string tooltipAfterCheck(int spamCount, int closedPort) {
    std::string text = restingTooltip(closedPort);
    if (spamCount > 0) {
        text += " ";
        text += TranslatedFormat::byId(kStringMessagesDeleted, spamCount);
    }
    return text;
}

std::string cutTooltip(const std::string& text) {
    int characters = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (continuationByte(text[i])) continue;
        if (characters == kTooltipMax) return text.substr(0, i);
        ++characters;
    }
    return text;
}

std::string withProgress(const std::string& tooltip, int percentTenths) {
    std::string base = tooltip;
    if (size_t at = base.rfind(kProgressSeparator); at != std::string::npos) base.erase(at);
    if (percentTenths < 0) return cutTooltip(base);
    char piece[64];
    std::snprintf(piece, sizeof piece, "%s%.1f%%", kProgressSeparator, percentTenths / 10.0);
    return cutTooltip(base + piece);
}

std::string stateIconFile(bool filterEnabled) {
    return filterEnabled ? "icons/mini.ico" : "icons/mini_grey.ico";
}

NumberIconParts numberIconParts(int count, bool filterEnabled) {
    count = std::min(count, 99);
    if (count <= 0) return {"", stateIconFile(filterEnabled)};
    // The tens pictures draw their digit in the left columns, so a single digit uses them too.
    if (count <= 9) return {kNumbersFolder + std::to_string(count) + "0.ico", stateIconFile(filterEnabled)};
    return {kNumbersFolder + std::to_string(count / 10) + "0.ico",
            kNumbersFolder + std::to_string(count % 10) + ".ico"};
}

std::string animationIconFile(int frame) {
    static const char* const kFrames[] = {"icons/mailmini.ico", "icons/mailani1.ico", "icons/mailani2.ico",
                                          "icons/mailani3.ico"};
    return kFrames[((frame % 4) + 4) % 4];
}

} // namespace corvanthelix::tray
