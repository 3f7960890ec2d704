#!/usr/bin/env python3
"""Whether two validation reports (rep:report) say the same, as the
reference validator's reports are compared with ours: everything but the
engine, the timestamp and the document reference (also where their values
recur in the HTML explanation), white space normalised, comments left out.

usage: same_report.py expected.xml actual.xml
Exits 0 when they agree; else 1, printing the first difference."""
import re
import sys
import xml.etree.ElementTree as ET

REP = "{http://www.xoev.de/de/validator/varl/1}"


def volatile(root):
    """The engine name, timestamp and document reference of a report."""
    values = []
    for name in ("engine/" + REP + "name", "timestamp",
                 "documentIdentification/" + REP + "documentReference"):
        node = root.find(REP + name)
        if node is not None and node.text and node.text.strip():
            values.append(node.text.strip())
    return values


# The timestamp as the explanation shows it (day.month.year hour:minute:second).
SHOWN_TIME = re.compile(r"\b\d{1,2}\.\d{1,2}\.\d{4} \d{1,2}:\d{2}:\d{2}\b")


def normalised(text, values):
    text = text or ""
    for value in values:
        text = text.replace(value, "\x00")
    text = SHOWN_TIME.sub("\x01", text)
    return re.sub(r"\s+", " ", text).strip()


def prepare(path):
    root = ET.parse(path).getroot()
    engine = root.find(REP + "engine")
    if engine is not None:
        root.remove(engine)
    return root, volatile(ET.parse(path).getroot())


def compare(a, b, values_a, values_b, where):
    if a.tag != b.tag:
        return f"{where}: element {a.tag} against {b.tag}"
    if a.attrib != b.attrib:
        return f"{where}/{a.tag}: attributes {a.attrib} against {b.attrib}"
    if normalised(a.text, values_a) != normalised(b.text, values_b):
        return f"{where}/{a.tag}: text {normalised(a.text, values_a)!r} against {normalised(b.text, values_b)!r}"
    ka, kb = list(a), list(b)
    if len(ka) != len(kb):
        return f"{where}/{a.tag}: {len(ka)} children against {len(kb)}: {[c.tag for c in ka]} against {[c.tag for c in kb]}"
    for i, (ca, cb) in enumerate(zip(ka, kb)):
        difference = compare(ca, cb, values_a, values_b, f"{where}/{a.tag}[{i}]")
        if difference:
            return difference
        if normalised(ca.tail, values_a) != normalised(cb.tail, values_b):
            return f"{where}/{a.tag}[{i}]: text after {normalised(ca.tail, values_a)!r} against {normalised(cb.tail, values_b)!r}"
    return None


def main():
    expected, values_e = prepare(sys.argv[1])
    actual, values_a = prepare(sys.argv[2])
    for node in (expected, actual):
        for name in ("timestamp", "documentIdentification/" + REP + "documentReference"):
            found = node.find(REP + name)
            if found is not None:
                found.text = ""
    difference = compare(expected, actual, values_e, values_a, "")
    if difference:
        print(difference)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
