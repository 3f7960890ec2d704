#include "host/exit_status.h"

int hostExitCode(int status) {
  return status;
}
