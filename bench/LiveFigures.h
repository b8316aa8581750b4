#pragma once
// The live schedule's figures: how long another copy's commit takes to reach
// an open schedule model, and what one idle change check costs.
#include "bench/DataFigures.h"

class TdmGlobals;
class TdmProjects;

namespace bench {

struct FixtureInfo;

// Needs a QCoreApplication; `globals` and `projects` are open on the fixture.
void runLiveFigures(const BenchOptions& options, TdmGlobals& globals, TdmProjects& projects,
                    const FixtureInfo& info);

// The child process of refresh-latency: reads one number a line from standard
// input, commits it as the task's "Elapsed Time" and writes the moment the
// commit ended (steady clock, nanoseconds) to standard output.
int runCommitChild(const QString& dataFolder, int taskID);
inline constexpr const char* kCommitChildArgument = "--commit-child";

} // namespace bench
