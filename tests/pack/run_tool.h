// Runs a program with arguments and collects its exit code, stdout and stderr. POSIX and Windows
// (msvcrt spawn) without platform UI headers.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace packtest {

struct ToolResult {
    int exitCode = -1;  // -1: did not start or died of a signal
    std::string out, err;
};

inline std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

#ifdef _WIN32
inline std::wstring quoteArgument(const std::wstring& arg) {
    std::wstring out = L"\"";
    std::size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        out.append(c == L'"' ? 2 * slashes + 1 : slashes, L'\\');
        slashes = 0;
        out.push_back(c);
    }
    out.append(2 * slashes, L'\\');
    return out + L"\"";
}

inline ToolResult runTool(const std::filesystem::path& program,
                          const std::vector<std::filesystem::path>& args,
                          const std::filesystem::path& scratch) {
    ToolResult result;
    std::filesystem::path outFile = scratch / "tool.out", errFile = scratch / "tool.err";
    std::vector<std::wstring> quoted{quoteArgument(program.wstring())};
    for (const auto& a : args) quoted.push_back(quoteArgument(a.wstring()));
    std::vector<const wchar_t*> argv;
    for (const auto& q : quoted) argv.push_back(q.c_str());
    argv.push_back(nullptr);
    std::fflush(stdout);
    std::fflush(stderr);
    int savedOut = _dup(1), savedErr = _dup(2);
    int outFd = _wopen(outFile.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, 0600);
    int errFd = _wopen(errFile.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, 0600);
    _dup2(outFd, 1);
    _dup2(errFd, 2);
    intptr_t rc = _wspawnv(_P_WAIT, program.c_str(), argv.data());
    _dup2(savedOut, 1);
    _dup2(savedErr, 2);
    _close(outFd);
    _close(errFd);
    _close(savedOut);
    _close(savedErr);
    result.exitCode = rc < 0 ? -1 : static_cast<int>(rc);
    result.out = readText(outFile);
    result.err = readText(errFile);
    return result;
}
#else
inline ToolResult runTool(const std::filesystem::path& program,
                          const std::vector<std::filesystem::path>& args,
                          const std::filesystem::path& scratch) {
    ToolResult result;
    std::filesystem::path outFile = scratch / "tool.out", errFile = scratch / "tool.err";
    std::vector<std::string> strings{program.string()};
    for (const auto& a : args) strings.push_back(a.string());
    std::vector<char*> argv;
    for (auto& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid == 0) {
        int outFd = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int errFd = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(outFd, 1);
        dup2(errFd, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    result.out = readText(outFile);
    result.err = readText(errFile);
    return result;
}
#endif

}  // namespace packtest
