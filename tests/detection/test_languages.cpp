// Weighing languages: the lang and weigh forms, the scorer's rules, and the
// shipped set's languages on short real-looking files, near pairs and prose.
#include "detection.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

TEST(LanguageForms, ReadShownAndInvalidToOlderReaders)
{
    const std::pair<const char*, const char*> valid[] = {
        {"lang c", "lang c"}, {"lang c cpp", "lang c cpp"}, {"lang c++", "lang c++"},
        {"weigh 3 start #include", "weigh 3 start #include"}, {"weigh -12 word std::", "weigh -12 word std::"},
        {"weigh 1 istart @echo%20off", "weigh 1 istart @echo%20off"}, {"weigh 12 shebang python", "weigh 12 shebang python"},
        {"weigh 2 end ;", "weigh 2 end ;"}, {"weigh 9 mode perl", "weigh 9 mode perl"}, {"weigh 1 iword %25%25", "weigh 1 iword %25%25"},
        {"weigh 4 key =", "weigh 4 key ="},
    };
    for (const auto& [text, canonical] : valid) {
        const MagicRule rule = ParseMagicRule(text);
        EXPECT_TRUE(rule.valid) << text;
        EXPECT_EQ(FormatMagicRule(rule), canonical);
        EXPECT_FALSE(ParseClassicMagicRule(text).valid) << text;
    }
    for (const char* text : {"lang", "lang C", "lang a b c", "lang c c", "lang a.b", "weigh", "weigh 3 start", "weigh 0 word a",
                             "weigh 100 word a", "weigh +3 word a", "weigh 3 regex a", "weigh 3 word a b", "weigh 3 word a%2",
                             "weigh 3 shebang a%20b", "weigh 3 word a%0Ab", "weigh x word a"}) {
        EXPECT_FALSE(ParseMagicRule(text).valid) << text;
        EXPECT_FALSE(ParseClassicMagicRule(text).valid) << text;
    }
}

// A scorer of two made-up languages, "alpha" and "beta", that share "shared".
LanguageScorer TwoLanguages()
{
    LanguageScorer scorer;
    const std::uint32_t alpha = LanguageIndex(scorer, "alpha");
    const std::uint32_t beta = LanguageIndex(scorer, "beta");
    AddEvidence(scorer, {EvidenceKind::Start, "shared", 3, alpha});
    AddEvidence(scorer, {EvidenceKind::Start, "shared", 3, beta});
    AddEvidence(scorer, {EvidenceKind::Word, "al", 4, alpha});
    AddEvidence(scorer, {EvidenceKind::End, ";", 2, alpha});
    AddEvidence(scorer, {EvidenceKind::WordFolded, "be", 4, beta});
    AddEvidence(scorer, {EvidenceKind::Word, "::", -5, alpha});
    AddEvidence(scorer, {EvidenceKind::Shebang, "Beta", 20, beta});
    AddEvidence(scorer, {EvidenceKind::Mode, "alpha", 20, alpha});
    IndexLanguageEvidence(scorer);
    return scorer;
}

TEST(LanguageScorer, WinsOnlyByAMarginWithEnoughEvidence)
{
    const LanguageScorer scorer = TwoLanguages();
    const struct {
        const char* text;
        bool cut;
        const char* winner;  // nullptr: no clear winner
        bool pair;
    } cases[] = {
        {"shared x\nal al al al al;\n", false, "alpha", false},   // 3 + 4*3 (counted at most 3 times) + 2
        {"shared\nshared\nBE be Be\n", false, "beta", false},    // folded word
        {"shared\nshared\nshared\nal be\n", false, nullptr, true},  // 9+4 against 9+4
        {"al al al\n", false, nullptr, false},                   // one piece of evidence only
        {"shared al;\n", false, nullptr, false},                 // too little
        {"shared\nalpha also pal al_x\nbe\n", false, nullptr, false},  // "al" is never part of a longer word
        {"  shared al :: al ::\nshared al;\n", false, nullptr, false},  // negative evidence
        {"#!/usr/bin/env -S Beta3.1 -x\nshared\n", false, "beta", false},
        {"#!/bin/beta-config\nshared\n", false, nullptr, false},  // not the interpreter named
        {"/* -*- mode: Alpha -*- */\nshared\n", false, "alpha", false},
        {"# vim: set ft=alpha:\nshared\n", false, "alpha", false},
        {"shared al\nal al", true, nullptr, false},              // a cut line loses its last run, which may go on
        {"shared al\nal al al", true, "alpha", false},           // but what stands before that counts
        {"al al al;", true, nullptr, false},                     // and it does not end where the sample does
        {"al al al;", false, "alpha", false},
        {"shared al\nal al", false, "alpha", false},
    };
    for (const auto& c : cases) {
        LanguageVerdict verdict;
        WeighLanguages(scorer, c.text, c.cut, verdict);
        EXPECT_EQ(verdict.clear ? scorer.names[verdict.best] : "", c.winner ? c.winner : "")
            << c.text << " " << DescribeVerdict(scorer, verdict);
        EXPECT_EQ(verdict.pair, c.pair) << c.text << " " << DescribeVerdict(scorer, verdict);
    }
}

// Evidence is looked up by the pair of bytes it starts with: a one-byte
// token fits before any byte and at a line's end, a folded one in either
// case, and pieces that share a pair are each tested. A key's evidence is
// found only right after a dotted key that opens a line.
TEST(LanguageScorer, EvidenceIsFoundByItsFirstTwoBytes)
{
    LanguageScorer scorer;
    const std::uint32_t gamma = LanguageIndex(scorer, "gamma");
    AddEvidence(scorer, {EvidenceKind::Word, "$", 1, gamma});
    AddEvidence(scorer, {EvidenceKind::StartFolded, "go", 1, gamma});
    AddEvidence(scorer, {EvidenceKind::Word, "ab", 1, gamma});
    AddEvidence(scorer, {EvidenceKind::Word, "ab.c", 1, gamma});
    AddEvidence(scorer, {EvidenceKind::WordFolded, "x-", 1, gamma});
    AddEvidence(scorer, {EvidenceKind::Key, "=", 1, gamma});
    IndexLanguageEvidence(scorer);
    const struct {
        const char* text;
        std::vector<std::uint8_t> counts;  // per piece, in the order added
    } cases[] = {
        {"$a $ $\n$", {4, 0, 0, 0, 0, 0}},
        {"GO x\n  gO\nGoing\n", {0, 2, 0, 0, 0, 0}},
        {"ab ab.c ab.cd xab\n", {0, 0, 3, 1, 0, 0}},
        {"X- x- aX- X-\n", {0, 0, 0, 0, 3, 0}},
        {"a.b=1\n  k-y.z_1=2\na=1\na.=1\n.a=1\na..b=1\na.b==1\na.b =1\n", {0, 0, 0, 0, 0, 2}},
    };
    for (const auto& c : cases) {
        LanguageVerdict verdict;
        WeighLanguages(scorer, c.text, false, verdict);
        EXPECT_EQ(verdict.counts, c.counts) << c.text;
    }
}

TEST(LanguageScorer, LongAndHostileTextsCostOnePass)
{
    const LanguageScorer scorer = TwoLanguages();
    for (const std::string& text : {std::string(1 << 16, 'a'), std::string(1 << 16, '\n'), std::string(1 << 16, ':'),
                                    std::string(1 << 16, ';') + "\n", std::string("#!") + std::string(1 << 16, ' '),
                                    std::string("-*-") + std::string(1 << 16, '-')}) {
        LanguageVerdict verdict;
        WeighLanguages(scorer, text, false, verdict);
        EXPECT_FALSE(verdict.clear);
    }
}

// A set of two language types and their pair, before plain text.
TEST(LanguageTypes, AllWeighedTogetherAndOnlyOnText)
{
    TempDir dir;
    const auto sig = dir.Signatures(
        "<type><magic>lang alpha</magic><magic>weigh 5 start alpha</magic><magic>weigh 5 word al</magic>"
        "<title>Alpha</title><ext>.al</ext></type>"
        "<type><magic>lang beta</magic><magic>weigh 5 start beta</magic><magic>weigh 5 word be</magic>"
        "<title>Beta</title><ext>.be</ext></type>"
        "<type><magic>lang alpha beta</magic><title>Alpha or beta</title><ext>.al</ext><ext>.be</ext></type>"
        "<type><magic>text</magic><title>Text</title></type>");
    const struct {
        std::string content;
        const char* title;
    } cases[] = {
        {"alpha 1\nal al\n", "Alpha"},
        {"beta 1\nbe be\n", "Beta"},
        {"alpha 1\nal al\nbeta 1\nbe be\n", "Alpha or beta"},
        {"alpha\n", "Text"},
        {std::string("alpha 1\nal al\n\x00\x01", 16), ""},
    };
    for (const auto& c : cases) {
        const DetectionOutcome outcome = DetectFileType(sig, dir.Write("f", c.content));
        EXPECT_EQ(outcome.title, c.title) << c.content;
    }
}

// A short file and the title the shipped set must give it.
struct ShippedCase {
    const char* title;
    std::string content;
};

void ExpectShippedTitles(std::initializer_list<ShippedCase> cases)
{
    const SignatureTable table = LoadSignatureTable(KINDSNIFFER_SHIPPED_SET);
    TempDir dir;
    for (const ShippedCase& c : cases) {
        DetectionBasis basis;
        const DetectionOutcome outcome = DetectWithTable(table, dir.Write("f", c.content), &basis);
        std::string why;
        for (const PatternHeld& held : basis.patterns)
            why += " " + held.name;
        EXPECT_EQ(outcome.title, c.title) << c.content << why;
    }
}

// The shipped set on short files of each language it weighs, the pairs it
// cannot tell apart and text that is no code.
TEST(LanguageTypes, ShippedSetNamesEachLanguageAndLeavesProse)
{
    ExpectShippedTitles({
        {"C source",
         "#include <stdio.h>\n#include \"util.h\"\n\nstatic int twice(int x)\n{\n    return 2 * x;\n}\n\n"
         "int main(int argc, char **argv)\n{\n    if (argc < 2) {\n        fprintf(stderr, \"usage\\n\");\n"
         "        return 1;\n    }\n    printf(\"%d\\n\", twice(argc));\n    return 0;\n}\n"},
        {"C++ source",
         "#include <iostream>\n#include <string>\n\nnamespace demo {\nclass Greeter {\npublic:\n"
         "    void greet(const std::string& name) const { std::cout << name << \"\\n\"; }\n};\n}\n\n"
         "int main()\n{\n    demo::Greeter().greet(\"a\");\n    return 0;\n}\n"},
        {"C or C++ header",
         "#ifndef UTIL_H\n#define UTIL_H\n\n#include <stddef.h>\n\ntypedef struct buffer {\n    char *data;\n"
         "    size_t length;\n} buffer;\n\nint buffer_init(buffer *b, size_t size);\nvoid buffer_free(buffer *b);\n\n"
         "#endif /* UTIL_H */\n"},
        // Templates alone are no source: a renamed header breaks the build that includes it.
        {"C or C++ header",
         "#pragma once\n\nnamespace glm\n{\n\ttemplate<typename genType>\n\tGLM_FUNC_DECL genType abs(genType x);\n\n"
         "\ttemplate<length_t L, typename T, qualifier Q>\n\tGLM_FUNC_DECL vec<L, T, Q> sign(vec<L, T, Q> const& x);\n\n"
         "\ttemplate<typename genType>\n\tGLM_FUNC_DECL genType fract(genType x);\n}//namespace glm\n"},
        // Nothing of either language's own: both extensions are offered, C first.
        {"C or C++ source",
         "#include \"point.h\"\n\nint point_sum(const point *p)\n{\n    int s = 0;\n    for (int i = 0; i < 2; i++) {\n"
         "        s += p->v[i];\n    }\n    return s;\n}\n\n"
         "int point_max(const point *p)\n{\n    if (p->v[0] > p->v[1])\n        return p->v[0];\n    return p->v[1];\n}\n"},
        {"Python script",
         "import os\nimport sys\n\n\nclass Walker:\n    def __init__(self, root):\n        self.root = root\n\n"
         "    def files(self):\n        for name in os.listdir(self.root):\n            yield name\n\n\n"
         "if __name__ == \"__main__\":\n    print(list(Walker(sys.argv[1]).files()))\n"},
        // Declarations alone, each body "...": a stub, though every line is Python too.
        {"Python type stub",
         "from typing import Any, overload\n\n__all__ = [\"Walker\"]\n\nclass Walker:\n    root: str\n"
         "    def __init__(self, root: str) -> None: ...\n    @overload\n    def files(self) -> list[str]: ...\n"
         "    @overload\n    def files(self, deep: bool) -> list[str]: ...\n\ndef walk(root: str, **kw: Any) -> Walker: ...\n"},
        // Python with C's declarations; a declaration file holds them without the code.
        {"Cython source",
         "# cython: boundscheck=False\ncimport numpy as cnp\nimport numpy as np\n\n"
         "cdef double total(double[::1] xs) nogil:\n    cdef Py_ssize_t i\n    cdef double s = 0\n"
         "    for i in range(xs.shape[0]):\n        s += xs[i]\n    return s\n\n"
         "def mean(xs):\n    return total(xs) / len(xs)\n"},
        {"Cython declarations",
         "from libc.stdint cimport int64_t\n\ncdef extern from \"ring.h\":\n    ctypedef struct ring_t:\n"
         "        int64_t size\n    ring_t* ring_new(int64_t size) nogil\n    void ring_free(ring_t* r) nogil\n\n"
         "cdef class Ring:\n    cdef ring_t* ptr\n    cpdef int64_t size(self)\n"},
        // Markdown or LaTeX whose chunks of R knitr or Sweave runs.
        {"R Markdown document",
         "---\ntitle: \"Counting\"\noutput: html_document\n---\n\n```{r setup, include = FALSE}\nlibrary(dplyr)\n```\n\n"
         "## Counts\n\n```{r}\nx <- c(1, 2, 3)\nsum(x)\n```\n\nSee [the data](data.csv).\n"},
        {"Sweave document",
         "\\documentclass{article}\n\\usepackage{Sweave}\n\\begin{document}\n\\section{Counts}\n\n"
         "<<counts, echo=FALSE>>=\nx <- c(1, 2, 3)\nsum(x)\n@\n\nThe sum is \\Sexpr{sum(x)}.\n\\end{document}\n"},
        {"Markdown document",
         "# Project\n\nA small tool that counts lines.\n\n## Building\n\n```sh\nmake\n```\n\n"
         "See [the guide](docs/guide.md) for more.\n"},
        {"reStructuredText document",
         "Project\n=======\n\nA tool. See :ref:`usage` for details.\n\n.. _usage:\n\nUsage\n-----\n\n"
         ".. code-block:: sh\n\n   demo --help\n"},
        {"Windows batch file",
         "@echo off\nsetlocal\nrem Build the project\nset BUILD=%~dp0build\nif not exist \"%BUILD%\" mkdir \"%BUILD%\"\n"
         "cmake .. || goto :error\nendlocal\nexit /b 0\n"},
        {"TOML document",
         "[build-system]\nrequires = [\"setuptools>=61\"]\nbuild-backend = \"setuptools.build_meta\"\n\n"
         "[project]\nname = \"demo\"\nversion = \"0.1.0\"\n\n[tool.black]\nline-length = 100\n"},
        {"INI settings", "[server]\nhost=example.org\nport=8080\n\n[client]\nretries=3\n"},
        {"udev rules",
         "# Restore the mixer when a card appears\nKERNEL==\"controlC*\", RUN+=\"/usr/sbin/alsactl restore\"\n"},
        // A gemspec sets its fields as TOML sets keys, but in a Ruby block (\x53: its class's S).
        {"Ruby gemspec",
         "Gem::\x53pecification.new do |s|\n  s.name = \"demo\"\n  s.version = \"0.1.0\"\n  s.summary = \"A demo\"\n"
         "  s.files = [\"lib/demo.rb\"]\n  s.add_dependency \"json\", \"~> 2.0\"\nend\n"},
        {"TypeScript source",
         "import type { Options } from \"./options\";\n\nexport interface Result {\n  readonly name: string;\n"
         "  count: number;\n}\n\nexport function run(options: Options): Result {\n  const name: string = options.name;\n"
         "  return { name, count: 0 };\n}\n"},
        {"JavaScript source",
         "const fs = require(\"fs\");\n\nfunction readAll(dir) {\n  return fs.readdirSync(dir).map((n) => dir + n);\n}\n\n"
         "module.exports = { readAll };\nif (require.main === module) {\n  console.log(readAll(\".\"));\n}\n"},
        {"Ruby script",
         "require 'json'\n\nmodule Demo\n  class Store\n    attr_reader :items\n\n    def add(item)\n"
         "      @items << item unless item.nil?\n    end\n  end\nend\n\n[1, 2].each do |n|\n  puts n\nend\n"},
        {"Perl script",
         "use strict;\nuse warnings;\n\nmy %count;\nwhile (my $line = <STDIN>) {\n    chomp $line;\n"
         "    $count{$_}++ for split /\\s+/, $line;\n}\nprint \"$_\\n\" for sort keys %count;\n"},
        // A module declares its package and ends true; the POD after it is its own.
        {"Perl module",
         "package Demo::Store;\n\nuse strict;\nuse warnings;\n\nour $VERSION = '1.02';\n\nsub new {\n"
         "    my ($class, %args) = @_;\n    return bless { items => [] }, $class;\n}\n\n1;\n\n__END__\n\n"
         "=head1 NAME\n\nDemo::Store - keeps items\n\n=head1 METHODS\n\n=over 4\n\n=item new\n\n"
         "Makes a store.\n\n=back\n\n=cut\n"},
        {"Perl script or module",
         "use strict;\nuse warnings;\n\nsub total {\n    my $sum = 0;\n    $sum += $_ for @_;\n"
         "    return $sum;\n}\n"},
        {"Perl POD document",
         "=head1 NAME\n\nperldemo - how the demo tools fit together\n\n=head1 DESCRIPTION\n\n"
         "Each tool reads a list and writes a report. See L<Demo::Store> for the C<new> method.\n\n"
         "=over 4\n\n=item B<count>\n\nCounts the lines.\n\n=item B<sum>\n\nAdds the numbers up.\n\n=back\n\n=cut\n"},
        {"Go source",
         "package main\n\nimport (\n\t\"fmt\"\n\t\"os\"\n)\n\nfunc main() {\n\tdata, err := os.ReadFile(os.Args[1])\n"
         "\tif err != nil {\n\t\tos.Exit(1)\n\t}\n\tfmt.Println(len(data))\n}\n"},
        {"Rust source",
         "use std::env;\n\nfn main() {\n    let args: Vec<String> = env::args().collect();\n    let mut total = 0;\n"
         "    for a in &args[1..] {\n        total += a.len();\n    }\n    println!(\"{}\", total);\n}\n"},
        {"Java source",
         "package demo;\n\nimport java.util.List;\n\npublic class Main {\n    @Override\n    public String toString() {\n"
         "        return \"main\";\n    }\n\n    public static void main(String[] args) {\n"
         "        System.out.println(new Main());\n    }\n}\n"},
        {"Lua script",
         "local M = {}\n\nlocal function trim(s)\n  return s\nend\n\nfunction M.split(s)\n  local out = {}\n"
         "  if s ~= nil then\n    out[1] = trim(s)\n  elseif s == '' then\n    return out\n  end\n  return out\nend\n"},
        {"SQL script",
         "CREATE TABLE users (\n    id INTEGER PRIMARY KEY,\n    name VARCHAR(100) NOT NULL\n);\n"
         "INSERT INTO users (id, name) VALUES (1, 'alice');\nselect name from users where id = 1;\n"},
        {"Patch",
         "diff --git a/main.c b/main.c\nindex 83db48f..bf269f4 100644\n--- a/main.c\n+++ b/main.c\n"
         "@@ -1,2 +1,2 @@\n #include <stdio.h>\n-int main() { return 0; }\n+int main(void) { return 0; }\n"},
        {"CMake script",
         "cmake_minimum_required(VERSION 3.20)\nproject(demo C)\nadd_executable(demo main.c)\n"
         "target_link_libraries(demo PRIVATE m)\n"},
        // A C source is mostly calls, each a line ending in ");" as a header's prototypes do.
        {"C source",
         "#include <stdio.h>\n#include \"log.h\"\n\nint main(void)\n{\n    FILE *f = fopen(\"out.txt\", \"w\");\n"
         "    if (f == NULL)\n        return 1;\n    log_open(f);\n    log_write(f, \"start\");\n"
         "    log_write(f, \"stop\");\n    log_close(f);\n    fclose(f);\n    return 0;\n}\n"},
        // Rust's attributes are no CMake bracket comment ("#[[").
        {"Rust source",
         "#[test]\nfn parses_empty() {\n    assert!(parse(\"\").is_none());\n}\n\n#[test]\n#[should_panic]\n"
         "fn rejects_nul() {\n    parse(\"\\0\");\n}\n"},
        // One rule a line, as stylesheets and their minified forms write them.
        {"CSS stylesheet",
         ".hidden { display: none; }\n.wide { width: 100%; margin: 0 auto; }\n.note { color: #555; font-size: 90%; }\n"},
        {"JavaScript source",
         "'use strict';\n\nmodule.exports = function parse(text) {\n  return text.split(',').map(function (x) {\n"
         "    return x.trim();\n  });\n};\n"},
        // A Markdown page that is mostly its code sample is no source of that language.
        {"Text",
         "# Usage\n\nAdd the crate to `Cargo.toml`, then read a line:\n\n```rust\nuse std::io;\n\nfn main() {\n"
         "    let mut s = String::new();\n    io::stdin().read_line(&mut s).unwrap();\n    println!(\"{}\", s);\n}\n"
         "```\n\nSee [the guide](docs/guide.md) for more.\n"},
        // Shell without a shebang, against PowerShell.
        {"Shell script",
         "set -e\nfor f in \"$@\"; do\n  if [ -f \"$f\" ]; then\n    echo \"file: $f\"\n  fi\ndone\n"},
        {"PowerShell script",
         "param(\n    [string]$Path = \".\"\n)\n$files = Get-ChildItem -Path $Path -ErrorAction Stop\n"
         "foreach ($f in $files) {\n    if ($f.Length -eq 0) { Write-Host \"empty\" }\n}\n"},
        // A Tcl script that restarts itself through sh is no shell script.
        {"Tcl script",
         "#!/bin/sh\n# the next line restarts using wish \\\nexec wish \"$0\" \"$@\"\n\npackage require Tk\n"
         "proc greet {name} {\n    puts \"Hello, $name\"\n}\n"},
        {"Shell script", "#!/bin/sh\nexec tclsh \"$0\"\n"},
        // Build files: a makefile with no rule of a known name, a Dockerfile, pkg-config metadata.
        {"Makefile",
         "PREFIX ?= /usr/local\nSRCS := $(wildcard src/*.c)\n\n.PHONY: install\ninstall: demo\n"
         "\tinstall -m 755 demo $(DESTDIR)$(PREFIX)/bin\n\nifeq ($(DEBUG),1)\nCFLAGS += -g\nendif\n"},
        {"Dockerfile",
         "# build stage\nARG VERSION=1.0\nFROM debian:bookworm-slim\nRUN apt-get update && apt-get install -y curl\n"
         "WORKDIR /app\nCOPY . .\nEXPOSE 8080\nCMD [\"./demo\"]\n"},
        {"pkg-config metadata",
         "prefix=/usr\nlibdir=${prefix}/lib\nincludedir=${prefix}/include\n\nName: demo\nDescription: A demo library\n"
         "Version: 1.0\nLibs: -L${libdir} -ldemo\nCflags: -I${includedir}\n"},
        // Prose, and files too short to tell, stay text.
        {"Text",
         "Dear committee,\n\nThank you for the invitation to the meeting next week. I would like to bring up\n"
         "the question of the budget for the coming year; if there is time, we could also discuss\n"
         "the reading group. Import duties, by the way, are due in May.\n\nWith best regards,\nAnna\n"},
        {"Text", "# Notes\n\nbuy milk\n"},
        {"Text", "int x;\n"},
        {"Text", "import os\n"},
    });
}

// The languages that the first set left out, their near pairs (the Lisp
// dialects, MATLAB and Objective-C, CSS and SCSS, the two assemblers), and
// text that none of them may claim.
TEST(LanguageTypes, ShippedSetNamesTheWiderSet)
{
    ExpectShippedTitles({
        {"C# source",
         "using System;\nusing System.Collections.Generic;\n\nnamespace Demo\n{\n    public class Store\n"
         "    {\n        public string Name { get; set; }\n\n        public override string ToString()\n"
         "        {\n            return Name;\n        }\n    }\n}\n"},
        // Prose whose lines end in "):" is no Python.
        {"Text", "Copyright (C) 2001 Free Software Foundation\n\nThe following people helped (in order):\n  Alice\n\n"
                 "Other parts are taken from (see below):\n  Bob\n\nTranslations by (thanks to):\n  Carol\n\n"
                 "License:\n  GPL\nAuthors:\n  Dan\nSee:\n  NEWS\n"},
        // Lines between bars without a separator row are no Markdown table.
        {"Text", "(|SYSTEM|::|VERSION| '(2010.))\n(|A| |B| |C|\n |D| |E|)\n|X| |Y|\n|Z| |W|\n"},
        // Its namespace declarations are no C++ namespaces.
        {"RELAX NG compact schema",
         "namespace db = \"http://docbook.org/ns/docbook\"\nnamespace xlink = \"http://www.w3.org/1999/xlink\"\n\n"
         "start = slides\nslides = element slides { title, foil+ }\ntitle = element title { text }\n"
         "foil = element foil { attribute xml:id { xsd:ID }?, title }\n"},
        // Frames named "fun:" are no Kotlin functions.
        {"Valgrind suppressions",
         "{\n   glib type registry\n   Memcheck:Leak\n   fun:calloc\n   fun:g_malloc0\n}\n\n{\n   ld\n"
         "   Memcheck:Cond\n   ...\n   obj:*/ld-*.so\n}\n"},
        {"Kotlin source",
         "package demo\n\nimport kotlinx.coroutines.launch\n\ndata class Point(val x: Int, val y: Int)\n\n"
         "fun main() {\n    val points = listOf(Point(1, 2))\n    var best: Point? = null\n"
         "    for (p in points) {\n        best = p\n    }\n    println(best?.x ?: 0)\n}\n"},
        {"Scala source",
         "package demo\n\nimport scala.collection.mutable\n\ncase class Point(x: Int, y: Int)\n\n"
         "object Main {\n  def main(args: Array[String]): Unit = {\n    val p = Point(1, 2)\n"
         "    p match {\n      case Point(x, _) => println(x)\n    }\n  }\n}\n"},
        {"Swift source",
         "import Foundation\n\nstruct Point {\n    let x: Int\n    let y: Int\n}\n\n"
         "func describe(_ p: Point?) -> String {\n    guard let p = p else { return \"none\" }\n"
         "    return \"\\(p.x), \\(p.y)\"\n}\n"},
        {"MATLAB or Octave script",
         "function y = smooth (x, n)\n  ## Average each point with its neighbours.\n  if (nargin < 2)\n"
         "    print_usage ();\n  endif\n  y = zeros (size (x));\n  for i = 1:numel (x)\n"
         "    y(i) = mean (x(max (1, i-n):min (end, i+n)));\n  endfor\nendfunction\n"},
        {"Objective-C source",
         "#import <Foundation/Foundation.h>\n\n@interface Greeter : NSObject\n@property NSString *name;\n"
         "@end\n\n@implementation Greeter\n- (void)greet {\n    NSLog(@\"Hello %@\", [self name]);\n}\n"
         "@end\n"},
        // A few lines that either language could hold: .m either way.
        {"MATLAB or Objective-C source",
         "x = [self width];\ns = @\"size\";\nn = numel(x) + 1;\nz = zeros(n) * 2;\ndisp(z)\n"},
        {"Julia source",
         "module Shapes\n\nexport area\n\nabstract type Shape end\n\nmutable struct Square <: Shape\n"
         "    side::Float64\nend\n\nfunction area(s::Square)::Float64\n    return s.side^2\nend\n\nend\n"},
        {"SCSS stylesheet",
         "$primary: #336699 !default;\n\n@mixin rounded($r) {\n  border-radius: $r;\n}\n\n.button {\n"
         "  color: $primary;\n  @include rounded(4px);\n  &:hover {\n    color: darken($primary, 10%);\n"
         "  }\n}\n"},
        {"CSS stylesheet",
         "body {\n  margin: 0;\n  font-family: sans-serif;\n}\n\na:hover {\n  color: #336699;\n"
         "  padding: 2px;\n}\n\n@media print {\n  body { display: none; }\n}\n"},
        {"HTML fragment",
         "{% extends \"base.html\" %}\n{% block content %}\n<div class=\"list\">\n  <ul>\n"
         "    <li><a href=\"/a\">A</a></li>\n  </ul>\n  <table>\n    <tr><td>1</td></tr>\n  </table>\n"
         "</div>\n{% endblock %}\n"},
        {"VBScript",
         "Option Explicit\nDim fso, file\nSet fso = CreateObject(\"Scripting.FileSystemObject\")\n"
         "If fso.FileExists(WScript.Arguments(0)) Then\n    WScript.Echo \"found\"\nEnd If\n\n"
         "Sub Report(text)\n    MsgBox text\nEnd Sub\n"},
        {"Haskell source",
         "{-# LANGUAGE OverloadedStrings #-}\nmodule Main where\n\nimport qualified Data.Map as Map\n"
         "import Data.Maybe (fromMaybe)\n\nnewtype Name = Name String deriving (Show, Eq)\n\n"
         "count :: [String] -> Map.Map String Int\n"
         "count = foldr (\\w -> Map.insertWith (+) w 1) Map.empty\n\nmain :: IO ()\n"
         "main = print (count [\"a\", \"b\"])\n"},
        {"OCaml source",
         "(* Counting words *)\nopen Printf\n\nlet rec count acc = function\n  | [] -> acc\n"
         "  | _ :: rest -> count (acc + 1) rest\n\nlet () =\n  match Sys.argv with\n"
         "  | [| _; name |] -> printf \"%s %d\\n\" name (count 0 [])\n  | _ -> failwith \"usage\"\n"},
        {"Common Lisp source",
         "(defpackage #:demo\n  (:use #:cl)\n  (:export #:twice))\n\n(in-package #:demo)\n\n"
         "(defun twice (x &key (times 2))\n  (declare (type integer x))\n  (* x times))\n\n"
         "(defparameter *limit* 10)\n"},
        {"Scheme source",
         "(define-module (demo util)\n  #:export (twice))\n\n(use-modules (srfi srfi-1))\n\n"
         "(define (twice x)\n  (if (null? x) #f (* 2 x)))\n\n(define counter 0)\n"
         "(set! counter (+ counter 1))\n(display (twice 3))\n"},
        {"Emacs Lisp",
         ";;; demo.el --- A demo  -*- lexical-binding: t -*-\n\n(require 'cl-lib)\n\n"
         "(defvar demo-count 0)\n\n(defun demo-bump ()\n  (interactive)\n"
         "  (setq demo-count (1+ demo-count)))\n\n(provide 'demo)\n"},
        {"Clojure source",
         "(ns demo.core\n  (:require [clojure.string :as str]))\n\n(defn twice [x]\n  (* 2 x))\n\n"
         "(defn- shout [s]\n  (let [up (str/upper-case s)]\n    (str up \"!\")))\n\n"
         "(->> [1 2 3] (map twice) (reduce +))\n"},
        {"Erlang source",
         "-module(demo).\n-export([start/0, twice/1]).\n\n%% Doubles a number.\n"
         "-spec twice(integer()) -> integer().\ntwice(X) ->\n    X * 2.\n\nstart() ->\n"
         "    io:format(\"~p~n\", [lists:map(fun twice/1, [1, 2])]).\n"},
        {"Elixir source",
         "defmodule Demo do\n  @moduledoc \"A demo.\"\n\n  @doc \"Doubles.\"\n  def twice(x), do: x * 2\n"
         "\n  defp log(x) do\n    IO.puts(x)\n    {:ok, x}\n  end\n\n"
         "  def run(list), do: list |> Enum.map(&twice/1)\nend\n"},
        {"Assembly source",
         "\t.text\n\t.globl\tmain\n\t.type\tmain, @function\nmain:\n\tpushq\t%rbp\n\tmovq\t%rsp, %rbp\n"
         "\tmovl\t$0, %eax\n\tpopq\t%rbp\n\tret\n\t.size\tmain, .-main\n"},
        {"Assembly source (NASM)",
         "; Print a greeting\nbits 64\nsection .text\nglobal _start\n\n_start:\n    mov rax, 1\n"
         "    mov rdi, 1\n    lea rsi, [msg]\n    syscall\n    ret\n\nsection .data\nmsg db \"hi\", 10\n"},
        {"Meson build file",
         "project('demo', 'c', version : '1.0')\n\nglib = dependency('glib-2.0')\n"
         "conf = configuration_data()\nconf.set('VERSION', meson.project_version())\n\n"
         "executable('demo', files('main.c'),\n  dependencies : glib,\n  install : true)\n"
         "subdir('tests')\n"},
        {"AsciiDoc document",
         "= User Guide\n:toc:\n\n== Installing\n\nRun the installer. See xref:usage.adoc[Usage].\n\n"
         "[source,sh]\n----\nmake install\n----\n\nNOTE: Root is needed.\n\n=== Options\n"},
        {"BibTeX bibliography",
         "@article{knuth1984,\n  author  = {Donald E. Knuth},\n  title   = {Literate Programming},\n"
         "  journal = {The Computer Journal},\n  year    = {1984},\n}\n\n@book{lamport1994,\n"
         "  author    = {Leslie Lamport},\n  title     = {LaTeX},\n  publisher = {Addison-Wesley},\n"
         "  year      = 1994\n}\n"},
        {"Org document",
         "#+TITLE: Notes\n#+AUTHOR: Anna\n\n* Tasks\n** TODO Write the report\n"
         "   SCHEDULED: <2024-05-01 Wed>\n   :PROPERTIES:\n   :EFFORT: 2h\n   :END:\n\n#+BEGIN_SRC sh\n"
         "ls\n#+END_SRC\n"},
        // Keys of no known program's, but dotted and set at once.
        {"Java properties", "# Sounds\nsound.intro.volume=80\nsound.music.playlist=default\nmodel.nation.name=Dutch\n"},
        {"Java properties",
         "# Logging\nlog4j.rootLogger=INFO, stdout\n"
         "log4j.appender.stdout=org.apache.log4j.ConsoleAppender\n"
         "log4j.appender.stdout.layout=org.apache.log4j.PatternLayout\n"},
        // A plugin that opens without the runtime's comment; endif and endfunction are Octave's too.
        {"Vim script",
         "if exists(\"g:loaded_demo\")\n  finish\nendif\nlet g:loaded_demo = 1\n\n\" Count the words\n"
         "function! s:Count() abort\n  return len(split(getline('.')))\nendfunction\n\n"
         "nnoremap <silent> <Plug>DemoCount :call <SID>Count()<CR>\n"},
        {"LESS stylesheet",
         "@primary: #336699;\n@import (reference) \"mixins.less\";\n\n.button {\n  color: @primary;\n"
         "  width: ~\"calc(100% - 2px)\";\n  &:hover {\n    color: darken(@primary, 10%);\n  }\n"
         "  .@{prefix}-icon { margin: 0; }\n}\n"},
        // Comments and nesting alone are as much LESS as CSS: both are offered, CSS first.
        {"CSS or LESS stylesheet",
         "// Buttons\n.button {\n  color: #333;\n  padding: 2px;\n  margin: 0;\n  &:hover {\n    color: #000;\n"
         "  }\n}\n"},
        // Its (* *) comments are OCaml's too.
        {"Pascal source",
         "unit Counter;\n\n{$mode objfpc}{$H+}\n\ninterface\n\nuses\n  SysUtils;\n\n"
         "function CountWords(const S: string): Integer;\n\nimplementation\n\n(* Words are runs of letters *)\n"
         "function CountWords(const S: string): Integer;\nvar\n  I: Integer;\nbegin\n  Result := 0;\n"
         "  for I := 1 to Length(S) do\n    if S[I] = ' ' then\n      Inc(Result);\nend;\n\nend.\n"},
        // An interface declares what its source defines with let: no let, a val for each.
        {"OCaml interface",
         "(** Word counts. *)\n\ntype t\n\nval empty : t\n(** A count of nothing. *)\n\n"
         "val add : string -> t -> t\nval count : t -> string -> int\n\nmodule type PRINTER = sig\n"
         "  val print : t -> unit\nend\n"},
        // A source of externals alone says no more than its interface would.
        {"OCaml source or interface",
         "(* Bindings to the clock *)\n\ntype clock\n\nexternal now : unit -> float = \"demo_now\"\n"
         "external sleep : float -> unit = \"demo_sleep\"\n"},
        // A shader opens as C does (#define, void main); its qualifiers and vector types tell it.
        {"GLSL shader",
         "#define SCALE 2.0\n\nuniform sampler2D tex;\nvarying vec2 uv;\n\nvoid main(void)\n{\n"
         "    gl_FragColor = texture2D(tex, uv * SCALE);\n}\n"},
        {"C source",
         "#define SCALE 2\n\nstatic int scale(int x)\n{\n    return x * SCALE;\n}\n\nvoid main(void)\n{\n"
         "    char *p = malloc(sizeof(int));\n    if (p == NULL)\n        return;\n    printf(\"%d\\n\", scale(2));\n}\n"},
        // Wrapped prose whose lines open with Pascal's keywords, with Vim's, and with a shader's qualifiers.
        {"Text",
         "The steps below\nhelp you set up the\nprogram in a few minutes. First\ncall the office, and\nbegin the\n"
         "procedure the manual gives; then\nfinish the setup and\nexecute the\nprogram. The\n"
         "uniform fee is paid at the\nend; your\nunit is mailed to you.\nProcedure: Begin at once.\n"},
        {"Text",
         "Before you leave,\nlet the staff know and\ncall the desk. To\nfinish the trip,\nexecute the plan and\n"
         "let us know. Then\nau revoir, and\n\"good luck\" from all of us.\nsyntax is not checked; see the\n"
         "runtime notes.\n"},
        {"Text",
         "The committee noted\nuniform rules for all members,\nvarying only in the fees, and\nattribute the change to the\n"
         "uniform budget. Members with\nvarying needs may\nattribute costs to the fund.\n"},
        // What the new languages must not claim: prose whose lines end in "in" and "with" and
        // whose bullets are stars, a makefile's $(...) (a makefile, none of theirs), C's a[i][j]
        // and block comments, parentheses.
        {"Text",
         "Installing\n\nUnpack the archive and change into the folder it was unpacked in\n"
         "then run the program with\nthe options you need, as the manual explains in\n"
         "the chapter on setup.\n\n** Bug fixes\n** New options\n"},
        {"Makefile",
         "CC = gcc\nOBJS = main.o util.o\n\ndemo: $(OBJS)\n\t$(CC) -o $@ $(OBJS)\n\nclean:\n"
         "\trm -f demo $(OBJS)\n"},
        {"C source",
         "#include <stdio.h>\n\nint grid[3][3];\n\n/*\n * Fill the grid.\n * Each cell gets its index.\n"
         " */\nint main(void)\n{\n    for (int i = 0; i < 3; i++)\n        grid[i][i] = i;\n"
         "    printf(\"%d\\n\", grid[1][1]);\n    return 0;\n}\n"},
        {"Text",
         "(see the manual)\n(defaults apply)\n"},
        // Marks alone, as random text holds them, are no language's evidence.
        {"Text", "x |> y %{ z\nx |> y %{ z\nx |> y %{ z\n"},
        {"Text", "$a #{ b\n&c #{ d\n$e #{ f\n"},
    });
}

} // namespace
