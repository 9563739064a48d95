// When this process last called CreateProcessW, whoever in it called it: the benchmark sees
// the moment inside an operation it times as a whole (CGraph::ShowGraph starting GraphEdit).
// This executable's import of CreateProcessW is pointed at a wrapper that reads the clock
// and calls on; the wrapper costs a clock read.
#pragma once

namespace bench {

// Points the import at the wrapper; false when the import was not found.
bool StampCreateProcess();
// bench::NowUs at the last call; 0 before the first.
double LastCreateProcessUs();

}  // namespace bench
