#include "simdriver/server/Tool.h"

int main(int argc, char** argv) { return simdriver::RunTool({argv + 1, argv + argc}); }
