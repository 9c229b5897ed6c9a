// The language types as a whole: evidence that is never weighed, and lang
// tests that name a language no type gives evidence for.
#include "checks.h"

#include "signatures/signature_xml.h"

#include <set>

namespace lint {

namespace {

struct LanguageTest {
    std::vector<std::string> names;
    int line;
};

} // namespace

void CheckLanguages(const tinyxml2::XMLElement* types, Findings& findings)
{
    std::vector<LanguageTest> tests;
    std::set<std::string> weighed;  // languages that some type gives evidence for
    for (auto* type = types->FirstChildElement("type"); type; type = type->NextSiblingElement("type")) {
        std::vector<LanguageTest> own;
        int firstWeigh = 0;
        for (auto* magic = type->FirstChildElement("magic"); magic; magic = magic->NextSiblingElement("magic")) {
            const MagicRule rule = ParseMagicRule(ElementText(magic).value_or(std::string()));
            if (!rule.valid)
                continue;
            if (rule.form == MagicForm::Language)
                own.push_back({rule.structure.namePieces, magic->GetLineNum()});
            else if (rule.form == MagicForm::Weigh && !firstWeigh)
                firstWeigh = magic->GetLineNum();
        }
        const LanguageTest* single = nullptr;
        for (const LanguageTest& test : own) {
            if (test.names.size() == 1 && !single)
                single = &test;
        }
        if (firstWeigh && !single)
            Report(findings, firstWeigh, "weigh evidence is weighed only for the language of its type's lang test, "
                                         "and this type names no single language: it is never weighed");
        if (firstWeigh && single)
            weighed.insert(single->names[0]);
        tests.insert(tests.end(), own.begin(), own.end());
    }
    for (const LanguageTest& test : tests) {
        for (const std::string& name : test.names) {
            if (!weighed.count(name))
                Report(findings, test.line, "no type weighs evidence for the language \"" + name
                                            + "\" (a lang test with weigh patterns beside it): this test never holds");
        }
    }
}

} // namespace lint
