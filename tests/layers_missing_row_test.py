#!/usr/bin/env python3
"""The layer check on a copy of docs/architecture.md without SDL2's row must
name SDL2: a check that found names as parts of words would take SDL2_mixer's
row for it and pass."""
import os, subprocess, sys, tempfile

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
with open(os.path.join(root, 'docs', 'architecture.md')) as fh:
    lines = fh.read().split('\n')
kept = [line for line in lines if not line.startswith('| SDL2 |')]
if len(kept) != len(lines) - 1:
    sys.exit("docs/architecture.md: no single row for SDL2 to leave out")
with tempfile.TemporaryDirectory() as folder:
    copy = os.path.join(folder, 'architecture.md')
    with open(copy, 'w') as fh:
        fh.write('\n'.join(kept))
    run = subprocess.run([sys.executable, os.path.join(root, 'tools', 'check_layers.py'), copy],
                         capture_output=True, text=True)
print(run.stdout, end='')
wanted = "the platform layer's library table has no row for SDL2"
if run.returncode != 1 or not any(line.endswith(wanted) for line in run.stdout.splitlines()):
    sys.exit(f"the layer check did not say '{wanted}' (exit code {run.returncode})")
