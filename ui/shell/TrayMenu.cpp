#include "ui/shell/TrayMenu.h"

#include "ui/widgets/ControlNames.h"
#include "ui/language/WindowTranslation.h"
#include "base/ControlIds.h"

#include <QAction>

namespace corvanthelix {

namespace {

struct Item {
    int id;          // 0: separator
    const char* text;
    const char* icon; // file in icons/, or null
};

const Item kMainItems[] = {
    {command::kRecycleBin, "&Recycle Bin...", "recyclemail.ico"},
    {command::kStatistics, "Show Spam Statistics...", "statistic.ico"},
    {command::kTrainingArea, "&Training Area...", "learn.ico"},
    {command::kSettings, "&Settings...", "settings.ico"},
};
const Item kHelpItems[] = {
    {command::kDocumentation, "&Documentation...", "help.ico"},
    {command::kFaq, "&Frequently Asked Questions...", nullptr},
    {command::kUpdateCheck, "Check for &updates...", nullptr},
    {command::kAbout, "&About...", "about.ico"},
};
const Item kTailItems[] = {
    {command::kToggleFilter, "Disable Spam &Filter", nullptr},
    {command::kExit, "&Exit", "exit.ico"},
};
constexpr int kForumPosition = 2;

QAction* addItem(QMenu* menu, const Item& item, const std::string& programFolder,
                 const std::function<bool(int)>& available) {
    auto* action = new QAction(item.text, menu);
    action->setData(item.id);
    action->setObjectName(controlObjectName(item.id));
    if (item.icon) action->setIcon(QIcon(QString::fromStdString(programFolder + "/icons/" + item.icon)));
    action->setEnabled(available(item.id));
    menu->addAction(action);
    return action;
}

} // namespace

std::unique_ptr<QMenu> buildTrayMenu(const std::string& programFolder, bool german,
                                     const std::function<bool(int)>& available) {
    auto menu = std::make_unique<QMenu>();
    menu->setObjectName(controlObjectName(resource::kTrayMenu));
    for (const Item& item : kMainItems) addItem(menu.get(), item, programFolder, available);
    menu->addSeparator();
    QMenu* help = menu->addMenu("&Help");
    help->setObjectName("idHelp");
    for (const Item& item : kHelpItems) addItem(help, item, programFolder, available);
    menu->addSeparator();
    for (const Item& item : kTailItems) addItem(menu.get(), item, programFolder, available);
    translateMenu(menu.get());
    if (german) {
        // Added after the translation: its text is German already.
        auto* forum = new QAction("&Online-Forum...", help);
        forum->setData(command::kForum);
        forum->setObjectName(controlObjectName(command::kForum));
        forum->setEnabled(available(command::kForum));
        help->insertAction(help->actions().value(kForumPosition), forum);
    }
    return menu;
}

QAction* findMenuCommand(const QMenu* menu, int id) {
    if (!menu) return nullptr;
    for (QAction* action : menu->actions()) {
        if (QMenu* sub = action->menu()) {
            if (QAction* found = findMenuCommand(sub, id)) return found;
        } else if (!action->isSeparator() && action->data().toInt() == id) {
            return action;
        }
    }
    return nullptr;
}

} // namespace corvanthelix
