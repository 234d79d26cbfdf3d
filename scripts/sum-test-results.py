#!/usr/bin/env python3
"""Sums the test results of one ctest run.

    sum-test-results.py TESTS_JSON CTEST_JUNIT

TESTS_JSON is `ctest --show-only=json-v1`, written just before the run;
CTEST_JUNIT is the run's `ctest --output-junit` file. A ctest entry whose
command carries `--gtest_output=xml:FILE` counts the cases in FILE; any other
entry counts as one case by its ctest status. Counted as one failure each: a
results file that is missing, unreadable or older than the run (the program
crashed or never started), a ctest entry that failed without a failing case
in its file (a crash after the cases ran, a timeout), an entry that ctest did
not run, and an unreadable run description. Skipped and disabled cases count
neither way.

Prints why each failure counts on standard error and 'PASSED FAILED' on
standard output.
"""

import json
import os
import sys
import xml.etree.ElementTree as ElementTree

GTEST_OUTPUT = "--gtest_output=xml:"


def report(message):
    print(message, file=sys.stderr)


def read_ctest_statuses(junit_path):
    """Maps each ctest entry name to its status ('run', 'fail', 'notrun',
    'disabled' or 'skipped'); None when the file cannot be read."""
    try:
        root = ElementTree.parse(junit_path).getroot()
    except (OSError, ElementTree.ParseError) as error:
        report(f"FAILED: ctest results {junit_path} unreadable: {error}")
        return None
    statuses = {}
    for case in root.iter("testcase"):
        status = case.get("status", "")
        if case.find("skipped") is not None:
            status = "skipped"
        statuses[case.get("name", "")] = status
    return statuses


def gtest_results_path(test):
    """The results file that a GoogleTest entry writes, or None for an entry
    that is no GoogleTest program."""
    for argument in test.get("command", []):
        if argument.startswith(GTEST_OUTPUT):
            path = argument[len(GTEST_OUTPUT):]
            directory = ""
            for prop in test.get("properties", []):
                if prop.get("name") == "WORKING_DIRECTORY":
                    directory = prop.get("value", "")
            return os.path.join(directory, path.replace("\\", "/"))
    return None


def count_gtest_cases(path, run_started):
    """Returns (passed, failed, None) of one GoogleTest results file, or
    (0, 0, why) when it is missing, unreadable or left from an earlier run."""
    try:
        if os.path.getmtime(path) < run_started:
            return 0, 0, f"{path} is left from an earlier run"
        root = ElementTree.parse(path).getroot()
    except (OSError, ElementTree.ParseError) as error:
        return 0, 0, f"{path} unreadable: {error}"
    if root.tag != "testsuites":
        return 0, 0, f"{path} holds no GoogleTest results (root <{root.tag}>)"
    passed = failed = 0
    for case in root.iter("testcase"):
        if case.find("skipped") is not None or case.get("result") == "skipped":
            continue
        if case.get("status") == "notrun":  # a disabled case
            continue
        if case.find("failure") is not None or case.find("error") is not None:
            failed += 1
            report(f"FAILED: {case.get('classname')}.{case.get('name')}")
        else:
            passed += 1
    return passed, failed, None


def main(tests_json, junit_path):
    try:
        with open(tests_json, encoding="utf-8") as file:
            tests = json.load(file)["tests"]
        run_started = os.path.getmtime(tests_json)
    except (OSError, ValueError, KeyError) as error:
        report(f"FAILED: list of ctest entries {tests_json} unreadable: {error}")
        return 0, 1

    passed = failed = 0
    # Without ctest's report the entries' statuses are unknown: that counts as
    # one failure, and the result files are still counted.
    statuses = read_ctest_statuses(junit_path)
    if statuses is None:
        failed += 1

    for test in tests:
        name = test["name"]
        status = statuses.get(name) if statuses is not None else "unknown"
        if status in ("disabled", "skipped"):
            continue
        results_path = gtest_results_path(test)
        if results_path is None:
            if status == "run":
                passed += 1
            elif status != "unknown":
                failed += 1
                report(f"FAILED: {name} (ctest status: {status or 'not run'})")
            continue
        case_passed, case_failed, problem = count_gtest_cases(results_path, run_started)
        if problem:
            failed += 1
            report(f"FAILED: {name}: no readable results of this run: {problem}")
            continue
        passed += case_passed
        failed += case_failed
        if status not in ("run", "unknown") and case_failed == 0:
            failed += 1
            report(f"FAILED: {name} ended badly without a failing case (crash or timeout;"
                   f" ctest status: {status or 'not run'})")
    return passed, failed


if __name__ == "__main__":
    if len(sys.argv) != 3:
        report("usage: sum-test-results.py TESTS_JSON CTEST_JUNIT")
        sys.exit(2)
    total_passed, total_failed = main(sys.argv[1], sys.argv[2])
    print(total_passed, total_failed)
