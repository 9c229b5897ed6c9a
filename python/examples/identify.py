"""Names the files given, and bytes held in memory, with the kindsniffer module:
    pip install ./python && python3 identify.py FILE..."""
import sys

import kindsniffer


def show(name, answer):
    if answer.state == "detected":
        family = " (a family of formats: keep its name)" if answer.general else ""
        print(f"{name}: {answer.title} [{answer.extensions[0] if answer.extensions else ''}] {answer.mime}{family}")
    elif answer.state == "undetermined":
        print(f"{name}: unknown")
    else:
        print(f"{name}: cannot read: {answer.error}")


try:
    signatures = kindsniffer.open()  # the shipped set, once: any number of threads may share it
except kindsniffer.Error as error:
    sys.exit(f"identify: {error}")
for path in sys.argv[1:]:
    show(path, signatures.identify(path))
show("upload", signatures.identify(b"\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR"))  # an upload needs no file
