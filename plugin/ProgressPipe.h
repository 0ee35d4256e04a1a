// Gives the operation's progress channel to a component that reports through
// the IMDSProgressPipe interface (the internal-radio software loader).
#pragma once
#include "plugin/Exports.h"

class IMDSProgressPipe {
 public:
  virtual ~IMDSProgressPipe() = default;
  virtual void ReportProgress(double percent) = 0;
  virtual int Query() = 0;
};

class CProgressPipe : public IMDSProgressPipe {
 public:
  // `params` is the owner's parameter block; it must outlive the pipe.
  explicit CProgressPipe(const OperationParams* params) : owner_(params) {}
  // Percent truncated toward zero; dropped until Enable.
  void ReportProgress(double percent) override;
  int Query() override { return 0; }
  void Enable() { enabled_ = true; }

 private:
  const OperationParams* owner_;
  bool enabled_ = false;
};
