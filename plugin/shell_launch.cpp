#include "plugin/shell_launch.h"

void finishPendingWorkspace() {}
void clearPendingWorkspace() {}
