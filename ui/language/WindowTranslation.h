#pragma once
// Translation of Qt windows and menus through the process-wide translation table. Each function
// does nothing (the texts stay English) before the table exists.
#include <QString>

class QWidget;

namespace corvanthelix {

/// Translates the title of `window` and the texts of every widget inside it (see
/// CLanguage::TranslateWindow). Call once, after the window's widgets are made and before the
/// user's data is filled in.
void translateWindow(QWidget* window);

/// Translates every item of `menu` (a QMenu or a QMenuBar) and its submenus.
void translateMenu(QWidget* menu);

/// The translation of the English text `english`; `english` itself when there is no table.
QString translatedText(const char* english);

} // namespace corvanthelix
