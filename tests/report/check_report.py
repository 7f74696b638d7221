#!/usr/bin/env python3
"""Checks the reports test_report left: strict JSON, valid against docs/report-schema.json,
the test's program and Run value in them with their own digests, the baseline's marks, the CSV's columns."""
import csv, hashlib, io, json, sys
import jsonschema

out, schema_path = sys.argv[1], sys.argv[2]
facts = dict(line.split("=", 1) for line in open(f"{out}/facts.txt", encoding="utf-8").read().splitlines() if line)
schema = json.load(open(schema_path, encoding="utf-8"))
failures = []

def check(condition, text):
    if not condition:
        failures.append(text)

def no_lone_surrogates(value):
    if isinstance(value, str):
        return not any(0xD800 <= ord(c) <= 0xDFFF for c in value)
    if isinstance(value, list):
        return all(no_lone_surrogates(v) for v in value)
    if isinstance(value, dict):
        return all(no_lone_surrogates(k) and no_lone_surrogates(v) for k, v in value.items())
    return True

def load(name):
    raw = open(f"{out}/{name}", "rb").read()
    document = json.loads(raw.decode("utf-8"), parse_constant=lambda c: failures.append(f"{name}: {c}"))
    errors = sorted(jsonschema.Draft202012Validator(schema).iter_errors(document), key=lambda e: e.path)
    for error in errors[:5]:
        failures.append(f"{name}: schema: {list(error.path)}: {error.message}")
    check(no_lone_surrogates(document), f"{name}: a lone surrogate")
    return document

def same_path(a, b):
    return a is not None and a.lower() == b.lower()

data = open(f"{out}/target.bin", "rb").read()
first = load("first.json")
second = load("second.json")
mine = [p for p in first["processes"] if p["pid"] == int(facts["pid"])]
check(len(mine) == 1, "first.json: the test's program is not listed once")
if mine:
    p = mine[0]
    check(same_path(p["path"], facts["path"]), f"path {p['path']}")
    check(p["md5"] == hashlib.md5(data).hexdigest(), f"md5 {p['md5']}")
    check(p["sha256"] == hashlib.sha256(data).hexdigest(), f"sha256 {p['sha256']}")
    check(p["size"] == len(data), f"size {p['size']}")
    check(p["commandLine"] and p["commandLine"].endswith('--report-probe "quoted \\"arg\\""'), f"commandLine {p['commandLine']}")
    check(p["parentPid"] == int(facts["parentPid"]), f"parentPid {p['parentPid']}")
    check(len(p["notes"]) > 0, "no notes on a program in the temp folder")
    check(len(p["modules"]) > 0 and all(m["md5"] for m in p["modules"] if m["path"].lower().startswith("c:\\windows")),
          "its modules or their digests are missing")
check(all(p["new"] is None for p in first["processes"] + first["startup"]), "first.json: new without a baseline")
run = [s for s in first["startup"] if s["entry"] == facts["runValue"]]
check(len(run) == 1 and same_path(run[0]["path"], facts["probePath"]) and run[0]["md5"] == hashlib.md5(data).hexdigest()
      and "\\Run" in run[0]["location"] and run[0]["state"] == "enabled", f"the planted Run value: {run}")
new = sorted({(p["path"] or p["name"]).lower() for p in second["processes"] if p["new"]})
check(new == [facts["laterPath"].lower()], f"second.json: new processes {new}")
check(not any(s["new"] for s in second["startup"]), "second.json: a startup entry marked new")
check(all(p["new"] is False for p in second["processes"] if p["pid"] == int(facts["pid"])), "the first program marked new")

raw = open(f"{out}/report.csv", "rb").read()
check(raw.startswith(b"\xef\xbb\xbf"), "report.csv: no byte-order mark")
rows = list(csv.reader(io.StringIO(raw[3:].decode("utf-8"), newline="")))
expected = ("kind,new,pid,parentPid,name,entry,location,state,path,commandLine,command,started,user,md5,sha256,size,"
            "fileVersion,product,company,description,originalName,signer,signerVerdict,signerSource,runs,notes").split(",")
check(rows and rows[0] == expected, f"report.csv: columns {rows[:1]}")
check(all(len(r) == len(expected) for r in rows), "report.csv: a row of another width")
by_kind = {k: [dict(zip(expected, r)) for r in rows[1:] if r[0] == k] for k in ("process", "startup")}
target = [r for r in by_kind["process"] if r["pid"] == facts["pid"]]
check(len(target) == 1 and target[0]["md5"] == hashlib.md5(data).hexdigest() and "--report-probe" in target[0]["commandLine"],
      f"report.csv: the test's program {target}")
check(any(r["entry"] == facts["runValue"] for r in by_kind["startup"]), "report.csv: the planted Run value")

for failure in failures:
    print("FAIL:", failure)
print(f"{len(first['processes'])} processes, {len(first['startup'])} startup entries; {len(failures)} failures")
sys.exit(1 if failures else 0)
