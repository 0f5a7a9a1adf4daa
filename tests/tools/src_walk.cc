// The tool's page-walking source compiled into the test program, so that the tests
// run the commands in-process (main() stays in tools/vlutool.cc).
#include "tools/vlutool_walk.cc"
