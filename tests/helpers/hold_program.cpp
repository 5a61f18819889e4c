// A program for q5ctl's run to start: it holds on until a file appears (so a test decides
// when it ends), then exits with the code it was given, plus 100 when a Ctrl+C reached it
// meanwhile: hold_program CODE FILE.
#include <windows.h>
#include <cstdlib>

static volatile LONG s_bCtrlC;

static BOOL WINAPI OnConsoleCtrl(DWORD dwType)
{
    if (dwType != CTRL_C_EVENT)
        return FALSE;
    InterlockedExchange(&s_bCtrlC, 1);
    return TRUE;
}

int main(int argc, char** argv)
{
    if (argc != 3)
        return 100;
    SetConsoleCtrlHandler(OnConsoleCtrl, TRUE);
    // Bounded: a test that never makes the file does not leave this running for ever.
    for (int i = 0; i < 6000 && GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(20);
    return atoi(argv[1]) + (s_bCtrlC ? 100 : 0);
}
