#!/usr/bin/env python3
"""Reads one JSON object from standard input with Python's own JSON reader and
prints each of its values on a line of its own, in the object's order:

    name="text"      strings, their bytes as they were (see below)
    name=123         numbers
    name=true        true, false and null as JSON writes them
    outer.inner=...  members of nested objects
    list[0]=...      array items; an empty array or object is name=[] or name={}

Strings come out as the bytes they stand for: UTF-8, with the \\uDCXX escapes
of bytes that were not UTF-8 turned back into those bytes ("surrogateescape").
Exits 1 with a message on standard error unless the input is exactly one JSON
object on one line ending in a line feed, with no name given twice.
"""
import json
import sys


def reject_duplicates(pairs):
    names = [name for name, _ in pairs]
    duplicates = sorted({name for name in names if names.count(name) > 1})
    if duplicates:
        raise ValueError("names given twice: " + ", ".join(duplicates))
    return dict(pairs)


def flatten(prefix, value, out):
    if isinstance(value, dict):
        if not value:
            out.append((prefix, b"{}"))
        for name, member in value.items():
            flatten(prefix + "." + name if prefix else name, member, out)
    elif isinstance(value, list):
        if not value:
            out.append((prefix, b"[]"))
        for index, item in enumerate(value):
            flatten("%s[%d]" % (prefix, index), item, out)
    elif isinstance(value, str):
        out.append((prefix, b'"' + value.encode("utf-8", "surrogateescape") + b'"'))
    else:
        out.append((prefix, json.dumps(value).encode("ascii")))


def main():
    data = sys.stdin.buffer.read()
    if not data.endswith(b"\n") or b"\n" in data[:-1]:
        sys.exit("json_fields: the output is not one line ending in a line feed: %r" % data)
    try:
        value = json.loads(data.decode("utf-8"), object_pairs_hook=reject_duplicates)
    except ValueError as error:
        sys.exit("json_fields: not valid JSON: %s: %r" % (error, data))
    if not isinstance(value, dict):
        sys.exit("json_fields: not a JSON object: %r" % data)
    lines = []
    flatten("", value, lines)
    for name, text in lines:
        sys.stdout.buffer.write(name.encode("utf-8") + b"=" + text + b"\n")


if __name__ == "__main__":
    main()
