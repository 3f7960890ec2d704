#include "host/exit_status.h"

int hostExitCode(int status) {
  if (status >= 0 && status <= 255)
    return status;
  return 255;
}
