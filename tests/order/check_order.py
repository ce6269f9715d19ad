"""Reads strace logs (-f -ttt -y) of one overwrite-mode repair of FOLDER/a.mp3, merges
them by time and fails unless the copy's fsync comes before the rename onto a.mp3
and before any unlink of a.mp3. Usage: check_order.py FOLDER LOG..."""
import re
import sys

CALL = re.compile(r'^\d+\s+(\d+\.\d+)\s+(\w+)\((.*)\)\s+=\s+(-?\d+)')


def events(log):
    for line in open(log, encoding='utf-8', errors='replace'):
        match = CALL.match(line)
        if match and match.group(4) == '0':
            yield float(match.group(1)), match.group(2), match.group(3)


def main():
    folder, logs = sys.argv[1], sys.argv[2:]
    picked, copy = folder + '/a.mp3', folder + '/Copy of a.mp3'
    flushed = replaced = removed = None
    for time, call, args in sorted(e for log in logs for e in events(log)):
        if call in ('fsync', 'fdatasync') and copy + '>' in args:
            flushed = flushed or time
        elif call.startswith('rename') and args.rstrip().endswith(picked + '"') and 'Copy of a.mp3' in args:
            replaced = replaced or time
        elif call.startswith('unlink') and args.rstrip().endswith(picked + '"'):
            removed = removed or time
        else:
            continue
        print(f'{time:.6f} {call}({args})')
    problems = []
    if flushed is None:
        problems.append('the copy was never flushed')
    if replaced is None:
        problems.append('no rename put the copy in a.mp3\'s place')
    for name, when in (('rename onto', replaced), ('unlink of', removed)):
        if flushed is not None and when is not None and when < flushed:
            problems.append(f'the {name} a.mp3 came before the copy\'s fsync')
    for problem in problems:
        print('FAIL:', problem)
    if not problems:
        print('ok: fsync of the copy, then the rename onto the picked file')
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
