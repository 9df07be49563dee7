// Writes back its arguments, each ended by a NUL byte, as the program
// received them; "--exit=N" first makes it end with status N.
#include <unistd.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    int first = 1, status = 0;
    if (argc > 1 && std::strncmp(argv[1], "--exit=", 7) == 0) status = std::atoi(argv[first++] + 7);
    for (int i = first; i < argc; ++i)
        if (::write(1, argv[i], std::strlen(argv[i]) + 1) < 0) return 100;
    return status;
}
