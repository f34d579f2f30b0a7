#!/usr/bin/env python3
"""Fails when the plug-in's include lines run up its layers or close a loop.

The plug-in's folders stand in layers, lowest first:

    host/  ->  link/  ->  plugin/  ->  pipeline/  ->  plot/
           ->  layouts/ and frames/ side by side  ->  bundle/

A file may include its own folder and any lower layer; layouts/ and frames/ do not include each
other; bundle/ (the entry: load and unload, the bundle's export) stands above them all, so nothing
below includes it (tests and benchmarks may); only the host seam
(host/acad.h) reaches the SDK surface of the simulated host. A header and its source form one unit,
and no chain of includes between units may lead back to where it started.

Usage: check_layers.py [REPO]   (exit 0 when the rules hold, 1 with one line per breach)
"""
import os
import re
import sys

LAYERS = {"host": 0, "link": 1, "plugin": 2, "pipeline": 3, "plot": 4, "layouts": 5, "frames": 5,
          "bundle": 6}
SOURCE_EXT = (".h", ".cpp", ".cc", ".mm")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def unit_of(path):
    return os.path.splitext(path)[0]


def rank(unit):
    return LAYERS.get(unit.split("/", 1)[0])


def product_files(repo):
    for folder in LAYERS:
        base = os.path.join(repo, folder)
        for root, _, names in os.walk(base):
            for name in sorted(names):
                if name.endswith(SOURCE_EXT):
                    yield os.path.relpath(os.path.join(root, name), repo)


def includes(repo, path):
    with open(os.path.join(repo, path), encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            m = INCLUDE.match(line)
            if m:
                yield number, m.group(1)


def loops(graph):
    """The groups of units that reach each other through includes (Tarjan's components), each of
    more than one unit, sorted."""
    index, low, on_stack, stack, groups = {}, {}, set(), [], []
    counter = [0]

    def visit(u):
        index[u] = low[u] = counter[0]
        counter[0] += 1
        stack.append(u)
        on_stack.add(u)
        for v in sorted(graph.get(u, ())):
            if v not in graph:
                continue
            if v not in index:
                visit(v)
                low[u] = min(low[u], low[v])
            elif v in on_stack:
                low[u] = min(low[u], index[v])
        if low[u] == index[u]:
            group = []
            while True:
                v = stack.pop()
                on_stack.discard(v)
                group.append(v)
                if v == u:
                    break
            if len(group) > 1:
                groups.append(sorted(group))

    for u in sorted(graph):
        if u not in index:
            visit(u)
    return sorted(groups)


def check(repo):
    breaches = []
    graph = {}
    for path in product_files(repo):
        src = unit_of(path)
        graph.setdefault(src, set())
        src_rank = rank(src)
        src_folder = src.split("/", 1)[0]
        for number, target in includes(repo, path):
            where = "%s:%d includes %s" % (path, number, target)
            folder = target.split("/", 1)[0]
            if folder == "cadsim":
                if path != "host/acad.h":
                    breaches.append(where + ": only host/acad.h reaches the host's SDK")
                continue
            dst = unit_of(target)
            dst_rank = rank(dst)
            if dst_rank is None:
                continue  # not a plug-in file (a system or SDK header written with quotes)
            if dst != src:
                graph[src].add(dst)
            if dst_rank > src_rank:
                breaches.append(where + ": an upward include")
            elif dst_rank == src_rank and folder != src_folder:
                breaches.append(where + ": layouts/ and frames/ stand side by side")
    for group in loops(graph):
        breaches.append("include loop between units: " + ", ".join(group))
    return breaches


def main():
    repo = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    breaches = check(os.path.abspath(repo))
    for b in breaches:
        print(b)
    print("layer check: %d breach(es)" % len(breaches))
    return 1 if breaches else 0


if __name__ == "__main__":
    sys.exit(main())
