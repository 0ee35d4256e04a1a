#include "plugin/ProgressPipe.h"

#include "plugin/Progress.h"

void CProgressPipe::ReportProgress(double percent) {
  const int value = static_cast<int>(percent);
  if (enabled_ && owner_) SetProgress(*owner_, value);
}
