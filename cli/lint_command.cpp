#include "lint_command.h"

#include "escaping.h"
#include "lint.h"

#include <string>

LintExit RunLint(const std::filesystem::path& file, std::FILE* out, std::FILE* err)
{
    const std::string name = DisplayText(file.native());
    const LintResult result = LintSignatureFile(file);
    if (result.file != WholeFileResult::Read) {
        std::fprintf(err, "kindsniffer-cli: cannot lint %s: it %s\n", name.c_str(), WholeFileProblem(result.file));
        return LintExit::Unreadable;
    }
    const auto& findings = result.findings;
    for (const LintFinding& finding : findings) {
        const std::string line = name + ":" + std::to_string(finding.line) + ": " + finding.message + "\n";
        std::fwrite(line.data(), 1, line.size(), out);
    }
    std::fflush(out);
    if (findings.empty()) {
        std::fprintf(err, "%s: no findings\n", name.c_str());
        return LintExit::Clean;
    }
    return LintExit::FoundIssues;
}
