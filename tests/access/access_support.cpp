#include "access_support.h"

#include <gtest/gtest.h>

#include <sstream>

namespace accesstest {

namespace {

std::wstring acctoolPath() {
    return testsupport::selfFolder() + L"\\..\\..\\tools\\acctool\\acctool.exe";
}

std::vector<std::string> readLines(const std::wstring& path) {
    std::vector<std::string> lines;
    std::istringstream in(testsupport::readFile(path).value_or(""));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool ended(const testsupport::Process& process) {
    return WaitForSingleObject(process.handle.get(), 0) == WAIT_OBJECT_0;
}

// A quoted value from `at` (just after the opening quote); `at` ends after the closing quote.
std::string unquote(const std::string& text, size_t* at) {
    std::string out;
    while (*at < text.size() && text[*at] != '"') {
        char c = text[(*at)++];
        if (c == '\\' && *at < text.size()) {
            c = text[(*at)++];
            c = c == 'n' ? '\n' : c == 'r' ? '\r' : c;
        }
        out += c;
    }
    ++*at;
    return out;
}

}  // namespace

ToolResult runAcctool(const std::wstring& args, DWORD timeoutMs) {
    RunningTool tool(args);
    ToolResult result;
    result.exitCode = tool.finish(timeoutMs);
    result.lines = tool.lines();
    return result;
}

RunningTool::RunningTool(const std::wstring& args) {
    folder_ = testsupport::makeTempFolder(L"acctool");
    out_ = folder_ + L"\\out.txt";
    process_ = testsupport::startProcess(acctoolPath(), args + L" --out \"" + out_ + L"\"");
    EXPECT_TRUE(process_) << "acctool did not start: " << testsupport::narrow(acctoolPath());
}

RunningTool::~RunningTool() {
    if (process_ && !ended(process_))
        testsupport::waitExit(process_, 0);
    testsupport::deleteTree(folder_);
}

std::vector<std::string> RunningTool::lines() const {
    return readLines(out_);
}

int RunningTool::finish(DWORD timeoutMs) {
    if (!process_)
        return testsupport::kNotStarted;
    const bool done = testsupport::pumpUntil([&] { return ended(process_); }, timeoutMs);
    EXPECT_TRUE(done) << "acctool did not end in time";
    return testsupport::waitExit(process_, 0);
}

bool parseLine(const std::string& text, Line* out) {
    *out = Line{};
    size_t at = 0;
    while (at < text.size() && text[at] == ' ') ++at;
    out->depth = static_cast<int>(at / 2);
    auto word = [&] {
        const size_t start = at;
        while (at < text.size() && text[at] != ' ') ++at;
        std::string w = text.substr(start, at - start);
        if (at < text.size())
            ++at;
        return w;
    };
    out->role = word();
    while (at < text.size()) {
        const size_t equals = text.find('=', at);
        if (equals == std::string::npos)
            return false;
        const std::string key = text.substr(at, equals - at);
        at = equals + 1;
        std::string value;
        if (at < text.size() && text[at] == '"') {
            ++at;
            value = unquote(text, &at);
            if (at < text.size() && text[at] == ' ')
                ++at;
        } else {
            value = word();
        }
        if (key == "id") {
            out->id = value;
        } else if (key == "name") {
            out->name = value;
        } else if (key == "value") {
            out->value = value;
            out->hasValue = true;
        } else if (key == "action") {
            out->action = value;
        } else if (key == "state") {
            std::istringstream states(value);
            for (std::string s; std::getline(states, s, ',');) {
                if (s != "-")
                    out->states.insert(s);
            }
        } else if (key == "rect") {
            long l = 0, t = 0, r = 0, b = 0;
            if (std::sscanf(value.c_str(), "%ld,%ld,%ld,%ld", &l, &t, &r, &b) != 4)
                return false;
            out->rect = RECT{l, t, r, b};
        }
    }
    return !out->role.empty();
}

std::vector<Line> parseLines(const std::vector<std::string>& lines) {
    std::vector<Line> out;
    for (const std::string& text : lines) {
        Line line;
        EXPECT_TRUE(parseLine(text, &line)) << "unreadable line: " << text;
        out.push_back(line);
    }
    return out;
}

Line byLayoutId(const std::vector<Line>& lines, const std::string& id) {
    for (const Line& line : lines) {
        if (line.id == id)
            return line;
    }
    ADD_FAILURE() << "no line with id=" << id;
    return Line{};
}

std::wstring windowArgs(HWND window) {
    static int serial = 0;
    const std::wstring title = L"无障碍测试 " + std::to_wstring(++serial);
    SetWindowTextW(window, title.c_str());
    return L"--title \"" + title + L"\"";
}

}  // namespace accesstest
