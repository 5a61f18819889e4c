// A program for q5ctl's run to start: it holds on until a file appears (so a test decides
// when it ends), then exits with the code it was given: hold_program CODE FILE.
#include <windows.h>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 100;
    // Bounded: a test that never makes the file does not leave this running for ever.
    for (int i = 0; i < 6000 && GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(20);
    return atoi(argv[1]);
}
