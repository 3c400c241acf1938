#pragma once

// The program's icons and the system's metrics at a window's DPI, as the
// system shows them on the window's monitor: one image stretched to another
// size blurs at 144 and 192 DPI.

#include <windows.h>

// System metric `metric` (GetSystemMetrics) at `window`'s DPI. Before
// Windows 10 version 1607 the program is aware of the system's DPI only,
// which GetSystemMetrics gives.
int MetricForWindow(HWND window, int metric);

// Icon resource `id` at the size of system metric `metric` (SM_CXICON or
// SM_CXSMICON) at `window`'s DPI, scaled down from the nearest larger image;
// nullptr if it cannot be loaded. The caller destroys it with DestroyIcon.
HICON LoadIconForDpi(HWND window, UINT id, int metric);
