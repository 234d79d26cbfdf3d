// The client's C source, compiled as C++: games may build it either way.
#include "kova_client.c"
