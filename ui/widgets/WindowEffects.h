#pragma once
// Helpers every window of the program shares: fading in and out, translucency, greying out a
// page's children.
class QWidget;

namespace corvanthelix {

/// How long a window fades in or out.
constexpr int kFadeMilliseconds = 200;

/// The alpha (0..255) for an opacity in percent: opacity × 255 / 100, cut to 0..255 (50 gives 127).
int alphaForOpacity(int percent);

/// Shows (`show` true) or hides `window`, fading its opacity over `milliseconds` when the window
/// system can make windows translucent; otherwise shows or hides it at once. A fade-out hides the
/// window at its end and gives it its opacity back. The window is not owned.
void fadeWindow(QWidget* window, bool show, int milliseconds = kFadeMilliseconds);

/// True when "AlphaBlending" asks windows to fade.
bool fadingWanted();

/// Makes `window` translucent with `alpha` (0..255; 255 is opaque). Without translucency on the
/// window system this does nothing visible.
void setWindowAlpha(QWidget* window, int alpha);

/// Enables or disables every child widget of `window` (not the window itself).
void enableChildren(QWidget* window, bool enable);

} // namespace corvanthelix
