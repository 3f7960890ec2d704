// The process exit code for the tool's status.
#ifndef XSLVALIDATE_HOST_EXIT_STATUS_H_
#define XSLVALIDATE_HOST_EXIT_STATUS_H_

// Maps the tool's signed 32-bit status to the host's exit code. Windows
// keeps all 32 bits, so the status passes unchanged. POSIX hosts keep only
// 8 bits, where 256 would read as success: 1 to 255 pass unchanged and any
// other nonzero status becomes 255.
int hostExitCode(int status);

#endif  // XSLVALIDATE_HOST_EXIT_STATUS_H_
