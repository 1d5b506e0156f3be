// Counts of what the current process holds, asked of this process alone:
// Wine 8's server can crash when it lists every process's handles or
// threads while another process is exiting, leaving every test that waits
// on it hanging.
#pragma once

// The handles the process holds, or -1 when the system will not tell.
long CountProcessHandles();
// The threads of the process that are still running, or -1.
long CountProcessThreads();
// The most `count` gives over a few samples: Wine keeps a few objects of
// its own that come and go, so that is the baseline.
long MostOf(long (*count)());
// `count` once it has fallen to `baseline`, or after 3 s: it may take a
// moment to fall back once the last threads are gone.
long SettledTo(long (*count)(), long baseline);
// The processor time the process has used so far, user and kernel, in
// seconds. When the system will not tell, the test fails, naming the call,
// and the answer is NaN, which no comparison passes.
double ProcessCpuSeconds();
