#!/usr/bin/env python3
"""Resident memory of the application, idle, after rounds of repeating flows.

Starts the application headless (offscreen, on two processors) with FLOWS
repeating flows in its recents, each of a large document of its own, saves
every document at once ROUNDS times (alternating two versions, each round
waiting until every output folder holds that version's export), then lets the
application sit idle and reads its resident memory. Prints the idle size at
start, after the rounds, the peak, and the ratio of idle after to idle at
start: an application that gives back what its runs freed comes back close
to 1.

Usage: bench/idle_memory.py [LAYERFLOW] [--flows N] [--rounds N] [--keep DIR]
"""
import argparse
import hashlib
import json
import os
import shutil
import signal
import struct
import subprocess
import tempfile
import time


def write_document(path, version, layers=16, width=3000, height=2000, side=600):
    """An 8-bit RGB document of `layers` opaque square layers tagged
    "lN.png" in a grid, raw channels; `version` sets their colours."""
    columns = width // side
    records, channels = bytearray(), bytearray()
    for i in range(layers):
        x, y = (i % columns) * side, (i // columns) * side % height
        pixels = side * side
        values = [255, (37 * version + 11 * i) % 256, (71 * version + 5 * i) % 256,
                  (13 * version + 3 * i) % 256]
        records += struct.pack('>iiiiH', y, x, y + side, x + side, 4)
        for channel in (-1, 0, 1, 2):
            records += struct.pack('>hI', channel, pixels + 2)
        records += b'8BIMnorm' + bytes([255, 0, 0, 0])
        name = ('l%d.png' % i).encode()
        name = bytes([len(name)]) + name
        name += b'\0' * (-len(name) % 4)
        extra = struct.pack('>II', 0, 0) + name
        records += struct.pack('>I', len(extra)) + extra
        for value in values:
            channels += struct.pack('>H', 0) + bytes([value]) * pixels
    info = struct.pack('>h', layers) + records + channels
    info += b'\0' * (len(info) % 2)
    section = struct.pack('>I', len(info)) + info + struct.pack('>I', 0)
    with open(path, 'wb') as out:
        out.write(b'8BPS' + struct.pack('>HIHHIIHH', 1, 0, 0, 3, height, width, 8, 3))
        out.write(struct.pack('>II', 0, 0) + struct.pack('>I', len(section)) + section)
        out.write(struct.pack('>H', 0) + bytes(width * height * 3))


def digest(folder):
    """The files of `folder` by path, hashed; temporaries of writes under way left out."""
    hashes = {}
    for root, _, files in os.walk(folder):
        for name in files:
            if name.startswith('.'):
                continue
            path = os.path.join(root, name)
            try:
                with open(path, 'rb') as file:
                    hashes[os.path.relpath(path, folder)] = hashlib.md5(file.read()).hexdigest()
            except FileNotFoundError:
                pass
    return hashes


def resident_mib(pid, key='VmRSS:'):
    with open(f'/proc/{pid}/status') as status:
        for line in status:
            if line.startswith(key):
                return int(line.split()[1]) // 1024
    return 0


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('layerflow', nargs='?',
                        default=os.path.join(root, 'build/release/src/app/layerflow'))
    parser.add_argument('--flows', type=int, default=20)
    parser.add_argument('--rounds', type=int, default=10)
    parser.add_argument('--keep', help='work in this folder and leave it behind')
    args = parser.parse_args()

    work = args.keep or tempfile.mkdtemp(prefix='layerflow-idle-memory-')
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(os.path.join(work, 'config/layerflow'))
    os.makedirs(os.path.join(work, 'runtime'), mode=0o700)
    versions, expected = [], []
    for version in (1, 2):
        path = os.path.join(work, f'version{version}.psd')
        write_document(path, version)
        with open(path, 'rb') as file:
            versions.append(file.read())
        subprocess.run([args.layerflow, path, '--save-to', os.path.join(work, f'expected{version}')],
                       check=True, stdout=subprocess.DEVNULL)
        expected.append(digest(os.path.join(work, f'expected{version}')))

    documents = [os.path.join(work, f'd{i}.psd') for i in range(args.flows)]
    outputs = [os.path.join(work, f'out{i}') for i in range(args.flows)]
    for document in documents:
        with open(document, 'wb') as file:
            file.write(versions[1])
    flows = [{'$class': 'QFExportFlow', 'behavior': 2, 'outputDirectoryURL': output,
              'lastRunNumberOfItemsSaved': 0,
              'input': {'$class': 'QFFlowInput', 'inputTypes': ['com.adobe.photoshop-image'],
                        'inputURLs': [document]}}
             for document, output in zip(documents, outputs)]
    with open(os.path.join(work, 'config/layerflow/defaults.json'), 'w') as defaults:
        json.dump({'RecentFlowsData-1.0': flows}, defaults)

    environment = dict(os.environ, QT_QPA_PLATFORM='offscreen',
                       XDG_CONFIG_HOME=os.path.join(work, 'config'),
                       XDG_RUNTIME_DIR=os.path.join(work, 'runtime'))
    environment.pop('DISPLAY', None)
    environment.pop('WAYLAND_DISPLAY', None)
    application = subprocess.Popen(['taskset', '-c', '0,1', args.layerflow], env=environment,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        time.sleep(5)
        at_start = resident_mib(application.pid)
        for round in range(args.rounds):
            version = round % 2
            for document in documents:
                with open(document, 'wb') as file:
                    file.write(versions[version])
            began = time.time()
            while not all(os.path.isdir(output) and digest(output) == expected[version]
                          for output in outputs):
                if time.time() - began > 600:
                    raise SystemExit(f'round {round + 1} did not end in 10 minutes')
                time.sleep(0.5)
            print(f'round {round + 1}: resident {resident_mib(application.pid)} MiB', flush=True)
        time.sleep(10)
        after = resident_mib(application.pid)
        print(f'idle at start {at_start} MiB, idle after {args.rounds} rounds of {args.flows} '
              f'flows {after} MiB (ratio {after / at_start:.2f}), '
              f'peak {resident_mib(application.pid, "VmHWM:")} MiB')
    finally:
        application.send_signal(signal.SIGTERM)
        try:
            application.wait(10)
        except subprocess.TimeoutExpired:
            application.kill()
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()
