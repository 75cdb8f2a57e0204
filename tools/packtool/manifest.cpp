// packtool manifest: writes the install script's `operations` list (operations.h) from the same
// folder walk that `pack` archives, so the script names exactly the archive's entries.
// packtool ui-script: writes a UI script joined to its glue (ui_script.h), as tarvo build embeds it.
#include <fstream>
#include <iterator>

#include "commands.h"
#include "operations.h"
#include "text.h"
#include "ui_script.h"
#include "walk.h"

namespace packtool {

namespace {

bool readWhole(const std::string& path, std::string* out) {
    std::ifstream in(pathFromUtf8(path), std::ios::binary);
    if (!in)
        return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// Splits args into the value of `option` (when given) and the other arguments; false unless those are
// exactly OUT and one input.
bool readArgs(const Args& args, const char* option, std::string* value,
              std::vector<std::string>* positional) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == option && i + 1 < args.size())
            *value = args[++i];
        else
            positional->push_back(args[i]);
    }
    return positional->size() == 2;
}

int writeWhole(const std::string& path, const std::string& text) {
    std::ofstream out(pathFromUtf8(path), std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    return out ? 0 : fail(path + ": cannot write");
}

}  // namespace

// manifest [--template FILE] OUT DIR: OUT gets the template with its line holding "@OPERATIONS@"
// replaced by the operations list (without a template, the list alone).
int runManifest(const Args& args) {
    std::string templatePath;
    std::vector<std::string> positional;
    if (!readArgs(args, "--template", &templatePath, &positional))
        return 2;
    WalkedFolder walked;
    std::vector<Operation> ops;
    std::string error;
    if (!walkFolder(pathFromUtf8(positional[1]), &walked, &error) || !buildOperations(walked, &ops, &error))
        return fail(error);
    std::string output = formatOperations(ops);
    if (!templatePath.empty()) {
        std::string text;
        if (!readWhole(templatePath, &text))
            return fail(templatePath + ": cannot read the template");
        if (!applyOperationsTemplate(text, output, &output))
            return fail(templatePath + ": no @OPERATIONS@ line");
    }
    return writeWhole(positional[0], output);
}

// ui-script [--glue FILE] OUT UI: OUT gets UI joined to the glue (without one, UI as it is).
int runUiScript(const Args& args) {
    std::string gluePath;
    std::vector<std::string> positional;
    if (!readArgs(args, "--glue", &gluePath, &positional))
        return 2;
    std::string glue, ui;
    if (!gluePath.empty() && !readWhole(gluePath, &glue))
        return fail(gluePath + ": cannot read the glue");
    if (!readWhole(positional[1], &ui))
        return fail(positional[1] + ": cannot read the UI script");
    return writeWhole(positional[0], joinUiScript(glue, ui));
}

}  // namespace packtool
