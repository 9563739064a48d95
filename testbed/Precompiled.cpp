// Nothing is here: the target that builds this file makes the test bed's precompiled header
// (testbed/CMakeLists.txt), which the support code reuses.
