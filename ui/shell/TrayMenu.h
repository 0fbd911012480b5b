#pragma once
// The tray menu (menu 121): its items in order with their command ids and icons, translated, with
// the forum item for German, and the items whose window is not there yet shown disabled.
#include <QMenu>

#include <functional>
#include <memory>
#include <string>

namespace corvanthelix {

/// Builds the menu. Icons come from `programFolder`/icons; `german` inserts "&Online-Forum..." as
/// the third item of the Help submenu; an item whose command `available` answers false for is
/// disabled. Every item carries its command id as data and "id<command>" as object name; the
/// Help submenu is named "idHelp". Translated before it is returned. Owned by the caller.
std::unique_ptr<QMenu> buildTrayMenu(const std::string& programFolder, bool german,
                                     const std::function<bool(int)>& available);

/// The item of `menu` (or of its submenus) with command `id`; null when there is none.
QAction* findMenuCommand(const QMenu* menu, int id);

} // namespace corvanthelix
