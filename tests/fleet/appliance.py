#!/usr/bin/env python3
"""Writes the daemon's four files for one test appliance, as the daemon leaves
them in the middle of today: a history of DAYS finished days up to
yesterday, the day file and the today file dated today, the rate file, and
a start-up script that names them.

usage: appliance.py DIR SEED DAYS LABELS
"""
import datetime
import os
import random
import sys


def items(rng, labels, scale):
    return "".join(f"{label} {rng.randrange(scale)} {rng.randrange(scale // 10)} " for label in labels)


def main(folder, seed, days, labelcount):
    rng = random.Random(int(seed))
    labels = [f"net{i}" for i in range(int(labelcount))]
    today = datetime.date.today()
    os.makedirs(folder, exist_ok=True)
    with open(f"{folder}/history", "w") as history:
        for back in range(int(days), 0, -1):
            date = today - datetime.timedelta(days=back)
            history.write(f"[{date.isoformat()}] {items(rng, labels, 10**9)}\n")
    running = items(rng, labels, 10**8)
    with open(f"{folder}/day", "w") as day:
        day.write(f"[{today.isoformat()}] {running}")
    with open(f"{folder}/today", "w") as todayfile:
        todayfile.write(running)
    with open(f"{folder}/rate", "w") as rate:
        rate.write("".join(f"{rng.randrange(1000)}.00 {rng.randrange(100)}.00 " for _ in labels))
    script = f"{folder}/getbyteloomheaders.sh"
    with open(script, "w") as out:
        out.write("#!/bin/sh\n")
        out.write(f"echo '{' '.join(f'eth{i}' for i in range(len(labels)))}'\n")
        for name in ("rate", "today", "day", "history"):
            out.write(f"echo '{folder}/{name}'\n")
        out.write(f"echo '{' '.join(labels)}'\n")
    os.chmod(script, 0o755)


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    main(*sys.argv[1:])
