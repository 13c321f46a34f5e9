// The size of the terminal a program's diagnostics go to, for output that
// must fit on one line of it (a progress bar that is redrawn in place).
#ifndef QVN_PLATFORM_TERMINAL_H_
#define QVN_PLATFORM_TERMINAL_H_

namespace qvn::platform {

// The number of columns of the terminal (Windows: the console window) that
// standard error writes to, as it is now; 0 when standard error is no
// terminal or the system does not say. Cheap enough to ask before each
// redraw, which also follows a resize.
int StderrTerminalColumns();

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_TERMINAL_H_
