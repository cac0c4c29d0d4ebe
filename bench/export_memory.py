#!/usr/bin/env python3
"""Peak resident memory of exporting the 12-megapixel benchmark document.

Writes the generated 4000 x 3000 8-bit benchmark document with every layer
in one group tagged "picture.png" (make-bench-document --tagged), so that
its export renders the whole picture, then measures the peak resident
memory (the kernel's maximum resident set size of the finished process) of:
- render-psd rendering the document to a PNG, the reader and renderer alone;
- the headless export, `layerflow DOCUMENT --save-to FOLDER`, of each
  layerflow given (the build's own, and others to compare, a build of an
  earlier version, say).
Each process runs RUNS times; the lowest peak is kept, the others having met
a busier machine. Prints the document's size and each peak, in MiB and
against the document's size.

Usage: bench/export_memory.py BUILD [--layerflow PATH ...] [--runs N]
                              [--cpus LIST] [--keep DIR]
"""
import argparse
import os
import shutil
import subprocess
import tempfile


def peak_mib(command, cpus, env=None):
    """Runs `command` (pinned to `cpus` with taskset when given) and returns
    its peak resident memory in MiB; fails when it fails."""
    if cpus:
        command = ['taskset', '-c', cpus] + command
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                               env=env)
    _, status, usage = os.wait4(process.pid, 0)
    errors = process.stderr.read().decode(errors='replace')
    process.stderr.close()
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit(f'{command[0]} failed ({status}): {errors}')
    return usage.ru_maxrss / 1024  # KiB on Linux


def lowest_peak(make_command, runs, cpus, env=None):
    return min(peak_mib(make_command(run), cpus, env) for run in range(runs))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('build', help='build folder with layerflow, render-psd and '
                                      'make-bench-document')
    parser.add_argument('--layerflow', action='append', default=[],
                        help='another layerflow to measure (repeatable)')
    parser.add_argument('--runs', type=int, default=3)
    parser.add_argument('--cpus', help='processors for taskset, e.g. 0,1')
    parser.add_argument('--keep', help='folder for the document and outputs, kept')
    args = parser.parse_args()

    build = os.path.abspath(args.build)
    folder = args.keep or tempfile.mkdtemp(prefix='layerflow-export-memory-')
    os.makedirs(folder, exist_ok=True)
    document = os.path.join(folder, 'layers-4000x3000-8bit-tagged.psd')
    if not os.path.exists(document):
        subprocess.run([os.path.join(build, 'bench', 'make-bench-document'), '4000', '3000',
                        '8', document, '--tagged'], check=True)
    size = os.path.getsize(document) / 2**20
    rows = [('document', size)]

    render_psd = os.path.join(build, 'tools', 'render-psd', 'render-psd')
    png = os.path.join(folder, 'render.png')
    rows.append(('render-psd', lowest_peak(lambda _: [render_psd, document, '-o', png],
                                           args.runs, args.cpus)))

    # Settings of its own, so that the user's change nothing.
    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(folder, 'config'))
    for index, layerflow in enumerate([os.path.join(build, 'src', 'app', 'layerflow')]
                                      + args.layerflow):
        out = os.path.join(folder, f'out-{index}')

        def command(run):
            shutil.rmtree(out, ignore_errors=True)
            return [layerflow, document, '--save-to', out]
        rows.append((f'layerflow {layerflow}', lowest_peak(command, args.runs, args.cpus, env)))

    for name, mib in rows:
        print(f'{mib:8.1f} MiB  {mib / size:5.2f} x the document  {name}')
    if not args.keep:
        shutil.rmtree(folder)


if __name__ == '__main__':
    main()
