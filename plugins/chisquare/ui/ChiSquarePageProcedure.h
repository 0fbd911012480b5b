#pragma once
// The procedure of the chi-square filter's settings page, as the host's options dialog calls it
// through the page record of service 2. No Qt here: the plug-in's entry point names it.
#include <cstdint>

namespace corvanthelix::chisquare {

/// CVX_PAGE_CREATE (wparam: the dialog id, lparam: the parent QWidget*): makes the page as a child
/// of the parent and returns it (a QWidget* the host owns and deletes before it unloads the
/// library); 0 for another dialog id. CVX_PAGE_STORE (page: the widget CVX_PAGE_CREATE returned,
/// lparam: an int* result or 0): stores the page's choice and returns 1. 0 for other messages.
intptr_t chiSquarePageProcedure(void* page, uint32_t message, uintptr_t wparam, intptr_t lparam);

} // namespace corvanthelix::chisquare
