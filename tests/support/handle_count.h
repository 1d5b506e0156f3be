#pragma once

// The number of handles the current process holds, as the system's handle
// table lists them (GetProcessHandleCount is a stub under Wine).
// Returns -1 when the system will not tell.
long CountProcessHandles();
