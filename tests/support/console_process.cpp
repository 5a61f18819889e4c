// Runs a console program with its output on pipes, each drained by a thread of
// its own so that neither can fill up and stall the program.
#include "console_process.h"
#include <vector>

namespace {

struct PipeReader {
    HANDLE hRead = nullptr;
    std::string text;
};

DWORD WINAPI DrainPipe(void* pArg)
{
    PipeReader* pReader = static_cast<PipeReader*>(pArg);
    char buf[4096];
    DWORD nRead = 0;
    while (ReadFile(pReader->hRead, buf, sizeof(buf), &nRead, nullptr) && nRead > 0)
        pReader->text.append(buf, nRead);
    return 0;
}

std::string WithoutCr(const std::string& text)
{
    std::string out;
    for (char c : text)
        if (c != '\r')
            out += c;
    return out;
}

}  // namespace

ConsoleRun RunConsole(const std::string& exePath, const std::string& args, DWORD nTimeoutMs)
{
    ConsoleRun run;
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    PipeReader readers[2];
    HANDLE hWrite[2] = {};
    for (int i = 0; i < 2; ++i) {
        CreatePipe(&readers[i].hRead, &hWrite[i], &sa, 0);
        SetHandleInformation(readers[i].hRead, HANDLE_FLAG_INHERIT, 0);   // only the write ends go to the child
    }
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = hWrite[0];
    si.hStdError = hWrite[1];
    std::string cmd = "\"" + exePath + "\"" + (args.empty() ? "" : " " + args);
    std::vector<char> cmdBuf(cmd.begin(), cmd.end());
    cmdBuf.push_back('\0');
    std::string dir = exePath.substr(0, exePath.rfind('\\'));
    PROCESS_INFORMATION pi = {};
    ULONGLONG nStart = GetTickCount64();
    BOOL bStarted = CreateProcessA(exePath.c_str(), cmdBuf.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                   dir.c_str(), &si, &pi);
    // Our copies of the write ends go, so the readers see the end when the child's do.
    CloseHandle(hWrite[0]);
    CloseHandle(hWrite[1]);
    HANDLE hThreads[2] = {};
    for (int i = 0; i < 2; ++i)
        hThreads[i] = CreateThread(nullptr, 0, DrainPipe, &readers[i], 0, nullptr);
    if (bStarted) {
        run.bEnded = WaitForSingleObject(pi.hProcess, nTimeoutMs) == WAIT_OBJECT_0;
        run.nMs = GetTickCount64() - nStart;
        if (!run.bEnded)
            TerminateProcess(pi.hProcess, 99);
        WaitForSingleObject(pi.hProcess, 10000);
        GetExitCodeProcess(pi.hProcess, &run.dwExitCode);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    WaitForMultipleObjects(2, hThreads, TRUE, 10000);
    for (int i = 0; i < 2; ++i) {
        CloseHandle(hThreads[i]);
        CloseHandle(readers[i].hRead);
    }
    run.out = WithoutCr(readers[0].text);
    run.err = WithoutCr(readers[1].text);
    return run;
}

std::string JsonValue(const std::string& json, const std::string& key)
{
    size_t pos = json.find("\"" + key + "\": ");
    if (pos == std::string::npos)
        return "<missing>";
    pos += key.size() + 4;
    size_t end = pos;
    if (json[pos] == '"') {
        for (end = pos + 1; end < json.size() && json[end] != '"'; ++end)
            end += json[end] == '\\';
        ++end;
    } else {
        end = json.find_first_of(",}]\n", pos);
    }
    return json.substr(pos, end - pos);
}
