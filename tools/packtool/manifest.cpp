// packtool manifest: writes the install script's `operations` list (operations.h) from the same
// folder walk that `pack` archives, so the script names exactly the archive's entries.
#include <fstream>
#include <iterator>

#include "commands.h"
#include "operations.h"
#include "text.h"
#include "walk.h"

namespace packtool {

// manifest [--template FILE] OUT DIR: OUT gets the template with its line holding "@OPERATIONS@"
// replaced by the operations list (without a template, the list alone).
int runManifest(const Args& args) {
    std::string templatePath;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--template" && i + 1 < args.size())
            templatePath = args[++i];
        else
            positional.push_back(args[i]);
    }
    if (positional.size() != 2)
        return 2;
    WalkedFolder walked;
    std::vector<Operation> ops;
    std::string error;
    if (!walkFolder(pathFromUtf8(positional[1]), &walked, &error) || !buildOperations(walked, &ops, &error))
        return fail(error);
    std::string output = formatOperations(ops);
    if (!templatePath.empty()) {
        std::ifstream in(pathFromUtf8(templatePath), std::ios::binary);
        if (!in)
            return fail(templatePath + ": cannot read the template");
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!applyOperationsTemplate(text, output, &output))
            return fail(templatePath + ": no @OPERATIONS@ line");
    }
    std::ofstream out(pathFromUtf8(positional[0]), std::ios::binary | std::ios::trunc);
    out.write(output.data(), static_cast<std::streamsize>(output.size()));
    out.close();
    if (!out)
        return fail(positional[0] + ": cannot write");
    return 0;
}

}  // namespace packtool
