#pragma once
// Whether the window system composites windows with their transparency:
// only then can a window's rounded corners be see-through; without it the
// window cuts them with a mask.
//
// On X11 a compositing manager owns the selection _NET_WM_CM_S0; Wayland
// always composites; the offscreen and other platforms do not.
//
// Threads: main thread only (asks the display server).

bool QFWindowSystemComposites();
