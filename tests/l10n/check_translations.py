#!/usr/bin/env python3
"""Fails when a translation is not complete for the sources as they are.

lupdate runs over the program's sources into a copy of each .ts file: every text must be there
already (nothing new, nothing gone) and translated, with the placeholders of its English key.

Usage: check_translations.py LUPDATE SOURCE_LIST TRANSLATIONS_FOLDER
Every quotamind_*.ts of the folder is checked; quotamind_en.ts holds only the texts with plural
forms (lupdate -pluralonly).
"""

import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from pathlib import Path

PLACEHOLDER = re.compile(r"%(?:L?\d+|L?n)")


def messages(ts_file):
    """(context, source) -> (type of the translation, its texts) of every message."""
    found = {}
    for context in ET.parse(ts_file).getroot().iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            translation = message.find("translation")
            forms = [form.text or "" for form in translation.iter("numerusform")]
            texts = forms if message.get("numerus") == "yes" else [translation.text or ""]
            found[(name, message.findtext("source"))] = (translation.get("type"), texts)
    return found


def problems(lupdate, source_list, ts_file, plurals_only, scratch):
    copy = Path(scratch) / Path(ts_file).name
    shutil.copyfile(ts_file, copy)
    options = ["-locations", "none", "-no-obsolete"] + (["-pluralonly"] if plurals_only else [])
    subprocess.run([lupdate, *options, "@" + source_list, "-ts", str(copy)], check=True,
                   stdout=subprocess.DEVNULL)
    before, after = messages(ts_file), messages(copy)
    for key in sorted(after.keys() - before.keys()):
        yield f"{ts_file}: new in the sources: {key}"
    for key in sorted(before.keys() - after.keys()):
        yield f"{ts_file}: no longer in the sources: {key}"
    for (context, source), (kind, texts) in sorted(after.items()):
        if kind is not None or not all(texts):
            yield f"{ts_file}: not translated: {(context, source)}"
            continue
        wanted = sorted(set(PLACEHOLDER.findall(source)))
        for text in texts:
            if sorted(set(PLACEHOLDER.findall(text))) != wanted:
                yield f"{ts_file}: placeholders {wanted} differ in {text!r}"


def main(arguments):
    lupdate, source_list, folder = arguments
    files = sorted(Path(folder).glob("quotamind_*.ts"))
    found = []
    with tempfile.TemporaryDirectory() as scratch:
        for ts_file in files:
            found += problems(lupdate, source_list, ts_file, ts_file.name == "quotamind_en.ts",
                              scratch)
    for problem in found:
        print(problem)
    print(f"{len(files)} translation files checked, {len(found)} problems")
    return 1 if found or not files else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
