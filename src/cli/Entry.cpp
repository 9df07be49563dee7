// The arguments of a POSIX program arrive as the bytes the shell gave: file
// names pass through untouched, whatever their encoding.
#include "cli/CliMain.h"

int main(int argc, char** argv) { return zvek::CliMain(std::vector<std::string_view>(argv + 1, argv + argc)); }
