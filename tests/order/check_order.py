"""Reads strace logs (-f -ttt -y) of one overwrite-mode repair of FOLDER/a.mp3, merges
them by time and fails unless the copy, written under its unfinished name, is flushed
before it is named "Copy of a.mp3", and named so before it replaces a.mp3 and before
any unlink of a.mp3. With --replace-file the replace must be ReplaceFileA's, as Wine
makes it: a.mp3 moved to the program's backup name after the flush, then the copy
renamed onto a.mp3. Usage: check_order.py [--replace-file] FOLDER LOG..."""
import os
import re
import sys

CALL = re.compile(r'^\d+\s+(\d+\.\d+)\s+(\w+)\((.*)\)\s+=\s+(-?\d+)')
UNFINISHED = '~Decrimp 95 unfinished copy.tmp'
BACKUP = '~Decrimp 95 original.tmp'


def events(log):
    for line in open(log, encoding='utf-8', errors='replace'):
        match = CALL.match(line)
        if match and match.group(4) == '0':
            yield float(match.group(1)), match.group(2), match.group(3)


def renamed(args):
    """The (from, to) paths of a rename call's arguments, each as the folder's own path:
    Wine's server names a target through the prefix's drive link (dosdevices/z:)."""
    paths = [os.path.realpath(p) for p in re.findall(r'"((?:[^"\\]|\\.)*)"', args)]
    return (paths[0], paths[1]) if len(paths) >= 2 else (None, None)


def unlinked(args):
    """The path an unlink call removes."""
    paths = re.findall(r'"((?:[^"\\]|\\.)*)"', args)
    return os.path.realpath(paths[-1]) if paths else None


def main():
    arguments = sys.argv[1:]
    replace_file = arguments[:1] == ['--replace-file']
    if replace_file:
        arguments = arguments[1:]
    folder, logs = os.path.realpath(arguments[0]), arguments[1:]
    picked, copy, unfinished = folder + '/a.mp3', folder + '/Copy of a.mp3', folder + '/' + UNFINISHED
    backup = folder + '/' + BACKUP
    flushed = named = backed = replaced = removed = None
    for time, call, args in sorted(e for log in logs for e in events(log)):
        if call in ('fsync', 'fdatasync') and unfinished + '>' in args:
            flushed = flushed or time
        elif call.startswith('rename') and renamed(args) == (unfinished, copy):
            named = named or time
        elif call.startswith('rename') and renamed(args) == (picked, backup):
            backed = backed or time
        elif call.startswith('rename') and renamed(args) == (copy, picked):
            replaced = replaced or time
        elif call.startswith('unlink') and unlinked(args) == picked:
            removed = removed or time
        else:
            continue
        print(f'{time:.6f} {call}({args})')
    problems = []
    for what, when in (('the unfinished copy was never flushed', flushed),
                       ('no rename named the copy "Copy of a.mp3"', named),
                       ('no rename put the copy in a.mp3\'s place', replaced)):
        if when is None:
            problems.append(what)
    order = (('the naming of the copy', named, flushed, 'its fsync'),
             ('the rename onto a.mp3', replaced, named, 'the naming of the copy'),
             ('the unlink of a.mp3', removed, flushed, 'the copy\'s fsync'))
    if replace_file:
        if backed is None:
            problems.append('a.mp3 was never moved to the backup name: no ReplaceFileA')
        order += (('ReplaceFileA\'s move of a.mp3 to the backup name', backed, named, 'the naming of the copy'),
                  ('the rename onto a.mp3', replaced, backed, 'ReplaceFileA\'s move to the backup name'))
    for name, when, before, earlier in order:
        if when is not None and before is not None and when < before:
            problems.append(f'{name} came before {earlier}')
    for problem in problems:
        print('FAIL:', problem)
    if not problems:
        print('ok: fsync of the unfinished copy, its naming, then ' +
              ('ReplaceFileA: the picked file to the backup name and ' if replace_file else '') +
              'the rename onto the picked file')
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
