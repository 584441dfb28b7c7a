#!/usr/bin/env python3
"""The reports a headset's wire log (vm-headset, same format as the emulator's) shows the
host writing, against a wire table (tests/common/*.wire, format in tests/common/wiretable.h).

  wirecheck.py count WIRE_LOG          number of reports the host wrote
  wirecheck.py rows TABLE              number of reports in the table
  wirecheck.py compare TABLE WIRE_LOG  exit 0 when the first reports agree, else prints why
"""
import sys


def table_groups(path):
    groups = [[]]
    for line in open(path):
        line = line.split("#", 1)[0].split()
        if not line:
            continue
        if line == ["--"]:
            groups.append([])
            continue
        report = bytes.fromhex("".join(line[1:]))
        groups[-1].append(report + bytes(max(0, int(line[0]) - len(report))))
    return groups


def sent(path):
    reports = []
    for line in open(path):
        words = line.split()
        if len(words) > 2 and words[1] == "OUT":
            reports.append(bytes.fromhex("".join(words[2:])))
    return reports


def main():
    if sys.argv[1] == "count":
        print(len(sent(sys.argv[2])))
        return 0
    groups = table_groups(sys.argv[2])
    if sys.argv[1] == "rows":
        print(sum(len(g) for g in groups))
        return 0
    reports = sent(sys.argv[3])
    faults = []
    for number, group in enumerate(groups, 1):
        got, reports = reports[: len(group)], reports[len(group):]
        rest = list(got)
        for report in group:
            if report in rest:
                rest.remove(report)
            else:
                faults.append(f"group {number} lacks {report.hex(' ')}")
        faults += [f"group {number} has the extra {r.hex(' ')}" for r in rest]
    print("\n".join(faults))
    return 1 if faults else 0


sys.exit(main())
