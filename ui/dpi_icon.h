#pragma once

// The program's icons at the size the system shows them at on a window's
// monitor: one image stretched to another size blurs at 144 and 192 DPI.

#include <windows.h>

// Icon resource `id` at the size of system metric `metric` (SM_CXICON or
// SM_CXSMICON) at `window`'s DPI, scaled down from the nearest larger image;
// nullptr if it cannot be loaded. The caller destroys it with DestroyIcon.
HICON LoadIconForDpi(HWND window, UINT id, int metric);
