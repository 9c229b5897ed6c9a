"""On the generated corpus, the module answers each file, by path and by its bytes, as the console program does."""
import os

from conftest import as_cli_reports, environment


def test_the_corpus_gets_the_console_programs_answers(signatures, cli_answers):
    corpus = environment("KINDSNIFFER_CORPUS")
    paths = sorted(os.path.join(root, name) for root, _, names in os.walk(corpus) for name in names)
    assert len(paths) > 300, "the corpus is not generated"
    expected = cli_answers(paths)
    differ = []
    for path in paths:
        by_path = signatures.identify(path)
        with open(path, "rb") as f:
            by_bytes = signatures.identify(f.read())
        reference = expected[path]
        if as_cli_reports(by_path, reference) != reference or by_bytes != by_path:
            differ.append(f"{path}: program {reference}, path {by_path}, bytes {by_bytes}")
    assert not differ, f"{len(differ)} of {len(paths)} differ:\n" + "\n".join(differ[:20])
