#pragma once

class QMenuBar;

namespace korsa {

// Draws a menu bar and its menus at `ratio` times the size the desktop gives them: their fonts, and
// the bar's margins around its items, so the bar grows and shrinks with the window below it. Each
// call scales from the desktop's own size. The bar's items are made taller where the bar would be
// less than `leastHeight` pixels high.
void ScaleMenus(QMenuBar *bar, double ratio, int leastHeight = 0);

} // namespace korsa
