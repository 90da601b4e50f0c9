// What the tools say of a folder the scan skipped.
#pragma once

#include <QString>

#include "library/core/folder_scan.h"

namespace myzor_tools {

inline QString ScanProblemText(const myzor::ScanProblem& problem) {
  const QString folder = myzor::DisplayName(problem.folder);
  return problem.kind == myzor::ScanProblem::Kind::loop
             ? QStringLiteral("%1: leads back into a folder already listed").arg(folder)
             : QStringLiteral("%1: cannot read the folder: %2").arg(folder, problem.reason);
}

}  // namespace myzor_tools
