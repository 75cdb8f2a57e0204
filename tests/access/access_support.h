// Support for the accessibility tests: runs acctool (the second process that reads and drives the test
// process's windows) while this thread keeps pumping messages, since the windows' accessible objects
// answer through the UI thread's message loop; parses acctool's lines. Test code only; UI thread.
#pragma once

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "win_test_support.h"

namespace accesstest {

constexpr DWORD kToolDeadline = 20000;

struct ToolResult {
    int exitCode = testsupport::kNotStarted;
    std::vector<std::string> lines;  // UTF-8, without line ends
};

// acctool with the arguments and an --out file; fails the test when it does not end in time.
ToolResult runAcctool(const std::wstring& args, DWORD timeoutMs = kToolDeadline);

// An acctool that runs while the test goes on; its lines are read from its output file.
class RunningTool {
  public:
    explicit RunningTool(const std::wstring& args);
    ~RunningTool();  // terminates a tool still running
    RunningTool(const RunningTool&) = delete;
    RunningTool& operator=(const RunningTool&) = delete;

    std::vector<std::string> lines() const;
    // Pumps until the tool has ended; its exit code (kTimedOut after terminating it).
    int finish(DWORD timeoutMs = kToolDeadline);

  private:
    testsupport::Process process_;
    std::wstring folder_;
    std::wstring out_;
};

// One line of acctool: "role id=N name=\"..\" state=a,b [value=\"..\"] [action=\"..\"] rect=l,t,r,b",
// indented two spaces per level by list.
struct Line {
    int depth = 0;
    std::string role, id, name, value, action;
    bool hasValue = false;
    std::set<std::string> states;
    RECT rect{0, 0, 0, 0};
    bool has(const std::string& state) const { return states.count(state) != 0; }
};
bool parseLine(const std::string& text, Line* out);
std::vector<Line> parseLines(const std::vector<std::string>& lines);
// The first line with this layout id; fails the test and answers an empty line when there is none.
Line byLayoutId(const std::vector<Line>& lines, const std::string& id);

// The window argument of acctool for a window: its title, made unique for the test.
std::wstring windowArgs(HWND window);

}  // namespace accesstest
