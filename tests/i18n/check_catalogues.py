#!/usr/bin/env python3
"""The translation catalogues, read with a small .po parser of our own.

  check_catalogues.py SOURCE_DIR [XGETTEXT]     every id of the template has a text in
      en.po and ja.po, no printf placeholder lost or added, the fixed Japanese texts of
      tests/data/japanese_texts.txt given exactly, and (with XGETTEXT) the template holds
      every text marked in the sources.
  check_catalogues.py --cli TUNECASE_CLI DATA   the command line speaks Japanese under a
      Japanese locale and English under C (a refusal, the help pages, errors made by the
      renderer below it); exits 77 when the locales are missing.
  check_catalogues.py --self-test               the parser and the placeholder rule.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

SKIP = 77


def unquote(text):
    out, i = [], 0
    escapes = {'n': '\n', 't': '\t', '"': '"', '\\': '\\', 'r': '\r'}
    while i < len(text):
        c = text[i]
        if c == '\\' and i + 1 < len(text):
            out.append(escapes.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(c)
            i += 1
    return ''.join(out)


def parse_po(text):
    """{msgid: msgstr} of a .po text (the header's empty id left out); raises on a repeated id."""
    entries, current, field = {}, {}, None

    def close():
        if 'msgid' in current and 'msgstr' in current:
            if current['msgid'] in entries:
                raise ValueError('repeated id %r' % current['msgid'])
            if current['msgid']:
                entries[current['msgid']] = current['msgstr']
        current.clear()

    for line in text.splitlines():
        line = line.strip()
        m = re.match(r'(msgid|msgstr)\s+"(.*)"$', line)
        if m:
            if m.group(1) == 'msgid':
                close()
            field = m.group(1)
            current[field] = unquote(m.group(2))
        elif re.match(r'"(.*)"$', line) and field:
            current[field] += unquote(line[1:-1])
        elif not line or line.startswith('#'):
            if 'msgstr' in current:
                close()
                field = None
    close()
    return entries


PLACEHOLDER = re.compile(r'%(?:%|[-+ #0]*\d*(?:\.\d+)?(?:hh|h|ll|l|z)?[diouxXsScfeEgGp]|\d+)')


def placeholders(text):
    """The printf (%s, %08X) and Qt (%1) placeholders of a text, in order; "%%" is none."""
    return sorted(p for p in PLACEHOLDER.findall(text) if p != '%%')


def read(path):
    with open(path, encoding='utf-8') as f:
        return f.read()


def check_catalogues(source, xgettext):
    problems = []
    template = parse_po(read(os.path.join(source, 'po', 'tunecase.pot')))
    catalogues = {lang: parse_po(read(os.path.join(source, 'po', lang + '.po'))) for lang in ('en', 'ja')}
    if not template:
        problems.append('the template has no ids')
    for lang, catalogue in catalogues.items():
        for msgid in template:
            text = catalogue.get(msgid)
            if not text:
                problems.append('%s.po has no text for %r' % (lang, msgid))
            elif placeholders(text) != placeholders(msgid):
                problems.append('%s.po: placeholders of %r differ: %r' % (lang, msgid, text))
        for msgid in catalogue:
            if msgid not in template:
                problems.append('%s.po has %r, which no source uses' % (lang, msgid))
    fixed = 0
    for line in read(os.path.join(source, 'tests', 'data', 'japanese_texts.txt')).splitlines():
        if not line.strip() or line.startswith('#'):
            continue
        english, japanese = line.split('\t')
        fixed += 1
        if catalogues['ja'].get(english) != japanese:
            problems.append('ja.po gives %r for %r, not %r' % (catalogues['ja'].get(english), english, japanese))
        if english in catalogues['en'] and catalogues['en'][english] != english:
            problems.append('en.po changes the English %r' % english)
    if fixed < 8:
        problems.append('the table of fixed Japanese texts has only %d lines' % fixed)
    if xgettext:
        with tempfile.TemporaryDirectory() as scratch:
            fresh = os.path.join(scratch, 'fresh.pot')
            sources = sorted(os.path.relpath(os.path.join(d, f), source)
                             for d, _, files in os.walk(os.path.join(source, 'src'))
                             for f in files if f.endswith(('.cpp', '.h')))
            subprocess.run([xgettext, '--language=C++', '--from-code=UTF-8', '--keyword=tr', '--keyword=N_',
                            '--output=' + fresh] + sources, cwd=source, check=True, stderr=subprocess.DEVNULL)
            marked = set(parse_po(read(fresh)))
            for msgid in sorted(marked - set(template)):
                problems.append('the template lacks %r (build the tunecase_pot target)' % msgid)
            for msgid in sorted(set(template) - marked):
                problems.append('the template has %r, which no source marks any more' % msgid)
    for p in problems:
        print(p)
    print('%d ids, %d fixed Japanese texts, %d problems' % (len(template), fixed, len(problems)))
    return 1 if problems else 0


def have_locale(name):
    out = subprocess.run(['locale', '-a'], capture_output=True, text=True).stdout.lower().split()
    return name.lower().replace('utf-8', 'utf8') in out


def check_cli(cli, data):
    if not (have_locale('ja_JP.UTF-8') and have_locale('en_US.UTF-8')):
        print('the ja_JP.UTF-8 and en_US.UTF-8 locales are missing (scripts/install-deps.sh makes them)')
        return SKIP
    with tempfile.TemporaryDirectory() as scratch:
        folder = os.path.join(scratch, 'program')
        shutil.copytree(data, folder, symlinks=True)
        song = sorted(f for f in os.listdir(os.path.join(folder, 'Archive')) if f.endswith('.mwd'))[0]
        shutil.copy(os.path.join(folder, 'Archive', song), os.path.join(scratch, song))
        expected = {
            'C': 'A song-data file with the same name is already in the library.',
            'en_US.UTF-8': 'A song-data file with the same name is already in the library.',
            'ja_JP.UTF-8': '同じ名前のMWDファイルが既にあります。',
        }
        failures = 0
        for variables in ({'LC_ALL': 'C'}, {'LC_ALL': 'en_US.UTF-8'}, {'LC_ALL': 'ja_JP.UTF-8'},
                          {'LANG': 'ja_JP.UTF-8'}, {'LC_ALL': 'ja_JP.UTF-8', 'LANGUAGE': 'ja'}):
            env = {k: v for k, v in os.environ.items() if not k.startswith(('LC_', 'LANG'))}
            env.update(variables)
            env['TUNECASE_PROGRAM_FOLDER'] = folder
            run = subprocess.run([cli, 'library', 'add', os.path.join(scratch, song)], env=env,
                                 capture_output=True, cwd=scratch)
            lines = run.stderr.decode('utf-8').splitlines()
            want = expected[variables.get('LC_ALL', variables.get('LANG'))]
            if run.returncode != 1 or not lines or lines[0] != want:
                print('%s: exit %d, %r; expected %r' % (variables, run.returncode, lines, want))
                failures += 1
            # The help pages come in the same language.
            page = subprocess.run([cli, 'library', '--help'], env=env, capture_output=True).stdout.decode('utf-8')
            japanese = 'オプション' in page
            if japanese != want.startswith('同'):
                print('%s: the help page is in the wrong language:\n%s' % (variables, page))
                failures += 1
        failures += check_cli_errors(cli, scratch)
        failures += check_pages(cli, scratch)
        print('%d failures' % failures)
        return 1 if failures else 0


MELODY = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'data', 'midi', 'mido_format0_melody.mid')

# Errors made below the command line (the renderer, the synthesizer) and the command's own
# refusal, as each language prints them: arguments, exit status, then the start of standard
# error under C and under Japanese; the rest of a line is the system's own reason.
CLI_ERRORS = [
    (['render', MELODY, 'song.xyz'], 2,
     'tunecase-cli render: song.xyz: .xyz audio is not written; OUT must end in one of '
     '.wav, .flac, .ogg, .opus, .mp3\nRun with --help for more information.\n',
     'tunecase-cli render: song.xyz: .xyz の音声は書き出せません。OUT の末尾は '
     '.wav, .flac, .ogg, .opus, .mp3 のどれかにしてください\n詳しくは --help を付けて実行してください。\n', None),
    (['render', MELODY, 'song', '--quiet'], 2,
     'tunecase-cli render: song: the name has no extension; OUT must end in one of ',
     'tunecase-cli render: song: 名前に拡張子がありません。OUT の末尾は ', None),
    (['render', '--quiet', '--soundfont', 'missing.sf2', MELODY, 'song.wav'], 1,
     'tunecase-cli render: the soundfont missing.sf2 did not load: ',
     'tunecase-cli render: サウンドフォント missing.sf2 を読み込めませんでした：',
     # a build without the synthesizer says so instead
     ('tunecase-cli render: this build has no synthesizer\n',
      'tunecase-cli render: このビルドにはシンセサイザーがありません\n')),
]


def check_cli_errors(cli, scratch):
    failures = 0
    for args, status, english, japanese, otherwise in CLI_ERRORS:
        for variables, language in (({'LC_ALL': 'C'}, 0), ({'LANGUAGE': 'ja', 'LC_ALL': 'ja_JP.UTF-8'}, 1)):
            env = {k: v for k, v in os.environ.items() if not k.startswith(('LC_', 'LANG'))}
            env.update(variables)
            run = subprocess.run([cli] + args, env=env, capture_output=True, cwd=scratch)
            err = run.stderr.decode('utf-8')
            if language == 0 and otherwise and err == otherwise[0]:
                english, japanese = otherwise
            want = (english, japanese)[language]
            if run.returncode != status or not err.startswith(want):
                print('%s %s: exit %d, %r; expected %d, %r' % (variables, args, run.returncode, err, status, want))
                failures += 1
    return failures


def check_pages(cli, scratch):
    """The song server's pages speak the server's language: its index page under C and under
    Japanese (the language code, the heading and the footer)."""
    import socket
    import time
    import urllib.request
    failures = 0
    library = os.path.join(scratch, 'pages-library')
    os.makedirs(library, exist_ok=True)
    for variables, lang, heading, footer in (({'LC_ALL': 'C'}, 'en', 'Music box songs', 'Made with Tunecase'),
                                             ({'LANGUAGE': 'ja', 'LC_ALL': 'ja_JP.UTF-8'}, 'ja', 'オルゴールの曲',
                                              'Tunecase で作りました')):
        env = {k: v for k, v in os.environ.items() if not k.startswith(('LC_', 'LANG'))}
        env.update(variables)
        with socket.socket() as probe:
            probe.bind(('127.0.0.1', 0))
            port = probe.getsockname()[1]
        server = subprocess.Popen([cli, 'serve', '--library', library, '--port', str(port),
                                   '--uploads', os.path.join(scratch, 'pages-' + lang)],
                                  env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        try:
            page = ''
            for _ in range(100):
                try:
                    page = urllib.request.urlopen('http://127.0.0.1:%d/' % port, timeout=5).read().decode('utf-8')
                    break
                except OSError:
                    time.sleep(0.1)
            for want in ('<html lang="%s">' % lang, heading, footer):
                if want not in page:
                    print('%s: the index page lacks %r:\n%s' % (variables, want, page[:400]))
                    failures += 1
        finally:
            server.terminate()
            server.wait(timeout=10)
    return failures


def self_test():
    sample = ('msgid ""\nmsgstr ""\n"Language: ja\\n"\n\n#: a.cpp:1\n#, c-format\nmsgid "%s is"\n" here"\n'
              'msgstr "%sは\\"ここ\\""\n\nmsgid "Tab\\there"\nmsgstr ""\n')
    entries = parse_po(sample)
    assert entries == {'%s is here': '%sは"ここ"', 'Tab\there': ''}, entries
    assert placeholders('GENE%08X %s [%s] 100%% %1') == sorted(['%08X', '%s', '%s', '%1'])
    assert placeholders('%d of %u') != placeholders('%u of %u')
    assert placeholders('50%% done') == []
    try:
        parse_po('msgid "a"\nmsgstr "b"\n\nmsgid "a"\nmsgstr "c"\n')
    except ValueError:
        pass
    else:
        raise AssertionError('a repeated id was accepted')
    print('self-test passed')
    return 0


if __name__ == '__main__':
    if sys.argv[1:2] == ['--self-test']:
        sys.exit(self_test())
    if sys.argv[1:2] == ['--cli']:
        sys.exit(check_cli(sys.argv[2], sys.argv[3]))
    sys.exit(check_catalogues(sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else None))
