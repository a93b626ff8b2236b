// Tenvarel's program entry.
#include <cstdio>

int main()
{
    // The windows come with the forms; until then the program only reports
    // that it was installed.
    std::puts("Tenvarel");
    return 0;
}
