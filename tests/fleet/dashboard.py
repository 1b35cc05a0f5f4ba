#!/usr/bin/env python3
"""Checks the fleet dashboard against the structure of Grafana 10's dashboard
JSON (schemaVersion 38), and, given a Prometheus, runs every panel's and
variable's query with the variables substituted.

usage: dashboard.py check DASHBOARD
       dashboard.py query DASHBOARD PROMETHEUS_URL NAME=VALUE...
"""
import json
import re
import sys
import urllib.parse
import urllib.request

SCHEMA_VERSION = 38
PANEL_TYPES = {"stat", "timeseries", "table", "bargauge", "barchart", "gauge", "text", "row"}
VARIABLE_TYPES = {"datasource", "query", "custom", "constant", "interval", "textbox"}
GRID_WIDTH = 24
VARIABLE = re.compile(r"\$\{?(\w+)\}?")
LEGEND_LABEL = re.compile(r"\{\{\s*(\w+)\s*\}\}")

problems = []


def problem(where, what):
    problems.append(f"{where}: {what}")


def expect(cond, where, what):
    if not cond:
        problem(where, what)
    return cond


def check_types(obj, where, fields):
    for name, kind in fields.items():
        expect(isinstance(obj.get(name), kind), where,
               f"'{name}' missing or not {getattr(kind, '__name__', kind)}")


def overlaps(a, b):
    return (a["x"] < b["x"] + b["w"] and b["x"] < a["x"] + a["w"] and
            a["y"] < b["y"] + b["h"] and b["y"] < a["y"] + a["h"])


def check(dashboard):
    check_types(dashboard, "dashboard", {"title": str, "uid": str, "schemaVersion": int,
                                         "panels": list, "templating": dict, "time": dict,
                                         "annotations": dict, "version": int})
    expect(dashboard.get("schemaVersion") == SCHEMA_VERSION, "dashboard",
           f"schemaVersion is not {SCHEMA_VERSION}")
    expect(re.fullmatch(r"[A-Za-z0-9_-]{1,40}", dashboard.get("uid", "")), "dashboard",
           "uid is not 1 to 40 letters, digits, - or _")
    time = dashboard.get("time", {})
    expect(isinstance(time.get("from"), str) and isinstance(time.get("to"), str), "time",
           "'from' and 'to' must be strings")
    variables = dashboard.get("templating", {}).get("list", [])
    names = set()
    for variable in variables:
        where = f"variable {variable.get('name')}"
        check_types(variable, where, {"name": str, "type": str})
        expect(variable.get("type") in VARIABLE_TYPES, where, "unknown type")
        expect(variable.get("name") not in names, where, "defined twice")
        names.add(variable.get("name"))
        if variable.get("type") == "query":
            expect(isinstance(variable.get("query", {}).get("query"), str), where,
                   "a query variable needs query.query")
            expect(variable.get("datasource") is not None, where, "no datasource")
    ids = set()
    boxes = []
    for panel in dashboard.get("panels", []):
        where = f"panel {panel.get('id')} '{panel.get('title')}'"
        check_types(panel, where, {"id": int, "type": str, "title": str, "gridPos": dict,
                                   "targets": list})
        expect(panel.get("type") in PANEL_TYPES, where, f"unknown type {panel.get('type')}")
        expect(panel.get("id") not in ids, where, "id used twice")
        ids.add(panel.get("id"))
        grid = panel.get("gridPos", {})
        if expect(all(isinstance(grid.get(k), int) and grid.get(k) >= 0 for k in "hwxy"),
                  where, "gridPos needs whole h, w, x, y"):
            expect(grid["w"] >= 1 and grid["x"] + grid["w"] <= GRID_WIDTH, where,
                   "wider than the grid")
            for other, box in boxes:
                expect(not overlaps(grid, box), where, f"overlaps {other}")
            boxes.append((where, grid))
        expect(panel.get("targets"), where, "no queries")
        refids = set()
        for target in panel.get("targets", []):
            expect(isinstance(target.get("expr"), str) and target.get("expr"), where,
                   "a target without expr")
            expect(target.get("refId") not in refids, where, "refId used twice")
            refids.add(target.get("refId"))
        used = set(VARIABLE.findall(json.dumps(panel)))
        for name in used - names:
            problem(where, f"uses ${name}, which is not defined")
    for variable in variables:
        for name in set(VARIABLE.findall(json.dumps(variable.get("query", "")))) - names:
            problem(f"variable {variable['name']}", f"uses ${name}, which is not defined")


def substitute(text, values):
    return VARIABLE.sub(lambda m: values.get(m.group(1), m.group(0)), text)


def prometheus(url, path, **params):
    query = urllib.parse.urlencode(params)
    with urllib.request.urlopen(f"{url}{path}?{query}", timeout=10) as reply:
        body = json.load(reply)
    if body.get("status") != "success":
        raise RuntimeError(body)
    return body["data"]


def query(dashboard, url, values):
    variables = {v["name"]: v for v in dashboard["templating"]["list"]}
    for name, variable in variables.items():
        if variable["type"] != "query":
            continue
        text = substitute(variable["query"]["query"], values)
        found = re.fullmatch(r"label_values\((.*),\s*(\w+)\)", text)
        if not expect(found, f"variable {name}", f"not a label_values query: {text}"):
            continue
        series = prometheus(url, "/api/v1/series", **{"match[]": found.group(1)})
        options = {s.get(found.group(2)) for s in series} - {None}
        expect(values.get(name) in options or variable.get("allValue") == values.get(name),
               f"variable {name}", f"{values.get(name)} is not among its options {sorted(options)}")
    for panel in dashboard["panels"]:
        for target in panel["targets"]:
            where = f"panel '{panel['title']}' {target['refId']}"
            expr = substitute(target["expr"], values)
            try:
                result = prometheus(url, "/api/v1/query", query=expr)["result"]
            except Exception as error:  # a bad query: Prometheus says why
                problem(where, f"{expr}: {error}")
                continue
            if not expect(result, where, f"{expr}: no results"):
                continue
            wanted = set(LEGEND_LABEL.findall(target.get("legendFormat", "")))
            for sample in result:
                missing = wanted - set(sample["metric"])
                expect(not missing, where, f"{expr}: a result without {sorted(missing)}")
            print(f"{where}: {len(result)} series")


def main(args):
    if len(args) < 2 or args[0] not in ("check", "query"):
        sys.exit(__doc__)
    with open(args[1]) as file:
        dashboard = json.load(file)
    check(dashboard)
    if args[0] == "query" and not problems:
        values = dict(arg.split("=", 1) for arg in args[3:])
        query(dashboard, args[2].rstrip("/"), values)
    for line in problems:
        print("FAIL:", line, file=sys.stderr)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main(sys.argv[1:])
