// luting-search: searches a torrent-search website by keyword.
#include "app/handlers.h"

int main(int argc, char** argv) { return luting::runProgram(argc, argv); }
